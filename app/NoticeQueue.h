#pragma once

#include "app/NoticeGate.h"
#include "model/store/iWMUserSender.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class DataTransfer;

// The UI thread's message queue for a program without a window (the command-line program, test rigs,
// benchmarks): the engine's notices (PostUserMessage, engine worker thread) wait here until the thread
// that plays the UI thread hands them to the channel with pump or pumpUntil. The queue is guarded by a
// lock; pumping belongs to one thread.
class NoticeQueue : private iWMUserSender {
public:
    NoticeQueue() = default;
    NoticeQueue(const NoticeQueue&) = delete;
    NoticeQueue& operator=(const NoticeQueue&) = delete;

    // The channel's sender (engine worker thread).
    iWMUserSender& sender() { return *this; }

    // Hands every notice queued now to the channel.
    void pump(DataTransfer& channel);
    // Pumps until done() is true or timeoutMs has passed; returns done()'s last value.
    bool pumpUntil(DataTransfer& channel, const std::function<bool()>& done, int timeoutMs);
    // Forgets what is queued (after the engine has stopped).
    void discard();

private:
    struct Notice {
        uint32_t code;
        intptr_t argument;
    };

    bool PostUserMessage(uint32_t code, intptr_t argument) override;

    NoticeGate gate_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Notice> queue_;
};
