#pragma once

#include <cstdint>

// An engine event: a header byte (bit 7 set; bits 6-5 kind; bits 4-0 payload length L) and L payload
// bytes, or exactly one ignored byte when L is 0. 2 to 32 bytes in all.
enum EngineEventKind : uint8_t {
    EventCommand = 0,
    EventTick = 1,
    EventInternal = 2, // never written by the command senders; used for the serial-fault notice
    EventSerialData = 3,
};

constexpr int kMaxEventBytes = 32;
constexpr int kMaxSerialChunk = 31;

constexpr uint8_t eventHeader(EngineEventKind kind, int length) {
    return static_cast<uint8_t>(0x80 | (kind << 5) | (length & 0x1F));
}
constexpr EngineEventKind eventKind(uint8_t header) {
    return static_cast<EngineEventKind>((header >> 5) & 3);
}
constexpr int eventPayloadLength(uint8_t header) {
    return header & 0x1F;
}

// The serial reader's notice that the port failed (adapter unplugged, peer hung up): header 0xC1,
// then the port generation byte, so a notice from an earlier connection is recognised as stale.
constexpr uint8_t kSerialFaultHeader = 0xC1;

enum EngineCommand : uint8_t {
    CmdConnect = 2,
    CmdDisconnect = 3,
    CmdStoreParameters = 4,
    CmdStartLog = 5,
    CmdStopLog = 6,
    CmdFetchLog = 7,
    CmdSetEncoderCalibration = 8,
    CmdTracking = 9,
    CmdTrackingRate = 10,
    CmdTrackingSpecial = 11,
    CmdWriteParam16 = 12,
    CmdWriteParam8 = 13,
    CmdClosedLoop = 14,
    CmdSendPid = 15,
    CmdSendAux = 16,
    CmdDevice40 = 17,
    CmdDevice41 = 18,
    CmdDevice42 = 19,
    CmdDevice43 = 20,
};
