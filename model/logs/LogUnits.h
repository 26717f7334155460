#pragma once

#include <cstdint>

// The units of logged encoder positions, shared by the log readers and writers and the analyses.

// Log rate in Hz for the log rate index 0..5 (1/4, 1, 4, 16, 64, 128 Hz); 0 for any other index.
double peLogRateHz(int logRateIndex);

// Arc-seconds per count of an encoder with 2^encoderBits counts per revolution; 0 when encoderBits is 0
// or above 64.
double peArcsecPerCount(uint32_t encoderBits);
