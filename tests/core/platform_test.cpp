#include "platform/ComPortNames.h"
#include "platform/Event.h"
#include "platform/LoopbackLine.h"
#include "platform/Pipe.h"
#include "platform/Process.h"
#include "platform/SerialLines.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"
#ifndef _WIN32
#include "platform/posix/DescriptorLine.h"
#include "platform/posix/FileHandle.h"
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

} // namespace

TEST(PlatformEvent, ManualResetStaysSignalledUntilReset) {
    Event event(Event::Reset::Manual, false);
    ASSERT_TRUE(event.valid());
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
    event.set();
    event.set(); // a second set changes nothing
    EXPECT_EQ(event.wait(0), WaitResult::Object0);
    EXPECT_EQ(event.wait(0), WaitResult::Object0);
    EXPECT_TRUE(event.isSet());
    event.reset();
    EXPECT_FALSE(event.isSet());
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);

    Event initially(Event::Reset::Manual, true);
    EXPECT_EQ(initially.wait(0), WaitResult::Object0);
}

TEST(PlatformEvent, AutoResetReleasesOneWaitPerSet) {
    Event event(Event::Reset::Auto, true);
    EXPECT_EQ(event.wait(0), WaitResult::Object0);
    EXPECT_FALSE(event.isSet());
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
    event.set();
    event.set();
    EXPECT_EQ(event.wait(10), WaitResult::Object0);
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
}

TIMED_TEST(PlatformEvent, WaitTimesOutAfterAboutTheTimeout) {
    Event event;
    const auto start = Clock::now();
    EXPECT_EQ(event.wait(150), WaitResult::Timeout);
    const long elapsed = msSince(start);
    EXPECT_TIMING_GE(elapsed, 140);
    EXPECT_TIMING_LT(elapsed, 2000);
}

TEST(PlatformEvent, SetFromAnotherThreadWakesAnUnlimitedWait) {
    Event event(Event::Reset::Auto);
    Thread setter;
    ASSERT_TRUE(setter.start([&event] {
        sleepMs(50);
        event.set();
    }));
    EXPECT_EQ(event.wait(-1), WaitResult::Object0);
    EXPECT_TRUE(setter.join(5000));
}

TIMED_TEST(PlatformEvent, WaitForAnyTakesTheFirstSignalledEvent) {
    Event manual(Event::Reset::Manual);
    Event autoReset(Event::Reset::Auto);
    Event* both[2] = {&manual, &autoReset};

    const auto start = Clock::now();
    EXPECT_EQ(waitForAny(both, 2, 100), kWaitTimeout);
    EXPECT_TIMING_GE(msSince(start), 90);

    // Both set: the earlier entry wins, and an auto-reset event is taken only by the wait that
    // reports it.
    autoReset.set();
    manual.set();
    EXPECT_EQ(waitForAny(both, 2, 0), 0);
    manual.reset();
    EXPECT_EQ(waitForAny(both, 2, 0), 1);
    EXPECT_EQ(waitForAny(both, 2, 0), kWaitTimeout);

    // Null entries are skipped; too many entries are refused.
    Event* gap[3] = {nullptr, &manual, nullptr};
    EXPECT_EQ(waitForAny(gap, 3, 0), kWaitTimeout);
    manual.set();
    EXPECT_EQ(waitForAny(gap, 3, 0), 1);
    Event* many[kMaxWaitEvents + 1] = {};
    EXPECT_EQ(waitForAny(many, kMaxWaitEvents + 1, 0), kWaitFailed);

    // A set from another thread ends an unlimited wait.
    manual.reset();
    Thread setter;
    ASSERT_TRUE(setter.start([&autoReset] {
        sleepMs(50);
        autoReset.set();
    }));
    EXPECT_EQ(waitForAny(both, 2, -1), 1);
    EXPECT_TRUE(setter.join(5000));
}

TIMED_TEST(PlatformPipe, ReadWaitDeliversDataAndStopWinsOverIt) {
    Pipe pipe;
    ASSERT_TRUE(pipe.create());
    Event stop(Event::Reset::Auto);
    char buffer[8];

    const auto start = Clock::now();
    IoResult got = pipe.readWait(buffer, sizeof buffer, stop, 100);
    EXPECT_EQ(got.status, IoStatus::Timeout);
    EXPECT_TIMING_GE(msSince(start), 90);

    ASSERT_TRUE(pipe.write("xyz", 3));
    got = pipe.readWait(buffer, 2, stop, 1000);
    ASSERT_EQ(got.status, IoStatus::Data);
    EXPECT_EQ(got.count, 2);
    EXPECT_EQ(std::memcmp(buffer, "xy", 2), 0);

    // Data waits and stop is set: stop comes first, the byte stays for the next read.
    stop.set();
    EXPECT_EQ(pipe.readWait(buffer, sizeof buffer, stop, 1000).status, IoStatus::Stopped);
    got = pipe.readWait(buffer, sizeof buffer, stop, 1000);
    ASSERT_EQ(got.status, IoStatus::Data);
    EXPECT_EQ(got.count, 1);
    EXPECT_EQ(buffer[0], 'z');

    // Bytes written from another thread end an unlimited wait.
    Thread writer;
    ASSERT_TRUE(writer.start([&pipe] {
        sleepMs(50);
        pipe.write("w", 1);
    }));
    got = pipe.readWait(buffer, sizeof buffer, stop, -1);
    EXPECT_EQ(got.status, IoStatus::Data);
    EXPECT_TRUE(writer.join(5000));
}

#ifndef _WIN32
TEST(PlatformDescriptor, AWriterGoingAwayCountsAsBroken) {
    // The writer going away ends the wait, so a reader never sleeps on a dead pipe.
    Event stop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FileHandle readEnd(fds[0]);
    ::close(fds[1]);
    char c;
    EXPECT_EQ(DescriptorLine::readWaitOn(readEnd.get(), &c, 1, stop, 1000, false).status, IoStatus::Broken);
}
#endif

TEST(PlatformPipe, WriteReadAndAvailability) {
    Pipe pipe;
    ASSERT_TRUE(pipe.create(4096));
    ASSERT_TRUE(pipe.valid());
    EXPECT_EQ(pipe.capacity(), 4096u);
    EXPECT_EQ(pipe.bytesAvailable(), 0u);

    char buffer[16];
    EXPECT_EQ(pipe.readAvailable(buffer, sizeof buffer), 0);

    const char data[] = "abcdef";
    ASSERT_TRUE(pipe.write(data, 6));
    EXPECT_EQ(pipe.bytesAvailable(), 6u);
    EXPECT_EQ(pipe.read(buffer, 4), 4);
    EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);
    EXPECT_EQ(pipe.bytesAvailable(), 2u);
    EXPECT_EQ(pipe.readAvailable(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::memcmp(buffer, "ef", 2), 0);
    EXPECT_EQ(pipe.bytesAvailable(), 0u);

    pipe.close();
    EXPECT_FALSE(pipe.valid());
    EXPECT_EQ(pipe.bytesAvailable(), 0u);
}

TEST(PlatformPipe, FullPipeBlocksWriterUntilDrained) {
    Pipe pipe;
    ASSERT_TRUE(pipe.create(4096));
    char block[4096];
    std::memset(block, 'z', sizeof block);
    ASSERT_TRUE(pipe.write(block, sizeof block));
    EXPECT_EQ(pipe.bytesAvailable(), 4096u);

    std::atomic<bool> written{false};
    Thread writer;
    ASSERT_TRUE(writer.start([&] {
        pipe.write("tail", 4);
        written.store(true);
    }));
    sleepMs(100);
    EXPECT_FALSE(written.load());
    char sink[4096];
    long total = 0;
    while (total < 4096) {
        long n = pipe.read(sink, sizeof sink);
        ASSERT_GT(n, 0);
        total += n;
    }
    EXPECT_TRUE(writer.join(5000));
    EXPECT_TRUE(written.load());
    EXPECT_EQ(pipe.read(sink, sizeof sink), 4);
}

TIMED_TEST(PlatformThread, JoinWithTimeout) {
    Thread idle;
    EXPECT_TRUE(idle.join(0)); // never started
    EXPECT_FALSE(idle.running());

    Event release;
    Thread thread;
    ASSERT_TRUE(thread.start([&release] { release.wait(-1); }));
    EXPECT_TRUE(thread.running());
    EXPECT_FALSE(thread.start([] {})); // still running

    const auto start = Clock::now();
    EXPECT_FALSE(thread.join(100));
    EXPECT_TIMING_GE(msSince(start), 90);
    release.set();
    EXPECT_TRUE(thread.join(5000));
    EXPECT_FALSE(thread.running());
    EXPECT_TRUE(thread.join(0));

    // An ended thread can be replaced by a new one.
    std::atomic<int> runs{0};
    ASSERT_TRUE(thread.start([&runs] { runs.fetch_add(1); }));
    EXPECT_TRUE(thread.join(5000));
    EXPECT_EQ(runs.load(), 1);
}

TEST(PlatformPipe, ANamedPipeIsTheFirstAndOnlyOfItsName) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\.\\Pipe\\astrelvo_test_%u", currentProcessId());
    Pipe first;
    ASSERT_TRUE(first.create(1024, name));
    Pipe second;
#ifdef _WIN32
    // Nobody else may own or join the engine's pipe: a second pipe of the same name is refused.
    EXPECT_FALSE(second.create(1024, name));
#else
    EXPECT_TRUE(second.create(1024, name)); // anonymous pipes: the name only labels them
#endif
    ASSERT_TRUE(first.write("ok", 2));
    char buffer[4];
    EXPECT_EQ(first.read(buffer, sizeof buffer), 2);
}

TEST(PlatformSerialPort, DeviceListAndOpenErrors) {
    const std::vector<SerialDeviceEntry> devices = listSerialDevices();
#ifdef _WIN32
    // The ports come from the registry's SERIALCOMM map as Wine fills it from its own port mapping
    // (tools/wine-test.sh maps the test ports to pseudo-terminals).
    for (const char* variable : {"ASTRELVO_TEST_COM_PORT", "ASTRELVO_TEST_SILENT_COM_PORT"}) {
        const char* name = std::getenv(variable);
        if (name == nullptr)
            continue;
        const auto listed = std::count_if(devices.begin(), devices.end(), [&](const SerialDeviceEntry& d) {
            return d.path == name && d.devicePath == "\\\\.\\" + d.path &&
                   d.label.find(name) != std::string::npos;
        });
        EXPECT_EQ(listed, 1) << variable << " " << name;
    }
    const char* const missing[] = {"COM250", "com251", "\\\\.\\COM252"};
#else
    for (const SerialDeviceEntry& d : devices)
        EXPECT_EQ(d.path.rfind("/dev/", 0), 0u) << d.path;
    const char* const missing[] = {"/dev/astrelvo-no-such-port"};
#endif
    for (const char* path : missing) {
        SerialPort port;
        const int error = port.open(path);
        EXPECT_NE(error, 0) << path;
        EXPECT_FALSE(port.isOpen()) << path;
        EXPECT_NE(serialOpenErrorText(error).find("plugged in"), std::string::npos)
            << path << ": " << serialOpenErrorText(error);
    }
#ifdef _WIN32
    // A device that opens but is no serial port: the open ends, naming the set-up call that failed.
    SerialPort notAPort;
    const std::string why = serialOpenErrorText(notAPort.open("NUL"));
    EXPECT_FALSE(notAPort.isOpen());
    EXPECT_NE(why.find("Comm"), std::string::npos) << why;
    EXPECT_NE(why.find(" failed: "), std::string::npos) << why;
#endif
    SerialPort none;
    EXPECT_EQ(none.open(""), kSerialErrorNotFound);
    EXPECT_NE(serialOpenErrorText(kSerialErrorBusy).find("another program"), std::string::npos);
}

// The Windows port list's entries from the registry's port names and the drivers' friendly names.
TEST(PlatformSerialPort, ComPortEntriesAreNumberedLabelledAndListedOnce) {
    struct Case {
        std::vector<ComPortName> ports;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {{{"COM10", ""}, {"COM2", ""}, {"COM1", ""}}, {"COM1", "COM2", "COM10"}},
        {{{"COM5", "USB Serial Port (COM5)"}}, {"USB Serial Port (COM5)"}},
        {{{"COM1", "Prolific adapter (COM10)"}}, {"Prolific adapter (COM10) (COM1)"}},
        {{{"COM3", "Communications Port"}}, {"Communications Port (COM3)"}},
        {{{"COM4", ""}, {"com4", "USB-SERIAL CH340 (COM4)"}, {"COM4", ""}}, {"USB-SERIAL CH340 (COM4)"}},
        {{{"CNCA0", ""}, {"COM9", ""}, {"", "no name"}}, {"COM9", "CNCA0"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<SerialDeviceEntry> entries = comPortEntries(c.ports);
        std::vector<std::string> labels;
        for (const SerialDeviceEntry& e : entries)
            labels.push_back(e.label);
        EXPECT_EQ(labels, c.labels) << (c.labels.empty() ? "" : c.labels.front());
    }
    const SerialDeviceEntry com12 = comPortEntries({{"COM12", ""}}).front();
    EXPECT_EQ(com12.path, "COM12");
    EXPECT_EQ(com12.devicePath, "\\\\.\\COM12");
}

// Every name the SERIALCOMM map may list opens in the device namespace; a typed path stays as it is.
TEST(PlatformSerialPort, PortNamesOpenThroughTheDeviceNamespace) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM3", "\\\\.\\COM3"},          {"com12", "\\\\.\\com12"},
        {"COM256", "\\\\.\\COM256"},      {"CNCA0", "\\\\.\\CNCA0"}, // a virtual-port driver's pair
        {"COM0", "\\\\.\\COM0"},          {"VCP-7", "\\\\.\\VCP-7"},
        {"\\\\.\\COM12", "\\\\.\\COM12"}, {"\\\\?\\usb#vid", "\\\\?\\usb#vid"},
        {"//./COM4", "//./COM4"},         {"", ""},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(comDevicePath(name), path) << name;
}
