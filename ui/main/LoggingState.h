#pragma once

#include "rz4/StatusCode.h"

#include <chrono>
#include <cstdint>

// Whether logging runs, as far as the main dialog can tell: from Start until Stop, Disconnect or a
// status that means the session ended or was never there. "Already connected", "Ready", "Parameters
// stored" and the notes that a waiting change was replaced leave it running. Also when logging started,
// for the CSV header. UI thread.
class LoggingState {
public:
    void started() {
        active_ = true;
        startedAt_ = std::chrono::system_clock::now();
    }
    void stopped() { active_ = false; }
    void status(uint32_t code) {
        const bool replacedChange = code >= StatusReplacedClosedLoop && code <= StatusReplacedCommand40;
        if (code != StatusAlreadyConnected && code != StatusReady && code != StatusParametersStored &&
            !replacedChange)
            active_ = false;
    }
    bool active() const { return active_; }
    // When Start was last pressed; the epoch before that.
    std::chrono::system_clock::time_point startedAt() const { return startedAt_; }

private:
    bool active_ = false;
    std::chrono::system_clock::time_point startedAt_{};
};
