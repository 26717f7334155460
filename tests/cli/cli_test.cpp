// Runs the built astrelvo-cli against the controller emulator and checks its output and exit codes.
// On Linux the emulator runs in this test on a pseudo-terminal. A Windows build (run under Wine) reaches
// a controller through a COM port: ASTRELVO_TEST_COM_PORT names one that leads to a running emulator
// and ASTRELVO_TEST_SILENT_COM_PORT one whose emulator never answers (.ci/run maps both to
// pseudo-terminals); the tests that need them are skipped without.
#include "emulator/Rz4Emulator.h"
#include "tests/cli/CliRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

namespace {

using CliTest = CliRunTest;

// The port of a well-behaved controller: the emulator's pseudo-terminal here, or the COM port that
// the environment names on Windows (empty: skip).
std::string controllerPort(Rz4Emulator& emulator, const char* windowsVariable) {
#ifdef _WIN32
    (void)emulator;
    const char* port = std::getenv(windowsVariable);
    return port != nullptr ? port : "";
#else
    (void)windowsVariable;
    return emulator.start() ? emulator.slavePath() : std::string();
#endif
}

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
    const std::string port = controllerPort(emulator, "ASTRELVO_TEST_COM_PORT");
    if (port.empty())
        GTEST_SKIP() << "no COM port leads to an emulator (ASTRELVO_TEST_COM_PORT)";
    CliRunResult r = run(CliArgs{"info", "--port", port});
    emulator.stop();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Connection established."), std::string::npos) << r.err;
    for (const char* field : {"hardwareVersion: ", "firmwareVersion: ", "gearRatio: ", "encoderBits: ",
                              "recordLength: 16", "blockRecords: ", "pidParameters: ", "auxSpeedLimit: "})
        EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
}

// The logged file and the summary, through the built-in emulator and, where there is one, through a
// controller on a port (named in the device namespace on Windows: \\.\COM7).
TEST_F(CliTest, LogWritesTheFileAndASummary) {
    Rz4Emulator emulator;
    std::string port = controllerPort(emulator, "ASTRELVO_TEST_COM_PORT");
#ifdef _WIN32
    if (!port.empty() && port.rfind("\\\\.\\", 0) != 0)
        port = "\\\\.\\" + port;
#endif
    std::vector<std::string> ports = {"virtual"};
    if (!port.empty())
        ports.push_back(port);
    for (const std::string& p : ports) {
        CliRunResult r =
            run(CliArgs{"log", "--port", p, "--seconds", "3", "--rate", "3", "--output", "night.dat"});
        EXPECT_EQ(r.exitCode, 0) << p << "\n" << r.err;
        std::string data = readWholeFile(dir_ + "/night.dat");
        ASSERT_FALSE(data.empty()) << p;
        EXPECT_EQ(data.rfind("[N:0 TS:", 0), 0u) << p;
        // Every line ends in CR LF exactly: no newline translation on any platform.
        EXPECT_NE(data.find("\r\n"), std::string::npos) << p;
        EXPECT_EQ(data.find("\r\r"), std::string::npos) << p;
        for (std::size_t at = data.find('\n'); at != std::string::npos; at = data.find('\n', at + 1))
            ASSERT_TRUE(at > 0 && data[at - 1] == '\r') << p << " at " << at;
        auto pos = r.out.find("samples: ");
        ASSERT_NE(pos, std::string::npos) << r.out;
        EXPECT_GT(std::atoi(r.out.c_str() + pos + 9), 10) << p;
        for (const char* field : {"pe_peak_to_peak_arcsec: ", "pe_rms_arcsec: ", "drift_arcsec_per_sample: "})
            EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
        EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
    }
    emulator.stop();
}

TEST_F(CliTest, TestModeLogsWithoutAController) {
    CliRunResult r = run("log --port test --seconds 2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Info: Testing without connection"), std::string::npos);
    EXPECT_FALSE(readWholeFile(dir_ + "/data.dat").empty());
}

TEST_F(CliTest, MissingPortFailsWithThree) {
#ifdef _WIN32
    const char* const missing[] = {"COM250", "\\\\.\\COM251"};
#else
    const char* const missing[] = {"/dev/astrelvo-no-such-port"};
#endif
    for (const char* port : missing) {
        CliRunResult r = run(CliArgs{"info", "--port", port});
        EXPECT_EQ(r.exitCode, 3) << port;
        EXPECT_NE(r.err.find("Error: Cannot open port."), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(port), std::string::npos) << "the reason names the port\n" << r.err;
        EXPECT_EQ(r.err.find("Not connected yet"), std::string::npos) << "nothing to disconnect\n" << r.err;
    }
    // A log that never started leaves an earlier night's files as they were and makes no new ones.
    writeFile("night.dat", "last night\r\n");
    CliRunResult r = run(CliArgs{"log", "--port", missing[0], "--seconds", "1", "--output", "night.dat",
                                 "--csv", "night.csv"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(readWholeFile(path("night.dat")), "last night\r\n");
    EXPECT_FALSE(std::filesystem::exists(path("night.csv")));
}

TEST_F(CliTest, SilentControllerTimesOut) {
    Rz4EmulatorConfig config;
    config.silentFromRequest = 1;
    Rz4Emulator emulator(config);
    const std::string port = controllerPort(emulator, "ASTRELVO_TEST_SILENT_COM_PORT");
    if (port.empty())
        GTEST_SKIP() << "no COM port leads to a silent emulator (ASTRELVO_TEST_SILENT_COM_PORT)";
    CliRunResult r = run(CliArgs{"info", "--port", port});
    emulator.stop();
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Cannot connect: Timeout"), std::string::npos) << r.err;
}

// tune, backup and restore through the built-in emulator, on every platform (the emulator is reached
// through an in-process line where there are no pseudo-terminals).
TEST_F(CliTest, TuneBackupAndRestoreWorkThroughTheVirtualController) {
    CliRunResult r = run(CliArgs{"tune", "--port", "virtual", "--rate", "5", "--seconds-per-step", "1",
                                 "--pid", "100,40,120"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* line : {"step: 0 pid=", "step: 1 pid=100,40,120 samples=", "best: ", "restored: "})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    r = run(CliArgs{"backup", "--port", "virtual", "--output", "saved.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string saved = readWholeFile(path("saved.txt"));
    EXPECT_EQ(saved.rfind("# astrelvo-cli ", 0), 0u) << saved;
    EXPECT_NE(saved.find("\nmotorCurrent: "), std::string::npos) << saved;

    r = run(CliArgs{"restore", "--port", "virtual", "saved.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

// A folder whose name no single code page holds (Windows gives a program such names, and shows its
// output, only in UTF-16 or UTF-8): a guide log analysed from there, a log and its CSV written there,
// the settings backed up there and restored from there; the paths printed as they were given.
TEST_F(CliTest, FilesInAFolderOfAnyLetters) {
    const std::string folder = path("J\u00fcrgen \u03a9\u03bc\u03ad\u03b3\u03b1 \u5929\u6587");
    ASSERT_TRUE(std::filesystem::create_directory(pathFromUtf8(folder)));
    std::string guideLog = "PHD2 version 2.6.11, Log version 2.5. Log enabled at 2023-03-01 20:00:00\n"
                           "Guiding Begins at 2023-03-01 20:00:00\n"
                           "Pixel scale = 2.00 arc-sec/px, Binning = 1, Focal length = 400 mm\n"
                           "Mount = M, xRate = 5.000, yRate = 5.000\n"
                           "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,"
                           "DECGuideDistance,RADuration\n";
    char row[96];
    for (int k = 1; k <= 90; ++k) {
        std::snprintf(row, sizeof row, "%d,%d,\"Mount\",0,0,%.4f,0,0,0,0\n", k, 2 * k,
                      1.5 * std::sin(2 * std::numbers::pi * k / 30.0));
        guideLog += row;
    }
    {
        std::ofstream out(pathFromUtf8(folder + "/PHD2_GuideLog.txt"), std::ios::binary);
        out << guideLog;
    }
    CliRunResult r = run(CliArgs{"analyze", folder + "/PHD2_GuideLog.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("format: phd2\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nsamples: 90\n"), std::string::npos) << r.out;

    const std::string dat = folder + "/data.dat", csv = folder + "/night.csv";
    r = run(CliArgs{"log", "--port", "virtual", "--seconds", "5", "--output", dat, "--csv", csv});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\noutput: " + dat + "\ncsv: " + csv + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(readWholeFile(dat).rfind("[N:0 TS:", 0), 0u);
    EXPECT_EQ(readWholeFile(csv).rfind("# astrelvo log 1\r\n", 0), 0u);

    const std::string saved = folder + "/saved.txt";
    r = run(CliArgs{"backup", "--port", "virtual", "--output", saved});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readWholeFile(saved).rfind("# astrelvo-cli ", 0), 0u);
    r = run(CliArgs{"restore", "--port", "virtual", saved});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

} // namespace
