#pragma once

#include "rz4/PidValues.h"

#include <cstdint>

// The user's settings, held in AppModel for the life of the process and edited by the dialogs.

// How the graph lays samples out from left to right:
// - SamplePerPixel: sample i in pixel column i; the curve stops at the right edge;
// - FollowNewest: the same until the plot is full, then the newest sample stays at the right edge;
// - WholeRun: every sample fitted into the width, the smallest and largest value of each column drawn.
enum class TimeAxis : int { SamplePerPixel = 0, FollowNewest = 1, WholeRun = 2 };

struct DisplaySettings {
    int scaleIndex = 6;     // vertical scale, index into the graph's scale table 0..9
    int colorScheme = 1;    // 0 dark (black background), anything else light
    int extraChoice = 0;    // three-way choice 0..2, stored only
    int verticalOffset = 0; // curve shift in pixels, positive upward (fixed, uncentred scale only)
    TimeAxis timeAxis = TimeAxis::SamplePerPixel;
    bool autoScale = false; // the scale fits the visible curve instead of scaleIndex
    bool centre = false;    // the visible curve's mean stays on the zero line
};

struct LogSettings {
    bool logProcessed = true; // StartLog mode 3 when set, else 1
    int logRate = 2;          // 0 "1/4 Hz", 1 "1 Hz", 2 "4 Hz", 3 "16 Hz", 4 "64 Hz", 5 "128 Hz"
};

struct ClosedLoopSettings {
    unsigned trackingMode = 2; // 0..8; above 8 acts as 8
    bool trackingFlag = false;
    uint32_t pGain = 0;
    uint32_t iGain = 0;
    uint32_t dGain = 0;
    uint32_t iSamples = 0;
    uint32_t dSamples = 0;
    uint32_t auxMode = 0;
    uint32_t auxSkip = 0;
    uint32_t auxErrorLimit = 0;
    uint32_t auxAccelLimit = 0;
    uint32_t auxSpeedLimit = 0;

    // The five PID fields, in the dialog's order (P, I, D, I samples, D samples).
    rz4::PidFields pidFields() const { return {pGain, iGain, dGain, iSamples, dSamples}; }
    void setPidFields(const rz4::PidFields& f) {
        pGain = f[0];
        iGain = f[1];
        dGain = f[2];
        iSamples = f[3];
        dSamples = f[4];
    }
};
