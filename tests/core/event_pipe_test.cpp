// The engine's event pipe: the assembler's framing rules, the exact bytes of the tick and every
// command sender, the pipe's name, and that events written from several threads at once reach the
// worker whole and in each writer's order.

#include "engine/CommControl.h"
#include "engine/EventAssembler.h"
#include "platform/Process.h"
#include "rz4/iEngineReport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Test access to CommControl's serial side (friend of CommControl).
class CommControlTestAccess {
public:
    static void forwardSerialBytes(CommControl& engine, const uint8_t* bytes, long count) {
        engine.transport_.forwardSerialBytes(bytes, count);
    }
};

namespace {

class NullReport : public iEngineReport {
public:
    void postStatus(uint32_t) override {}
    void writeRecord(const uint8_t*, uint32_t, bool) override {}
    void setDeviceInfo(const DeviceInfo&) override {}
    void writeMarker(const uint8_t*, uint32_t) override {}
};

// Collects events from an assembler or the engine's tap.
class EventLog {
public:
    static void record(void* context, const uint8_t* event, int length) {
        auto* self = static_cast<EventLog*>(context);
        std::lock_guard<std::mutex> guard(self->lock_);
        self->events_.emplace_back(event, event + length);
        self->changed_.notify_all();
    }

    // Waits until count events have arrived (generous time-out) and returns all of them.
    std::vector<Bytes> waitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, std::chrono::seconds(10), [&] { return events_.size() >= count; });
        return events_;
    }

    std::vector<Bytes> snapshot() {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Bytes> events_;
};

std::vector<Bytes> assemble(const Bytes& stream) {
    EventLog log;
    EventAssembler assembler(&EventLog::record, &log);
    for (uint8_t b : stream)
        assembler.assembleEventByte(b);
    return log.snapshot();
}

TEST(EventAssembler, FramesEventsByHeaderLength) {
    // Tick, then a 4-byte command, then the longest event (31 payload bytes).
    Bytes longest(32, 0x11);
    longest[0] = 0x9F;
    Bytes stream;
    for (uint8_t b : {0xA0, 0x00, 0x83, 0x05, 0x03, 0x02})
        stream.push_back(b);
    for (uint8_t b : longest)
        stream.push_back(b);
    auto events = assemble(stream);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], (Bytes{0xA0, 0x00}));
    EXPECT_EQ(eventKind(events[0][0]), EventTick);
    EXPECT_EQ(events[1], (Bytes{0x83, 0x05, 0x03, 0x02}));
    EXPECT_EQ(events[2], longest);
}

TEST(EventAssembler, EmptyHeaderSwallowsNextByteEvenWithBit7) {
    auto events = assemble({0xA0, 0x81, 0x03, 0x82, 0x02, 0x05});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Bytes{0xA0, 0x81}));       // the 0x81 was the tick's filler, not a header
    EXPECT_EQ(events[1], (Bytes{0x82, 0x02, 0x05})); // 0x03 was dropped as a stray byte
}

TEST(EventAssembler, HighBytesInsidePayloadStayPayload) {
    auto events = assemble({0x84, 0x0C, 0x81, 0xFF, 0x80, 0xE2, 0xA0, 0x9F});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Bytes{0x84, 0x0C, 0x81, 0xFF, 0x80}));
    EXPECT_EQ(events[1], (Bytes{0xE2, 0xA0, 0x9F}));
}

TEST(EventAssembler, SkipsStrayBytesAndRealigns) {
    auto events = assemble({0x00, 0x7F, 0x12, 0x81, 0x03, 0x55, 0xA0, 0x00});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Bytes{0x81, 0x03}));
    EXPECT_EQ(events[1], (Bytes{0xA0, 0x00}));
}

class EnginePipe : public ::testing::Test {
protected:
    void SetUp() override { engine.setEventTap(&EventLog::record, &log); }

    NullReport report;
    EventLog log; // before the engine: the worker may use it until the engine is gone
    CommControl engine{&report};
};

TEST_F(EnginePipe, TickAndEverySenderWriteExactBytes) {
    const uint16_t pid[10] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x0F10, 0x8081, 0xFFFE};
    std::vector<Bytes> expected = {
        {0xA0, 0x00},
        {0x82, 2, 0xFF}, // port 255: a payload byte with bit 7 set
        {0x81, 3},
        {0x81, 4},
        {0x83, 5, 3, 7},
        {0x81, 6},
        {0x81, 7},
        {0x86, 8, 1, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x82, 9, 1},
        {0x83, 10, 0x42, 1},
        {0x83, 11, 2, 0},
        {0x84, 12, 129, 0x34, 0x12},
        {0x83, 13, 128, 0x99},
        {0x82, 14, 2},
        {0x95, 15,   0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A,
         0x09, 0x0C, 0x0B, 0x0E, 0x0D, 0x10, 0x0F, 0x81, 0x80, 0xFE, 0xFF},
        {0x9F, 16,   0x05, 0x06, 0x34, 0x12, 0x78, 0x56, 0x04, 0x03, 0x02, 0x01, 0x08, 0x07, 0x06, 0x05,
         0x0C, 0x0B, 0x0A, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0xEF, 0xBE, 0xAD, 0xDE},
        {0x82, 17, 0x40},
        {0x81, 18},
        {0x81, 19},
        {0x81, 20},
    };
    engine.OnHeartBeat();
    engine.Connect(255);
    engine.Disconnect();
    engine.StoreParameters();
    engine.StartLog(3, 7);
    engine.StopLog();
    engine.FetchLog();
    engine.SetEncoderCalibration(1, static_cast<uint32_t>(-1));
    engine.Tracking(1);
    engine.TrackingRate(0x42, 1);
    engine.TrackingSpecial(2, 0);
    engine.WriteParam16(129, 0x1234);
    engine.WriteParam8(128, 0x99);
    engine.ClosedLoop(2);
    engine.SendPid(pid);
    engine.SendAux(5, 6, 0x1234, 0x5678, 0x01020304, 0x05060708, 0x090A0B0C, 0xFFFFFFFF, 0x80000000,
                   0xDEADBEEF);
    engine.Device40(0x40);
    engine.Device41();
    engine.Device42();
    engine.Device43();
    auto events = log.waitFor(expected.size());
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(events[i], expected[i]) << "event " << i;
    EXPECT_EQ(events[15].size(), 32u); // SendAux is the longest event
}

TEST_F(EnginePipe, SendersNarrowArgumentsToTheirWidth) {
    engine.Connect(0x1FF);
    engine.StartLog(0x103, 0x201);
    engine.WriteParam16(0x181, 0xABCD1234);
    engine.Device40(0x7700);
    auto events = log.waitFor(4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], (Bytes{0x82, 2, 0xFF}));
    EXPECT_EQ(events[1], (Bytes{0x83, 5, 0x03, 0x01}));
    EXPECT_EQ(events[2], (Bytes{0x84, 12, 0x81, 0x34, 0x12}));
    EXPECT_EQ(events[3], (Bytes{0x82, 17, 0x00}));
}

TEST_F(EnginePipe, SerialBytesArriveAsDataEvents) {
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i)
        bytes[i] = static_cast<uint8_t>(0x80 + i);
    CommControlTestAccess::forwardSerialBytes(engine, bytes, 32);
    auto events = log.waitFor(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].size(), 32u);
    EXPECT_EQ(events[0][0], 0xFF);
    EXPECT_EQ(events[1], (Bytes{0xE1, 0x9F}));
}

TEST(EnginePipeName, PrefixAndReversedProcessId) {
    char name[256];
    int end = CommControl::buildPipeName(name, sizeof name, 0x1A2C);
    EXPECT_STREQ(name, "\\\\.\\Pipe\\velkaront_enc_monitor_C2A10000");
    EXPECT_EQ(end, static_cast<int>(std::strlen(name)));

    NullReport report;
    CommControl engine(&report);
    char suffix[9];
    uint32_t pid = currentProcessId();
    for (int i = 0; i < 8; ++i)
        suffix[i] = "0123456789ABCDEF"[(pid >> (4 * i)) & 0xF];
    suffix[8] = '\0';
    std::string expected = std::string("\\\\.\\Pipe\\velkaront_enc_monitor_") + suffix;
    EXPECT_EQ(std::string(engine.pipeName()), expected);
}

TEST(EngineShutdown, IsIdempotentAndDropsLaterWrites) {
    NullReport report;
    EventLog log;
    CommControl engine(&report);
    engine.setEventTap(&EventLog::record, &log);
    engine.Disconnect();
    ASSERT_EQ(log.waitFor(1).size(), 1u);
    engine.shutdown();
    engine.shutdown();
    // With the worker gone nothing drains the pipe: far more writes than it holds must not block.
    for (int i = 0; i < 100000; ++i)
        engine.OnHeartBeat();
    EXPECT_EQ(log.snapshot().size(), 1u);
}

// Checks every event the worker hands out, on the worker thread, against what the three writers
// produce: commands carry a running number in every argument, serial chunks a running number in
// every byte, ticks are always A0 00.
class OrderChecker {
public:
    static void check(void* context, const uint8_t* event, int length) {
        static_cast<OrderChecker*>(context)->onEvent(event, length);
    }

    void onEvent(const uint8_t* e, int length) {
        total++;
        if (length == 2 && e[0] == 0xA0 && e[1] == 0x00) {
            ticks++;
        } else if (length == 32 && e[0] == 0x9F && e[1] == CmdSendAux) {
            uint32_t n = e[8] | e[9] << 8 | e[10] << 16 | static_cast<uint32_t>(e[11]) << 24;
            bool whole = e[2] == static_cast<uint8_t>(n) && e[4] == static_cast<uint8_t>(n) &&
                         e[5] == static_cast<uint8_t>(n >> 8);
            for (int i = 12; i < 32; i += 4)
                whole = whole && std::memcmp(e + 8, e + i, 4) == 0;
            if (!whole || n != nextCommand)
                bad++;
            nextCommand = n + 1;
        } else if (length == 32 && e[0] == 0xFF) {
            for (int i = 2; i < 32; ++i)
                if (e[i] != e[1])
                    bad++;
            if (e[1] != static_cast<uint8_t>(nextSerial))
                bad++;
            nextSerial++;
        } else {
            bad++;
        }
    }

    std::atomic<long> total{0};
    std::atomic<long> ticks{0};
    std::atomic<long> bad{0};
    uint32_t nextCommand = 0; // worker thread only
    uint32_t nextSerial = 0;  // worker thread only
};

TEST(EnginePipeConcurrency, ThreeWritersNeverInterleave) {
    NullReport report;
    OrderChecker checker;
    CommControl engine(&report);
    engine.setEventTap(&OrderChecker::check, &checker);

    std::atomic<bool> stop{false};
    long commands = 0, ticks = 0, chunks = 0;
    std::thread ui([&] {
        for (uint32_t n = 0; !stop; ++n, ++commands)
            engine.SendAux(n, 0, n, 0, n, n, n, n, n, n);
    });
    std::thread heartbeat([&] {
        for (; !stop; ++ticks)
            engine.OnHeartBeat();
    });
    std::thread reader([&] {
        uint8_t run[62];
        for (uint32_t n = 0; !stop; n += 2, chunks += 2) {
            // Two chunks per call, each filled with its own running number.
            std::memset(run, static_cast<int>(n & 0xFF), 31);
            std::memset(run + 31, static_cast<int>((n + 1) & 0xFF), 31);
            CommControlTestAccess::forwardSerialBytes(engine, run, 62);
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop = true;
    ui.join();
    heartbeat.join();
    reader.join();

    long expected = commands + ticks + chunks;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (checker.total < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    engine.shutdown(); // the worker's counters are final from here on
    EXPECT_GT(commands, 0);
    EXPECT_GT(ticks, 0);
    EXPECT_GT(chunks, 0);
    EXPECT_EQ(checker.total, expected);
    EXPECT_EQ(checker.ticks, ticks);
    EXPECT_EQ(checker.bad, 0);
    EXPECT_EQ(checker.nextCommand, static_cast<uint32_t>(commands));
    EXPECT_EQ(checker.nextSerial, static_cast<uint32_t>(chunks));
}

} // namespace
