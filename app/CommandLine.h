#pragma once

#include <string>

// The program's command line, parsed: astrelvo [--port PATH|virtual] [--connect] [LOGFILE], or --help,
// or --version. Made once by the entry point on the main thread, before the window opens.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string port;     // a device path or "virtual"; empty when none was given
    bool connect = false; // connect to port at start
    std::string logFile;  // a log to open at start; empty when none was given
    std::string error;    // why the line was refused (Action::Error), for a message with the usage
};

// Parses argv (argv[0] is the program). --help and --version win over everything else on the line,
// so that they work whatever else was typed; otherwise the first fault makes it Action::Error.
// Arguments after "--" are taken as LOGFILE even when they start with '-'.
CommandLine parseCommandLine(int argc, const char* const* argv);

extern const char* const kProgramUsage;   // the --help text
extern const char* const kProgramVersion; // e.g. "1.1"
