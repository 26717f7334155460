#pragma once

#include "model/analysis/PeAnalysis.h"

#include <cstdint>

// The figures of one tuning step: the periodic-error analysis of the step's samples, and how far its
// RMS can be trusted, taken from the difference between the RMS of the step's two halves (a steady
// curve gives two halves alike; noise and an error that changes along the step do not). A value type.
struct TuneMeasurement {
    PeResult pe;
    double noiseArcsec = 0.0;

    // Of count samples (raw counts, oldest first) logged at rate index logRateIndex (-1 unknown).
    static TuneMeasurement of(const int32_t* samples, uint32_t count, uint32_t encoderBits, int logRateIndex);
};
