#pragma once

#include "model/iMainDlgCallback.h"
#include "model/iWMUserSender.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class AppModel;
class CommControl;
class DataTransfer;
class HeartBeatTimer;

// The engine, channel and sample store without a window, wired as the program wires them. Notifications
// posted by the engine's worker thread are queued and handled on the thread that calls pumpUntil (the
// command-line program's main thread, which plays the UI thread). Status texts go to stderr.
class CliSession : public iMainDlgCallback, public iWMUserSender {
public:
    CliSession();
    ~CliSession() override; // detaches, stops every thread, then destroys the objects
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    CommControl& engine() { return *engine_; }
    AppModel& model() { return *model_; }

    // Handles queued notifications until done() is true or the time runs out, and when interruptible
    // also until stop is requested. Returns done()'s last value.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs, bool interruptible = true);
    // Handles what is queued now, without waiting.
    void pumpPending();

    uint32_t lastStatus() const { return lastStatus_; }
    uint32_t statusCount() const { return statusCount_; }
    static bool isErrorStatus(uint32_t code);

    // Set from a signal handler: pumpUntil returns early.
    static void requestStop();
    static bool stopRequested();

    // iMainDlgCallback
    void OnStatus(uint32_t code) override;
    void OnEncoderBits(uint32_t bits) override;
    void OnNewData(uint32_t start, uint32_t count, uint32_t available) override;
    // iWMUserSender (engine worker thread)
    bool PostUserMessage(uint32_t code, intptr_t argument) override;

private:
    struct Message {
        uint32_t code;
        intptr_t argument;
    };

    std::unique_ptr<AppModel> model_;
    std::unique_ptr<HeartBeatTimer> heartbeat_;
    std::unique_ptr<DataTransfer> transfer_;
    std::unique_ptr<CommControl> engine_;

    std::mutex queueLock_;
    std::condition_variable queueSignal_;
    std::deque<Message> queue_; // consecutive data notices are merged: one drain reads everything

    uint32_t lastStatus_ = 0;
    uint32_t statusCount_ = 0;
};
