#pragma once

#include "ui/main/DlgMain.h"

#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

// Runs steps one after another inside the main dialog's event loop, each polled every 10 ms until it
// returns true. A step not done within its limit fails the test and closes the dialog, discarding
// unexported records so that no question blocks the run. UI thread.
class DialogScript : public QObject {
public:
    struct Step {
        const char* name;
        int limitMs;
        std::function<bool()> done;
    };

    DialogScript(DlgMain& dialog, std::vector<Step> steps) : dialog_(dialog), steps_(std::move(steps)) {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(10);
        stepStart_ = Clock::now();
    }
    bool finished() const { return next_ >= steps_.size(); }

private:
    using Clock = std::chrono::steady_clock;

    void poll() {
        while (next_ < steps_.size() && steps_[next_].done()) {
            ++next_;
            stepStart_ = Clock::now();
        }
        if (finished()) {
            timer_.stop();
        } else if (Clock::now() - stepStart_ > std::chrono::milliseconds(steps_[next_].limitMs)) {
            ADD_FAILURE() << "step \"" << steps_[next_].name << "\" did not finish in time";
            timer_.stop();
            dialog_.setExitQuestion([](uint32_t) { return DlgMain::ExitAnswer::Discard; });
            dialog_.command(DlgMain::IdExit);
        }
    }

    DlgMain& dialog_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer timer_;
    Clock::time_point stepStart_;
};
