#pragma once

#include "model/analysis/PidSearch.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The exit codes of astrelvo-cli.
enum CliExit : int {
    CliExitDone = 0,
    CliExitUsage = 2,  // bad usage (or a settings file that does not pass its check)
    CliExitFailed = 3, // the session failed (or settings read back other than written)
};

// The command line of astrelvo-cli, parsed. Owned by main().
struct CliOptions {
    enum class Command { None, Info, Log, Analyze, Compare, Tune, Backup, Restore };
    Command command = Command::None;
    std::string port; // a device path, "virtual" (built-in emulator) or "test" (test mode)
    int seconds = 0;  // log: how long to log
    std::string output = "data.dat";
    int rate = 2;     // log rate index 0..5
    bool raw = false; // log mode 1 (absolute positions) instead of 3 (tracking error)
    int connectTimeoutSeconds = 30;
    std::string csv; // log: also write an Astrelvo CSV log here (empty: none)

    // analyze (compare: file is BEFORE, section its section)
    std::string file;
    std::string fileAfter; // compare: AFTER
    uint32_t sectionAfter = 0;
    uint32_t encoderBits = 0;       // 0: not given
    double sampleSeconds = 0.0;     // 0: not given
    uint32_t section = 0;           // 0: not given (the longest)
    double wormPeriodSeconds = 0.0; // 0: not given (the dominant period)

    // tune
    int secondsPerStep = 0;
    std::vector<std::array<uint16_t, 3>> pids; // P, I, D of each step after the first
    bool keep = false;                  // leave the last step's PID (a search: the best) on the controller
    bool search = false;                // search the gains of searchSettings.order instead of --pid
    PidSearch::Settings searchSettings; // order, --range limits, --max-steps
    // backup: --output (empty: standard output); restore: the file to read
    std::string settingsFile;
    bool store = false; // restore: store in EEPROM
};

// Parses argv. Returns an empty string on success, else the reason (the caller prints the usage).
std::string parseCliOptions(int argc, const char* const* argv, CliOptions& options);

extern const char* const kCliUsage;
