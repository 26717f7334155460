#pragma once

#include "model/DeviceInfo.h"

#include <cstdint>

// What the engine reports to the user interface's side: implemented by DataTransfer, called on the
// engine worker thread only. Tests of the engine record these calls with a double.
class iEngineReport {
public:
    // The longest record the channel to the user interface can frame (six bits of length).
    static constexpr uint32_t kMaxRecordLength = 63;

    virtual void postStatus(uint32_t code) = 0;
    // length <= 63 bytes; bytes may be null when length is 0.
    virtual void writeRecord(const uint8_t* bytes, uint32_t length, bool last) = 0;
    virtual void setDeviceInfo(const DeviceInfo& info) = 0;
    virtual ~iEngineReport() = default;
};
