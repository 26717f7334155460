#include "tools/cli/CliOptions.h"

#include "model/analysis/TuningRun.h"
#include "rz4/Rz4Protocol.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

const char* const kCliUsage =
    "usage: astrelvo-cli info --port PORT\n"
    "       astrelvo-cli log --port PORT --seconds N [--output FILE] [--csv FILE] [--rate 0..5] [--raw]\n"
    "       astrelvo-cli analyze FILE [--encoder-bits N] [--sample-seconds S] [--section K]\n"
    "                                 [--worm-period-seconds S]\n"
    "       astrelvo-cli compare BEFORE AFTER [--section-before K] [--section-after K]\n"
    "                                 [--worm-period-seconds S] [--encoder-bits N] [--sample-seconds S]\n"
    "       astrelvo-cli tune --port PORT --seconds-per-step N [--rate 0..5] --pid P,I,D [--pid P,I,D ...]\n"
    "                         [--keep]\n"
    "       astrelvo-cli tune --port PORT --search GAINS --seconds-per-step N [--rate 0..5] [--max-steps K]\n"
    "                         [--range GAIN=LO..HI ...] [--keep]\n"
    "       astrelvo-cli backup --port PORT [--output FILE]\n"
    "       astrelvo-cli restore --port PORT FILE [--store]\n"
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
    "  compare    analyse two logs of the mount (before and after a change) and print both figures, their\n"
    "             change in percent, BEFORE's strongest harmonics with AFTER's amplitude at each, and both\n"
    "             folded on one worm period (default: BEFORE's dominant period); --section-before and\n"
    "             --section-after pick guiding sections, --encoder-bits and --sample-seconds apply to both\n"
    "  tune       log the tracking error and measure its periodic error for N seconds with the controller's\n"
    "             PID as it is (step 0), then with each --pid in turn (its other seven values as read at\n"
    "             connect); print a line per step and the step with the lowest RMS, then send the PID read "
    "at\n"
    "             connect back (also on Ctrl-C, SIGTERM, SIGHUP or a failure); with --keep a run that ends\n"
    "             normally leaves the last step's PID\n"
    "  --search   tune: find the gains with the lowest RMS instead: GAINS is P, I, D or a comma list of\n"
    "             them (e.g. P,I,D), searched in that order, each between a quarter and four times its "
    "value\n"
    "             (--range GAIN=LO..HI sets other limits, 1..65535); at most K steps in all (--max-steps,\n"
    "             default 16, step 0 included); prints the best, the result and the values put back, or\n"
    "             with --keep leaves the best in the controller (never stored in EEPROM)\n"
    "  backup     write the controller's settings as info prints them to FILE (default: standard output)\n"
    "  restore    check FILE whole, send its PID, aux parameters, motor current, parameter 128 and encoder\n"
    "             calibration, store them in EEPROM with --store, then connect again and print each setting\n"
    "             that reads back differently\n"
    "Exit codes: 0 done, 2 bad usage or a settings file that does not pass its check, 3 the session\n"
    "failed, the log cannot be read or analysed, or a restored setting reads back differently.\n";

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

// The options of analyze (FILE) and compare (BEFORE AFTER), and what the files may not say themselves.
std::string parseAnalyzeOptions(int argc, const char* const* argv, CliOptions& options) {
    const bool compare = options.command == CliOptions::Command::Compare;
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
        } else if (arg == (compare ? "--section-before" : "--section") ||
                   (compare && arg == "--section-after")) {
            if (!parseInt(value, 1, 1000000, number))
                return arg + " needs a section number from 1";
            (arg == "--section-after" ? options.sectionAfter : options.section) =
                static_cast<uint32_t>(number);
            ++i;
        } else if (arg == "--worm-period-seconds") {
            if (!parseSeconds(value, options.wormPeriodSeconds))
                return "--worm-period-seconds needs a number of seconds above 0";
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unexpected argument '" + arg + "'";
        } else if (options.file.empty()) {
            options.file = arg;
        } else if (compare && options.fileAfter.empty()) {
            options.fileAfter = arg;
        } else {
            return "unexpected argument '" + arg + "'";
        }
    }
    if (compare && options.fileAfter.empty())
        return "compare needs two logs: BEFORE and AFTER";
    if (options.file.empty())
        return "analyze needs a FILE";
    return {};
}

// "P,I,D": three numbers from 0 to 65535.
bool parsePid(const char* text, std::array<uint16_t, 3>& out) {
    if (text == nullptr)
        return false;
    const std::string s = text;
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? s.find(',', start) : s.size();
        if (end == std::string::npos)
            return false;
        int v = 0;
        if (!parseInt(s.substr(start, end - start).c_str(), 0, 65535, v))
            return false;
        out[static_cast<std::size_t>(i)] = static_cast<uint16_t>(v);
        start = end + 1;
    }
    return true;
}

// "P", "I", "D" or a comma list of them, each once.
bool parseGainList(const char* text, std::vector<int>& order) {
    if (text == nullptr || *text == '\0')
        return false;
    order.clear();
    const std::string s = text;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find(',', start);
        if (end == std::string::npos)
            end = s.size();
        const std::string name = s.substr(start, end - start);
        const int gain = name == "P" || name == "p"   ? 0
                         : name == "I" || name == "i" ? 1
                         : name == "D" || name == "d" ? 2
                                                      : -1;
        if (gain < 0)
            return false;
        for (int g : order)
            if (g == gain)
                return false;
        order.push_back(gain);
        start = end + 1;
    }
    return true;
}

// "GAIN=LO..HI", 1 <= LO <= HI <= 65535.
bool parseRange(const char* text, PidSearch::Settings& settings) {
    if (text == nullptr)
        return false;
    const std::string s = text;
    const std::size_t equals = s.find('=');
    const std::size_t dots = s.find("..");
    if (equals == std::string::npos || dots == std::string::npos || dots < equals)
        return false;
    std::vector<int> gain;
    if (!parseGainList(s.substr(0, equals).c_str(), gain) || gain.size() != 1)
        return false;
    int lo = 0;
    int hi = 0;
    if (!parseInt(s.substr(equals + 1, dots - equals - 1).c_str(), 1, 65535, lo) ||
        !parseInt(s.substr(dots + 2).c_str(), 1, 65535, hi) || lo > hi)
        return false;
    settings.ranges[static_cast<std::size_t>(gain[0])] = {static_cast<uint16_t>(lo),
                                                          static_cast<uint16_t>(hi)};
    return true;
}

// The minimum and maximum samples a tune step may measure: enough for the analysis, and within the
// sample store with room for the blocks around the step.
constexpr double kMinStepSamples = TuningRun::kMinStepSamples;
constexpr double kMaxStepSamples = TuningRun::kMaxStepSamples;

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
    else if (command == "analyze" || command == "compare") {
        options.command = command == "analyze" ? CliOptions::Command::Analyze : CliOptions::Command::Compare;
        return parseAnalyzeOptions(argc, argv, options);
    } else if (command == "tune")
        options.command = CliOptions::Command::Tune;
    else if (command == "backup")
        options.command = CliOptions::Command::Backup;
    else if (command == "restore")
        options.command = CliOptions::Command::Restore;
    else if (command == "-h" || command == "--help")
        return "help";
    else
        return "unknown command '" + command + "'";

    using C = CliOptions::Command;
    const C cmd = options.command;
    bool haveSeconds = false;
    bool haveSearchLimits = false;
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
        } else if (arg == "--output" && (cmd == C::Log || cmd == C::Backup)) {
            if (value == nullptr || *value == '\0')
                return "--output needs a file name";
            (cmd == C::Log ? options.output : options.settingsFile) = value;
            ++i;
        } else if (arg == "--seconds-per-step" && cmd == C::Tune) {
            if (!parseInt(value, 1, 24 * 3600, options.secondsPerStep))
                return "--seconds-per-step needs a whole number of seconds from 1";
            ++i;
        } else if (arg == "--pid" && cmd == C::Tune) {
            std::array<uint16_t, 3> pid{};
            if (!parsePid(value, pid))
                return "--pid needs P,I,D: three numbers from 0 to 65535";
            options.pids.push_back(pid);
            ++i;
        } else if (arg == "--search" && cmd == C::Tune) {
            if (!parseGainList(value, options.searchSettings.order))
                return "--search needs GAINS: P, I or D, or a comma list of them, each once (e.g. P,I,D)";
            options.search = true;
            ++i;
        } else if (arg == "--max-steps" && cmd == C::Tune) {
            if (!parseInt(value, 2, 1000, options.searchSettings.maxSteps))
                return "--max-steps needs a whole number from 2 to 1000";
            haveSearchLimits = true;
            ++i;
        } else if (arg == "--range" && cmd == C::Tune) {
            if (!parseRange(value, options.searchSettings))
                return "--range needs GAIN=LO..HI: P, I or D, and 1 <= LO <= HI <= 65535";
            haveSearchLimits = true;
            ++i;
        } else if (arg == "--keep" && cmd == C::Tune) {
            options.keep = true;
        } else if (arg == "--store" && cmd == C::Restore) {
            options.store = true;
        } else if (cmd == C::Restore && !arg.empty() && arg[0] != '-' && options.settingsFile.empty()) {
            options.settingsFile = arg;
        } else if (arg == "--rate" && (cmd == C::Log || cmd == C::Tune)) {
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
    if ((cmd == C::Tune || cmd == C::Restore) && options.port == "test")
        return "the test mode has no controller settings to change";
    if (cmd == C::Tune) {
        if (options.secondsPerStep == 0)
            return "--seconds-per-step is required";
        if (options.search && !options.pids.empty())
            return "--search and --pid do not go together";
        if (haveSearchLimits && !options.search)
            return "--max-steps and --range go with --search";
        if (options.pids.empty() && !options.search)
            return "at least one --pid (or --search) is required";
        const double samples = options.secondsPerStep * rz4::kLogRatesHz[options.rate];
        if (samples < kMinStepSamples)
            return "--seconds-per-step is too short for the rate: a step needs at least 8 samples";
        if (samples > kMaxStepSamples)
            return "--seconds-per-step is too long for the rate: a step may take at most 190000 samples";
    }
    if (cmd == C::Restore && options.settingsFile.empty())
        return "restore needs the settings FILE";
    return {};
}
