#pragma once

#include <QString>

class AppModel;

// Writes the stored raw records to data.dat in the current directory and words the outcome for the
// user: where the file went and how many records it holds, or why it could not be written. UI thread.
class DataExport {
public:
    struct Outcome {
        bool written = false;
        QString note;   // one line for the dialog ("Exported N records to PATH" or "Export failed")
        QString detail; // the whole story, for the tool tip and the error message
        QString path;   // the file the note names, as shown; empty when it names none
    };

    // On success the stored records count as exported.
    static Outcome exportDataDat(AppModel& model);
};
