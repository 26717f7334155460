#include "app/CommandLine.h"

#include <string_view>

#ifndef ASTRELVO_VERSION
#define ASTRELVO_VERSION "unknown"
#endif

const char* const kProgramVersion = ASTRELVO_VERSION;

const char* const kProgramUsage =
    "usage: astrelvo [--port PATH|virtual] [--connect] [LOGFILE]\n"
    "       astrelvo --help | --version\n"
    "\n"
    "Opens the Astrelvo window: logs and graphs the encoder of a telescope mount driven by an RZ4\n"
    "controller, measures its periodic error and configures the controller.\n"
#ifdef _WIN32
    "  --port PATH   select this serial port (e.g. COM5 or \\\\.\\COM12);\n"
#else
    "  --port PATH   select this serial port (e.g. /dev/ttyUSB0 or a /dev/serial/by-id name);\n"
#endif
    "                'virtual' selects the built-in RZ4 emulator\n"
    "  --connect     connect to that port at start (for observatory start-up scripts)\n"
    "  LOGFILE       a saved log to open at start\n"
    "  --help        print this text and exit\n"
    "  --version     print the version and exit\n"
    "Qt's own options (for example -platform offscreen) are accepted too.\n"
    "Exit codes: 0 done, 1 no display, 2 bad usage.\n";

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool help = false;
    bool version = false;
    bool portGiven = false;
    bool optionsEnded = false;
    std::string error;
    auto fail = [&error](std::string reason) {
        if (error.empty())
            error = std::move(reason);
    };
    auto takePort = [&](std::string_view value) {
        if (portGiven)
            fail("--port given twice");
        else if (value.empty())
            fail("--port needs a device path or 'virtual'");
        portGiven = true;
        line.port = value;
    };

    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr)
            break;
        const std::string_view arg = argv[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!isOption) {
            if (!line.logFile.empty())
                fail("only one LOGFILE can be opened (second: '" + std::string(arg) + "')");
            else if (arg.empty())
                fail("LOGFILE is empty");
            else
                line.logFile = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--connect") {
            line.connect = true;
        } else if (arg == "--port") {
            // A value that looks like an option is a forgotten value, not a device ("--port --connect").
            if (i + 1 < argc && argv[i + 1] != nullptr && argv[i + 1][0] != '-')
                takePort(argv[++i]);
            else
                fail("--port needs a device path or 'virtual'");
        } else if (arg.substr(0, 7) == "--port=") {
            takePort(arg.substr(7));
        } else {
            fail("unknown option '" + std::string(arg) + "'");
        }
    }
    if (line.connect && !portGiven)
        fail("--connect needs --port");

    if (help)
        line.action = CommandLine::Action::Help;
    else if (version)
        line.action = CommandLine::Action::Version;
    else if (!error.empty())
        line.action = CommandLine::Action::Error;
    line.error = line.action == CommandLine::Action::Error ? error : std::string();
    return line;
}
