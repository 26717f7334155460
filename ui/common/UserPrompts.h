#pragma once

#include <QString>

#include <functional>

class QWidget;

// How the program tells the user things and asks for files: message boxes and file dialogs, or, where
// tests set them, functions that record the message or answer with a path at once. Message boxes have no
// coloured icon at night. UI thread.
class UserPrompts {
public:
    // A message (an error when error is set).
    using MessageSink = std::function<void(const QString& title, const QString& text, bool error)>;
    // Asks for a file: returns its path, or an empty string when the user cancelled.
    using FileChooser = std::function<QString(const QString& title, const QString& suggested)>;

    // Empty functions bring the dialogs back.
    void setMessageSink(MessageSink sink) { sink_ = std::move(sink); }
    void setOpenChooser(FileChooser chooser) { open_ = std::move(chooser); }
    void setSaveChooser(FileChooser chooser) { save_ = std::move(chooser); }
    void setPlain(bool plain) { plain_ = plain; }

    // detail, when given, goes into the box's expandable part (a test's sink gets it after the text).
    void message(QWidget* parent, const QString& title, const QString& text, bool error,
                 const QString& detail = QString()) const;
    // filter: e.g. "Logs (*.csv *.dat *.txt);;All files (*)". suggested: a path or a directory.
    QString openFile(QWidget* parent, const QString& title, const QString& suggested,
                     const QString& filter) const;
    QString saveFile(QWidget* parent, const QString& title, const QString& suggested,
                     const QString& filter) const;

private:
    MessageSink sink_;
    FileChooser open_;
    FileChooser save_;
    bool plain_ = false;
};
