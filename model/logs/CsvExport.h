#pragma once

#include "model/logs/CsvLogWriter.h"

class AppModel;

// The CSV header for the store's records as the model knows them now: the connected controller's
// encoder width and the nominal period of the log rate setting (started and port left empty).
CsvLogHeader csvHeaderFor(const AppModel& model);

// Outcome of an export: ok, or the errno-style reason it failed (for strerror or a message box).
struct CsvExportResult {
    bool ok = false;
    int errorNumber = 0;
};

// Writes the store's raw records as an Astrelvo CSV log to path (UTF-8), replacing the file (Export's
// "CSV..."), with a "# mark:" line for each marker before the row of its sample.
CsvExportResult exportCsvLog(const AppModel& model, const char* path, const CsvLogHeader& header);
