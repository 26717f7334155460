#pragma once

#include <QLabel>
#include <QString>

// A one-line note beside the buttons (where the last export went, for instance): a text too long for the
// label is cut at its end (what happened stays readable), and the tool tip tells the whole story. UI thread.
class NoteLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    void showNote(const QString& note, const QString& detail);
    const QString& note() const { return note_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString note_;
};
