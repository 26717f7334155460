#pragma once

#include <QLabel>
#include <QString>

// A one-line note beside the buttons (where the last export went, for instance). A note too long for the
// label shortens the path it names in the middle of its folders ("C:\Users\…\Documents\data.dat"); where
// even that is too long it shows the path alone, shortened so, else the path's end (the file and its
// folder). A note naming no file is cut at its end (what happened stays readable). The tool tip tells the
// whole story (the note itself when there is no more to tell). UI thread.
class NoteLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // path: the part of note that names a file, in the form shown (QDir::toNativeSeparators); empty
    // when the note names none.
    void showNote(const QString& note, const QString& detail, const QString& path = QString());
    const QString& note() const { return note_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString note_;
    QString path_;
};
