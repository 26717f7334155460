#include "engine/CommandExecutor.h"

#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/Simulator.h"
#include "engine/iSessionHost.h"
#include "rz4/ByteReader.h"
#include "rz4/Rz4Protocol.h"
#include "rz4/StatusCode.h"
#include "rz4/iEngineReport.h"

#include <cstring>

namespace {

// Command argument bytes a0, a1, ... start at event offset 2, after the header and the code; an
// argument beyond the event's payload reads as 0.
ByteReader commandArgs(const uint8_t* event) {
    return ByteReader(event + 2, eventPayloadLength(event[0]) - 1);
}

} // namespace

CommandExecutor::CommandExecutor(SessionFields& fields, Simulator& simulator, iEngineReport* report,
                                 iSessionHost* host)
    : fields_(fields), simulator_(simulator), report_(report), host_(host) {}

void CommandExecutor::send(const DevicePacket& packet) {
    host_->writePort(packet.data(), packet.size());
}

void CommandExecutor::requestBlock() {
    setState(SessionState::AwaitBlock);
    send(DevicePacket::withByteAndWord(rz4::CommandBlockRequest, 1, fields_.deviceInfo.blockRecords));
}

bool CommandExecutor::answered(uint8_t code) {
    return code == CmdStoreParameters || code == CmdClosedLoop || code == CmdSendPid;
}

bool CommandExecutor::cycleRunning() const {
    if (!fields_.logActive || fields_.testMode)
        return false;
    switch (fields_.sessionState) {
    case SessionState::Delay:
    case SessionState::RequestBlock:
    case SessionState::AwaitBlock:
    case SessionState::AwaitDeferredAck:
    case SessionState::AwaitLogStartAck:
        return true;
    default:
        return false;
    }
}

namespace {

// The status that says a waiting command of this one's kind was replaced.
StatusCode replacedStatus(const uint8_t* event) {
    switch (event[1]) {
    case CmdClosedLoop:
        return StatusReplacedClosedLoop;
    case CmdSendPid:
        return StatusReplacedPid;
    case CmdSendAux:
        return StatusReplacedAux;
    case CmdWriteParam16:
        return eventPayloadLength(event[0]) >= 2 && event[2] == rz4::kParamMotorCurrent
                   ? StatusReplacedMotorCurrent
                   : StatusReplacedParameter;
    case CmdWriteParam8:
        return StatusReplacedParameter;
    case CmdSetEncoderCalibration:
        return StatusReplacedCalibration;
    case CmdStoreParameters:
        return StatusReplacedStore;
    case CmdDevice40:
        return StatusReplacedCommand40;
    default:
        return StatusReplacedTracking;
    }
}

} // namespace

void CommandExecutor::hold(const uint8_t* event) {
    if (fields_.heldCommands.add(event))
        report_->postStatus(replacedStatus(event));
}

void CommandExecutor::writeMarker(const uint8_t* event) {
    report_->writeMarker(event + 1, static_cast<uint32_t>(eventPayloadLength(event[0])));
}

bool CommandExecutor::sendHeldCommand() {
    uint8_t event[kMaxEventBytes];
    if (!fields_.heldCommands.takeOldest(event))
        return false;
    sendCommandPacket(event);
    if (answered(event[1])) {
        std::memcpy(fields_.awaitedCommand, event, sizeof event);
        setState(SessionState::AwaitDeferredAck);
        return true;
    }
    writeMarker(event);
    return false;
}

void CommandExecutor::heldCommandAnswered() {
    const uint8_t* event = fields_.awaitedCommand;
    if (eventPayloadLength(event[0]) == 0)
        return;
    if (event[1] == CmdStoreParameters)
        report_->postStatus(StatusParametersStored);
    writeMarker(event);
    std::memset(fields_.awaitedCommand, 0, sizeof fields_.awaitedCommand);
}

void CommandExecutor::sendAllHeld() {
    uint8_t event[kMaxEventBytes];
    while (fields_.heldCommands.takeOldest(event))
        carryOut(event);
}

void CommandExecutor::sendCommandPacket(const uint8_t* event) {
    const ByteReader a = commandArgs(event);
    const uint8_t code = event[1];
    DeviceInfo& info = fields_.deviceInfo;
    switch (code) {
    case CmdStoreParameters:
        send(DevicePacket::withBytes(rz4::CommandStoreSettings, 1));
        break;
    case CmdSetEncoderCalibration:
        info.encoderOffset = a.longAt(1);
        info.encoderFlags = static_cast<uint8_t>((info.encoderFlags & ~1u) | (a.byte(0) & 1u));
        send(DevicePacket::withBytesAndLongs(rz4::CommandEncoderCalibration, 1, info.encoderFlags,
                                             info.encoderOffset, info.encoderCalibAux));
        break;
    case CmdTracking:
        send(DevicePacket::withBytes(rz4::CommandTracking, 1, a.byte(0)));
        break;
    case CmdTrackingRate:
    case CmdTrackingSpecial:
        send(DevicePacket::withBytes(rz4::CommandTracking, 1,
                                     code == CmdTrackingRate ? rz4::kTrackingRate : rz4::kTrackingSpecial,
                                     a.byte(0), a.byte(1)));
        break;
    case CmdWriteParam16:
        send(DevicePacket::withBytesAndWord(rz4::CommandWriteParam16, 0, a.byte(0), a.word(1)));
        break;
    case CmdWriteParam8:
        send(DevicePacket::withBytes(rz4::CommandWriteParam8, 0, a.byte(0), a.byte(1)));
        break;
    case CmdClosedLoop:
        send(DevicePacket::withBytes(rz4::CommandClosedLoop, 1, 1, a.byte(0)));
        break;
    case CmdSendPid: {
        uint16_t words[10];
        for (int i = 0; i < 10; ++i)
            words[i] = static_cast<uint16_t>(a.word(2 * i));
        send(DevicePacket::withWords(rz4::CommandPid, 1, words));
        break;
    }
    case CmdSendAux: {
        uint32_t limits[6];
        for (int i = 0; i < 6; ++i)
            limits[i] = a.longAt(6 + 4 * i);
        send(DevicePacket::withWordsAndLongs(rz4::CommandAux, 1, a.byte(0), a.byte(1), a.word(2), a.word(4),
                                             limits));
        break;
    }
    case CmdDevice40:
        send(DevicePacket::withBytes(rz4::Command40, 1, a.byte(0)));
        break;
    case CmdDevice41:
        send(DevicePacket::withBytes(rz4::Command41, 1));
        break;
    case CmdDevice42:
        send(DevicePacket::withBytes(rz4::Command42, 1, 0));
        break;
    case CmdDevice43:
        send(DevicePacket::withBytes(rz4::Command43, 1));
        break;
    default:
        break;
    }
}

void CommandExecutor::carryOut(const uint8_t* event) {
    setState(event[1] == CmdStoreParameters ? SessionState::AwaitStoreAck : SessionState::SessionIdle);
    sendCommandPacket(event);
    // Sent at once while the controller logs (the cycle had already ended): it takes effect now.
    if (fields_.logActive && !fields_.testMode && HeldCommands::holds(event[1]))
        writeMarker(event);
    else if (event[1] == CmdSendPid && !fields_.testMode)
        report_->pidSentAtOnce(event + 2, static_cast<uint32_t>(eventPayloadLength(event[0]) - 1));
}

namespace {

// Commands that concern only the real drive; the test mode skips them.
bool skippedInTestMode(uint8_t code) {
    switch (code) {
    case CmdTracking:
    case CmdTrackingRate:
    case CmdTrackingSpecial:
    case CmdWriteParam16:
    case CmdWriteParam8:
    case CmdSendPid:
    case CmdSendAux:
        return true;
    default:
        return false;
    }
}

} // namespace

void CommandExecutor::executeCommand(const uint8_t* event) {
    if (eventPayloadLength(event[0]) == 0) {
        return;
    }
    if (!fields_.sessionActive) {
        report_->postStatus(StatusNotConnectedYet);
        return;
    }
    const ByteReader a = commandArgs(event);
    const uint8_t code = event[1];
    if (code < CmdStoreParameters || code > CmdDevice43)
        return; // Connect among them
    const bool test = fields_.testMode;
    if (test && skippedInTestMode(code))
        return;
    if (HeldCommands::holds(code) && cycleRunning()) {
        hold(event);
        return;
    }

    switch (code) {
    case CmdStartLog:
        setState(SessionState::SessionIdle);
        if (test) {
            simulator_.resetSimulator();
            break;
        }
        fields_.logActive = true;
        setState(SessionState::AwaitLogStartAck);
        send(DevicePacket::withBytes(rz4::CommandLog, 1, 1, a.byte(0) | 1u, a.byte(1)));
        break;
    case CmdStopLog: {
        // A held-back store whose answer is still awaited keeps its confirmation.
        const bool storeAwaited = fields_.sessionState == SessionState::AwaitDeferredAck &&
                                  fields_.awaitedCommand[1] == CmdStoreParameters;
        const bool waiting = !fields_.heldCommands.empty();
        fields_.logActive = false;
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::CommandLog, 1, 1, rz4::kLogStop));
        // The cycle has ended, so what still waits for a block would wait for the next logging run;
        // the user meant it now.
        sendAllHeld();
        if (storeAwaited && !waiting)
            setState(SessionState::AwaitStoreAck);
        break;
    }
    case CmdFetchLog:
        if (test) {
            simulator_.simulateBatch(fields_.deviceInfo, *report_);
        } else {
            requestBlock();
        }
        break;
    default:
        carryOut(event);
        break;
    }
}
