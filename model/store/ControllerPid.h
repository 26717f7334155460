#pragma once

#include "rz4/PidValues.h"

#include <cstdint>

// The ten PID values the controller holds as far as the program knows: read at connect, and replaced only
// when a PID packet is known to have reached it (a PID marker, that is a held-back PID the controller
// answered or one sent while logging, or a PID sent at once while it does not log). Each replacement is
// counted and keeps the sample it took effect at, so that whoever sent values recognises their arrival,
// also of values the controller held already. Part of AppModel, on the UI thread.
struct ControllerPid {
    rz4::PidValues values{};
    bool known = false;         // read from a controller (or the test mode) since the program started
    uint32_t confirmations = 0; // replacements since the program started, the reading at connect included
    uint32_t sample = 0;        // the store's sample count when the last one came

    // The values a connection read.
    void read(const uint32_t (&pid)[10], uint32_t atSample);
    // A PID packet reached the controller: its 20 argument bytes (ten little-endian values). Fewer
    // bytes are no PID and change nothing.
    void confirm(const uint8_t* arguments, uint32_t length, uint32_t atSample);
};
