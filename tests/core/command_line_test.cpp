// The program's command line: astrelvo [--port PATH|virtual] [--connect] [LOGFILE], --help, --version.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = CommandLine::Action;

CommandLine parse(const std::vector<const char*>& args) {
    std::vector<const char*> argv{"astrelvo"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

} // namespace

TEST(ProgramCommandLine, AcceptedLines) {
    struct Case {
        std::vector<const char*> args;
        std::string port;
        bool connect;
        std::string logFile;
    };
    const Case cases[] = {
        {{}, "", false, ""},
        {{"--port", "/dev/ttyUSB0"}, "/dev/ttyUSB0", false, ""},
        {{"--port=virtual", "--connect"}, "virtual", true, ""},
        {{"night.dat"}, "", false, "night.dat"},
        {{"--", "-odd name.csv"}, "", false, "-odd name.csv"},
        {{"--port", "/dev/rfcomm0", "--", "--help"}, "/dev/rfcomm0", false, "--help"},
    };
    for (const Case& c : cases) {
        const CommandLine line = parse(c.args);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.front());
        EXPECT_EQ(line.action, Action::Run) << line.error;
        EXPECT_EQ(line.port, c.port);
        EXPECT_EQ(line.connect, c.connect);
        EXPECT_EQ(line.logFile, c.logFile);
        EXPECT_TRUE(line.error.empty());
    }
}

TEST(ProgramCommandLine, RefusedLinesSayWhy) {
    struct Case {
        std::vector<const char*> args;
        const char* reason;
    };
    const Case cases[] = {
        {{"--port"}, "--port needs"},
        {{"--port", "--connect"}, "--port needs"},
        {{"--port", "a", "--port", "b"}, "--port given twice"},
        {{"--connect"}, "--connect needs --port"},
        {{"--conect", "--port", "virtual"}, "unknown option '--conect'"},
        {{"one.dat", "two.dat"}, "only one LOGFILE"},
        {{""}, "LOGFILE is empty"},
    };
    for (const Case& c : cases) {
        const CommandLine line = parse(c.args);
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(line.action, Action::Error);
        EXPECT_NE(line.error.find(c.reason), std::string::npos) << line.error;
    }
}

TEST(ProgramCommandLine, HelpAndVersionWinOverEverythingBeforeTheEnd) {
    struct Case {
        std::vector<const char*> args;
        Action action;
    };
    const Case cases[] = {
        {{"--help"}, Action::Help},
        {{"--version"}, Action::Version},
        {{"--version", "--help"}, Action::Help},
        {{"-platform", "offscreen", "--help"}, Action::Help}, // Qt's options are not ours to judge
        {{"--connect", "--version"}, Action::Version},
        {{"--", "--version"}, Action::Run},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, c.action);
        EXPECT_TRUE(line.error.empty());
    }
    EXPECT_NE(std::string(kProgramUsage).find("astrelvo [--port PATH|virtual] [--connect] [LOGFILE]"),
              std::string::npos);
    EXPECT_STRNE(kProgramVersion, "unknown");
}
