#pragma once

#include <cstdint>

// Implemented by the main dialog; called on the UI thread by DataTransfer and AppModel.
class iMainDlgCallback {
public:
    virtual void OnStatus(uint32_t code) = 0;
    virtual void OnEncoderBits(uint32_t bits) = 0;
    virtual void OnNewData(uint32_t start, uint32_t count, uint32_t available) = 0;
    virtual ~iMainDlgCallback() = default;
};
