#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A drift-removed curve folded on a period (the worm's): every whole cycle as a curve over the phase,
// and their mean. A value type, handed from the analysing thread to the one showing it.
struct PeFoldResult {
    bool valid = false;        // at least one whole cycle and a period of at least two points
    double periodPoints = 0.0; // the period, in points of the curve
    std::size_t cycles = 0;    // whole cycles folded; the points after the last one are left out
    std::size_t bins = 0;      // points per folded curve, evenly spread over the period
    std::vector<double> mean;  // bins values: mean over all cycles, arc-seconds
    double meanPeakToPeakArcsec = 0.0;
    // Curves of single cycles for drawing, bins values each, row after row: every cycle when there are
    // at most maxCurves, else maxCurves of them spread evenly over the run. curveCycle says which.
    std::vector<double> curves;
    std::vector<std::size_t> curveCycle;
};

// Folds curve[0..n) on periodPoints (any positive length, not necessarily whole): cycle c covers the
// points i with c <= i / periodPoints < c + 1, and bin b of a cycle the phases [b, b + 1) / bins. Each
// cycle's bin holds the mean of its points; the mean curve is the mean of the cycles. bins is at most
// maxBins and at most the whole points per cycle, so every bin of every cycle holds a point.
PeFoldResult foldCurve(const double* curve, std::size_t n, double periodPoints, std::size_t maxBins = 512,
                       std::size_t maxCurves = 256);
