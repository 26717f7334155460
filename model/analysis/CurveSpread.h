#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

// Peak-to-peak and root mean square of a drift-removed curve. A value type.
struct CurveSpread {
    double peakToPeak = 0.0;
    double rms = 0.0;
};

// Of values[0..n); zero for an empty curve.
inline CurveSpread curveSpread(const double* values, std::size_t n) {
    if (n == 0)
        return {};
    double lo = values[0];
    double hi = values[0];
    double sumSquares = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
        sumSquares += values[i] * values[i];
    }
    return {hi - lo, std::sqrt(sumSquares / static_cast<double>(n))};
}
