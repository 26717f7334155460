#pragma once

#include <cstdint>

// Implemented by the main dialog; called on the UI thread by DataTransfer and AppModel.
class iMainDlgCallback {
public:
    virtual void OnStatus(uint32_t code) = 0;
    virtual void OnEncoderBits(uint32_t bits) = 0;
    virtual void OnNewData(uint32_t start, uint32_t count, uint32_t available) = 0;
    // AppModel kept a new marker at markers[index]. Does nothing unless the user interface shows markers.
    virtual void OnMarker(uint32_t index) { (void)index; }
    virtual ~iMainDlgCallback() = default;
};
