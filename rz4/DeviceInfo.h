#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "the device record and all wire formats are little-endian; a big-endian port must swap");

// The 200-byte record describing the connected controller. Copied whole, as a block of bytes, between
// the engine (worker thread), DataTransfer (under its lock) and AppModel (UI thread); each copy is
// owned by the object that embeds it. Little-endian on the wire and in the record.
struct DeviceInfo {
    uint32_t hardwareVersion;    // 0
    uint32_t firmwareVersion;    // 4
    uint8_t logInfoByte;         // 8
    uint8_t reserved9[3];        // 9
    uint32_t logInfo1;           // 12
    uint32_t logInfo2;           // 16
    uint32_t logInfo3;           // 20
    uint32_t maxBlockBytes;      // 24
    uint32_t recordLength;       // 28
    uint32_t recordInfo;         // 32
    uint32_t recordInfo2;        // 36
    uint32_t gearRatio;          // 40
    uint32_t fullResolution;     // 44
    uint32_t siderealSpeed;      // 48
    uint32_t encoderBits;        // 52
    uint64_t encoderResolution;  // 56
    uint64_t encoderMask;        // 64
    uint16_t maxCurrent;         // 72
    uint16_t motorCurrent;       // 74
    int8_t param128;             // 76
    uint8_t reserved77[3];       // 77
    uint32_t gearRatio2;         // 80
    uint32_t fullResolution2;    // 84
    uint32_t siderealSpeed2;     // 88
    uint32_t encoderBits2;       // 92
    uint32_t encoderResolution2; // 96
    uint32_t encoderMask2;       // 100
    uint8_t encoderFlags;        // 104
    uint8_t reserved105[3];      // 105
    uint32_t encoderOffset;      // 108
    uint32_t encoderCalibAux;    // 112
    uint32_t pidParameters[10];  // 116
    uint8_t auxMode;             // 156
    uint8_t auxReserved;         // 157
    uint8_t reserved158[2];      // 158
    uint32_t auxSkip;            // 160
    uint32_t auxSkip2;           // 164
    uint32_t auxErrorLimit;      // 168
    uint32_t auxAccelLimit;      // 172
    uint32_t auxSpeedLimit;      // 176
    uint32_t auxErrorLimit2;     // 180
    uint32_t auxAccelLimit2;     // 184
    uint32_t auxSpeedLimit2;     // 188
    uint32_t blockRecords;       // 192
    uint32_t reserved;           // 196
};

static_assert(sizeof(DeviceInfo) == 200);
static_assert(std::is_trivially_copyable_v<DeviceInfo>);
static_assert(std::is_standard_layout_v<DeviceInfo>);
static_assert(offsetof(DeviceInfo, hardwareVersion) == 0);
static_assert(offsetof(DeviceInfo, firmwareVersion) == 4);
static_assert(offsetof(DeviceInfo, logInfoByte) == 8);
static_assert(offsetof(DeviceInfo, logInfo1) == 12);
static_assert(offsetof(DeviceInfo, logInfo2) == 16);
static_assert(offsetof(DeviceInfo, logInfo3) == 20);
static_assert(offsetof(DeviceInfo, maxBlockBytes) == 24);
static_assert(offsetof(DeviceInfo, recordLength) == 28);
static_assert(offsetof(DeviceInfo, recordInfo) == 32);
static_assert(offsetof(DeviceInfo, recordInfo2) == 36);
static_assert(offsetof(DeviceInfo, gearRatio) == 40);
static_assert(offsetof(DeviceInfo, fullResolution) == 44);
static_assert(offsetof(DeviceInfo, siderealSpeed) == 48);
static_assert(offsetof(DeviceInfo, encoderBits) == 52);
static_assert(offsetof(DeviceInfo, encoderResolution) == 56);
static_assert(offsetof(DeviceInfo, encoderMask) == 64);
static_assert(offsetof(DeviceInfo, maxCurrent) == 72);
static_assert(offsetof(DeviceInfo, motorCurrent) == 74);
static_assert(offsetof(DeviceInfo, param128) == 76);
static_assert(offsetof(DeviceInfo, gearRatio2) == 80);
static_assert(offsetof(DeviceInfo, fullResolution2) == 84);
static_assert(offsetof(DeviceInfo, siderealSpeed2) == 88);
static_assert(offsetof(DeviceInfo, encoderBits2) == 92);
static_assert(offsetof(DeviceInfo, encoderResolution2) == 96);
static_assert(offsetof(DeviceInfo, encoderMask2) == 100);
static_assert(offsetof(DeviceInfo, encoderFlags) == 104);
static_assert(offsetof(DeviceInfo, encoderOffset) == 108);
static_assert(offsetof(DeviceInfo, encoderCalibAux) == 112);
static_assert(offsetof(DeviceInfo, pidParameters) == 116);
static_assert(offsetof(DeviceInfo, auxMode) == 156);
static_assert(offsetof(DeviceInfo, auxReserved) == 157);
static_assert(offsetof(DeviceInfo, auxSkip) == 160);
static_assert(offsetof(DeviceInfo, auxSkip2) == 164);
static_assert(offsetof(DeviceInfo, auxErrorLimit) == 168);
static_assert(offsetof(DeviceInfo, auxAccelLimit) == 172);
static_assert(offsetof(DeviceInfo, auxSpeedLimit) == 176);
static_assert(offsetof(DeviceInfo, auxErrorLimit2) == 180);
static_assert(offsetof(DeviceInfo, auxAccelLimit2) == 184);
static_assert(offsetof(DeviceInfo, auxSpeedLimit2) == 188);
static_assert(offsetof(DeviceInfo, blockRecords) == 192);
static_assert(offsetof(DeviceInfo, reserved) == 196);

// The user interface's starting record (AppModel's defaults); every field not listed is 0.
DeviceInfo defaultDeviceInfo();
// Writes the fixed test-mode values into info; the other fields keep their values.
void applyTestModeValues(DeviceInfo& info);
// encoderResolution = 2^encoderBits and encoderMask = 2^encoderBits - 1, as unsigned 64-bit values
// (exact up to 63 bits; 64 and above give resolution 0 and an all-ones mask).
void updateDerivedEncoderFields(DeviceInfo& info);
