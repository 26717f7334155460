#include "engine/Session.h"

#include "engine/ByteReader.h"
#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/iSessionHost.h"
#include "model/StatusCode.h"
#include "model/iEngineReport.h"

#include <algorithm>

namespace {

// Handshake request codes.
constexpr uint8_t kQueryIdentity = 1;
constexpr uint8_t kQueryFirmware = 2;
constexpr uint8_t kQueryLinkInfo = 3;
constexpr uint8_t kQueryDriveInfo = 20;
constexpr uint8_t kQueryCurrentInfo = 21;
constexpr uint8_t kQueryEncoderBits = 23;
constexpr uint8_t kQueryRecordFormat = 82;
constexpr uint8_t kQueryPid = 84;
constexpr uint8_t kQueryAux = 86;
constexpr uint8_t kQueryEncoderConfig = 123;

constexpr uint8_t kIdentityLength = 5;
constexpr uint8_t kBlockMarker = 83; // first data byte of a block: the block request's code

} // namespace

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
    closeSession();
    report_->postStatus(StatusConnectionClosed);
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
    fields_.deferredCommand = 0;
    fields_.replyTimeout = kReplyTimeoutTicks;
    fields_.sessionState = SessionState::AwaitIdentity;
    sendQuery(kQueryIdentity);
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
    if (length >= 1 && frame[0] == 'U') {
        result = onShortFrame(frame, length);
    } else if (length >= 1 && frame[0] == 'R') {
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
    info.blockRecords = computeBlockRecords(info.maxBlockBytes, info.recordLength);
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
        if (r.byte(1) != kIdentityLength || r.byte(2) != kQueryIdentity) {
            return identityFailure();
        }
        info.hardwareVersion = r.longAt(3);
        fields_.replyTimeout = kReplyTimeoutTicks;
        state = SessionState::AwaitFirmware;
        sendQuery(kQueryFirmware);
        break;
    case SessionState::AwaitFirmware:
        info.firmwareVersion = r.longAt(3);
        fields_.replyTimeout = kReplyTimeoutTicks;
        state = SessionState::AwaitLinkInfo;
        sendQuery(kQueryLinkInfo);
        break;
    case SessionState::AwaitLinkInfo:
        info.logInfoByte = static_cast<uint8_t>(r.byte(3));
        info.logInfo1 = r.longAt(4);
        info.logInfo2 = r.longAt(8);
        info.logInfo3 = r.longAt(12);
        info.maxBlockBytes = r.longAt(16);
        fields_.replyTimeout = 0;
        state = SessionState::AwaitReidentify;
        sendQuery(kQueryIdentity);
        break;
    case SessionState::AwaitReidentify:
        state = SessionState::AwaitDriveInfo;
        sendQuery(kQueryDriveInfo);
        break;
    case SessionState::AwaitDriveInfo:
        info.gearRatio = r.longAt(5);
        info.fullResolution = r.longAt(9);
        info.siderealSpeed = r.longAt(13);
        state = SessionState::AwaitCurrentInfo;
        sendQuery(kQueryCurrentInfo);
        break;
    case SessionState::AwaitCurrentInfo:
        info.maxCurrent = static_cast<uint16_t>(r.word(9));
        info.motorCurrent = static_cast<uint16_t>(r.word(13));
        info.param128 = static_cast<int8_t>(static_cast<uint8_t>(r.byte(20)));
        state = SessionState::AwaitEncoderBits;
        sendQuery(kQueryEncoderBits);
        break;
    case SessionState::AwaitEncoderBits:
        info.encoderBits = r.byte(5);
        updateDerivedEncoderFields(info);
        state = SessionState::AwaitEncoderConfig;
        sendQuery(kQueryEncoderConfig);
        break;
    case SessionState::AwaitEncoderConfig:
        info.encoderFlags = static_cast<uint8_t>(r.byte(3));
        info.encoderOffset = r.longAt(4);
        info.encoderCalibAux = r.longAt(8);
        state = SessionState::AwaitRecordFormat;
        sendQuery(kQueryRecordFormat);
        break;
    case SessionState::AwaitRecordFormat:
        info.recordLength = r.byte(3);
        info.recordInfo = r.byte(4);
        info.recordInfo2 = r.longAt(5);
        state = SessionState::AwaitPid;
        sendQuery(kQueryPid);
        break;
    case SessionState::AwaitPid:
        for (int i = 0; i < 10; ++i) {
            info.pidParameters[i] = r.word(3 + 2 * i);
        }
        state = SessionState::AwaitAux;
        sendQuery(kQueryAux);
        break;
    case SessionState::AwaitAux:
        info.auxMode = static_cast<uint8_t>(r.byte(3));
        info.auxReserved = 0;
        info.auxSkip = r.word(5);
        info.auxSkip2 = 0;
        info.auxErrorLimit = r.longAt(9);
        info.auxAccelLimit = r.longAt(13);
        info.auxSpeedLimit = r.longAt(17);
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
    const uint32_t dataBytes = std::min<uint32_t>(r.word(1), static_cast<uint32_t>(std::max(length - 3, 0)));
    // A block without data carries no marker byte and counts as an empty block.
    if (dataBytes > 0 && r.byte(3) != kBlockMarker) {
        return kStepNone;
    }
    const uint32_t recordLength = fields_.deviceInfo.recordLength;
    // Records that cannot be framed towards the user interface (longer than 63 bytes) are treated
    // like a controller without a record length: the block is discarded and the polling ends. The
    // user is told, or logging would stop without a word.
    if (recordLength == 0 || recordLength > kMaxRecordLength) {
        state = SessionState::SessionIdle;
        report_->postStatus(StatusCommunicationError);
        return kStepNone;
    }
    if (dataBytes <= 1) {
        report_->writeRecord(nullptr, 0, true);
    } else {
        const uint32_t records = (dataBytes - 1) / recordLength;
        for (uint32_t i = 0; i < records; ++i) {
            report_->writeRecord(frame + 4 + i * recordLength, recordLength, i + 1 == records);
        }
    }
    if (fields_.deferredCommand == 0) {
        awaitNextBlock();
    } else {
        executor_.sendDeferredCommand();
    }
    return kStepNone;
}
