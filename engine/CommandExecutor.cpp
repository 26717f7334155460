#include "engine/CommandExecutor.h"

#include "engine/ByteReader.h"

#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/Simulator.h"
#include "engine/iSessionHost.h"
#include "model/StatusCode.h"
#include "model/iEngineReport.h"

namespace {

// Controller command numbers.
constexpr uint8_t kStore = 13;
constexpr uint8_t kTracking = 36;
constexpr uint8_t kDevice40 = 40;
constexpr uint8_t kDevice41 = 41;
constexpr uint8_t kDevice42 = 42;
constexpr uint8_t kDevice43 = 43;
constexpr uint8_t kWriteParam16 = 51;
constexpr uint8_t kWriteParam8 = 59;
constexpr uint8_t kClosedLoop = 80;
constexpr uint8_t kLog = 81;
constexpr uint8_t kBlockRequest = 83;
constexpr uint8_t kPid = 85;
constexpr uint8_t kAux = 87;
constexpr uint8_t kCalibration = 124;

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
    send(DevicePacket::withByteAndWord(kBlockRequest, 1, fields_.deviceInfo.blockRecords));
}

void CommandExecutor::sendClosedLoop(uint32_t value) {
    send(DevicePacket::withBytes(kClosedLoop, 1, 1, value));
}

void CommandExecutor::sendPid(const uint32_t (&values)[10]) {
    uint16_t words[10];
    for (int i = 0; i < 10; ++i) {
        words[i] = static_cast<uint16_t>(values[i]);
    }
    send(DevicePacket::withWords(kPid, 1, words));
}

void CommandExecutor::sendDeferredCommand() {
    if (fields_.deferredCommand == CmdClosedLoop) {
        sendClosedLoop(fields_.deferredArgs[0]);
    } else if (fields_.deferredCommand == CmdSendPid) {
        sendPid(fields_.deferredArgs);
    }
    fields_.deferredCommand = 0;
    setState(SessionState::AwaitDeferredAck);
}

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
    const bool test = fields_.testMode;
    DeviceInfo& info = fields_.deviceInfo;

    switch (code) {
    case CmdStoreParameters:
        setState(SessionState::AwaitStoreAck);
        send(DevicePacket::withBytes(kStore, 1));
        break;
    case CmdStartLog:
        setState(SessionState::SessionIdle);
        if (test) {
            simulator_.resetSimulator();
            break;
        }
        fields_.logActive = true;
        setState(SessionState::AwaitLogStartAck);
        send(DevicePacket::withBytes(kLog, 1, 1, a.byte(0) | 1u, a.byte(1)));
        break;
    case CmdStopLog:
        fields_.logActive = false;
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(kLog, 1, 1, 0));
        break;
    case CmdFetchLog:
        if (test) {
            simulator_.simulateBatch(info, *report_);
        } else {
            requestBlock();
        }
        break;
    case CmdSetEncoderCalibration:
        setState(SessionState::SessionIdle);
        info.encoderOffset = a.longAt(1);
        info.encoderFlags = static_cast<uint8_t>((info.encoderFlags & ~1u) | (a.byte(0) & 1u));
        send(DevicePacket::withBytesAndLongs(kCalibration, 1, info.encoderFlags, info.encoderOffset,
                                             info.encoderCalibAux));
        break;
    case CmdTracking:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytes(kTracking, 1, a.byte(0)));
        }
        break;
    case CmdTrackingRate:
    case CmdTrackingSpecial:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(
                DevicePacket::withBytes(kTracking, 1, code == CmdTrackingRate ? 5 : 6, a.byte(0), a.byte(1)));
        }
        break;
    case CmdWriteParam16:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytesAndWord(kWriteParam16, 0, a.byte(0), a.word(1)));
        }
        break;
    case CmdWriteParam8:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytes(kWriteParam8, 0, a.byte(0), a.byte(1)));
        }
        break;
    case CmdClosedLoop:
        if (fields_.logActive) {
            fields_.deferredCommand = CmdClosedLoop;
            fields_.deferredArgs[0] = a.byte(0);
            break;
        }
        setState(SessionState::SessionIdle);
        sendClosedLoop(a.byte(0));
        break;
    case CmdSendPid: {
        if (test) {
            break;
        }
        uint32_t values[10];
        for (int i = 0; i < 10; ++i) {
            values[i] = a.word(2 * i);
        }
        if (fields_.logActive) {
            for (int i = 0; i < 10; ++i) {
                fields_.deferredArgs[i] = values[i];
            }
            fields_.deferredCommand = CmdSendPid;
            break;
        }
        setState(SessionState::SessionIdle);
        sendPid(values);
        break;
    }
    case CmdSendAux: {
        if (test) {
            break;
        }
        uint32_t limits[6];
        for (int i = 0; i < 6; ++i) {
            limits[i] = a.longAt(6 + 4 * i);
        }
        setState(SessionState::SessionIdle);
        send(DevicePacket::withWordsAndLongs(kAux, 1, a.byte(0), a.byte(1), a.word(2), a.word(4), limits));
        break;
    }
    case CmdDevice40:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(kDevice40, 1, a.byte(0)));
        break;
    case CmdDevice41:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(kDevice41, 1));
        break;
    case CmdDevice42:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(kDevice42, 1, 0));
        break;
    case CmdDevice43:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(kDevice43, 1));
        break;
    default: // codes outside 4..20, Connect among them
        break;
    }
}
