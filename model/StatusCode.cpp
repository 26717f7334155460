#include "model/StatusCode.h"

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
};

} // namespace

const char* statusText(uint32_t code) {
    return code < kStatusCodeCount ? kStatusTexts[code] : nullptr;
}
