#pragma once

#include <cstdint>

// Least-squares fit of offset + slope * (i - mid) + a cos(2 pi f i) + b sin(2 pi f i) to y[0..m), where
// mid = (m - 1) / 2. Fitting the sinusoid together with the line keeps an incomplete last cycle from
// tilting the line. A value type.
struct LineSineFit {
    double offset = 0.0; // at the centre sample
    double slope = 0.0;  // per sample
    double cosine = 0.0; // a
    double sine = 0.0;   // b
    double energy = 0.0; // sum of squares the fit explains
};

// False when the basis is degenerate (frequency near 0 or 0.5, or too few points).
bool fitLineAndSine(const double* y, uint32_t m, double frequency, LineSineFit& fit);
