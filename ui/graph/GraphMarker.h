#pragma once

#include <cstdint>
#include <string>

// A mark on the graph's time axis: a thin vertical line at a sample with a short label beside it (a
// setting sent to the controller, the start of a section). The label is UTF-8.
struct GraphMarker {
    uint64_t sample = 0;
    std::string label;
};
