// The serial transport over a real pseudo-terminal: the line settings it applies, how received bytes
// become SerialData events, byte-exact packet writes, closing and writing without a port, and what
// happens when the peer hangs up (fault notice, reader ends, no busy loop).

#include "engine/CommControl.h"
#include "engine/SerialTransport.h"
#include "engine/iEventWriter.h"
#include "rz4/iEngineReport.h"

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

class CommControlTestAccess {
public:
    static bool openPort(CommControl& engine, uint32_t port, uint8_t generation) {
        return engine.openPort(port, generation);
    }
    static void closePort(CommControl& engine) { engine.closePort(); }
};

namespace {

using Clock = std::chrono::steady_clock;

class RecordingWriter : public iEventWriter {
public:
    void writeEvent(const uint8_t* event, int length) override {
        std::lock_guard<std::mutex> guard(lock_);
        events_.emplace_back(event, event + length);
        changed_.notify_all();
    }
    static void tap(void* context, const uint8_t* event, int length) {
        static_cast<RecordingWriter*>(context)->writeEvent(event, length);
    }

    // Waits (generously) until pred(events) holds; returns the events seen.
    template <typename Pred> std::vector<Bytes> waitUntil(Pred pred, int seconds = 10) {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, std::chrono::seconds(seconds), [&] { return pred(events_); });
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

// The serial payload carried by the SerialData events, in order.
Bytes serialPayload(const std::vector<Bytes>& events) {
    Bytes out;
    for (const Bytes& e : events)
        if (!e.empty() && eventKind(e[0]) == EventSerialData)
            out.insert(out.end(), e.begin() + 1, e.end());
    return out;
}

// A pseudo-terminal pair; the transport opens the slave by its path, the test plays the peer.
class Pty {
public:
    Pty() {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~Pty() {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads count bytes from the peer's side within a generous time.
    Bytes receive(std::size_t count) const {
        Bytes out;
        auto deadline = Clock::now() + std::chrono::seconds(5);
        while (out.size() < count && Clock::now() < deadline) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            uint8_t buf[256];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    int master = -1;
    int slave = -1;
    std::string path;
};

double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class SerialTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty.path.empty());
        ASSERT_TRUE(transport.setPortPath(7, pty.path.c_str()));
    }

    // A hung-up line: the fault notice, the reader's end, and nothing busy while the port stays open.
    void hangUp();
    // A close while the peer keeps sending stops the reader.
    void closeDuringTraffic();

    Pty pty;
    RecordingWriter writer;
    SerialTransport transport{writer};
};

// The same, with the CPU and time limits checked.
class SlowSerialTransportTest : public SerialTransportTest {
    timing::Checked limits_;
};

TEST(SerialForward, ChunksIntoEventsOfAtMost31Bytes) {
    RecordingWriter writer;
    SerialTransport transport(writer);
    Bytes bytes(128);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(0x70 + i); // crosses 0x80: payload, not headers

    transport.forwardSerialBytes(bytes.data(), 0);
    transport.forwardSerialBytes(nullptr, 5);
    EXPECT_TRUE(writer.snapshot().empty());

    transport.forwardSerialBytes(bytes.data(), 1);
    EXPECT_EQ(writer.snapshot().back(), (Bytes{0xE1, 0x70}));

    transport.forwardSerialBytes(bytes.data(), 31);
    auto events = writer.snapshot();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1][0], 0xFF);
    EXPECT_EQ(Bytes(events[1].begin() + 1, events[1].end()), Bytes(bytes.begin(), bytes.begin() + 31));

    transport.forwardSerialBytes(bytes.data(), 32);
    events = writer.snapshot();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2].size(), 32u);
    EXPECT_EQ(events[3], (Bytes{0xE1, bytes[31]}));

    transport.forwardSerialBytes(bytes.data(), 128);
    events = writer.snapshot();
    ASSERT_EQ(events.size(), 9u);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(events[i][0], 0xFF);
    EXPECT_EQ(events[8][0], 0xE4);
    EXPECT_EQ(serialPayload({events.begin() + 4, events.end()}), bytes);
}

TEST(SerialPortTable, RejectsNumbersOutside1To255AndUnknownPorts) {
    RecordingWriter writer;
    SerialTransport transport(writer);
    EXPECT_FALSE(transport.setPortPath(0, "/dev/null"));
    EXPECT_FALSE(transport.setPortPath(256, "/dev/null"));
    EXPECT_TRUE(transport.setPortPath(255, "/nonexistent/tty"));
    EXPECT_FALSE(transport.openPort(3, 1));
    EXPECT_EQ(transport.lastOpenError(), ENOENT);
    EXPECT_FALSE(transport.openPort(0, 1));
    EXPECT_FALSE(transport.openPort(255, 1));
    EXPECT_EQ(transport.lastOpenError(), ENOENT);
    EXPECT_FALSE(transport.isOpen());
    EXPECT_FALSE(transport.readerRunning());
}

TIMED_TEST(SerialPortClosed, CloseIsHarmlessAndWriteFailsAtOnce) {
    RecordingWriter writer;
    SerialTransport transport(writer);
    transport.closePort();
    transport.closePort();
    const uint8_t packet[4] = {0xAA, 0x02, 0x01, 0x00};
    const auto start = Clock::now();
    EXPECT_FALSE(transport.writePort(packet, 4));
    EXPECT_TIMING_LT(Clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_TRUE(writer.snapshot().empty());
}

TEST_F(SerialTransportTest, AppliesLineSettings) {
    ASSERT_TRUE(transport.openPort(7, 1)) << transport.lastOpenError();
    EXPECT_EQ(transport.lastOpenError(), 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    transport.closePort();
    EXPECT_FALSE(transport.isOpen());
}

TEST_F(SerialTransportTest, ReceivedBytesBecomeSerialDataEvents) {
    ASSERT_TRUE(transport.openPort(7, 1));
    pty.send({0x0D});
    auto events = writer.waitUntil([](const std::vector<Bytes>& e) { return !e.empty(); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (Bytes{0xE1, 0x0D}));

    Bytes burst(128);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<uint8_t>(i * 7 + 0x0A); // includes CR, LF, XON/XOFF and bytes >= 0x80
    pty.send(burst);
    events = writer.waitUntil([](const std::vector<Bytes>& e) { return serialPayload(e).size() >= 129; });
    Bytes all = serialPayload(events);
    ASSERT_EQ(all.size(), 129u);
    EXPECT_EQ(Bytes(all.begin() + 1, all.end()), burst);
    for (const Bytes& e : events) {
        ASSERT_GE(e.size(), 2u);
        EXPECT_LE(e.size(), 32u);
        EXPECT_EQ(e[0], 0xE0 + e.size() - 1);
    }
    transport.closePort();
    EXPECT_FALSE(transport.readerRunning());
}

TEST_F(SerialTransportTest, PacketsReachThePeerByteExact) {
    ASSERT_TRUE(transport.openPort(7, 1));
    Bytes packet(34);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<uint8_t>(0xAA - 5 * i);
    packet[3] = 0x0A;
    packet[4] = 0x0D;
    packet[5] = 0x00;
    packet[6] = 0x11;
    packet[7] = 0x13;
    ASSERT_TRUE(transport.writePort(packet.data(), static_cast<int>(packet.size())));
    EXPECT_EQ(pty.receive(34), packet);
    EXPECT_FALSE(transport.writePort(nullptr, 3));
    transport.closePort();
    EXPECT_FALSE(transport.writePort(packet.data(), 4));
}

TEST_F(SerialTransportTest, ReopenReplacesTheReader) {
    ASSERT_TRUE(transport.openPort(7, 1));
    ASSERT_TRUE(transport.openPort(7, 2)); // closes the first connection itself
    EXPECT_TRUE(transport.readerRunning());
    pty.send({0x55});
    auto events = writer.waitUntil([](const std::vector<Bytes>& e) { return !e.empty(); });
    EXPECT_EQ(events, (std::vector<Bytes>{{0xE1, 0x55}}));
}

TEST_F(SlowSerialTransportTest, IdleReaderUsesNoCpu) {
    ASSERT_TRUE(transport.openPort(7, 1));
    double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double used = processCpuSeconds() - before;
    EXPECT_LT(used, 0.05) << "reader busy while idle";
}

TEST_F(SerialTransportTest, HangUpSendsFaultNoticeAndEndsReader) {
    hangUp();
}

TEST_F(SlowSerialTransportTest, HangUpSendsFaultNoticeAndEndsReader) {
    hangUp();
}

void SerialTransportTest::hangUp() {
    ASSERT_TRUE(transport.openPort(7, 0xB7));
    pty.send({0x42});
    writer.waitUntil([](const std::vector<Bytes>& e) { return !e.empty(); });
    pty.closeMaster();
    auto events = writer.waitUntil([](const std::vector<Bytes>& e) { return e.size() >= 2; });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Bytes{0xE1, 0x42}));
    EXPECT_EQ(events[1], (Bytes{kSerialFaultHeader, 0xB7}));
    EXPECT_EQ(eventKind(events[1][0]), EventInternal);

    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (transport.readerRunning() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(transport.readerRunning());

    // The port stays open until the session closes it; the hung-up descriptor must not keep
    // anything busy meanwhile, and exactly one notice is written.
    double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_TIMING_LT(processCpuSeconds() - before, 0.05);
    EXPECT_EQ(writer.snapshot().size(), 2u);
    transport.closePort();
    EXPECT_FALSE(transport.isOpen());
}

TEST_F(SerialTransportTest, CloseDuringTrafficStopsReaderPromptly) {
    closeDuringTraffic();
}

TEST_F(SlowSerialTransportTest, CloseDuringTrafficStopsReaderPromptly) {
    closeDuringTraffic();
}

void SerialTransportTest::closeDuringTraffic() {
    ASSERT_TRUE(transport.openPort(7, 1));
    std::thread peer([&] {
        Bytes chunk(64, 0x5A);
        for (int i = 0; i < 50; ++i) {
            (void)::write(pty.master, chunk.data(), chunk.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    auto start = Clock::now();
    transport.closePort();
    EXPECT_TIMING_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(transport.readerRunning());
    EXPECT_FALSE(transport.isOpen());
    peer.join();
    // No fault notice for a close we asked for.
    for (const Bytes& e : writer.snapshot())
        EXPECT_EQ(eventKind(e[0]), EventSerialData);
}

class NullReport : public iEngineReport {
public:
    void postStatus(uint32_t) override {}
    void writeRecord(const uint8_t*, uint32_t, bool) override {}
    void setDeviceInfo(const DeviceInfo&) override {}
    void writeMarker(const uint8_t*, uint32_t) override {}
};

TEST(EngineSerialPath, PortBytesAndFaultReachTheWorker) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    NullReport report;
    RecordingWriter seen;
    CommControl engine(&report);
    engine.setEventTap(&RecordingWriter::tap, &seen);
    ASSERT_TRUE(engine.setPortPath(12, pty.path.c_str()));
    EXPECT_FALSE(engine.setPortPath(0, pty.path.c_str()));
    // The session opens ports on the worker thread; with the worker idle the test may stand in.
    ASSERT_TRUE(CommControlTestAccess::openPort(engine, 12, 9));
    EXPECT_EQ(engine.lastOpenError(), 0);
    pty.send({0x55, 0x80, 0x0A});
    auto events = seen.waitUntil([](const std::vector<Bytes>& e) { return serialPayload(e).size() >= 3; });
    EXPECT_EQ(serialPayload(events), (Bytes{0x55, 0x80, 0x0A}));
    pty.closeMaster();
    events = seen.waitUntil([](const std::vector<Bytes>& e) { return !e.empty() && e.back()[0] == 0xC1; });
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (Bytes{0xC1, 9}));
    CommControlTestAccess::closePort(engine);
    EXPECT_FALSE(CommControlTestAccess::openPort(engine, 13, 10));
    EXPECT_EQ(engine.lastOpenError(), ENOENT);
}

TIMED_TEST(EngineSerialPath, ShutdownClosesARunningReader) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    NullReport report;
    CommControl engine(&report);
    ASSERT_TRUE(engine.setPortPath(1, pty.path.c_str()));
    ASSERT_TRUE(CommControlTestAccess::openPort(engine, 1, 1));
    auto start = Clock::now();
    engine.shutdown();
    EXPECT_TIMING_LT(Clock::now() - start, std::chrono::seconds(3));
    // The port is free again: another open succeeds.
    RecordingWriter writer;
    SerialTransport other(writer);
    other.setPortPath(1, pty.path.c_str());
    EXPECT_TRUE(other.openPort(1, 1));
}

// While the worker waits for the user interface (here: the tap holds it), a controller flooding the line
// must not fill the event pipe: the UI thread's next command has to go through at once, or the UI and
// the worker would each wait for the other.
TIMED_TEST(EngineSerialPath, FloodWhileTheWorkerWaitsLeavesRoomForCommands) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    NullReport report;
    std::mutex gateLock;
    std::condition_variable gateOpened;
    bool gateOpen = false;
    struct Gate {
        std::mutex* lock;
        std::condition_variable* opened;
        bool* open;
    } gate{&gateLock, &gateOpened, &gateOpen};
    CommControl engine(&report);
    engine.setEventTap(
        [](void* context, const uint8_t*, int) {
            auto* g = static_cast<Gate*>(context);
            std::unique_lock<std::mutex> guard(*g->lock);
            g->opened->wait(guard, [g] { return *g->open; });
        },
        &gate);
    ASSERT_TRUE(engine.setPortPath(1, pty.path.c_str()));
    ASSERT_TRUE(CommControlTestAccess::openPort(engine, 1, 1));

    std::atomic<bool> flooding{true};
    std::atomic<long> sent{0};
    std::thread controller([&] {
        Bytes noise(4096, 0x00);
        while (flooding) {
            ssize_t n = ::write(pty.master, noise.data(), noise.size());
            if (n > 0)
                sent += n;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // Until the line stops taking bytes: the engine has as much as it will take while the worker waits.
    long before = -1;
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (sent != before && Clock::now() < deadline) {
        before = sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_GT(sent, 32 * 1024);

    // The UI thread's commands; should they wait for the worker, the gate is opened after 2 s anyway
    // so the test ends either way.
    std::atomic<bool> commandsDone{false};
    std::thread ui([&] {
        for (int i = 0; i < 20; ++i)
            engine.StopLog();
        engine.OnHeartBeat();
        commandsDone = true;
    });
    auto start = Clock::now();
    while (!commandsDone && Clock::now() - start < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(commandsDone) << "a command waited for the worker";
    EXPECT_TIMING_LT(Clock::now() - start, std::chrono::milliseconds(500));

    flooding = false;
    controller.join();
    {
        std::lock_guard<std::mutex> guard(gateLock);
        gateOpen = true;
    }
    gateOpened.notify_all();
    ui.join();
    engine.shutdown();
}

} // namespace
