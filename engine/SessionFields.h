#pragma once

#include "engine/EngineEvent.h"
#include "engine/HeldCommands.h"
#include "rz4/DeviceInfo.h"

#include <cstdint>

// What the session waits for.
enum class SessionState : int32_t {
    SessionIdle,
    Delay,
    AwaitIdentity,
    AwaitFirmware,
    AwaitLinkInfo,
    AwaitReidentify,
    AwaitDriveInfo,
    AwaitCurrentInfo,
    AwaitEncoderBits,
    AwaitEncoderConfig,
    AwaitRecordFormat,
    AwaitPid,
    AwaitAux,
    AwaitStoreAck,
    AwaitLogStartAck,
    RequestBlock,
    AwaitBlock,
    AwaitDeferredAck,
};

// The eleven states of the connection handshake, AwaitIdentity through AwaitAux.
constexpr bool isHandshakeState(SessionState state) {
    return state >= SessionState::AwaitIdentity && state <= SessionState::AwaitAux;
}

// The state shared by the session's dispatcher, its state machine and the command executor. Lives in
// Session and is touched on the engine worker thread only.
struct SessionFields {
    SessionState sessionState = SessionState::SessionIdle;
    int32_t replyTimeout = 0; // handshake reply time-out in ticks; 0 = disarmed
    int32_t delayTicks = 0;   // ticks still to wait in Delay
    SessionState nextState = SessionState::SessionIdle;
    bool portOpen = false;      // a port is open and its reader runs
    bool sessionActive = false; // commands 4..20 are accepted
    bool testMode = false;      // the session is simulated
    bool logActive = false;     // the controller's logging was started and not stopped since
    HeldCommands heldCommands;  // commands held back while the logging cycle runs, oldest first
    // The held-back command sent after the last block whose answer AwaitDeferredAck waits for.
    uint8_t awaitedCommand[kMaxEventBytes] = {};
    uint8_t portGeneration = 0; // advanced on every successful open; tags the reader's failure notices
    DeviceInfo deviceInfo{};
};
