#pragma once

#include <cstdint>
#include <string>

// The graph's read-outs.

// The text the graph shows beside the cursor for one sample, one item per line: its number (from 0, as
// data.dat and the CSV count), its time from the start when the time base is known (seconds >= 0), and its
// value in arc-seconds (or in encoder counts when the encoder width is unknown).
std::string hoverText(uint64_t sample, double seconds, double value, bool valueInArcsec);

// The note that says what the zero line stands for while the curve is centred on its mean (arc-seconds).
std::string zeroLineText(double meanArcsec);
