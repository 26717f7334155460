#pragma once

#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"

#include <cstdint>
#include <string>

// Exit codes of the commands that read logs.
inline constexpr int kCliLogDone = 0;
inline constexpr int kCliLogUsage = 2;
inline constexpr int kCliLogFailed = 3;

// Prints "astrelvo-cli: message", a blank line and the usage on stderr.
void cliUsageError(const std::string& message);
// "astrelvo-cli: FILE:LINE: text", or "FILE: text" without a line, on stderr.
void cliFileMessage(const std::string& file, uint64_t line, const std::string& text);
// A value that prints as zero at the given decimals, without a minus sign.
double cliTidy(double value, int decimals);

// Reads the log `file` for astrelvo-cli: lines skipped on the way go to stderr, and so does why a read
// failed. sectionOption names the option that chose options.section ("--section"), for the messages.
// Returns kCliLogDone, or the exit code the failure calls for.
int cliReadLog(const std::string& file, const LogReadOptions& options, const char* sectionOption,
               LoadedLog& log);
