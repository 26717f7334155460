// The controller settings file: written as info prints the record, read back whole, and every malformed
// or out-of-range line refused by its number.
#include "model/store/SettingsFile.h"
#include "rz4/DeviceInfo.h"
#include "tests/ui/EngineCommandRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

DeviceInfo sampleInfo() {
    DeviceInfo info = defaultDeviceInfo();
    info.hardwareVersion = 0x02010000;
    info.maxCurrent = 2500;
    info.motorCurrent = 800;
    info.param128 = -3;
    info.encoderFlags = 0xFE;
    info.encoderOffset = static_cast<uint32_t>(-22000);
    const uint32_t pid[10] = {80, 40, 120, 80, 40, 120, 20, 30, 0, 65535};
    for (int i = 0; i < 10; ++i)
        info.pidParameters[i] = pid[i];
    info.auxMode = 6;
    info.auxSkip = 4;
    info.auxErrorLimit = 1000;
    info.auxAccelLimit = 4000;
    info.auxSpeedLimit = 4294967295u;
    updateDerivedEncoderFields(info);
    return info;
}

std::string sampleFile() {
    std::tm date{};
    date.tm_year = 125;
    date.tm_mon = 0;
    date.tm_mday = 31;
    date.tm_hour = 22;
    return SettingsFile::header("astrelvo-cli", "1.1", date) + SettingsFile::format(sampleInfo());
}

// The sample file with the line that starts with `name:` replaced (or dropped when line is empty).
std::string withLine(const std::string& name, const std::string& line) {
    std::string text = sampleFile();
    const std::size_t at = text.find("\n" + name + ":") + 1;
    const std::size_t end = text.find('\n', at);
    return text.substr(0, at) + (line.empty() ? "" : line + "\n") + text.substr(end + 1);
}

TEST(SettingsFile, WrittenAsInfoPrintsItAndReadBackWhole) {
    const std::string text = sampleFile();
    EXPECT_EQ(text.rfind("# astrelvo-cli 1.1 controller settings, 2025-01-31 22:00:00\n", 0), 0u);
    for (const char* line :
         {"\nhardwareVersion: 2.1.0.0\n", "\nmotorCurrent: 800\n", "\nparam128: -3\n",
          "\nencoderOffset: -22000\n", "\nencoderFlags: 254\n",
          "\npidParameters: 80 40 120 80 40 120 20 30 0 65535\n", "\nauxSpeedLimit: 4294967295\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    SettingsFile file;
    std::string error;
    ASSERT_TRUE(file.parse(text, error)) << error;
    EXPECT_EQ(file.values(), ControllerSettings::of(sampleInfo()));

    // A byte-order mark, Windows line ends, comments, blank lines and spaces around the parts are fine.
    std::string edited;
    for (char c : text)
        edited += c == '\n' ? std::string("  \r\n") : std::string(1, c);
    ASSERT_TRUE(file.parse("\xEF\xBB\xBF# note\n\n" + edited, error)) << error;
    EXPECT_EQ(file.values(), ControllerSettings::of(sampleInfo()));
    // The offset as the drive information dialog shows it (unsigned) means the same.
    ASSERT_TRUE(file.parse(withLine("encoderOffset", "encoderOffset: 4294945296"), error)) << error;
    EXPECT_EQ(file.values().encoderOffset, -22000);
}

TEST(SettingsFile, EveryBadLineIsRefusedByItsNumber) {
    struct Row {
        std::string text;
        const char* error; // what the message starts with
    };
    const Row rows[] = {
        {withLine("motorCurrent", "motorCurrent: 70000"),
         "line 8: motorCurrent: '70000' is not a number from 0 to 65535"},
        {withLine("motorCurrent", "motorCurrent: 2600"),
         "line 8: motorCurrent: 2600 is above maxCurrent 2500"},
        {withLine("motorCurrent", "motorCurrent: 9x"), "line 8: motorCurrent: '9x' is not"},
        {withLine("motorCurrent", "motorCurrent:"), "line 8: motorCurrent: '' is not"},
        {withLine("param128", "param128: 41"), "line 9: param128: '41' is not a number from -40 to 40"},
        {withLine("param128", "param128: --3"), "line 9: param128"},
        {withLine("encoderFlags", "encoderFlags: 256"), "line 12: encoderFlags"},
        {withLine("encoderOffset", "encoderOffset: 4294967296"), "line 13: encoderOffset"},
        {withLine("pidParameters", "pidParameters: 1 2 3 4 5 6 7 8 9"),
         "line 18: pidParameters: expected ten"},
        {withLine("pidParameters", "pidParameters: 1 2 3 4 5 6 7 8 9 10 11"), "line 18: pidParameters"},
        {withLine("pidParameters", "pidParameters: 1 2 3 4 5 6 7 8 9 65536"), "line 18: pidParameters"},
        {withLine("auxMode", "auxMode: 7"), "line 19: auxMode: '7' is not a number from 0 to 6"},
        {withLine("auxSkip", "auxSkip: -1"), "line 20: auxSkip"},
        {withLine("auxSpeedLimit", "auxSpeedLimit: 4294967296"), "line 23: auxSpeedLimit"},
        {withLine("hardwareVersion", "hardwareVersion: 2.1.0"),
         "line 2: hardwareVersion: '2.1.0' is not four"},
        {withLine("gearRatio", "gearRatio: -5"), "line 4: gearRatio"},
        {withLine("encoderResolution", "encoderResolution: 1e6"), "line 11: encoderResolution"},
        {withLine("gearRatio", "gear ratio 5"), "line 4: expected 'name: value'"},
        {withLine("gearRatio", "gearRate: 5"), "line 4: unknown setting 'gearRate'"},
        {withLine("gearRatio", "auxMode: 1"), "line 19: auxMode is given twice (first on line 4)"},
        {withLine("motorCurrent", ""), "the file has no motorCurrent line"},
        {withLine("pidParameters", ""), "the file has no pidParameters line"},
        {"", "the file has no motorCurrent line"},
    };
    for (const Row& row : rows) {
        SettingsFile file;
        std::string error;
        EXPECT_FALSE(file.parse(row.text, error)) << row.error;
        EXPECT_EQ(error.rfind(row.error, 0), 0u) << "got: " << error;
    }
    // Read-only fields that are missing do not matter.
    SettingsFile file;
    std::string error;
    EXPECT_TRUE(file.parse(withLine("maxCurrent", ""), error)) << error;
}

TEST(SettingsFile, CheckedAgainstTheControllerAndComparedAfterReadBack) {
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(file.parse(withLine("maxCurrent", ""), error));
    DeviceInfo controller = sampleInfo();
    controller.maxCurrent = 700;
    EXPECT_FALSE(file.checkAgainst(controller, error));
    EXPECT_EQ(error, "line 7: motorCurrent: 800 is above the controller's maxCurrent 700");
    controller.maxCurrent = 800;
    EXPECT_TRUE(file.checkAgainst(controller, error));

    // Only bit 0 of the flags is written; the controller keeps the others.
    controller.encoderFlags = 0x11;
    ControllerSettings wrote = file.values().sentTo(controller);
    EXPECT_EQ(wrote.encoderFlags, 0x10);
    ControllerSettings read = wrote;
    EXPECT_TRUE(wrote.differences(read).empty());
    read.motorCurrent = 700;
    read.pidParameters[9] = 0;
    read.param128 = 5;
    EXPECT_EQ(
        wrote.differences(read),
        (std::vector<std::string>{
            "pidParameters: wrote 80 40 120 80 40 120 20 30 0 65535, read 80 40 120 80 40 120 20 30 0 0",
            "motorCurrent: wrote 800, read 700", "param128: wrote -3, read 5"}));
}

// Loading a file in the closed-loop dialog and astrelvo-cli restore send through apply(): the motor
// current goes out only to a controller that reports its maximum, and is then compared on read-back.
TEST(SettingsFile, MotorCurrentSentAndComparedOnlyWithAKnownMaximum) {
    const ControllerSettings values = ControllerSettings::of(sampleInfo());
    struct Row {
        uint16_t maxCurrent;
        bool sent;
    };
    for (const Row row : {Row{2500, true}, Row{0, false}}) {
        DeviceInfo controller = sampleInfo();
        controller.maxCurrent = row.maxCurrent;
        EngineCommandRecorder engine;
        EXPECT_EQ(values.apply(engine, controller), row.sent);
        std::vector<std::string> expected = {"SendPid(80,40,120,80,40,120,20,30,0,65535)",
                                             "SendAux(6,0,4,0,1000,4000,4294967295,0,0,0)"};
        if (row.sent)
            expected.push_back("WriteParam16(129,800)");
        expected.push_back("WriteParam8(128,253)");
        expected.push_back("SetEncoderCalibration(0,4294945296)");
        EXPECT_EQ(engine.calls, expected) << row.maxCurrent;
        ControllerSettings read = values;
        read.motorCurrent = 100;
        EXPECT_EQ(values.differences(read, row.sent).size(), row.sent ? 1u : 0u) << row.maxCurrent;
    }
}

} // namespace
