#include "app/HeartBeatTimer.h"

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Records the time of every tick; optionally takes a while over each one.
class RecordingListener : public iHeartBeatListener {
public:
    explicit RecordingListener(int busyMs = 0) : busyMs_(busyMs) {}

    void OnHeartBeat() override {
        inside_.store(true);
        {
            std::lock_guard<std::mutex> guard(lock_);
            times_.push_back(Clock::now());
        }
        if (busyMs_ > 0)
            sleepMs(busyMs_);
        finished_.fetch_add(1);
        inside_.store(false);
    }

    int finished() const { return finished_.load(); }
    bool inside() const { return inside_.load(); }
    std::vector<Clock::time_point> times() const {
        std::lock_guard<std::mutex> guard(lock_);
        return times_;
    }

    // Polls until at least n ticks are complete or the time limit passes.
    bool waitForTicks(int n, int limitMs) const {
        const auto start = Clock::now();
        while (finished() < n) {
            if (msSince(start) > limitMs)
                return false;
            sleepMs(5);
        }
        return true;
    }

private:
    int busyMs_;
    std::atomic<int> finished_{0};
    std::atomic<bool> inside_{false};
    mutable std::mutex lock_;
    std::vector<Clock::time_point> times_;
};

} // namespace

TIMED_TEST(HeartBeatTimer, TicksArriveAboutEveryPeriod) {
    RecordingListener listener;
    HeartBeatTimer timer;
    timer.setListener(&listener);
    const auto start = Clock::now();
    timer.start();
    ASSERT_TRUE(listener.waitForTicks(4, 5000));
    timer.clearListener();
    EXPECT_TRUE(timer.stop());

    const auto times = listener.times();
    ASSERT_GE(times.size(), 4u);
    // Each wait lasts the full period (less a little timer rounding), never much less.
    EXPECT_TIMING_GE(std::chrono::duration_cast<std::chrono::milliseconds>(times[0] - start).count(), 200);
    for (std::size_t i = 1; i < times.size(); ++i) {
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(times[i] - times[i - 1]);
        EXPECT_TIMING_GE(gap.count(), 200) << i;
        EXPECT_TIMING_LE(gap.count(), 1500) << i;
    }
}

TEST(HeartBeatTimer, RunsIdleWithoutListenerAndPicksOneUpLater) {
    HeartBeatTimer timer;
    timer.start();
    sleepMs(600); // several idle wake-ups with nobody to call
    RecordingListener listener;
    timer.setListener(&listener);
    EXPECT_TRUE(listener.waitForTicks(1, 3000));
    timer.clearListener();
    EXPECT_TRUE(timer.stop());
}

TEST(HeartBeatTimer, ClearListenerWaitsForTickInProgressAndEndsTicks) {
    RecordingListener listener(400);
    HeartBeatTimer timer;
    timer.setListener(&listener);
    timer.start();

    const auto start = Clock::now();
    while (!listener.inside() && msSince(start) < 5000)
        sleepMs(1);
    ASSERT_TRUE(listener.inside());
    const int before = listener.finished();
    timer.clearListener();
    // The tick that was running has completed by the time clearListener returns.
    EXPECT_EQ(listener.finished(), before + 1);
    EXPECT_FALSE(listener.inside());

    sleepMs(700);
    EXPECT_EQ(listener.finished(), before + 1); // no tick reaches the former listener
    EXPECT_TRUE(timer.stop());
}

TIMED_TEST(HeartBeatTimer, StopEndsWithinAPeriodPlusRunningTick) {
    RecordingListener listener(300);
    HeartBeatTimer timer;
    timer.setListener(&listener);
    timer.start();

    const auto waitStart = Clock::now();
    while (!listener.inside() && msSince(waitStart) < 5000)
        sleepMs(1);
    ASSERT_TRUE(listener.inside());

    // The detach happens first at shutdown, but stop must also cope with a tick still running.
    const auto start = Clock::now();
    EXPECT_TRUE(timer.stop());
    EXPECT_TIMING_LT(msSince(start), 300 + HeartBeatTimer::kPeriodMs + 1500);
    const int ticks = listener.finished();

    // A second stop finds the thread gone and returns at once.
    const auto again = Clock::now();
    EXPECT_TRUE(timer.stop());
    EXPECT_TIMING_LT(msSince(again), 100);

    sleepMs(400);
    EXPECT_EQ(listener.finished(), ticks);
    timer.clearListener();
}

TIMED_TEST(HeartBeatTimer, StopBeforeStartReturnsAtOnceAndStaysStopped) {
    RecordingListener listener;
    HeartBeatTimer timer;
    timer.setListener(&listener);
    const auto start = Clock::now();
    EXPECT_TRUE(timer.stop());
    EXPECT_TIMING_LT(msSince(start), 100);

    timer.start(); // a stopped timer does not start again
    sleepMs(600);
    EXPECT_EQ(listener.finished(), 0);
    timer.clearListener();
}

#ifndef _WIN32
// When no descriptor is left for the stop event, waiting fails at once; the thread must still keep
// its pace instead of calling the listener in a tight loop, and must still end. (A descriptor limit
// is a POSIX way to make event creation fail.)
TIMED_TEST(HeartBeatTimer, FailedWaitDoesNotSpin) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> filler;
    for (;;) {
        int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        filler.push_back(fd);
    }

    Event probe;
    const bool exhausted = !probe.valid();
    auto timer = std::make_unique<HeartBeatTimer>(); // its events get no descriptors
    for (int fd : filler)
        ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(exhausted);

    RecordingListener listener;
    timer->setListener(&listener);
    timer->start();
    sleepMs(900);
    const int ticks = listener.finished();
    EXPECT_TIMING_GE(ticks, 1);
    EXPECT_TIMING_LE(ticks, 5);
    timer->clearListener();
    timer->stop();
    const auto start = Clock::now();
    timer.reset(); // joins the thread
    EXPECT_TIMING_LT(msSince(start), 2000);
}
#endif
