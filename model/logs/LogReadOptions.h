#pragma once

#include <cstdint>

// What the caller knows about a log that the file itself may not say. A value type.
struct LogReadOptions {
    uint32_t encoderBits = 0;   // encoder width; needed for data.dat exports, fills a CSV's gap; 0 unknown
    double sampleSeconds = 0.0; // sample period for data.dat exports and CSVs without one; 0 unknown
    uint32_t section = 0;       // guide logs: 1-based guiding section to read; 0 for the longest
};
