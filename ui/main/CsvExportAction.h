#pragma once

#include <QString>

class AppModel;
class LoggingState;
class NoteLabel;
class QWidget;
class UserPrompts;

// Export's "CSV...": asks where to save, then writes the stored raw records as an Astrelvo CSV log (the
// time stamp and the value the graph draws of each record, with the encoder width, the sample period,
// the start of logging and the port in its header). Tells the user where the file went in the note, or
// why it failed in the note and a message. Once written, the records count as exported. UI thread.
class CsvExportAction {
public:
    CsvExportAction(QWidget* window, AppModel* model, const LoggingState* logging, const UserPrompts* prompts,
                    NoteLabel* note);

    // The port the records came from (a device path; empty for none or the test mode).
    void setPort(const QString& port) { port_ = port; }
    // The button: asks for the file, then writes it. False when nothing was written.
    bool run();
    // Writes the file at path.
    bool write(const QString& path);

    // The name offered for a new file, e.g. "astrelvo-20240501-210305.csv", from the start of logging.
    QString suggestedName() const;

private:
    QWidget* window_;
    AppModel* model_;
    const LoggingState* logging_;
    const UserPrompts* prompts_;
    NoteLabel* note_;
    QString port_;
    QString lastDirectory_;
};
