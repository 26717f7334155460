#include "model/store/DataTransfer.h"

#include "model/store/AppModel.h"
#include "model/store/Marker.h"
#include "model/store/iMainDlgCallback.h"
#include "model/store/iWMUserSender.h"
#include "rz4/StatusCode.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

constexpr uint8_t kHeaderMark = 0x80;
constexpr uint8_t kLastOfBatch = 0x40;
constexpr uint8_t kLengthBits = 0x3F;
// Length 0 without the last flag frames no record; it announces that the next record is a marker.
constexpr uint8_t kMarkerHeader = kHeaderMark;

} // namespace

DataTransfer::DataTransfer(AppModel* model) : model_(model) {
    // A pipe that cannot be created leaves both ends invalid: writes and reads then fail quietly and
    // no records arrive.
    pipe_.create(kPipeBytes);
}

void DataTransfer::postStatus(uint32_t code) {
    if (sender_ != nullptr)
        sender_->PostUserMessage(NotifyStatus, static_cast<intptr_t>(code));
}

void DataTransfer::writeRecord(const uint8_t* bytes, uint32_t length, bool last) {
    assert(length <= kMaxRecordLength && "the pipe header has six bits for the record length");
    assert((bytes != nullptr || length == 0) && "record bytes missing");
    bool write = true;
    if (length > kMaxRecordLength || (bytes == nullptr && length != 0)) {
        // Such a record cannot be framed. It is dropped; when it closes a batch, an empty
        // end-of-batch header still goes out so the UI learns that the batch is complete.
        length = 0;
        write = last;
    }
    if (write) {
        writeBuffer_[0] =
            static_cast<uint8_t>(kHeaderMark | (length & kLengthBits) | (last ? kLastOfBatch : 0));
        if (length != 0)
            std::memcpy(writeBuffer_ + 1, bytes, length);
        // One write of at most 64 bytes: atomic, and blocks while the pipe is full.
        pipe_.write(writeBuffer_, length + 1);
    }
    if (sender_ != nullptr)
        sender_->PostUserMessage(NotifyData, 0);
}

void DataTransfer::writeMarker(const uint8_t* command, uint32_t length) {
    // The marker header and the framed command fit the write buffer, so one write keeps them together.
    if (command == nullptr || length == 0 || length > kMaxMarkerLength)
        return;
    writeBuffer_[0] = kMarkerHeader;
    writeBuffer_[1] = static_cast<uint8_t>(kHeaderMark | length);
    std::memcpy(writeBuffer_ + 2, command, length);
    pipe_.write(writeBuffer_, length + 2);
    if (sender_ != nullptr)
        sender_->PostUserMessage(NotifyData, 0);
}

void DataTransfer::pidSentAtOnce(const uint8_t* arguments, uint32_t length) {
    uint8_t notice[kMaxMarkerLength];
    if (arguments == nullptr || length + 1 > sizeof notice)
        return;
    notice[0] = kPidSentNotice;
    std::memcpy(notice + 1, arguments, length);
    writeMarker(notice, length + 1);
}

void DataTransfer::setDeviceInfo(const DeviceInfo& info) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::memcpy(&deviceInfo_, &info, sizeof deviceInfo_);
    }
    if (sender_ != nullptr)
        sender_->PostUserMessage(NotifyDeviceInfo, 0);
}

void DataTransfer::onUserMessage(uint32_t code, intptr_t argument) {
    switch (code) {
    case NotifyStatus:
        // The dialog takes the low 16 bits and ignores codes it has no text for.
        if (callback_ != nullptr)
            callback_->OnStatus(static_cast<uint32_t>(argument));
        break;
    case NotifyDeviceInfo:
        takeDeviceInfo();
        break;
    case NotifyData:
        drainPipe();
        break;
    default:
        break;
    }
}

void DataTransfer::takeDeviceInfo() {
    if (model_ == nullptr)
        return;
    DeviceInfo& info = model_->deviceInfo;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::memcpy(&info, &deviceInfo_, sizeof info);
    }
    updateDerivedEncoderFields(info);

    ClosedLoopSettings& loop = model_->closedLoopSettings;
    loop.setPidFields(rz4::pidFieldsOf(info.pidParameters));
    model_->controllerPid.read(info.pidParameters, model_->sampleCount);
    loop.auxMode = info.auxMode;
    loop.auxSkip = info.auxSkip;
    loop.auxErrorLimit = info.auxErrorLimit;
    loop.auxAccelLimit = info.auxAccelLimit;
    loop.auxSpeedLimit = info.auxSpeedLimit;

    model_->updateGeometry();
    if (callback_ != nullptr)
        callback_->OnEncoderBits(info.encoderBits);
}

void DataTransfer::drainPipe() {
    for (;;) {
        const std::size_t waiting = pipe_.bytesAvailable();
        if (waiting == 0)
            return;
        // Bytes are waiting and this thread is the only reader: the read returns at once.
        const long got = pipe_.read(readBuffer_, std::min(waiting, sizeof readBuffer_));
        if (got <= 0)
            return;
        for (long i = 0; i < got; ++i)
            reassemble(readBuffer_[i]);
    }
}

void DataTransfer::reassemble(uint8_t byte) {
    if (reassemblyState_ == 0) {
        // Between records only a header is meaningful; anything else is skipped until one comes.
        if ((byte & kHeaderMark) == 0)
            return;
        if (byte == kMarkerHeader) {
            markerNext_ = true;
            return;
        }
        header_ = byte;
        expectedLength_ = byte & kLengthBits;
        if (expectedLength_ == 0) {
            // An empty batch end; a marker announced before it carries nothing and is dropped.
            markerNext_ = false;
            if (model_ != nullptr)
                model_->appendRecord(nullptr, 0, true);
            return;
        }
        fillPosition_ = 0;
        receivedCount_ = 0;
        reassemblyState_ = 1;
        return;
    }
    // Inside a record bytes are taken by count, whatever their value.
    if (fillPosition_ < static_cast<int>(sizeof recordBuffer_))
        recordBuffer_[fillPosition_++] = byte;
    ++receivedCount_;
    if (receivedCount_ >= expectedLength_) {
        if (model_ != nullptr) {
            if (markerNext_)
                model_->appendMarker(recordBuffer_, static_cast<uint32_t>(fillPosition_));
            else
                model_->appendRecord(recordBuffer_, static_cast<uint32_t>(fillPosition_),
                                     (header_ & kLastOfBatch) != 0);
        }
        markerNext_ = false;
        reassemblyState_ = 0;
    }
}
