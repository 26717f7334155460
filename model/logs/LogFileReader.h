#pragma once

#include "model/logs/LineSource.h"
#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"

#include <string_view>

// Outcome of recognising a log by its first bytes.
enum class LogKind { NotALog, Dat, Csv, Phd2 };

// Recognises a log by content (never by file name) from its first bytes (LineSource::head()): a data.dat
// export starts with "[N:", an Astrelvo CSV with '#' lines and its header row, a PHD2 guide log names
// PHD2 in its first line or has guiding or calibration section lines.
LogKind recogniseLog(std::string_view head);

// Reads whatever log the source holds, recognised by content, with the reader for its format. Fails with
// NotALog (and a reason) for anything else.
bool readLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report);

// Opens the file (a UTF-8 path; binary, read only) and reads it as readLog does. Never writes anything.
bool readLogFile(const char* path, const LogReadOptions& options, LoadedLog& log, LogReadReport& report);
// Recognises the file's format only, so that a caller can ask for what a format needs (the encoder width
// of a data.dat export) before reading. NotALog also when the file cannot be read.
LogKind recogniseLogFile(const char* path);
