#include "app/Program.h"

#include "app/HeartBeatTimer.h"
#include "app/ReportFilter.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "rz4/StatusCode.h"

#include <atomic>
#include <chrono>
#include <thread>

Program::Program(ReportFilter* filter) {
    model_ = std::make_unique<AppModel>();
    heartbeat_ = std::make_unique<HeartBeatTimer>();
    channel_ = std::make_unique<DataTransfer>(model_.get());
    iEngineReport* report = channel_.get();
    if (filter != nullptr) {
        filter->setTarget(channel_.get());
        report = filter;
    }
    engine_ = std::make_unique<CommControl>(report); // starts the engine's worker thread
    heartbeat_->setListener(engine_.get());
    channel_->setSender(&notices_.sender());
}

Program::~Program() {
    stop();
    notices_.discard();
    engine_.reset();
    channel_.reset();
    model_.reset();
    heartbeat_.reset();
}

void Program::attach(iMainDlgCallback* ui, iWMUserSender* sender) {
    model_->listener = ui;
    channel_->setCallback(ui);
    channel_->setSender(sender != nullptr ? sender : &notices_.sender());
}

void Program::start() {
    heartbeat_->start();
}

void Program::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    // Detach before stopping: a notice still queued reaches no user interface.
    channel_->setCallback(nullptr);
    heartbeat_->clearListener();
    heartbeat_->stop();

    std::atomic<bool> engineStopped{false};
    std::thread stopper([&] {
        engine_->shutdown();
        engineStopped.store(true);
    });
    while (!engineStopped.load()) {
        channel_->onUserMessage(NotifyData, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopper.join();
}

void Program::pump() {
    notices_.pump(*channel_);
}

bool Program::pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return notices_.pumpUntil(*channel_, done, timeoutMs);
}
