// Runs the built astrelvo-cli against the controller emulator and checks its output and exit codes.
#include "emulator/Rz4Emulator.h"
#include "tests/cli/CliRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using CliTest = CliRunTest;

TEST_F(CliTest, BadUsageExitsWithTwoAndPrintsUsage) {
    for (const char* args :
         {"", "frobnicate --port test", "log --port test", "info", "log --port test --seconds x",
          "log --port test --seconds 2 --rate 6", "info --port test --bogus"}) {
        CliRunResult r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: astrelvo-cli"), std::string::npos) << args;
    }
}

TEST_F(CliTest, InfoPrintsTheDeviceRecord) {
    Rz4Emulator emulator;
    ASSERT_TRUE(emulator.start());
    CliRunResult r = run("info --port '" + emulator.slavePath() + "'");
    emulator.stop();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Connection established."), std::string::npos) << r.err;
    for (const char* field : {"hardwareVersion: ", "firmwareVersion: ", "gearRatio: ", "encoderBits: ",
                              "recordLength: 16", "blockRecords: ", "pidParameters: ", "auxSpeedLimit: "})
        EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
}

TEST_F(CliTest, LogWritesTheFileAndASummary) {
    CliRunResult r = run("log --port virtual --seconds 3 --rate 3 --output night.dat");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string data = readWholeFile(dir_ + "/night.dat");
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
    CliRunResult r = run("log --port test --seconds 2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Info: Testing without connection"), std::string::npos);
    EXPECT_FALSE(readWholeFile(dir_ + "/data.dat").empty());
}

TEST_F(CliTest, MissingPortFailsWithThree) {
    CliRunResult r = run("info --port /dev/astrelvo-no-such-port");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Cannot open port."), std::string::npos) << r.err;
}

TEST_F(CliTest, SilentControllerTimesOut) {
    Rz4EmulatorConfig config;
    config.silentFromRequest = 1;
    Rz4Emulator emulator(config);
    ASSERT_TRUE(emulator.start());
    CliRunResult r = run("info --port '" + emulator.slavePath() + "'");
    emulator.stop();
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Cannot connect: Timeout"), std::string::npos) << r.err;
}

} // namespace
