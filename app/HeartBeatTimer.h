#pragma once

#include "base/iHeartBeatListener.h"
#include "platform/Event.h"
#include "platform/Thread.h"

#include <atomic>
#include <mutex>

// Calls its listener about every 250 ms on a thread of its own, with the timer's lock held during
// the call. setListener, clearListener, start and stop are called on the main thread.
class HeartBeatTimer {
public:
    static constexpr int kPeriodMs = 250;
    static constexpr int kStopWaitMs = 20000;

    HeartBeatTimer() = default;
    ~HeartBeatTimer();
    HeartBeatTimer(const HeartBeatTimer&) = delete;
    HeartBeatTimer& operator=(const HeartBeatTimer&) = delete;

    void setListener(iHeartBeatListener* listener);
    // Waits for a tick in progress; afterwards no tick reaches the former listener.
    void clearListener();
    // Starts the thread (once).
    void start();
    // Signals the thread and waits for it at most 20000 ms. True when it has ended (also when it was
    // never started); a second stop returns at once.
    bool stop();

private:
    void run();

    std::mutex lock_;
    iHeartBeatListener* listener_ = nullptr;
    Event stopEvent_{Event::Reset::Manual, false};
    // Also set by stop: ends the thread when the stop event cannot be waited on.
    std::atomic<bool> stopRequested_{false};
    Thread thread_;
};
