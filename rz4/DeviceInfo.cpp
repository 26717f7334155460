#include "rz4/DeviceInfo.h"

#include <algorithm>
#include <iterator>

DeviceInfo defaultDeviceInfo() {
    DeviceInfo info{};
    info.recordLength = 0;
    info.recordInfo = 0;
    info.recordInfo2 = 0;
    info.gearRatio = 10000;
    info.fullResolution = 320000;
    info.siderealSpeed = 455;
    info.encoderBits = 12;
    info.encoderResolution = 4096;
    info.encoderMask = 4095;
    info.gearRatio2 = 10000;
    info.fullResolution2 = 320000;
    info.siderealSpeed2 = 455;
    info.encoderBits2 = 17;
    info.encoderResolution2 = 131072;
    info.encoderMask2 = 131071;
    info.encoderFlags = 1;
    info.encoderOffset = 1000;
    info.encoderCalibAux = 1100;
    const uint32_t pid[10] = {80, 40, 120, 80, 40, 120, 20, 30, 0, 0};
    std::copy(std::begin(pid), std::end(pid), std::begin(info.pidParameters));
    return info;
}

void applyTestModeValues(DeviceInfo& info) {
    info.recordLength = 16;
    info.recordInfo = 4;
    info.recordInfo2 = 1024;
    info.gearRatio = 172800;
    info.fullResolution = 5529600;
    info.siderealSpeed = 300;
    info.encoderBits = 25;
    updateDerivedEncoderFields(info);
    info.encoderBits2 = 25;
    info.encoderFlags = 0;
    info.encoderOffset = 22000;
    info.encoderCalibAux = 24000;
    const uint32_t pid[10] = {10, 11, 12, 20, 21, 22, 80, 120, 85, 125};
    std::copy(std::begin(pid), std::end(pid), std::begin(info.pidParameters));
    info.auxSkip = 4;
    info.auxSkip2 = 6;
    info.auxErrorLimit = 1000;
    info.auxAccelLimit = 4000;
    info.auxSpeedLimit = 20000;
    info.auxErrorLimit2 = 1500;
    info.auxAccelLimit2 = 4500;
    info.auxSpeedLimit2 = 20500;
}

void updateDerivedEncoderFields(DeviceInfo& info) {
    // The width comes from the controller: a shift by 64 or more would be undefined, so such widths
    // get resolution 0 (2^64 does not fit) and a mask with every bit set.
    if (info.encoderBits >= 64) {
        info.encoderResolution = 0;
        info.encoderMask = ~uint64_t{0};
        return;
    }
    info.encoderResolution = uint64_t{1} << info.encoderBits;
    info.encoderMask = info.encoderResolution - 1;
}
