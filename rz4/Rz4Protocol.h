#pragma once

#include <cstdint>

// The RZ4 controller's serial protocol as this program uses it: packet and frame markers, size limits,
// the controller's command numbers, the reply layouts and the sample record layout. The engine, the
// emulator and the benchmark controller take their numbers from here.
//
// Host to controller, a packet: kPacketStart, L (the number of bytes after it), the command number, the
// command's fields (16- and 32-bit fields little-endian). Most commands carry 1 as their first field and
// the parameter writes carry 0 there; what that field selects is not known.
//
// Controller to host, a frame: a short frame (kShortFrame, L, L payload bytes) or a block frame
// (kBlockFrame, N low, N high, N data bytes). Reply offsets below count the frame's first byte as 0, so a
// short frame's payload starts at offset 2. Commands 40 to 43 and the link-information and
// record-format fields other than the ones named here are passed on as they are: their meaning is not
// known.
namespace rz4 {

// ---- framing and limits ----
inline constexpr uint8_t kPacketStart = 0xAA;
inline constexpr int kMaxPacketBytes = 34;
inline constexpr uint8_t kShortFrame = 'U';
inline constexpr uint8_t kBlockFrame = 'R';
inline constexpr int kMaxShortPayload = 255;
inline constexpr int kMaxBlockData = 2048;
// The host's receive buffer for one frame; the records asked for per block are bounded by it as well.
inline constexpr int kFrameBufferBytes = 8000;

// ---- queries: the parameters read at connect, each a packet without fields ----
enum Query : uint8_t {
    QueryIdentity = 1,
    QueryFirmware = 2,
    QueryLinkInfo = 3,
    QueryDriveInfo = 20,
    QueryCurrentInfo = 21,
    QueryEncoderBits = 23,
    QueryRecordFormat = 82,
    QueryPid = 84,
    QueryAux = 86,
    QueryEncoderConfig = 123,
};

// ---- commands ----
enum Command : uint8_t {
    CommandStoreSettings = 13, // 1: store the settings in EEPROM; answered with a short frame
    CommandTracking = 36,      // 1, on/off; or 1, kTrackingRate or kTrackingSpecial, value, flag
    Command40 = 40,            // 1, value
    Command41 = 41,            // 1
    Command42 = 42,            // 1, 0
    Command43 = 43,            // 1
    CommandWriteParam16 = 51,  // 0, parameter index, 16-bit value
    CommandWriteParam8 = 59,   // 0, parameter index, value
    CommandClosedLoop = 80,    // 1, 1, on/off; answered with a short frame
    CommandLog = 81,           // 1, 1, mode (0 stops), rate index; a start is answered with a short frame
    CommandBlockRequest = 83,  // 1, 16-bit record count; answered with a block frame
    CommandPid = 85,           // 1, ten 16-bit values; answered with a short frame
    CommandAux = 87,           // 1, mode, 0, skip, 0, six 32-bit limits
    CommandEncoderCalibration = 124, // 1, flags, offset, the calibration value read at connect
};

// Sub-commands of CommandTracking.
inline constexpr uint8_t kTrackingRate = 5;
inline constexpr uint8_t kTrackingSpecial = 6;

// Parameter indices of the parameter writes.
inline constexpr uint8_t kParam128 = 128;          // signed 8-bit, written with CommandWriteParam8
inline constexpr uint8_t kParamMotorCurrent = 129; // mA, written with CommandWriteParam16

// Log modes: bit 0 is always set when logging starts; bit 1 selects the tracking error instead of the
// absolute encoder position.
inline constexpr uint8_t kLogStop = 0;
inline constexpr uint8_t kLogAbsolute = 1;
inline constexpr uint8_t kLogTrackingError = 3;

// Log rates by index, records per second.
inline constexpr double kLogRatesHz[] = {0.25, 1.0, 4.0, 16.0, 64.0, 128.0};
inline constexpr int kLogRateCount = 6;

// ---- reply layouts (offsets from the frame's first byte) ----
namespace reply {
inline constexpr int kLength = 1;               // a short frame's payload length
inline constexpr uint8_t kIdentityLength = 5;   // a genuine controller's identity reply
inline constexpr int kIdentityCode = 2;         // must hold QueryIdentity
inline constexpr int kHardwareVersion = 3;      // identity, u32
inline constexpr int kFirmwareVersion = 3;      // firmware, u32
inline constexpr int kLogInfoByte = 3;          // link information
inline constexpr int kLogInfo1 = 4;             // u32
inline constexpr int kLogInfo2 = 8;             // u32
inline constexpr int kLogInfo3 = 12;            // u32
inline constexpr int kMaxBlockBytes = 16;       // u32
inline constexpr int kGearRatio = 5;            // drive information, u32
inline constexpr int kFullResolution = 9;       // u32
inline constexpr int kSiderealSpeed = 13;       // u32
inline constexpr int kMaxCurrent = 9;           // currents, u16
inline constexpr int kMotorCurrent = 13;        // u16
inline constexpr int kParam128 = 20;            // i8
inline constexpr int kEncoderBits = 5;          // encoder width, u8
inline constexpr int kEncoderFlags = 3;         // encoder configuration, bit 0 = reverse
inline constexpr int kEncoderOffset = 4;        // u32
inline constexpr int kEncoderCalibAux = 8;      // u32
inline constexpr int kRecordLength = 3;         // record format, u8
inline constexpr int kRecordInfo = 4;           // u8
inline constexpr int kRecordInfo2 = 5;          // u32
inline constexpr int kPidValues = 3;            // PID: ten u16
inline constexpr int kAuxMode = 3;              // aux: u8
inline constexpr int kAuxSkip = 5;              // u16
inline constexpr int kAuxErrorLimit = 9;        // u32
inline constexpr int kAuxAccelLimit = 13;       // u32
inline constexpr int kAuxSpeedLimit = 17;       // u32
inline constexpr int kBlockLength = 1;          // block frame: N, u16
inline constexpr int kBlockData = 3;            // the N data bytes start here
inline constexpr int kBlockMarker = kBlockData; // the first data byte holds CommandBlockRequest
inline constexpr int kBlockRecords = 4;         // the records, one after another
} // namespace reply

// ---- sample records: little-endian signed 32-bit values ----
inline constexpr uint32_t kRecordTimestampOffset = 0;
inline constexpr uint32_t kRecordPositionOffset = 4; // the value the graph draws
// A record must reach past the position to carry a sample.
inline constexpr uint32_t kMinSampleRecordLength = kRecordPositionOffset + 4;

// Records asked for per block: as many as the controller's largest block and the host's frame buffer
// hold, 0 when the record length is 0.
constexpr uint32_t blockRecords(uint32_t maxBlockBytes, uint32_t recordLength) {
    if (recordLength == 0)
        return 0;
    const uint32_t byBlock = maxBlockBytes / recordLength;
    const uint32_t byBuffer = static_cast<uint32_t>(kFrameBufferBytes) / recordLength;
    return byBlock < byBuffer ? byBlock : byBuffer;
}

} // namespace rz4
