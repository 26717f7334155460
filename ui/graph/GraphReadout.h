#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

// Text boxes the graph draws over its picture rather than into it, so that the curve can scroll and
// grow beneath them: the hover read-out (a ring round the sample under the cursor and its text in a box
// beside the cursor) and small notes. Red on the picture's background, like the rest of the graph.
// UI thread (owned by the graph).
class GraphReadout {
public:
    explicit GraphReadout(const QFont& font) : font_(font) {}

    void show(QPoint cursor, QPoint sample, const QString& text);
    void hide();
    const QString& text() const { return text_; }
    // The pixels the read-out covers in a widget of the given size; empty while hidden.
    QRect area(QSize widget) const;
    void paint(QPainter& painter, QSize widget, const QColor& background) const;

    // A note's box with its top left corner at the given point.
    QRect noteBox(QPoint topLeft, const QString& note) const;
    void paintNote(QPainter& painter, const QRect& box, const QString& note, const QColor& background) const;

    static QColor frameColour() { return QColor(128, 0, 0); }
    static QColor inkColour() { return QColor(192, 0, 0); }

private:
    QRect textBox(QSize widget) const;
    QRect ring() const { return QRect(sample_.x() - 3, sample_.y() - 3, 7, 7); }

    QFont font_;
    bool shown_ = false;
    QPoint cursor_;
    QPoint sample_;
    QString text_;
};
