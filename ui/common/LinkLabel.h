#pragma once

#include <QLabel>

// A text label that acts as a web link: underlined text in the palette's link colour on the parent's
// background, a hand cursor over it, and clicked() for each plain left click (a double click's second
// click is not one). UI thread only.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};
