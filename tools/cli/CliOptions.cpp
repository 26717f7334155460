#include "tools/cli/CliOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

const char* const kCliUsage =
    "usage: astrelvo-cli info --port PORT\n"
    "       astrelvo-cli log --port PORT --seconds N [--output FILE] [--csv FILE] [--rate 0..5] [--raw]\n"
    "       astrelvo-cli analyze FILE [--encoder-bits N] [--sample-seconds S] [--section K]\n"
    "                                 [--worm-period-seconds S]\n"
    "\n"
    "PORT is a serial device path (e.g. /dev/ttyUSB0), 'virtual' for the built-in RZ4 emulator,\n"
    "or 'test' for the test mode without a controller.\n"
    "  info       connect, print the controller's parameters, disconnect\n"
    "  log        connect, log the encoder for N seconds, write FILE (default data.dat), print a summary\n"
    "  --rate     log rate: 0 = 1/4 Hz, 1 = 1 Hz, 2 = 4 Hz (default), 3 = 16 Hz, 4 = 64 Hz, 5 = 128 Hz\n"
    "  --raw      log absolute encoder positions instead of the tracking error\n"
    "  --csv      log: also write the records as an Astrelvo CSV log to FILE (the --output file is\n"
    "             written as well)\n"
    "  analyze    read a log and print its periodic error, harmonics and worm-folded curve; FILE is a\n"
    "             data.dat export, an Astrelvo CSV log or a PHD2 guide log, recognised by its content\n"
    "  --encoder-bits N           encoder width (1..64): required for a data.dat export\n"
    "  --sample-seconds S         sample period of a data.dat export, or of a CSV log that has none\n"
    "  --section K                guide logs: analyse guiding section K (default: the longest)\n"
    "  --worm-period-seconds S    fold on this period (default: the dominant period)\n"
    "Exit codes: 0 done, 2 bad usage, 3 the session failed or the log cannot be read or analysed.\n";

namespace {

bool parseInt(const char* text, long low, long high, int& out) {
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool parseSeconds(const char* text, double& out) {
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || !(v > 0.0) || v > 1e6)
        return false;
    out = v;
    return true;
}

// The options of analyze: FILE and what the file may not say itself.
std::string parseAnalyzeOptions(int argc, const char* const* argv, CliOptions& options) {
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        int number = 0;
        if (arg == "--encoder-bits") {
            if (!parseInt(value, 1, 64, number))
                return "--encoder-bits needs a whole number from 1 to 64";
            options.encoderBits = static_cast<uint32_t>(number);
            ++i;
        } else if (arg == "--sample-seconds") {
            if (!parseSeconds(value, options.sampleSeconds))
                return "--sample-seconds needs a number of seconds above 0";
            ++i;
        } else if (arg == "--section") {
            if (!parseInt(value, 1, 1000000, number))
                return "--section needs a section number from 1";
            options.section = static_cast<uint32_t>(number);
            ++i;
        } else if (arg == "--worm-period-seconds") {
            if (!parseSeconds(value, options.wormPeriodSeconds))
                return "--worm-period-seconds needs a number of seconds above 0";
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unexpected argument '" + arg + "'";
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (options.file.empty())
        return "analyze needs a FILE";
    return {};
}

} // namespace

std::string parseCliOptions(int argc, const char* const* argv, CliOptions& options) {
    options = CliOptions{};
    if (argc < 2)
        return "no command given";
    std::string command = argv[1];
    if (command == "info")
        options.command = CliOptions::Command::Info;
    else if (command == "log")
        options.command = CliOptions::Command::Log;
    else if (command == "analyze") {
        options.command = CliOptions::Command::Analyze;
        return parseAnalyzeOptions(argc, argv, options);
    } else if (command == "-h" || command == "--help")
        return "help";
    else
        return "unknown command '" + command + "'";

    bool haveSeconds = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--port") {
            if (value == nullptr || *value == '\0')
                return "--port needs a value";
            options.port = value;
            ++i;
        } else if (arg == "--seconds" && options.command == CliOptions::Command::Log) {
            if (!parseInt(value, 1, 7 * 24 * 3600, options.seconds))
                return "--seconds needs a whole number of seconds from 1";
            haveSeconds = true;
            ++i;
        } else if (arg == "--output" && options.command == CliOptions::Command::Log) {
            if (value == nullptr || *value == '\0')
                return "--output needs a file name";
            options.output = value;
            ++i;
        } else if (arg == "--rate" && options.command == CliOptions::Command::Log) {
            if (!parseInt(value, 0, 5, options.rate))
                return "--rate needs a number from 0 to 5";
            ++i;
        } else if (arg == "--csv" && options.command == CliOptions::Command::Log) {
            if (value == nullptr || *value == '\0')
                return "--csv needs a file name";
            options.csv = value;
            ++i;
        } else if (arg == "--raw" && options.command == CliOptions::Command::Log) {
            options.raw = true;
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (options.port.empty())
        return "--port is required";
    if (options.command == CliOptions::Command::Log && !haveSeconds)
        return "--seconds is required";
    return {};
}
