#pragma once

#include "model/logs/LineSource.h"
#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"

// Reads an Astrelvo CSV log (format in CsvLogFormat.h). With an encoder width (the file's, else
// options.encoderBits) the values come from value_counts, converted and unwrapped exactly as a data.dat
// export's; without one, value_arcsec is taken as it stands. The file's sample period wins over
// options.sampleSeconds, which fills in when the file has none. "# mark:" lines become markers at the
// sample they name. Rows that do not parse are skipped and reported with their line number. Fails when
// the header row is missing (not an Astrelvo CSV), for another log version, on a read error and when no
// row holds a sample. Writes nothing.
bool readCsvLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report);
