#include "app/NoticeQueue.h"

#include "model/store/DataTransfer.h"

#include <chrono>

bool NoticeQueue::PostUserMessage(uint32_t code, intptr_t argument) {
    if (!gate_.admit(code))
        return true;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back({code, argument});
    }
    arrived_.notify_one();
    return true;
}

void NoticeQueue::pump(DataTransfer& channel) {
    for (;;) {
        Notice notice{};
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (queue_.empty())
                return;
            notice = queue_.front();
            queue_.pop_front();
        }
        gate_.received(notice.code);
        channel.onUserMessage(notice.code, notice.argument);
    }
}

bool NoticeQueue::pumpUntil(DataTransfer& channel, const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pump(channel);
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        // Wakes for the next notice, and at least every 50 ms so that done() is looked at again.
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_for(guard, std::chrono::milliseconds(50), [this] { return !queue_.empty(); });
    }
}

void NoticeQueue::discard() {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
}
