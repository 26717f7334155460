#include "app/LatestRequestWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A door the test opens for a job that waits at it.
class Door {
public:
    void open() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
        changed_.notify_all();
    }
    void pass() {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
};

// Polls until done() or ten seconds have passed.
template <typename F> bool eventually(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// What the jobs did, in order; guarded by its lock.
struct Record {
    std::mutex lock;
    std::vector<int> events; // +n: work n ran, -n: then n ran
    void add(int event) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(event);
    }
    std::vector<int> get() {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
};

} // namespace

TEST(LatestRequestWorker, AJobThatWaitsIsReplacedByTheNextAndDroppedUnrun) {
    Record record;
    Door door;
    auto dropped = std::make_shared<int>(0);
    std::weak_ptr<int> droppedWatch = dropped;
    std::atomic<bool> released{false};
    std::atomic<bool> sawIdle{false};
    {
        LatestRequestWorker worker;
        auto token = std::make_shared<int>(1);
        std::weak_ptr<int> tokenWatch = token;
        worker.submit(
            [&, token] {
                record.add(1);
                door.pass();
            },
            [&, tokenWatch] {
                released = tokenWatch.expired(); // the work's captures go before the hand-over
                record.add(-1);
            });
        token.reset();
        ASSERT_TRUE(eventually([&] { return record.get().size() == 1; }));
        for (int n = 2; n <= 4; ++n)
            worker.submit([&, n, dropped] { record.add(n); },
                          [&, n] {
                              sawIdle = !worker.busy(); // nothing waits behind the last one
                              record.add(-n);
                          });
        dropped.reset();
        EXPECT_FALSE(droppedWatch.expired()); // job 4 waits, holding it
        EXPECT_TRUE(worker.busy());
        door.open();
        ASSERT_TRUE(eventually([&] { return record.get().size() == 4; }));
        EXPECT_TRUE(eventually([&] { return !worker.busy(); }));
    }
    EXPECT_EQ(record.get(), (std::vector<int>{1, -1, 4, -4}));
    EXPECT_TRUE(released);
    EXPECT_TRUE(sawIdle);
    EXPECT_TRUE(droppedWatch.expired());
}

// The way the periodic-error monitor lends its sample buffer: filled (plain writes) only while the
// worker is not busy, read by the job. Under TSan a missing hand-over order is a reported race; without
// it a job that saw a buffer half refilled finds its values disagree.
TEST(LatestRequestWorker, ABufferRefilledOnlyWhileIdleIsNeverSeenHalfWritten) {
    std::vector<int> buffer(4096, 0);
    std::atomic<int> torn{0};
    std::atomic<int> handedOver{0};
    LatestRequestWorker worker;
    int submitted = 0;
    for (int round = 1; submitted < 300 && round < 1000000; ++round) {
        if (worker.busy()) {
            std::this_thread::yield();
            continue;
        }
        for (int& v : buffer)
            v = round;
        ++submitted;
        worker.submit(
            [&buffer, &torn, round] {
                for (int v : buffer)
                    if (v != round) {
                        ++torn;
                        return;
                    }
            },
            [&handedOver] { ++handedOver; });
    }
    EXPECT_TRUE(eventually([&] { return !worker.busy() && handedOver.load() == submitted; }));
    EXPECT_EQ(submitted, 300);
    EXPECT_EQ(torn.load(), 0);
}
