#include "engine/CommandExecutor.h"

#include "engine/ByteReader.h"
#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/Rz4Protocol.h"
#include "engine/Simulator.h"
#include "engine/iSessionHost.h"
#include "model/StatusCode.h"
#include "model/iEngineReport.h"

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

void CommandExecutor::sendClosedLoop(uint32_t value) {
    send(DevicePacket::withBytes(rz4::CommandClosedLoop, 1, 1, value));
}

void CommandExecutor::sendPid(const uint32_t (&values)[10]) {
    uint16_t words[10];
    for (int i = 0; i < 10; ++i) {
        words[i] = static_cast<uint16_t>(values[i]);
    }
    send(DevicePacket::withWords(rz4::CommandPid, 1, words));
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
        send(DevicePacket::withBytes(rz4::CommandStoreSettings, 1));
        break;
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
    case CmdStopLog:
        fields_.logActive = false;
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::CommandLog, 1, 1, rz4::kLogStop));
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
        send(DevicePacket::withBytesAndLongs(rz4::CommandEncoderCalibration, 1, info.encoderFlags,
                                             info.encoderOffset, info.encoderCalibAux));
        break;
    case CmdTracking:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytes(rz4::CommandTracking, 1, a.byte(0)));
        }
        break;
    case CmdTrackingRate:
    case CmdTrackingSpecial:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytes(rz4::CommandTracking, 1,
                                         code == CmdTrackingRate ? rz4::kTrackingRate : rz4::kTrackingSpecial,
                                         a.byte(0), a.byte(1)));
        }
        break;
    case CmdWriteParam16:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytesAndWord(rz4::CommandWriteParam16, 0, a.byte(0), a.word(1)));
        }
        break;
    case CmdWriteParam8:
        if (!test) {
            setState(SessionState::SessionIdle);
            send(DevicePacket::withBytes(rz4::CommandWriteParam8, 0, a.byte(0), a.byte(1)));
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
        send(DevicePacket::withWordsAndLongs(rz4::CommandAux, 1, a.byte(0), a.byte(1), a.word(2), a.word(4),
                                             limits));
        break;
    }
    case CmdDevice40:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::Command40, 1, a.byte(0)));
        break;
    case CmdDevice41:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::Command41, 1));
        break;
    case CmdDevice42:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::Command42, 1, 0));
        break;
    case CmdDevice43:
        setState(SessionState::SessionIdle);
        send(DevicePacket::withBytes(rz4::Command43, 1));
        break;
    default: // codes outside 4..20, Connect among them
        break;
    }
}
