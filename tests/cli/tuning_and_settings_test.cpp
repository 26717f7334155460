// Runs astrelvo-cli tune, backup and restore against the controller emulator: the steps and their lines,
// the PID put back (also after SIGHUP, SIGTERM and Ctrl-C twice), the settings file round trip and the
// read-back comparison.
#include "app/CommandLine.h"
#include "emulator/Rz4Emulator.h"
#include "model/analysis/PidSearch.h"
#include "tools/emulator/ServoOptimum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The emulator of these tests: every block request is answered with a full block, and at a quarter hertz
// a block of 125 records spans 500 s of the mount's time, so a step over a few worm turns takes a few
// blocks.
Rz4EmulatorConfig fastConfig() {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    return config;
}

std::vector<std::uint8_t> commandsOf(const Rz4Emulator& emulator) {
    std::vector<std::uint8_t> commands;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets())
        commands.push_back(p.command());
    return commands;
}

class CliSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/astrelvo-cli-tune-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    // Starts the program with its output in files; returns its process id.
    pid_t start(const std::vector<std::string>& args) {
        const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
        // Emptied here, not only in the child: a caller polling the output must never read the
        // previous run's before the child gets to its open.
        for (const std::string& path : {out, err}) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
            if (::chdir(dir_.c_str()) != 0)
                ::_exit(126);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(ASTRELVO_CLI_PATH));
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(ASTRELVO_CLI_PATH, argv.data());
            ::_exit(127);
        }
        return pid;
    }
    RunResult finish(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        RunResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(dir_ + "/stdout");
        r.err = readFile(dir_ + "/stderr");
        return r;
    }
    RunResult run(const std::vector<std::string>& args) { return finish(start(args)); }

    std::string dir_;
};

const std::regex
    kStepLine(R"(step: (\d+) pid=(\d+),(\d+),(\d+) samples=(\d+) pe_peak_to_peak_arcsec=(\d+\.\d{3}) )"
              R"(pe_rms_arcsec=(\d+\.\d{3}) dominant_period_samples=(\d+\.\d{2}|--))");

TEST_F(CliSettingsTest, TuneMeasuresEachStepPrintsTheBestAndPutsThePidBack) {
    Rz4Emulator emulator(fastConfig());
    ASSERT_TRUE(emulator.start());
    const RunResult r = run({"tune", "--port", emulator.slavePath(), "--rate", "0", "--seconds-per-step",
                             "2000", "--pid", "0,40,120", "--pid", "120,40,120"});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // One line per step, in order, each over 500 samples (2000 s at 1/4 Hz).
    std::vector<double> rms;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> rest;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, kStepLine)) {
            EXPECT_EQ(std::stoi(m[1]), static_cast<int>(rms.size()));
            EXPECT_EQ(m[5], "500");
            rms.push_back(std::stod(m[7]));
            if (rms.size() == 1) {
                EXPECT_EQ(m[2].str() + "," + m[3].str() + "," + m[4].str(), "80,40,120");
            }
        } else {
            rest.push_back(line);
        }
    }
    ASSERT_EQ(rms.size(), 3u) << r.out;
    // Without P the worm's error goes through; more P than before takes it down.
    EXPECT_GT(rms[1], 2.0 * rms[0]);
    EXPECT_LT(rms[2], rms[0]);
    EXPECT_EQ(rest, (std::vector<std::string>{"best: 2", "restored: 80,40,120,80,40,120,20,30,0,0"}))
        << r.out;

    // The steps kept the seven other values read at connect, and the controller ends as it began.
    const Rz4ControllerState state = emulator.state();
    EXPECT_EQ(state.pid, fastConfig().pid);
    std::vector<std::vector<std::uint8_t>> pids;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets())
        if (p.command() == 85)
            pids.push_back(p.bytes);
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_EQ(pids[1][4], 120); // P of the second step
    EXPECT_EQ(pids[1][10], 80); // the fourth value, no field of the dialog
    EXPECT_EQ(pids[1][16], 20); // I samples
    EXPECT_EQ(pids[1][18], 30); // D samples
    emulator.stop();
}

TEST_F(CliSettingsTest, AStopSignalDuringATuneStillPutsThePidBack) {
    struct Case {
        const char* name;
        std::vector<int> signals; // sent one after another, 30 ms apart: the later ones during the restore
    };
    for (const Case& c : {Case{"SIGHUP (a dropped SSH session)", {SIGHUP}}, Case{"SIGTERM", {SIGTERM}},
                          Case{"Ctrl-C twice", {SIGINT, SIGINT}}}) {
        SCOPED_TRACE(c.name);
        Rz4Emulator emulator(fastConfig());
        ASSERT_TRUE(emulator.start());
        const pid_t child =
            start({"tune", "--port", emulator.slavePath(), "--rate", "0", "--seconds-per-step", "2000",
                   "--pid", "200,40,120", "--pid", "30,40,120", "--pid", "90,40,120"});
        ASSERT_GT(child, 0);
        // Once step 0 is printed, the PID of step 1 is on its way or in place.
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (readFile(dir_ + "/stdout").find("step: 0 ") == std::string::npos && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_NE(readFile(dir_ + "/stdout").find("step: 0 "), std::string::npos);
        ASSERT_TRUE(emulator.waitForCommand(85, 10000));
        for (int signal : c.signals) {
            ::kill(child, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        const RunResult r = finish(child);
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_NE(r.err.find("interrupted in step 1"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("best:"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("restored: 80,40,120,80,40,120,20,30,0,0\n"), std::string::npos) << r.out;
        EXPECT_EQ(emulator.state().pid, fastConfig().pid);
        emulator.stop();
    }
}

TEST_F(CliSettingsTest, TuneSearchStaysInItsLimitsGoesBackAfterABadStepAndKeepsTheBest) {
    Rz4Emulator emulator(fastConfig());
    ASSERT_TRUE(emulator.start());
    // The first two steps are P 176 and P 341 on the log scale from 60 to 1000; at 341 the emulated
    // loop rings far beyond four times step 0's RMS.
    const RunResult r = run({"tune", "--port", emulator.slavePath(), "--rate", "0", "--seconds-per-step",
                             "1000", "--search", "P", "--range", "P=60..1000", "--max-steps", "6", "--keep"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> steps, rest;
    double baseline = 0.0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, kStepLine)) {
            steps.push_back(m[2].str() + "," + m[3].str() + "," + m[4].str());
            if (steps.size() == 1)
                baseline = std::stod(m[7]);
        } else {
            rest.push_back(line);
        }
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"80,40,120", "176,40,120", "341,40,120"})) << r.out;
    ASSERT_EQ(rest.size(), 4u) << r.out;
    EXPECT_EQ(rest[0].rfind("note: step 2: RMS ", 0), 0u) << rest[0];
    EXPECT_NE(rest[0].find("more than four times step 0's"), std::string::npos) << rest[0];
    EXPECT_EQ(rest[1], "best: 1");
    char result[96];
    std::snprintf(result, sizeof result, "baseline_rms_arcsec=%.3f", baseline);
    EXPECT_EQ(rest[2].rfind("result: pid=176,40,120 pe_rms_arcsec=", 0), 0u) << rest[2];
    EXPECT_NE(rest[2].find(result), std::string::npos) << rest[2];
    EXPECT_EQ(rest[3], "kept: 176,40,120,80,40,120,20,30,0,0"); // only P changed

    // P values sent: the two steps, back to the best at once, and the kept best. Nothing stored.
    std::vector<int> sent;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets()) {
        EXPECT_NE(p.command(), 13);
        if (p.command() == 85)
            sent.push_back(p.bytes[4] | p.bytes[5] << 8);
    }
    EXPECT_EQ(sent, (std::vector<int>{176, 341, 176, 176}));
    EXPECT_EQ(emulator.state().pid, (std::array<std::uint16_t, 10>{176, 40, 120, 80, 40, 120, 20, 30, 0, 0}));
    EXPECT_EQ(emulator.state().storeCount, 0u);
    emulator.stop();
}

// Whole searches of P against the emulator, a minute of wall clock: the search ends near the model's
// best P, or at the limit with a note when the best lies beyond it.
using SlowTuneSearchTest = CliSettingsTest;

TEST_F(SlowTuneSearchTest, EndsNearTheModelsBestPOrAtTheLimitItNames) {
    struct Case {
        ServoOptimum::Gains start;
        const char* limitNote; // expected when the model's best lies beyond the default limits
    };
    for (const Case& c :
         {Case{{80, 40, 120}, nullptr}, Case{{20, 11, 12},
                                             "note: P ended at its upper limit 80; its best may lie beyond "
                                             "(--range P=LO..HI sets other limits)"}}) {
        SCOPED_TRACE(c.start[0]);
        Rz4EmulatorConfig config = fastConfig();
        std::copy(c.start.begin(), c.start.end(), config.pid.begin());
        Rz4Emulator emulator(config);
        ASSERT_TRUE(emulator.start());
        const RunResult r = run({"tune", "--port", emulator.slavePath(), "--rate", "0", "--seconds-per-step",
                                 "2000", "--search", "P"});
        emulator.stop();
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const PidSearch::Range limits = PidSearch::defaultRange(c.start[0]);
        const double best =
            ServoOptimum::bestGain(TrackingSignal::Params{}, c.start, 0, limits.lo, limits.hi, 800);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(\nresult: pid=(\d+),(\d+),(\d+) )"))) << r.out;
        EXPECT_NEAR(std::stod(m[1]), best, 0.15 * best) << r.out;
        int steps = 0;
        for (std::size_t at = r.out.find("step: "); at != std::string::npos;
             at = r.out.find("step: ", at + 1))
            ++steps;
        EXPECT_LE(steps, 16);
        if (c.limitNote != nullptr) {
            EXPECT_NE(r.out.find(c.limitNote), std::string::npos) << r.out;
        }
    }
}

TEST_F(CliSettingsTest, TuneUsage) {
    for (const char* args : {"tune --port x --pid 1,2,3", "tune --port x --seconds-per-step 10 --pid 1,2",
                             "tune --port x --seconds-per-step 10 --search P,X",
                             "tune --port x --seconds-per-step 10 --search P,P",
                             "tune --port x --seconds-per-step 10 --search P --pid 1,2,3",
                             "tune --port x --seconds-per-step 10 --search P --range P=0..9",
                             "tune --port x --seconds-per-step 10 --search P --range I=9..8",
                             "tune --port x --seconds-per-step 10 --pid 1,2,3 --max-steps 5",
                             "tune --port x --seconds-per-step 10 --rate 0 --pid 1,2,3", // 2.5 samples a step
                             "tune --port test --seconds-per-step 10 --pid 1,2,3", "restore --port x"}) {
        std::vector<std::string> argv;
        std::istringstream words(args);
        for (std::string w; words >> w;)
            argv.push_back(w);
        const RunResult r = run(argv);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: astrelvo-cli"), std::string::npos) << args;
    }
}

// A controller with settings unlike the emulator's own.
Rz4EmulatorConfig otherController() {
    Rz4EmulatorConfig config;
    config.pid = {111, 22, 133, 4, 5, 6, 17, 18, 9, 10};
    config.auxMode = 3;
    config.auxSkip = 7;
    config.auxErrorLimit = 1234;
    config.auxAccelLimit = 5678;
    config.auxSpeedLimit = 91011;
    config.motorCurrent = 950;
    config.param128 = 12;
    config.encoderFlags = 1;
    config.encoderOffset = static_cast<std::uint32_t>(-5000);
    return config;
}

TEST_F(CliSettingsTest, BackupThenRestoreIntoAnotherControllerMakesItTheSame) {
    Rz4Emulator source(otherController());
    ASSERT_TRUE(source.start());
    RunResult r = run({"backup", "--port", source.slavePath(), "--output", "saved.txt"});
    source.stop();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string saved = readFile(dir_ + "/saved.txt");
    EXPECT_EQ(saved.rfind(std::string("# astrelvo-cli ") + kProgramVersion + " controller settings, ", 0), 0u)
        << saved;

    // The file holds exactly what info prints.
    source.start();
    const RunResult info = run({"info", "--port", source.slavePath()});
    source.stop();
    EXPECT_EQ(saved.substr(saved.find('\n') + 1), info.out);

    Rz4Emulator target;
    ASSERT_TRUE(target.start());
    r = run({"restore", "--port", target.slavePath(), "saved.txt", "--store"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    const Rz4ControllerState s = target.state();
    const Rz4EmulatorConfig c = otherController();
    EXPECT_EQ(s.pid, c.pid);
    EXPECT_EQ(s.auxMode, c.auxMode);
    EXPECT_EQ(s.auxSkip, c.auxSkip);
    EXPECT_EQ(s.auxErrorLimit, c.auxErrorLimit);
    EXPECT_EQ(s.auxAccelLimit, c.auxAccelLimit);
    EXPECT_EQ(s.auxSpeedLimit, c.auxSpeedLimit);
    EXPECT_EQ(s.motorCurrent, c.motorCurrent);
    EXPECT_EQ(s.param128, c.param128);
    EXPECT_EQ(s.encoderFlags & 1, 1);
    EXPECT_EQ(s.encoderOffset, c.encoderOffset);
    EXPECT_EQ(s.encoderCalibAux, Rz4EmulatorConfig{}.encoderCalibAux); // its own, sent back unchanged
    EXPECT_EQ(s.storeCount, 1u);
    target.stop();
}

TEST_F(CliSettingsTest, ASettingThatDoesNotReadBackIsReported) {
    Rz4EmulatorConfig config;
    config.ignoredCommand = 51; // takes no 16-bit parameter write: the motor current stays 800
    Rz4Emulator target(config);
    ASSERT_TRUE(target.start());
    writeFile(dir_ + "/s.txt", "# by hand\n"
                               "motorCurrent: 900\nparam128: -3\nencoderFlags: 0\nencoderOffset: 22000\n"
                               "pidParameters: 80 40 120 80 40 120 20 30 0 0\nauxMode: 1\nauxSkip: 4\n"
                               "auxErrorLimit: 1000\nauxAccelLimit: 4000\nauxSpeedLimit: 20000\n");
    const RunResult r = run({"restore", "--port", target.slavePath(), "s.txt"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.out, "motorCurrent: wrote 900, read 800\n");
    EXPECT_EQ(target.state().storeCount, 0u); // no --store
    target.stop();
}

TEST_F(CliSettingsTest, ABadFileSendsNothing) {
    Rz4EmulatorConfig config;
    config.maxCurrent = 700;
    Rz4Emulator target(config);
    ASSERT_TRUE(target.start());
    const std::string good = "motorCurrent: 650\nparam128: -3\nencoderFlags: 0\nencoderOffset: 22000\n"
                             "pidParameters: 80 40 120 80 40 120 20 30 0 0\nauxMode: 1\nauxSkip: 4\n"
                             "auxErrorLimit: 1000\nauxAccelLimit: 4000\nauxSpeedLimit: 20000\n";
    struct Row {
        std::string text;
        const char* message;
    };
    const Row rows[] = {
        {"# x\n" + good + "auxMode: 1\n", "s.txt: line 12: auxMode is given twice"},
        {good.substr(0, good.find("param128")) + "param128: 41\n" + good.substr(good.find("encoderFlags")),
         "s.txt: line 2: param128: '41' is not a number from -40 to 40"},
        // Above this controller's maximum: found after connecting, still before anything is sent.
        {"motorCurrent: 800\n" + good.substr(good.find('\n') + 1),
         "s.txt: line 1: motorCurrent: 800 is above the controller's maxCurrent 700"},
    };
    for (const Row& row : rows) {
        writeFile(dir_ + "/s.txt", row.text);
        target.clearReceived();
        const RunResult r = run({"restore", "--port", target.slavePath(), "s.txt", "--store"});
        EXPECT_EQ(r.exitCode, 2) << row.message;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        for (std::uint8_t command : commandsOf(target))
            EXPECT_TRUE(command < 13 || command == 20 || command == 21 || command == 23 || command == 82 ||
                        command == 84 || command == 86 || command == 123)
                << int(command); // questions only
    }
    target.stop();
}

} // namespace
