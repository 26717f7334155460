#include "tools/cli/CliLogRead.h"

#include "model/logs/LogFileReader.h"
#include "tools/cli/CliOptions.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void cliUsageError(const std::string& message) {
    std::fprintf(stderr, "astrelvo-cli: %s\n\n%s", message.c_str(), kCliUsage);
}

void cliFileMessage(const std::string& file, uint64_t line, const std::string& text) {
    if (line != 0)
        std::fprintf(stderr, "astrelvo-cli: %s:%llu: %s\n", file.c_str(),
                     static_cast<unsigned long long>(line), text.c_str());
    else
        std::fprintf(stderr, "astrelvo-cli: %s: %s\n", file.c_str(), text.c_str());
}

double cliTidy(double value, int decimals) {
    return std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value;
}

int cliReadLog(const std::string& file, const LogReadOptions& options, const char* sectionOption,
               LoadedLog& log) {
    LogReadReport report;
    const bool read = readLogFile(file.c_str(), options, log, report);
    // The lines skipped on the way often say why nothing usable was left.
    for (const LogIssue& issue : report.issues())
        cliFileMessage(file, issue.line, "skipped: " + issue.text);
    if (report.malformedCount() > report.issues().size())
        cliFileMessage(file, 0,
                       std::to_string(report.malformedCount() - report.issues().size()) +
                           " more lines skipped");
    if (read) {
        if (options.section != 0 && log.format != LogFormat::Phd2) {
            cliUsageError(std::string(sectionOption) + " applies to PHD2 guide logs only");
            return kCliLogUsage;
        }
        return kCliLogDone;
    }
    switch (report.error()) {
    case LogReadError::NeedsEncoderBits:
        cliUsageError(file + " is a data.dat export: give its encoder width with --encoder-bits N");
        return kCliLogUsage;
    case LogReadError::NoSuchSection:
        cliUsageError(std::string(sectionOption) + " " + std::to_string(options.section) + ": " +
                      report.errorText());
        return kCliLogUsage;
    case LogReadError::CannotOpen:
    case LogReadError::ReadFailed:
        cliFileMessage(file, report.errorLine(),
                       report.errorText() + ": " + std::strerror(report.errorNumber()));
        return kCliLogFailed;
    default:
        cliFileMessage(file, report.errorLine(), report.errorText());
        return kCliLogFailed;
    }
}
