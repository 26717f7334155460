#include "model/store/ControllerPid.h"

void ControllerPid::read(const uint32_t (&pid)[10], uint32_t atSample) {
    values = rz4::pidValuesOf(pid);
    known = true;
    ++confirmations;
    sample = atSample;
}

void ControllerPid::confirm(const uint8_t* arguments, uint32_t length, uint32_t atSample) {
    if (arguments == nullptr || length < 2 * values.size())
        return;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<uint16_t>(arguments[2 * i] | arguments[2 * i + 1] << 8);
    ++confirmations;
    sample = atSample;
}
