// Runs the built astrelvo-cli against the controller emulator and checks its output and exit codes.
#include "emulator/Rz4Emulator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/astrelvo-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    RunResult run(const std::string& args) {
        std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
        std::string cmd =
            "cd '" + dir_ + "' && '" ASTRELVO_CLI_PATH "' " + args + " >'" + out + "' 2>'" + err + "'";
        int status = std::system(cmd.c_str());
        RunResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }

    std::string dir_;
};

TEST_F(CliTest, BadUsageExitsWithTwoAndPrintsUsage) {
    for (const char* args :
         {"", "frobnicate --port test", "log --port test", "info", "log --port test --seconds x",
          "log --port test --seconds 2 --rate 6", "info --port test --bogus"}) {
        RunResult r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: astrelvo-cli"), std::string::npos) << args;
    }
}

TEST_F(CliTest, InfoPrintsTheDeviceRecord) {
    Rz4Emulator emulator;
    ASSERT_TRUE(emulator.start());
    RunResult r = run("info --port '" + emulator.slavePath() + "'");
    emulator.stop();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Connection established."), std::string::npos) << r.err;
    for (const char* field : {"hardwareVersion: ", "firmwareVersion: ", "gearRatio: ", "encoderBits: ",
                              "recordLength: 16", "blockRecords: ", "pidParameters: ", "auxSpeedLimit: "})
        EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
}

TEST_F(CliTest, LogWritesTheFileAndASummary) {
    RunResult r = run("log --port virtual --seconds 3 --rate 3 --output night.dat");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string data = readFile(dir_ + "/night.dat");
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.rfind("[N:0 TS:", 0), 0u);
    EXPECT_NE(data.find("\r\n"), std::string::npos);
    auto pos = r.out.find("samples: ");
    ASSERT_NE(pos, std::string::npos) << r.out;
    EXPECT_GT(std::atoi(r.out.c_str() + pos + 9), 10);
    for (const char* field : {"pe_peak_to_peak_arcsec: ", "pe_rms_arcsec: ", "drift_arcsec_per_sample: "})
        EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
    EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
}

TEST_F(CliTest, TestModeLogsWithoutAController) {
    RunResult r = run("log --port test --seconds 2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Info: Testing without connection"), std::string::npos);
    EXPECT_FALSE(readFile(dir_ + "/data.dat").empty());
}

TEST_F(CliTest, MissingPortFailsWithThree) {
    RunResult r = run("info --port /dev/astrelvo-no-such-port");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Cannot open port."), std::string::npos) << r.err;
}

TEST_F(CliTest, SilentControllerTimesOut) {
    Rz4EmulatorConfig config;
    config.silentFromRequest = 1;
    Rz4Emulator emulator(config);
    ASSERT_TRUE(emulator.start());
    RunResult r = run("info --port '" + emulator.slavePath() + "'");
    emulator.stop();
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Cannot connect: Timeout"), std::string::npos) << r.err;
}

} // namespace
