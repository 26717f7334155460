#pragma once

#include "app/Program.h"
#include "model/store/iMainDlgCallback.h"

#include <cstdint>
#include <functional>

class AppModel;
class CommControl;

// The program's objects with the console as their user interface, for the command-line program:
// status texts go to stderr and the last status is kept for the commands to act on; the calling thread
// plays the UI thread and pumps the notices. A stop request (StopSignals) ends the waits early.
// Created, used and destroyed on the main thread.
class ConsoleProgram : public iMainDlgCallback {
public:
    ConsoleProgram();                     // wires and starts the heartbeat
    ~ConsoleProgram() override = default; // the program stops and takes its objects apart

    CommControl& engine() { return program_.engine(); }
    AppModel& model() { return program_.model(); }

    uint32_t lastStatus() const { return lastStatus_; }
    uint32_t statusCount() const { return statusCount_; }
    static bool isErrorStatus(uint32_t code);

    // Handles notices until done() is true or the time runs out; when interruptible, also until a stop
    // is requested. Returns done()'s last value.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs, bool interruptible = true);

    // Set from a signal handler.
    static void requestStop();
    static bool stopRequested();

    void OnStatus(uint32_t code) override;
    void OnEncoderBits(uint32_t) override {}
    void OnNewData(uint32_t, uint32_t, uint32_t) override {}

private:
    Program program_;
    uint32_t lastStatus_ = 0;
    uint32_t statusCount_ = 0;
};
