#pragma once

#include "tools/cli/CliOptions.h"

// astrelvo-cli compare: reads BEFORE (options.file) and AFTER (options.fileAfter), compares them and
// prints `name: value` lines on stdout; skipped lines, notes and problems go to stderr. Exit codes as
// analyze: 0 done, 2 bad usage (also a log without a sample period), 3 a log that cannot be read or holds
// too few usable samples.
int runCompare(const CliOptions& options);
