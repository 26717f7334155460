#include "engine/Session.h"

#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/iSessionHost.h"
#include "rz4/ByteReader.h"
#include "rz4/Rz4Protocol.h"
#include "rz4/StatusCode.h"
#include "rz4/iEngineReport.h"

#include <algorithm>

namespace reply = rz4::reply;

Session::Session(iEngineReport* report, iSessionHost* host)
    : report_(report), host_(host), executor_(fields_, simulator_, report, host), parser_(this) {}

void Session::onEngineEvent(const uint8_t* event) {
    const uint8_t header = event[0];
    switch (eventKind(header)) {
    case EventTick:
        if (fields_.portOpen) {
            actOnStep(onTick());
        }
        break;
    case EventSerialData:
        if (fields_.portOpen) {
            onSerialData(event + 1, eventPayloadLength(header));
        }
        break;
    case EventInternal:
        onSerialFault(event);
        break;
    case EventCommand:
        onCommand(event);
        break;
    }
}

void Session::actOnStep(int result) {
    if (result == kStepClose) {
        closeSession();
    } else if (result == kStepHandshakeDone) {
        fields_.sessionActive = true;
    }
}

void Session::onSerialData(const uint8_t* bytes, int count) {
    chunkClose_ = false;
    chunkDone_ = false;
    parser_.parseFrameBytes(bytes, count);
    // A frame that asked for the close is honoured even when more frames followed it in this chunk.
    if (chunkClose_) {
        actOnStep(kStepClose);
    } else if (chunkDone_) {
        actOnStep(kStepHandshakeDone);
    }
}

void Session::onSerialFault(const uint8_t* event) {
    // Only the reader of the connection that is open now may end it; notices from an earlier
    // connection's reader are stale.
    if (event[0] != kSerialFaultHeader || !fields_.portOpen || event[1] != fields_.portGeneration) {
        return;
    }
    report_->postStatus(StatusCommunicationError);
    closeSession();
}

void Session::onCommand(const uint8_t* event) {
    const int length = eventPayloadLength(event[0]);
    if (length == 0) {
        return;
    }
    const uint8_t code = event[1];
    if (code < CmdConnect || code > CmdDevice43) {
        return;
    }
    if (code == CmdConnect && length == 2) {
        connect(event[2]);
    } else if (code == CmdDisconnect) {
        disconnect();
    } else if (!fields_.sessionActive) {
        report_->postStatus(StatusNotConnectedYet);
    } else {
        executor_.executeCommand(event);
    }
}

void Session::connect(uint8_t port) {
    if (port == 0) {
        enterTestMode();
        return;
    }
    fields_.testMode = false;
    if (fields_.portOpen) {
        report_->postStatus(StatusAlreadyConnected);
        return;
    }
    report_->postStatus(StatusOpeningPort);
    const uint8_t generation = static_cast<uint8_t>(fields_.portGeneration + 1);
    if (!host_->openPort(port, generation)) {
        report_->postStatus(StatusCannotOpenPort);
        return;
    }
    fields_.portGeneration = generation;
    parser_.reset();
    fields_.portOpen = true;
    fields_.sessionActive = true;
    report_->postStatus(StatusConnecting);
    host_->pause(kSettleMilliseconds);
    startHandshake();
}

void Session::disconnect() {
    if (!fields_.portOpen) {
        report_->postStatus(StatusNotConnectedYet);
        return;
    }
    // Changes still waiting for a data block die with the connection; the user should know they
    // never reached the controller.
    const bool changesWaiting = !fields_.heldCommands.empty();
    fields_.heldCommands.clear();
    closeSession();
    report_->postStatus(changesWaiting ? StatusClosedChangesNotSent : StatusConnectionClosed);
}

void Session::closeSession() {
    host_->closePort();
    fields_.portOpen = false;
    fields_.sessionActive = false;
}

void Session::enterTestMode() {
    fields_.testMode = true;
    applyTestModeValues(fields_.deviceInfo);
    updateDerivedEncoderFields(fields_.deviceInfo);
    report_->setDeviceInfo(fields_.deviceInfo);
    simulator_.resetSimulator();
    fields_.sessionActive = true;
    report_->postStatus(StatusTestMode);
}

void Session::sendQuery(uint8_t code) {
    const DevicePacket packet = DevicePacket::query(code);
    host_->writePort(packet.data(), packet.size());
}

void Session::startHandshake() {
    DeviceInfo& info = fields_.deviceInfo;
    info.logInfoByte = 0;
    info.logInfo1 = 0;
    info.logInfo2 = 0;
    info.logInfo3 = 0;
    info.maxBlockBytes = 0;
    fields_.logActive = false;
    fields_.heldCommands.clear();
    fields_.replyTimeout = kReplyTimeoutTicks;
    fields_.sessionState = SessionState::AwaitIdentity;
    sendQuery(rz4::QueryIdentity);
}

int Session::onTick() {
    int result = kStepNone;
    if (fields_.replyTimeout > 0) {
        --fields_.replyTimeout;
        if (fields_.replyTimeout == 0 && isHandshakeState(fields_.sessionState)) {
            report_->postStatus(StatusTimeout);
            result = kStepClose;
        }
    }
    if (fields_.sessionState == SessionState::Delay) {
        if (fields_.delayTicks > 0) {
            --fields_.delayTicks;
        }
        if (fields_.delayTicks == 0) {
            fields_.sessionState = fields_.nextState;
        }
    } else if (fields_.sessionState == SessionState::RequestBlock) {
        executor_.requestBlock();
    }
    return result;
}

int Session::onFrame(const uint8_t* frame, int length) {
    int result = kStepNone;
    if (length >= 1 && frame[0] == rz4::kShortFrame) {
        result = onShortFrame(frame, length);
    } else if (length >= 1 && frame[0] == rz4::kBlockFrame) {
        result = onBlockFrame(frame, length);
    }
    chunkClose_ = chunkClose_ || result == kStepClose;
    chunkDone_ = chunkDone_ || result == kStepHandshakeDone;
    return result;
}

int Session::identityFailure() {
    fields_.replyTimeout = 0;
    report_->postStatus(StatusNotSupportedDevice);
    fields_.sessionState = SessionState::SessionIdle;
    return kStepClose;
}

int Session::completeHandshake() {
    DeviceInfo& info = fields_.deviceInfo;
    info.blockRecords = rz4::blockRecords(info.maxBlockBytes, info.recordLength);
    report_->setDeviceInfo(info);
    report_->postStatus(StatusConnected);
    return kStepHandshakeDone;
}

void Session::awaitNextBlock() {
    fields_.delayTicks = kBlockDelayTicks;
    fields_.nextState = SessionState::RequestBlock;
    fields_.sessionState = SessionState::Delay;
}

int Session::onShortFrame(const uint8_t* frame, int length) {
    const ByteReader r(frame, length);
    DeviceInfo& info = fields_.deviceInfo;
    SessionState& state = fields_.sessionState;

    switch (state) {
    case SessionState::AwaitIdentity:
        if (r.byte(reply::kLength) != reply::kIdentityLength ||
            r.byte(reply::kIdentityCode) != rz4::QueryIdentity) {
            return identityFailure();
        }
        info.hardwareVersion = r.longAt(reply::kHardwareVersion);
        fields_.replyTimeout = kReplyTimeoutTicks;
        state = SessionState::AwaitFirmware;
        sendQuery(rz4::QueryFirmware);
        break;
    case SessionState::AwaitFirmware:
        info.firmwareVersion = r.longAt(reply::kFirmwareVersion);
        fields_.replyTimeout = kReplyTimeoutTicks;
        state = SessionState::AwaitLinkInfo;
        sendQuery(rz4::QueryLinkInfo);
        break;
    case SessionState::AwaitLinkInfo:
        info.logInfoByte = static_cast<uint8_t>(r.byte(reply::kLogInfoByte));
        info.logInfo1 = r.longAt(reply::kLogInfo1);
        info.logInfo2 = r.longAt(reply::kLogInfo2);
        info.logInfo3 = r.longAt(reply::kLogInfo3);
        info.maxBlockBytes = r.longAt(reply::kMaxBlockBytes);
        fields_.replyTimeout = 0;
        state = SessionState::AwaitReidentify;
        sendQuery(rz4::QueryIdentity);
        break;
    case SessionState::AwaitReidentify:
        state = SessionState::AwaitDriveInfo;
        sendQuery(rz4::QueryDriveInfo);
        break;
    case SessionState::AwaitDriveInfo:
        info.gearRatio = r.longAt(reply::kGearRatio);
        info.fullResolution = r.longAt(reply::kFullResolution);
        info.siderealSpeed = r.longAt(reply::kSiderealSpeed);
        state = SessionState::AwaitCurrentInfo;
        sendQuery(rz4::QueryCurrentInfo);
        break;
    case SessionState::AwaitCurrentInfo:
        info.maxCurrent = static_cast<uint16_t>(r.word(reply::kMaxCurrent));
        info.motorCurrent = static_cast<uint16_t>(r.word(reply::kMotorCurrent));
        info.param128 = static_cast<int8_t>(static_cast<uint8_t>(r.byte(reply::kParam128)));
        state = SessionState::AwaitEncoderBits;
        sendQuery(rz4::QueryEncoderBits);
        break;
    case SessionState::AwaitEncoderBits:
        info.encoderBits = r.byte(reply::kEncoderBits);
        updateDerivedEncoderFields(info);
        state = SessionState::AwaitEncoderConfig;
        sendQuery(rz4::QueryEncoderConfig);
        break;
    case SessionState::AwaitEncoderConfig:
        info.encoderFlags = static_cast<uint8_t>(r.byte(reply::kEncoderFlags));
        info.encoderOffset = r.longAt(reply::kEncoderOffset);
        info.encoderCalibAux = r.longAt(reply::kEncoderCalibAux);
        state = SessionState::AwaitRecordFormat;
        sendQuery(rz4::QueryRecordFormat);
        break;
    case SessionState::AwaitRecordFormat:
        info.recordLength = r.byte(reply::kRecordLength);
        info.recordInfo = r.byte(reply::kRecordInfo);
        info.recordInfo2 = r.longAt(reply::kRecordInfo2);
        state = SessionState::AwaitPid;
        sendQuery(rz4::QueryPid);
        break;
    case SessionState::AwaitPid:
        for (int i = 0; i < 10; ++i) {
            info.pidParameters[i] = r.word(reply::kPidValues + 2 * i);
        }
        state = SessionState::AwaitAux;
        sendQuery(rz4::QueryAux);
        break;
    case SessionState::AwaitAux:
        info.auxMode = static_cast<uint8_t>(r.byte(reply::kAuxMode));
        info.auxReserved = 0;
        info.auxSkip = r.word(reply::kAuxSkip);
        info.auxSkip2 = 0;
        info.auxErrorLimit = r.longAt(reply::kAuxErrorLimit);
        info.auxAccelLimit = r.longAt(reply::kAuxAccelLimit);
        info.auxSpeedLimit = r.longAt(reply::kAuxSpeedLimit);
        info.auxErrorLimit2 = 0;
        info.auxAccelLimit2 = 0;
        info.auxSpeedLimit2 = 0;
        state = SessionState::SessionIdle;
        return completeHandshake();
    case SessionState::AwaitStoreAck:
        report_->postStatus(StatusParametersStored);
        state = SessionState::SessionIdle;
        break;
    case SessionState::AwaitLogStartAck:
        awaitNextBlock();
        break;
    case SessionState::AwaitDeferredAck:
        executor_.heldCommandAnswered();
        executor_.requestBlock();
        break;
    case SessionState::SessionIdle:
    case SessionState::Delay:
    case SessionState::RequestBlock:
    case SessionState::AwaitBlock:
        break;
    }
    return kStepNone;
}

void Session::onFrameDropped() {
    // The awaited block came back unusable (longer than any block may be): end the polling and say so
    // instead of waiting for a block that will not come.
    if (fields_.sessionState == SessionState::AwaitBlock) {
        fields_.sessionState = SessionState::SessionIdle;
        report_->postStatus(StatusCommunicationError);
    }
}

int Session::onBlockFrame(const uint8_t* frame, int length) {
    SessionState& state = fields_.sessionState;
    if (state != SessionState::AwaitBlock) {
        state = SessionState::SessionIdle;
        return kStepNone;
    }
    const ByteReader r(frame, length);
    // Data bytes: the declared count, bounded by what the frame really holds.
    const uint32_t dataBytes = std::min<uint32_t>(
        r.word(reply::kBlockLength), static_cast<uint32_t>(std::max(length - reply::kBlockData, 0)));
    // A block without data carries no marker byte and counts as an empty block.
    if (dataBytes > 0 && r.byte(reply::kBlockMarker) != rz4::CommandBlockRequest) {
        return kStepNone;
    }
    const uint32_t recordLength = fields_.deviceInfo.recordLength;
    // Records that cannot be framed towards the user interface (longer than 63 bytes) are treated
    // like a controller without a record length: the block is discarded and the polling ends. The
    // user is told, or logging would stop without a word.
    if (recordLength == 0 || recordLength > iEngineReport::kMaxRecordLength) {
        state = SessionState::SessionIdle;
        report_->postStatus(StatusCommunicationError);
        return kStepNone;
    }
    if (dataBytes <= 1) {
        report_->writeRecord(nullptr, 0, true);
    } else {
        const uint32_t records = (dataBytes - 1) / recordLength;
        for (uint32_t i = 0; i < records; ++i) {
            report_->writeRecord(frame + reply::kBlockRecords + i * recordLength, recordLength,
                                 i + 1 == records);
        }
    }
    // A held-back command goes out now, one per block; one that the controller answers is waited for,
    // after any other the cycle goes on.
    if (!executor_.sendHeldCommand()) {
        awaitNextBlock();
    }
    return kStepNone;
}
