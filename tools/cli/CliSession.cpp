#include "tools/cli/CliSession.h"

#include "app/EngineShutdown.h"
#include "app/HeartBeatTimer.h"
#include "engine/CommControl.h"
#include "model/AppModel.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"

#include <chrono>
#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t g_stopRequested = 0;
}

CliSession::CliSession() {
    model_ = std::make_unique<AppModel>();
    heartbeat_ = std::make_unique<HeartBeatTimer>();
    transfer_ = std::make_unique<DataTransfer>(model_.get());
    engine_ = std::make_unique<CommControl>(transfer_.get());
    heartbeat_->setListener(engine_.get());
    model_->listener = this;
    transfer_->setCallback(this);
    transfer_->setSender(this);
    heartbeat_->start();
}

CliSession::~CliSession() {
    transfer_->setCallback(nullptr);
    heartbeat_->clearListener();
    heartbeat_->stop();
    stopEngineWhileDraining(*engine_, *transfer_);
    pumpPending();
    engine_.reset();
    transfer_.reset();
    model_.reset();
    heartbeat_.reset();
}

bool CliSession::isErrorStatus(uint32_t code) {
    return code >= StatusCannotOpenPort && code <= StatusNotConnectedYet;
}

void CliSession::requestStop() {
    g_stopRequested = 1;
}

bool CliSession::stopRequested() {
    return g_stopRequested != 0;
}

bool CliSession::PostUserMessage(uint32_t code, intptr_t argument) {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        if (code == NotifyData && !queue_.empty() && queue_.back().code == NotifyData)
            return true;
        queue_.push_back({code, argument});
    }
    queueSignal_.notify_one();
    return true;
}

void CliSession::pumpPending() {
    for (;;) {
        Message m;
        {
            std::lock_guard<std::mutex> guard(queueLock_);
            if (queue_.empty())
                return;
            m = queue_.front();
            queue_.pop_front();
        }
        transfer_->onUserMessage(m.code, m.argument);
    }
}

bool CliSession::pumpUntil(const std::function<bool()>& done, int timeoutMs, bool interruptible) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pumpPending();
        if (done())
            return true;
        if ((interruptible && stopRequested()) || std::chrono::steady_clock::now() >= deadline)
            return done();
        std::unique_lock<std::mutex> guard(queueLock_);
        if (queue_.empty())
            queueSignal_.wait_for(guard, std::chrono::milliseconds(50));
    }
}

void CliSession::OnStatus(uint32_t code) {
    code &= 0xFFFF;
    const char* text = statusText(code);
    if (text == nullptr)
        return;
    lastStatus_ = code;
    ++statusCount_;
    std::fprintf(stderr, "%s\n", text);
}

void CliSession::OnEncoderBits(uint32_t) {}

void CliSession::OnNewData(uint32_t, uint32_t, uint32_t) {}
