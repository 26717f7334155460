#pragma once

#include "rz4/DeviceInfo.h"

#include <cstdint>

// What the engine reports to the user interface's side: implemented by DataTransfer, called on the
// engine worker thread only. Tests of the engine record these calls with a double.
class iEngineReport {
public:
    // The longest record the channel to the user interface can frame (six bits of length).
    static constexpr uint32_t kMaxRecordLength = 63;
    // The longest command a marker carries: an engine event's payload.
    static constexpr uint32_t kMaxMarkerLength = 31;

    virtual void postStatus(uint32_t code) = 0;
    // length <= 63 bytes; bytes may be null when length is 0.
    virtual void writeRecord(const uint8_t* bytes, uint32_t length, bool last) = 0;
    virtual void setDeviceInfo(const DeviceInfo& info) = 0;
    // A command that changed the controller while logging took effect here, between the records written
    // before and after this call. command: the command event's payload (code, then its arguments),
    // 1..kMaxMarkerLength bytes.
    virtual void writeMarker(const uint8_t* command, uint32_t length) = 0;
    // A PID went out to the controller at once while it does not log, so the log gets no marker for it;
    // arguments: the ten values as the command carries them (20 bytes, little-endian). The user
    // interface's copy of what the controller holds follows it.
    virtual void pidSentAtOnce(const uint8_t* arguments, uint32_t length) {
        (void)arguments;
        (void)length;
    }
    virtual ~iEngineReport() = default;
};
