// Drives the engine's Session the way the worker thread does: a stream of whole engine events
// (serial-data chunks, ticks, commands, the serial reader's fault notice) decoded from the fuzz input,
// with a fake port whose open succeeds. The serial bytes cross the frame parser into the handshake and
// logging state machine. Checks the contracts towards the transport and the user interface after every
// event, and that each batch of logged records is the whole records of a block frame received in that
// event, in order.
//
// Input: a sequence of operations, each an opcode byte followed by its operands:
//   0..2  serial data: length byte (1 + b % 31), then that many bytes
//   3     one tick
//   4     ticks: count byte (1 + b), so reply time-outs and block delays elapse
//   5     command: length byte (1 + b % 31), code byte (2 + b % 19, or b itself when b >= 0xF0), arguments
//   6     Connect: port byte (below 0x80: port 0 or 1 by its low bit; else the byte itself)
//   7     serial fault notice 0xC1: selector byte (even: the current port generation), generation byte
//   8     any event: header byte (bit 7 forced), then max(L, 1) bytes
//   9     toggle whether the next port opens fail
#include "FuzzInput.h"
#include "engine/DevicePacket.h"
#include "engine/EngineEvent.h"
#include "engine/FrameParser.h"
#include "engine/HeldCommands.h"
#include "engine/Session.h"
#include "engine/iFrameHandler.h"
#include "engine/iSessionHost.h"
#include "rz4/Rz4Protocol.h"
#include "rz4/StatusCode.h"
#include "rz4/iEngineReport.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr int kMaxOperations = 2000;

// A port that opens unless told otherwise; checks every packet the session writes.
class FuzzHost : public iSessionHost {
public:
    bool failOpen = false;
    bool open = false;
    bool everOpened = false;
    int opens = 0;
    uint8_t lastGeneration = 0;

    bool openPort(uint32_t port, uint8_t generation) override {
        // A second open without a close would leak the first port and its reader.
        FUZZ_CHECK(!open);
        FUZZ_CHECK(port >= 1 && port <= 255);
        // A fault notice of the previous reader must be told apart from one of the new reader.
        FUZZ_CHECK(!everOpened || generation != lastGeneration);
        if (failOpen)
            return false;
        open = true;
        everOpened = true;
        ++opens;
        lastGeneration = generation;
        return true;
    }
    void closePort() override { open = false; }
    bool writePort(const uint8_t* bytes, int count) override {
        FUZZ_CHECK(bytes != nullptr);
        FUZZ_CHECK(count >= 3 && count <= rz4::kMaxPacketBytes);
        FUZZ_CHECK(bytes[0] == rz4::kPacketStart);
        FUZZ_CHECK(bytes[1] == count - 2);
        return open;
    }
    void pause(int milliseconds) override { FUZZ_CHECK(milliseconds >= 0 && milliseconds <= 1000); }
};

// Cuts the same serial bytes as the session's own parser, checks each frame's shape and keeps the
// block frames of the current event.
class FrameShapeCheck : public iFrameHandler {
public:
    std::vector<std::vector<uint8_t>> blocks;

    int onFrame(const uint8_t* frame, int length) override {
        FUZZ_CHECK(frame != nullptr && length >= 2);
        if (frame[0] == 'U') {
            FUZZ_CHECK(length == 2 + frame[1]);
        } else {
            FUZZ_CHECK(frame[0] == 'R' && length >= 3);
            const int declared = frame[1] | frame[2] << 8;
            FUZZ_CHECK(declared <= rz4::kMaxBlockData);
            FUZZ_CHECK(length == 3 + declared);
            blocks.emplace_back(frame, frame + length);
        }
        return 0;
    }

    // The whole records of a block frame carrying the marker byte 83: the data after the marker cut
    // into pieces of length bytes, a short rest dropped. 0 for any other frame.
    static std::size_t wholeRecords(const std::vector<uint8_t>& block, uint32_t length) {
        if (block.size() < 5 || block[3] != 83 || length == 0)
            return 0;
        return (block.size() - 4) / length;
    }
};

// Follows the records of the current serial event through the block frames that came with it: each
// batch must be the whole records of one block, in order, starting at its first record, with the last
// flag on its final whole record; later batches come from later blocks. (Blocks the session discarded
// are among the frames too, so every block that fits the records so far stays a candidate.)
class BlockRecordCheck {
public:
    void startEvent() {
        nextBlock_ = 0;
        candidates_.clear();
        index_ = 0;
    }

    void onRecord(const FrameShapeCheck& frames, const uint8_t* record, uint32_t length, bool last) {
        if (index_ == 0) {
            for (std::size_t b = nextBlock_; b < frames.blocks.size(); ++b)
                candidates_.push_back(b);
        }
        std::vector<std::size_t> fitting;
        for (std::size_t b : candidates_) {
            const std::vector<uint8_t>& block = frames.blocks[b];
            const std::size_t whole = FrameShapeCheck::wholeRecords(block, length);
            if (index_ < whole && last == (index_ + 1 == whole) &&
                std::memcmp(block.data() + 4 + index_ * length, record, length) == 0)
                fitting.push_back(b);
        }
        FUZZ_CHECK(!fitting.empty());
        candidates_.swap(fitting);
        ++index_;
        if (last) {
            nextBlock_ = candidates_.front() + 1;
            candidates_.clear();
            index_ = 0;
        }
    }

private:
    std::size_t nextBlock_ = 0;
    std::vector<std::size_t> candidates_; // blocks the batch in progress may come from
    std::size_t index_ = 0;               // records of the batch so far
};

// Checks what the session hands towards the user interface.
class FuzzReport : public iEngineReport {
public:
    const Session* session = nullptr;
    const FrameShapeCheck* frames = nullptr;
    BlockRecordCheck blockRecords;
    bool serialEvent = false; // the current event carries serial bytes
    bool batchOpen = false;   // a batch was started and its last record not yet written
    uint32_t checksum = 0;

    void postStatus(uint32_t code) override { FUZZ_CHECK(code < kStatusCodeCount); }
    void writeRecord(const uint8_t* bytes, uint32_t length, bool last) override {
        FUZZ_CHECK(length <= iEngineReport::kMaxRecordLength);
        FUZZ_CHECK(bytes != nullptr || length == 0);
        // Records are cut at the session's record length, never longer.
        FUZZ_CHECK(length <= session->fields().deviceInfo.recordLength);
        // An empty record only ever marks the end of an empty batch.
        FUZZ_CHECK(length != 0 || (last && !batchOpen));
        for (uint32_t i = 0; i < length; ++i)
            checksum += bytes[i]; // lets the address sanitizer see every byte handed over
        // Records out of serial bytes are cut from the block frames that arrived with them.
        if (serialEvent && length != 0)
            blockRecords.onRecord(*frames, bytes, length, last);
        batchOpen = !last;
    }
    void writeMarker(const uint8_t* command, uint32_t length) override {
        // A marker carries one command that changes the controller, whole, between batches, while the
        // controller logs (or just stopped).
        FUZZ_CHECK(command != nullptr);
        FUZZ_CHECK(length >= 1 && length <= iEngineReport::kMaxMarkerLength);
        FUZZ_CHECK(HeldCommands::holds(command[0]));
        FUZZ_CHECK(!batchOpen);
        for (uint32_t i = 0; i < length; ++i)
            checksum += command[i];
    }
    void setDeviceInfo(const DeviceInfo& info) override {
        // A completed handshake asks for no more records per block than the frame buffer holds. (Test
        // mode keeps the block size of the last handshake: it never requests blocks.)
        if (!session->fields().testMode)
            FUZZ_CHECK(info.recordLength == 0 || info.blockRecords <= 8000 / info.recordLength);
    }
};

void checkInvariants(const Session& session, const FuzzHost& host, const FuzzReport& report) {
    const SessionFields& f = session.fields();
    FUZZ_CHECK(f.portOpen == host.open);
    FUZZ_CHECK(f.replyTimeout >= 0 && f.replyTimeout <= Session::kReplyTimeoutTicks);
    FUZZ_CHECK(f.delayTicks >= 0 && f.delayTicks <= Session::kBlockDelayTicks);
    FUZZ_CHECK(f.heldCommands.count() >= 0 && f.heldCommands.count() <= HeldCommands::kCapacity);
    for (int i = 0; i < f.heldCommands.count(); ++i)
        FUZZ_CHECK(HeldCommands::holds(f.heldCommands.codeAt(i)));
    // Commands wait only for a block of a logging run, and a new connection forgets them.
    FUZZ_CHECK(f.heldCommands.empty() || f.logActive);
    FUZZ_CHECK(static_cast<int>(f.sessionState) >= 0 &&
               static_cast<int>(f.sessionState) <= static_cast<int>(SessionState::AwaitDeferredAck));
    // Every batch is finished within the event that started it, so the UI sees each one complete.
    FUZZ_CHECK(!report.batchOpen);
}

// An event in a buffer of exactly its own size, so a read past its declared payload is caught.
std::vector<uint8_t> makeEvent(uint8_t header, FuzzInput& in) {
    const int payload = eventPayloadLength(header);
    std::vector<uint8_t> event(static_cast<std::size_t>(1 + (payload == 0 ? 1 : payload)));
    event[0] = header;
    in.bytes(event.data() + 1, event.size() - 1);
    return event;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzHost host;
    FuzzReport report;
    Session session(&report, &host);
    report.session = &session;
    FrameShapeCheck shapeCheck;
    report.frames = &shapeCheck;
    // Starts afresh on every opened port, like the session's own parser.
    std::optional<FrameParser> shadowParser;
    int opens = 0;
    // Feeds a serial event's bytes to the shadow parser first, so its block frames are known when the
    // session hands out records.
    auto serial = [&](const std::vector<uint8_t>& event) {
        shapeCheck.blocks.clear();
        if (session.fields().portOpen)
            shadowParser->parseFrameBytes(event.data() + 1, eventPayloadLength(event[0]));
        report.serialEvent = true;
        report.blockRecords.startEvent();
        session.onEngineEvent(event.data());
        report.serialEvent = false;
    };

    for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
        const uint8_t opcode = in.byte();
        switch (opcode % 10) {
        case 0:
        case 1:
        case 2: {
            const int length = 1 + in.byte() % kMaxSerialChunk;
            serial(makeEvent(eventHeader(EventSerialData, length), in));
            break;
        }
        case 3:
        case 4: {
            const int ticks = opcode % 10 == 3 ? 1 : 1 + in.byte();
            for (int i = 0; i < ticks; ++i) {
                const std::vector<uint8_t> event = {eventHeader(EventTick, 0), 0};
                session.onEngineEvent(event.data());
                checkInvariants(session, host, report);
            }
            break;
        }
        case 5: {
            const int length = 1 + in.byte() % kMaxSerialChunk;
            const uint8_t raw = in.byte();
            std::vector<uint8_t> event(static_cast<std::size_t>(1 + length));
            event[0] = eventHeader(EventCommand, length);
            event[1] = raw >= 0xF0 ? raw : static_cast<uint8_t>(CmdConnect + raw % 19);
            in.bytes(event.data() + 2, event.size() - 2);
            session.onEngineEvent(event.data());
            break;
        }
        case 6: {
            const uint8_t b = in.byte();
            const uint8_t port = b < 0x80 ? (b & 1) : b;
            const std::vector<uint8_t> event = {eventHeader(EventCommand, 2), CmdConnect, port};
            session.onEngineEvent(event.data());
            break;
        }
        case 7: {
            const uint8_t selector = in.byte();
            const uint8_t raw = in.byte();
            const uint8_t generation = (selector & 1) == 0 ? session.fields().portGeneration : raw;
            const std::vector<uint8_t> event = {kSerialFaultHeader, generation};
            session.onEngineEvent(event.data());
            break;
        }
        case 8: {
            const uint8_t header = in.byte() | 0x80;
            const std::vector<uint8_t> event = makeEvent(header, in);
            if (eventKind(header) == EventSerialData)
                serial(event);
            else
                session.onEngineEvent(event.data());
            break;
        }
        default:
            host.failOpen = !host.failOpen;
            break;
        }
        checkInvariants(session, host, report);
        if (host.opens != opens) {
            opens = host.opens;
            shadowParser.emplace(&shapeCheck);
        }
    }
    return 0;
}
