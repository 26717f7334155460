#pragma once

#include "model/store/ControllerSettings.h"
#include "rz4/DeviceInfo.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The controller's settings as a text file: one `#` line naming the program, version and date, then
// `name: value` lines as `astrelvo-cli info` prints them (hardwareVersion: 2.1.0.0, pidParameters:
// 80 40 120 ...). Writes such a file, and reads one back checking all of it: a line that is not
// `name: value`, an unknown or repeated name, a malformed value, or a value out of the range the
// controller takes fails naming its line, before anything is sent. Of the fields only those the
// program can write to the controller are kept (PID, aux, motor current, parameter 128, encoder
// direction and offset); the others (versions, gear ratio, encoder width, ...) are checked for their
// form and otherwise ignored (ControllerSettings). Used by astrelvo-cli backup / restore and the closed-loop
// dialog, on one thread at a time.
class SettingsFile {
public:
    static constexpr int kMinParam128 = -40; // the range the closed-loop dialog offers
    static constexpr int kMaxParam128 = 40;
    static constexpr unsigned kMaxAuxMode = 6;

    // The `name: value` lines of a device record, each ending in a line feed.
    static std::string format(const DeviceInfo& info);
    // The first line, e.g. "# astrelvo-cli 1.1 controller settings, 2025-01-31 22:14:05", with its line
    // feed.
    static std::string header(const char* program, const char* version, const std::tm& date);
    // Reads a whole file. False with error set (e.g. "line 8: motorCurrent: 70000 is not a number from 0
    // to 65535") when anything is wrong; values() is then not to be used.
    bool parse(const std::string& text, std::string& error);
    const ControllerSettings& values() const { return values_; }
    // Whether the values suit the connected controller: the motor current must not be above its
    // maximum. False with error naming the line.
    bool checkAgainst(const DeviceInfo& controller, std::string& error) const;

private:
    bool parseLine(const std::string& line, int number, std::string& error);

    ControllerSettings values_;
    uint32_t maxCurrent_ = 0; // from the file, 0 when it names none
    int maxCurrentLine_ = 0;
    int motorCurrentLine_ = 0;
    std::vector<std::string> seen_; // names read so far, with their lines
    std::vector<int> seenLines_;
};
