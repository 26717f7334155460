#include "rz4/DeviceInfo.h"
#include "rz4/Rz4Protocol.h"
#include "rz4/StatusCode.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t u32At(const DeviceInfo& info, std::size_t offset) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint64_t u64At(const DeviceInfo& info, std::size_t offset) {
    return static_cast<uint64_t>(u32At(info, offset)) | static_cast<uint64_t>(u32At(info, offset + 4)) << 32;
}

} // namespace

// Field writes must land on the record's fixed little-endian bytes: the record is handed over as a
// block and its layout is what the other side reads.
TEST(DeviceInfoLayout, FieldWritesLandAtTheirBytesLittleEndian) {
    DeviceInfo info{};
    info.hardwareVersion = 0x01020304;
    info.logInfoByte = 0xAB;
    info.maxBlockBytes = 0x11223344;
    info.recordLength = 16;
    info.encoderBits = 25;
    info.encoderResolution = 0x0102030405060708ULL;
    info.encoderMask = 0xF0E0D0C0B0A09080ULL;
    info.maxCurrent = 0xBEEF;
    info.motorCurrent = 0x1234;
    info.param128 = -2;
    info.encoderMask2 = 0x55667788;
    info.encoderFlags = 0x81;
    info.encoderOffset = 22000;
    info.pidParameters[0] = 0xA0A1A2A3;
    info.pidParameters[9] = 0xB0B1B2B3;
    info.auxMode = 6;
    info.auxSkip = 0x0000CAFE;
    info.auxSpeedLimit2 = 0xDEADBEEF;
    info.blockRecords = 500;
    info.reserved = 0x99887766;

    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[8], 0xAB);
    EXPECT_EQ(bytes[9], 0);
    EXPECT_EQ(u32At(info, 24), 0x11223344u);
    EXPECT_EQ(u32At(info, 28), 16u);
    EXPECT_EQ(u32At(info, 52), 25u);
    EXPECT_EQ(u64At(info, 56), 0x0102030405060708ULL);
    EXPECT_EQ(u64At(info, 64), 0xF0E0D0C0B0A09080ULL);
    EXPECT_EQ(bytes[72], 0xEF);
    EXPECT_EQ(bytes[73], 0xBE);
    EXPECT_EQ(bytes[74], 0x34);
    EXPECT_EQ(bytes[75], 0x12);
    EXPECT_EQ(bytes[76], 0xFE);
    EXPECT_EQ(u32At(info, 100), 0x55667788u);
    EXPECT_EQ(bytes[104], 0x81);
    EXPECT_EQ(u32At(info, 108), 22000u);
    EXPECT_EQ(u32At(info, 116), 0xA0A1A2A3u);
    EXPECT_EQ(u32At(info, 152), 0xB0B1B2B3u);
    EXPECT_EQ(bytes[156], 6);
    EXPECT_EQ(u32At(info, 160), 0xCAFEu);
    EXPECT_EQ(u32At(info, 188), 0xDEADBEEFu);
    EXPECT_EQ(u32At(info, 192), 500u);
    EXPECT_EQ(u32At(info, 196), 0x99887766u);
}

TEST(DeviceInfoValues, DefaultsAndZeroElsewhere) {
    const DeviceInfo info = defaultDeviceInfo();
    EXPECT_EQ(info.recordLength, 0u);
    EXPECT_EQ(info.gearRatio, 10000u);
    EXPECT_EQ(info.fullResolution, 320000u);
    EXPECT_EQ(info.siderealSpeed, 455u);
    EXPECT_EQ(info.encoderBits, 12u);
    EXPECT_EQ(info.encoderResolution, 4096u);
    EXPECT_EQ(info.encoderMask, 4095u);
    EXPECT_EQ(info.gearRatio2, 10000u);
    EXPECT_EQ(info.fullResolution2, 320000u);
    EXPECT_EQ(info.siderealSpeed2, 455u);
    EXPECT_EQ(info.encoderBits2, 17u);
    EXPECT_EQ(info.encoderResolution2, 131072u);
    EXPECT_EQ(info.encoderMask2, 131071u);
    EXPECT_EQ(info.encoderFlags, 1);
    EXPECT_EQ(info.encoderOffset, 1000u);
    EXPECT_EQ(info.encoderCalibAux, 1100u);
    const uint32_t pid[10] = {80, 40, 120, 80, 40, 120, 20, 30, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(info.pidParameters[i], pid[i]) << i;

    // Everything else is zero: blank out the listed fields and the whole record must be zero.
    DeviceInfo rest = info;
    rest.gearRatio = rest.fullResolution = rest.siderealSpeed = rest.encoderBits = 0;
    rest.encoderResolution = rest.encoderMask = 0;
    rest.gearRatio2 = rest.fullResolution2 = rest.siderealSpeed2 = rest.encoderBits2 = 0;
    rest.encoderResolution2 = rest.encoderMask2 = 0;
    rest.encoderFlags = 0;
    rest.encoderOffset = rest.encoderCalibAux = 0;
    std::memset(rest.pidParameters, 0, sizeof rest.pidParameters);
    const DeviceInfo zero{};
    EXPECT_EQ(std::memcmp(&rest, &zero, sizeof rest), 0);
}

TEST(DeviceInfoValues, TestModeWritesOnlyItsFieldsAndDerivesEncoderFields) {
    DeviceInfo info{};
    std::memset(&info, 0x5A, sizeof info); // what an earlier handshake left behind
    const DeviceInfo before = info;
    applyTestModeValues(info);

    EXPECT_EQ(info.recordLength, 16u);
    EXPECT_EQ(info.recordInfo, 4u);
    EXPECT_EQ(info.recordInfo2, 1024u);
    EXPECT_EQ(info.gearRatio, 172800u);
    EXPECT_EQ(info.fullResolution, 5529600u);
    EXPECT_EQ(info.siderealSpeed, 300u);
    EXPECT_EQ(info.encoderBits, 25u);
    EXPECT_EQ(info.encoderResolution, 33554432u);
    EXPECT_EQ(info.encoderMask, 33554431u);
    EXPECT_EQ(info.encoderBits2, 25u);
    EXPECT_EQ(info.encoderFlags, 0);
    EXPECT_EQ(info.encoderOffset, 22000u);
    EXPECT_EQ(info.encoderCalibAux, 24000u);
    const uint32_t pid[10] = {10, 11, 12, 20, 21, 22, 80, 120, 85, 125};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(info.pidParameters[i], pid[i]) << i;
    EXPECT_EQ(info.auxSkip, 4u);
    EXPECT_EQ(info.auxSkip2, 6u);
    EXPECT_EQ(info.auxErrorLimit, 1000u);
    EXPECT_EQ(info.auxAccelLimit, 4000u);
    EXPECT_EQ(info.auxSpeedLimit, 20000u);
    EXPECT_EQ(info.auxErrorLimit2, 1500u);
    EXPECT_EQ(info.auxAccelLimit2, 4500u);
    EXPECT_EQ(info.auxSpeedLimit2, 20500u);

    // Fields outside the test-mode set keep what was there.
    EXPECT_EQ(info.hardwareVersion, before.hardwareVersion);
    EXPECT_EQ(info.firmwareVersion, before.firmwareVersion);
    EXPECT_EQ(info.maxBlockBytes, before.maxBlockBytes);
    EXPECT_EQ(info.maxCurrent, before.maxCurrent);
    EXPECT_EQ(info.motorCurrent, before.motorCurrent);
    EXPECT_EQ(info.param128, before.param128);
    EXPECT_EQ(info.gearRatio2, before.gearRatio2);
    EXPECT_EQ(info.encoderResolution2, before.encoderResolution2);
    EXPECT_EQ(info.encoderMask2, before.encoderMask2);
    EXPECT_EQ(info.auxMode, before.auxMode);
    EXPECT_EQ(info.blockRecords, before.blockRecords);
    EXPECT_EQ(info.reserved, before.reserved);
}

TEST(DeviceInfoValues, DerivedEncoderFields) {
    struct Case {
        uint32_t bits;
        uint64_t resolution;
        uint64_t mask;
    };
    const Case cases[] = {
        {0, 1, 0},
        {12, 4096, 4095},
        {25, 33554432, 33554431},
        {32, 4294967296ULL, 4294967295ULL},
        {63, 0x8000000000000000ULL, 0x7FFFFFFFFFFFFFFFULL},
        {64, 0, ~0ULL},
        {255, 0, ~0ULL},
        {0xFFFFFFFFu, 0, ~0ULL},
    };
    for (const Case& c : cases) {
        DeviceInfo info{};
        info.encoderBits = c.bits;
        updateDerivedEncoderFields(info);
        EXPECT_EQ(info.encoderResolution, c.resolution) << c.bits;
        EXPECT_EQ(info.encoderMask, c.mask) << c.bits;
    }
}

TEST(DeviceInfoValues, BlockRecords) {
    EXPECT_EQ(rz4::blockRecords(2000, 16), 125u);
    EXPECT_EQ(rz4::blockRecords(20000, 16), 500u); // bounded by the 8000-byte frame buffer
    EXPECT_EQ(rz4::blockRecords(20000, 0), 0u);
    EXPECT_EQ(rz4::blockRecords(0, 16), 0u);
    EXPECT_EQ(rz4::blockRecords(8000, 7), 1142u);
    EXPECT_EQ(rz4::blockRecords(0xFFFFFFFFu, 1), 8000u);
}

TEST(StatusTexts, TableAndBounds) {
    EXPECT_STREQ(statusText(StatusNotConnected), "Not connected");
    EXPECT_STREQ(statusText(StatusOpeningPort), "Opening port, please wait...");
    EXPECT_STREQ(statusText(StatusConnected), "Connection established.");
    EXPECT_STREQ(statusText(StatusTestMode), "Info: Testing without connection");
    EXPECT_STREQ(statusText(StatusNotSupportedDevice), "Error: Cannot connect: Not supported device");
    EXPECT_STREQ(statusText(StatusNotConnectedYet), "Error: Not connected yet");
    EXPECT_STREQ(statusText(StatusParametersStored), "Paramers stored in motor control.");
    for (uint32_t code = 0; code < kStatusCodeCount; ++code)
        EXPECT_NE(statusText(code), nullptr) << code;
    EXPECT_STREQ(statusText(StatusReplacedPid), "Info: Replaced the waiting PID change");
    EXPECT_EQ(statusText(kStatusCodeCount), nullptr);
    EXPECT_EQ(statusText(0xFFFFFFFFu), nullptr);
}
