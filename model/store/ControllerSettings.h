#pragma once

#include "rz4/DeviceInfo.h"

#include <cstdint>
#include <string>
#include <vector>

class iEngineCommands;

// The settings the program writes to the controller: PID, aux, motor current, parameter 128 and the
// encoder calibration. A settings file holds them (SettingsFile); the closed-loop dialog's "Load from
// file..." and astrelvo-cli restore send them with apply(), and restore compares what a new connection
// reads back with differences(). A value type.
struct ControllerSettings {
    uint16_t pidParameters[10] = {};
    uint8_t auxMode = 0;
    uint16_t auxSkip = 0;
    uint32_t auxErrorLimit = 0;
    uint32_t auxAccelLimit = 0;
    uint32_t auxSpeedLimit = 0;
    uint16_t motorCurrent = 0; // mA, parameter 129
    int8_t param128 = 0;
    uint8_t encoderFlags = 0; // bit 0: reverse
    int32_t encoderOffset = 0;
    bool operator==(const ControllerSettings&) const = default;

    // The writable settings of a device record.
    static ControllerSettings of(const DeviceInfo& info);

    // The one rule for the motor current: it is sent only to a controller that reports its maximum
    // current (a value above the maximum is refused before anything is sent, SettingsFile::checkAgainst).
    // Without a maximum the value cannot be checked, and the controller keeps the current it has.
    static bool sendsMotorCurrent(const DeviceInfo& controller) { return controller.maxCurrent != 0; }

    // These settings as they go to the controller described by controller: only bit 0 of the encoder
    // flags is sent, the controller keeps its other bits.
    ControllerSettings sentTo(const DeviceInfo& controller) const;

    // Sends the settings, one command each: PID, aux, the motor current (by the rule above), parameter
    // 128, the encoder calibration. Returns whether the motor current was sent.
    bool apply(iEngineCommands& engine, const DeviceInfo& controller) const;

    // The settings that read back other than written, one text each: "motorCurrent: wrote 900, read
    // 700". The motor current is compared only when it was sent.
    std::vector<std::string> differences(const ControllerSettings& read, bool motorCurrentSent = true) const;
};
