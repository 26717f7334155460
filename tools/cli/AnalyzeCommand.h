#pragma once

#include "tools/cli/CliOptions.h"

// astrelvo-cli analyze: reads the log options.file (recognised by content), analyses it whole and prints
// `name: value` lines on stdout. Skipped lines and problems go to stderr. Returns the exit code: 0 done,
// 2 bad usage (a data.dat export without --encoder-bits, a section the log does not have, a worm period
// in seconds without a time base), 3 when the file cannot be read or holds too few usable samples.
int runAnalyze(const CliOptions& options);
