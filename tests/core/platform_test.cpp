#include "platform/Event.h"
#include "platform/Pipe.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <unistd.h>

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

TIMED_TEST(PlatformEvent, WaitEventOrFd) {
    Event event(Event::Reset::Auto);
    Pipe pipe;
    ASSERT_TRUE(pipe.create());

    const auto start = Clock::now();
    EXPECT_EQ(waitEventOrFd(event, pipe.readFd(), POLLIN, 100), WaitResult::Timeout);
    EXPECT_TIMING_GE(msSince(start), 90);

    ASSERT_TRUE(pipe.write("x", 1));
    EXPECT_EQ(waitEventOrFd(event, pipe.readFd(), POLLIN, 1000), WaitResult::Object1);

    // Both ready: the event comes first and, being auto-reset, is taken by that wait.
    event.set();
    EXPECT_EQ(waitEventOrFd(event, pipe.readFd(), POLLIN, 1000), WaitResult::Object0);
    EXPECT_EQ(waitEventOrFd(event, pipe.readFd(), POLLIN, 1000), WaitResult::Object1);

    // A negative fd means the event alone.
    EXPECT_EQ(waitEventOrFd(event, -1, POLLIN, 0), WaitResult::Timeout);
    event.set();
    EXPECT_EQ(waitEventOrFd(event, -1, POLLIN, 0), WaitResult::Object0);

    // The writer going away counts as ready, so a reader never sleeps on a dead pipe.
    char c;
    EXPECT_EQ(pipe.read(&c, 1), 1);
    Pipe closing;
    ASSERT_TRUE(closing.create());
    int readFd = closing.readFd();
    FileHandle keepRead(::dup(readFd));
    closing.close();
    EXPECT_EQ(waitEventOrFd(event, keepRead.get(), POLLIN, 1000), WaitResult::Object1);
}

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
