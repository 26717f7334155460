#include "rz4/StatusCode.h"

namespace {

// Indexed by StatusCode; the texts are shown as they are in the status line.
constexpr const char* kStatusTexts[kStatusCodeCount] = {
    "Not connected",
    "Opening port, please wait...",
    "Connecting...",
    "Connection established.",
    "Connection closed",
    "Info: Testing without connection",
    "Error: Cannot open port.",
    "Error: Cannot connect: Timeout",
    "Error: Cannot connect: Unknown device",
    "Error: Cannot connect: Not supported device",
    "Error: Communication error",
    "Error: Already connected",
    "Error: Not connected yet",
    "Ready",
    "Paramers stored in motor control.",
    "Info: Replaced the waiting closed loop change",
    "Info: Replaced the waiting PID change",
    "Info: Replaced the waiting aux change",
    "Info: Replaced the waiting motor current change",
    "Info: Replaced the waiting parameter change",
    "Info: Replaced the waiting tracking change",
    "Info: Replaced the waiting encoder calibration",
    "Info: Replaced the waiting EEPROM store",
    "Info: Replaced the waiting command 40",
    "Connection closed; waiting changes were not sent",
};

} // namespace

const char* statusText(uint32_t code) {
    return code < kStatusCodeCount ? kStatusTexts[code] : nullptr;
}
