#include "app/HeartBeatTimer.h"

HeartBeatTimer::~HeartBeatTimer() {
    // Normally stopped already by shutdown; then this returns at once. The thread must end before
    // the lock and the stop event it uses go away.
    stop();
}

void HeartBeatTimer::setListener(iHeartBeatListener* listener) {
    std::lock_guard<std::mutex> guard(lock_);
    listener_ = listener;
}

void HeartBeatTimer::clearListener() {
    // The heartbeat thread holds the lock for the whole call of the listener, so this waits for a
    // tick in progress.
    std::lock_guard<std::mutex> guard(lock_);
    listener_ = nullptr;
}

void HeartBeatTimer::start() {
    // Started once: neither a running nor a stopped timer starts again.
    if (stopRequested_.load() || thread_.started())
        return;
    thread_.start([this] { run(); });
}

bool HeartBeatTimer::stop() {
    stopRequested_.store(true);
    stopEvent_.set();
    return thread_.join(kStopWaitMs);
}

void HeartBeatTimer::run() {
    for (;;) {
        const WaitResult result = stopEvent_.wait(kPeriodMs);
        if (result == WaitResult::Object0 || stopRequested_.load())
            return;
        if (result == WaitResult::Failed) {
            // Without a usable stop event keep the pace by sleeping, never by spinning.
            sleepMs(kPeriodMs);
            if (stopRequested_.load())
                return;
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (listener_ != nullptr)
            listener_->OnHeartBeat();
    }
}
