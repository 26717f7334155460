#pragma once

#include "model/logs/LineSource.h"
#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"

// Reads a data.dat export: lines "[N:n TS:t] v" or "[N:n TS:t] v a b", CR LF or LF. The value of each
// sample is v, the encoder position (record offset 4), converted to arc-seconds with options.encoderBits
// (required: the file does not say it) and unwrapped; options.sampleSeconds, when given, is the time base.
// Lines that do not parse are skipped and reported with their number. Fails when the encoder width is
// missing, on a read error, and when no line holds a record. Writes nothing.
bool readDatLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report);
