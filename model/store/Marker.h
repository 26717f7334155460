#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

// A command that changed the controller while logging (PID, aux, motor current, parameter 128, closed
// loop, tracking, encoder calibration, EEPROM store), placed at the first sample logged after it took
// effect, with a short label for the graph, the CSV file and the segment table. Kept by AppModel on the
// UI thread.
struct Marker {
    static constexpr int kMaxArguments = 30;
    static constexpr int kLabelSize = 48;

    uint32_t sample = 0; // index of the first sample logged after the change
    uint8_t command = 0; // the engine command's code
    uint8_t argumentCount = 0;
    uint8_t arguments[kMaxArguments] = {}; // as the command event carries them (little-endian)
    char label[kLabelSize] = {};           // e.g. "PID 100/40/120", "Current 900 mA"

    // The label up to its terminator, never past the array whatever it holds.
    std::string_view labelText() const {
        return {label, static_cast<std::size_t>(std::find(label, label + kLabelSize, '\0') - label)};
    }
};

// Not a command's code: the marker channel's notice that a PID went out at once while the controller did
// not log (the code, then the PID's ten values as SendPid carries them). The controller holds those values
// from then on; the log has no marker for it.
constexpr uint8_t kPidSentNotice = 0xFF;

// The marker of a command at sample: command holds the code, then the arguments (length bytes in all,
// untrusted: a short command reads its missing arguments as 0, extra bytes are ignored).
Marker makeMarker(uint32_t sample, const uint8_t* command, uint32_t length);

// Writes the label of a command (code and arguments as above) into buffer and terminates it; returns
// the length written. Labels say what was sent: "PID 100/40/120", "Closed loop on", "Current 900 mA",
// "Param128 -3", "Aux mode 1", "Tracking on", "Tracking rate 8", "Encoder reverse, offset 22000",
// "EEPROM store", "Command 40: 1".
int formatMarkerLabel(char* buffer, int capacity, const uint8_t* command, uint32_t length);
