#pragma once

#include <vector>

// Tick positions for the axes of the analysis plots, at round values.

// Multiples of a round step (1, 2 or 5 times a power of ten) within [lo, hi], at most about maxTicks.
std::vector<double> linearTicks(double lo, double hi, int maxTicks);
// Powers of ten within [lo, hi] (both above 0), with 2 and 5 times them when the range spans few decades
// (a range within one decade may get one tick or none).
std::vector<double> logTicks(double lo, double hi, int maxTicks);
// The step linearTicks uses.
double roundStep(double span, int maxTicks);
