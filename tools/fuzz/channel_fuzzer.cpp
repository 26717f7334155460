// Drives the engine-to-UI channel (DataTransfer): arbitrary bytes injected into its pipe mixed with
// records framed by writeRecord, drained into the sample store by NotifyData, with device records and
// clears in between. A plain reassembly of the same pipe bytes feeds a model of the store; both are
// compared after every drain and at the end.
//
// Input: a record-length selector, then operations, each an opcode byte and its operands:
//   0  raw pipe bytes: count byte (1 + b), then the bytes
//   1  writeRecord: length byte (b % 64), record bytes; opcode bit 4 = last
//   2  NotifyData: drain the pipe into the store
//   3  new device record: record-length selector, encoder-bits byte; then NotifyDeviceInfo
//   4  clear the store
//   5  any other user message: code byte, argument long
//   6  writeMarker: length byte (1 + b % 31), command bytes
#include "FuzzInput.h"
#include "ShadowStore.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "model/store/iWMUserSender.h"
#include "rz4/StatusCode.h"

#include <cstdint>
#include <vector>

// Reaches the channel's pipe to inject bytes the writer would never frame.
class DataTransferProbe {
public:
    static Pipe& pipe(DataTransfer& channel) { return channel.pipe_; }
};

namespace {

constexpr int kMaxOperations = 1024;

AppModel store;
ShadowStore shadow;

// Counts the notifications the channel posts.
class CountingSender : public iWMUserSender {
public:
    int data = 0;
    int deviceInfo = 0;
    bool PostUserMessage(uint32_t code, intptr_t) override {
        if (code == NotifyData)
            ++data;
        else if (code == NotifyDeviceInfo)
            ++deviceInfo;
        return true;
    }
};

// Cuts the pipe bytes into records as the UI side must: a header (bit 7) with the length in bits 0..5
// and the batch end in bit 6, then that many bytes taken whatever their value. The header 0x80 alone
// (length 0, not last) announces that the next record is a marker's command; an empty batch end right
// after it drops the announcement.
class ReferenceReassembly {
public:
    void feed(uint8_t byte, ShadowStore& target) {
        if (!collecting_) {
            if ((byte & 0x80) == 0)
                return;
            if (byte == 0x80) {
                marker_ = true;
                return;
            }
            header_ = byte;
            if ((byte & 0x3F) == 0) {
                marker_ = false;
                target.append(nullptr, 0, true);
                return;
            }
            record_.clear();
            collecting_ = true;
            return;
        }
        record_.push_back(byte);
        if (record_.size() == static_cast<std::size_t>(header_ & 0x3F)) {
            if (marker_)
                target.appendMarker(record_.data(), static_cast<uint32_t>(record_.size()));
            else
                target.append(record_.data(), static_cast<uint32_t>(record_.size()), (header_ & 0x40) != 0);
            marker_ = false;
            collecting_ = false;
        }
    }

private:
    bool collecting_ = false;
    bool marker_ = false;
    uint8_t header_ = 0;
    std::vector<uint8_t> record_;
};

uint32_t recordLength(FuzzInput& in) {
    const uint8_t b = in.byte();
    return b < 0xF0 ? b % 72 : b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    shadow.reset(store, recordLength(in));

    DataTransfer channel(&store);
    CountingSender sender;
    channel.setSender(&sender);
    channel.setCallback(&shadow);
    Pipe& pipe = DataTransferProbe::pipe(channel);
    if (!pipe.valid())
        return 0; // out of descriptors: nothing to test

    ReferenceReassembly reference;
    std::vector<uint8_t> pending; // in the pipe, not yet drained
    const std::size_t capacity = pipe.capacity() != 0 ? pipe.capacity() : DataTransfer::kPipeBytes;

    auto drain = [&] {
        channel.onUserMessage(NotifyData, 0);
        FUZZ_CHECK(pipe.bytesAvailable() == 0);
        for (uint8_t byte : pending)
            reference.feed(byte, shadow);
        pending.clear();
        shadow.checkCounts(store);
    };
    // The writer blocks on a full pipe; this single-threaded run drains before that can happen.
    auto makeRoom = [&](std::size_t count) {
        if (pending.size() + count > capacity)
            drain();
    };

    for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
        const uint8_t opcode = in.byte();
        switch (opcode % 7) {
        case 0: {
            std::vector<uint8_t> bytes(1 + static_cast<std::size_t>(in.byte()));
            in.bytes(bytes.data(), bytes.size());
            makeRoom(bytes.size());
            FUZZ_CHECK(pipe.write(bytes.data(), bytes.size()));
            pending.insert(pending.end(), bytes.begin(), bytes.end());
            break;
        }
        case 1: {
            const bool last = (opcode & 0x10) != 0;
            std::vector<uint8_t> record(in.byte() % 64);
            in.bytes(record.data(), record.size());
            makeRoom(record.size() + 1);
            const int posted = sender.data;
            channel.writeRecord(record.empty() ? nullptr : record.data(),
                                static_cast<uint32_t>(record.size()), last);
            FUZZ_CHECK(sender.data == posted + 1);
            pending.push_back(static_cast<uint8_t>(0x80 | (last ? 0x40 : 0) | record.size()));
            pending.insert(pending.end(), record.begin(), record.end());
            FUZZ_CHECK(pipe.bytesAvailable() == pending.size());
            break;
        }
        case 2:
            drain();
            break;
        case 3: {
            DeviceInfo info = store.deviceInfo;
            info.recordLength = recordLength(in);
            info.encoderBits = in.byte();
            const int posted = sender.deviceInfo;
            channel.setDeviceInfo(info);
            FUZZ_CHECK(sender.deviceInfo == posted + 1);
            channel.onUserMessage(NotifyDeviceInfo, 0);
            shadow.updateGeometry(info.recordLength);
            FUZZ_CHECK(store.deviceInfo.recordLength == info.recordLength);
            if (info.encoderBits < 64)
                FUZZ_CHECK(store.deviceInfo.encoderMask == (uint64_t{1} << info.encoderBits) - 1);
            break;
        }
        case 4:
            store.clear();
            shadow.clear();
            break;
        case 6: {
            std::vector<uint8_t> command(1 + in.byte() % 31);
            in.bytes(command.data(), command.size());
            makeRoom(command.size() + 2);
            const int posted = sender.data;
            channel.writeMarker(command.data(), static_cast<uint32_t>(command.size()));
            FUZZ_CHECK(sender.data == posted + 1);
            pending.push_back(0x80);
            pending.push_back(static_cast<uint8_t>(0x80 | command.size()));
            pending.insert(pending.end(), command.begin(), command.end());
            FUZZ_CHECK(pipe.bytesAvailable() == pending.size());
            break;
        }
        default: {
            const uint32_t code = in.byte();
            const intptr_t argument = static_cast<int32_t>(in.u32());
            if (code != NotifyData && code != NotifyDeviceInfo)
                channel.onUserMessage(code, argument);
            break;
        }
        }
    }
    drain();
    shadow.checkAll(store);
    shadow.checkExport(store, 0);
    return 0;
}
