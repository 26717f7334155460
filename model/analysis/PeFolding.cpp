#include "model/analysis/PeFolding.h"

#include <algorithm>
#include <cmath>

PeFoldResult foldCurve(const double* curve, std::size_t n, double periodPoints, std::size_t maxBins,
                       std::size_t maxCurves) {
    PeFoldResult result;
    if (curve == nullptr || !(periodPoints >= 2.0) || !std::isfinite(periodPoints) || maxBins < 2)
        return result;
    const double cycles = std::floor(static_cast<double>(n) / periodPoints);
    if (cycles < 1.0)
        return result;
    result.valid = true;
    result.periodPoints = periodPoints;
    result.cycles = static_cast<std::size_t>(cycles);
    result.bins = std::min(maxBins, static_cast<std::size_t>(std::floor(periodPoints)));
    const std::size_t bins = result.bins;
    const std::size_t kept = std::min(result.cycles, maxCurves);
    result.curves.assign(kept * bins, 0.0);
    result.curveCycle.resize(kept);
    for (std::size_t i = 0; i < kept; ++i)
        result.curveCycle[i] = kept == 1 ? 0 : i * (result.cycles - 1) / (kept - 1);

    std::vector<double> sum(bins);        // of the current cycle
    std::vector<std::size_t> count(bins); // of the current cycle
    std::vector<double> total(bins, 0.0); // of cycle means over all cycles
    std::vector<std::size_t> filled(bins, 0);
    std::size_t nextKept = 0;
    const std::size_t end = std::min(n, static_cast<std::size_t>(std::ceil(cycles * periodPoints)));
    std::size_t i = 0;
    for (std::size_t c = 0; c < result.cycles; ++c) {
        std::fill(sum.begin(), sum.end(), 0.0);
        std::fill(count.begin(), count.end(), 0);
        for (; i < end; ++i) {
            const double x = static_cast<double>(i) / periodPoints;
            if (x >= static_cast<double>(c + 1))
                break;
            const double phase = std::max(0.0, x - static_cast<double>(c));
            const std::size_t b =
                std::min(bins - 1, static_cast<std::size_t>(phase * static_cast<double>(bins)));
            sum[b] += curve[i];
            ++count[b];
        }
        const bool keep = nextKept < kept && result.curveCycle[nextKept] == c;
        double previous = 0.0;
        for (std::size_t b = 0; b < bins; ++b) {
            // Rounding at a bin's edge may leave a bin of one cycle empty: it takes its neighbour's value.
            const double value = count[b] != 0 ? sum[b] / static_cast<double>(count[b]) : previous;
            if (count[b] != 0) {
                total[b] += value;
                ++filled[b];
            }
            if (keep)
                result.curves[nextKept * bins + b] = value;
            previous = value;
        }
        if (keep)
            ++nextKept;
    }
    result.mean.resize(bins);
    for (std::size_t b = 0; b < bins; ++b)
        result.mean[b] = filled[b] != 0 ? total[b] / static_cast<double>(filled[b]) : 0.0;
    const auto [lo, hi] = std::minmax_element(result.mean.begin(), result.mean.end());
    result.meanPeakToPeakArcsec = *hi - *lo;
    return result;
}
