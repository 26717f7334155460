#pragma once

#include <cstddef>
#include <vector>

// A long curve cut down for drawing: the values are split into at most `buckets` runs of neighbouring
// points, and each run gives its lowest and highest point in the order they occur, so that the polyline
// through them reaches every peak the full curve has. x holds point indices, y the values. Curves with
// at most 2 x buckets points are passed through whole. Reuses the vectors' memory.
void decimateMinMax(const double* values, std::size_t n, std::size_t buckets, std::vector<double>& x,
                    std::vector<double>& y);
