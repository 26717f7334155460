#include "model/analysis/LogComparer.h"

#include "model/analysis/LinearSolve.h"
#include "model/analysis/Oscillator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr std::size_t kFoldBins = 512;

double percentChange(double after, double before) {
    return before > 0.0 ? 100.0 * (after - before) / before : 0.0;
}

// Amplitudes of sinusoids of the given periods (in points) in curve[0..n), fitted by least squares
// together with a line; NaN for a period longer than the curve or when the fit is singular.
void fitAmplitudes(const std::vector<double>& curve, const std::vector<double>& periods,
                   std::vector<double>& amplitudes) {
    const std::size_t n = curve.size();
    amplitudes.assign(periods.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<double> fitted; // periods in points that fit at least one whole cycle
    std::vector<std::size_t> which;
    for (std::size_t k = 0; k < periods.size(); ++k) {
        if (periods[k] >= 2.0 && periods[k] <= static_cast<double>(n)) {
            fitted.push_back(periods[k]);
            which.push_back(k);
        }
    }
    const int unknowns = 2 + 2 * static_cast<int>(fitted.size());
    if (fitted.empty() || unknowns > kMaxLinearUnknowns)
        return;
    std::vector<Oscillator> oscillators;
    for (double p : fitted)
        oscillators.emplace_back(2.0 * std::numbers::pi / p, 0.0);
    double gram[kMaxLinearUnknowns * kMaxLinearUnknowns] = {};
    double rhs[kMaxLinearUnknowns] = {};
    double basis[kMaxLinearUnknowns];
    const double mid = 0.5 * static_cast<double>(n - 1);
    const double span = std::max(1.0, mid);
    for (std::size_t i = 0; i < n; ++i) {
        basis[0] = 1.0;
        basis[1] = (static_cast<double>(i) - mid) / span;
        for (std::size_t k = 0; k < oscillators.size(); ++k) {
            basis[2 + 2 * k] = oscillators[k].c();
            basis[3 + 2 * k] = oscillators[k].s();
            oscillators[k].next();
        }
        for (int p = 0; p < unknowns; ++p) {
            rhs[p] += basis[p] * curve[i];
            for (int q = p; q < unknowns; ++q)
                gram[p * unknowns + q] += basis[p] * basis[q];
        }
    }
    for (int p = 0; p < unknowns; ++p) {
        for (int q = 0; q < p; ++q)
            gram[p * unknowns + q] = gram[q * unknowns + p];
    }
    double x[kMaxLinearUnknowns];
    if (!solveLinearSystem(gram, rhs, x, unknowns, 1e-9 * static_cast<double>(n)))
        return;
    for (std::size_t k = 0; k < which.size(); ++k)
        amplitudes[which[k]] = std::hypot(x[2 + 2 * k], x[3 + 2 * k]);
}

// Turns AFTER's folded cycles so that its mean cycle lines up best (largest circular correlation) with
// BEFORE's.
void alignFold(const PeFoldResult& before, PeFoldResult& after) {
    const std::size_t bins = before.bins;
    if (!before.valid || !after.valid || bins == 0 || after.bins != bins)
        return;
    std::size_t best = 0;
    double bestSum = -std::numeric_limits<double>::infinity();
    for (std::size_t shift = 0; shift < bins; ++shift) {
        double sum = 0.0;
        for (std::size_t b = 0; b < bins; ++b)
            sum += before.mean[b] * after.mean[(b + shift) % bins];
        if (sum > bestSum) {
            bestSum = sum;
            best = shift;
        }
    }
    const auto turn = [best, bins](double* first) {
        std::rotate(first, first + static_cast<std::ptrdiff_t>(best),
                    first + static_cast<std::ptrdiff_t>(bins));
    };
    turn(after.mean.data());
    for (std::size_t c = 0; c * bins < after.curves.size(); ++c)
        turn(after.curves.data() + c * bins);
}

} // namespace

bool LogComparer::compare(const LoadedLog& before, const LoadedLog& after, double wormPeriodSeconds,
                          std::size_t maxFoldCurves, LogComparison& out) {
    out = LogComparison{};
    if (!spectrum_.analyse(before, 0, before.size(), out.before))
        out.problem = CompareProblem::BeforeTooShort;
    else if (!spectrum_.analyse(after, 0, after.size(), out.after))
        out.problem = CompareProblem::AfterTooShort;
    else if (!out.before.hasTime || !out.after.hasTime)
        out.problem = CompareProblem::NoTimeBase;
    if (!out.valid()) {
        out.before.detrended = {};
        out.after.detrended = {};
        return false;
    }
    const PeSpectrumResult& b = out.before;
    const PeSpectrumResult& a = out.after;
    out.changePeakToPeakPercent = percentChange(a.peakToPeakArcsec, b.peakToPeakArcsec);
    out.changeRmsPercent = percentChange(a.rmsArcsec, b.rmsArcsec);

    std::vector<double> periods; // in AFTER's points
    for (const PeComponent& c : b.components)
        periods.push_back(c.periodSeconds / a.sampleSeconds);
    std::vector<double> amplitudes;
    fitAmplitudes(a.detrended, periods, amplitudes);
    for (std::size_t k = 0; k < b.components.size(); ++k)
        out.harmonics.push_back(
            {b.components[k].periodSeconds, b.components[k].amplitudeArcsec, amplitudes[k]});

    double worm = wormPeriodSeconds;
    if (!(worm > 0.0) && b.hasPeriod()) {
        worm = b.components.front().periodSeconds;
        out.wormFromDominant = true;
    }
    if (worm > 0.0 && std::isfinite(worm)) {
        out.wormPeriodSeconds = worm;
        const double beforePoints = worm / b.sampleSeconds;
        const double afterPoints = worm / a.sampleSeconds;
        // One number of bins for both, so that bin b is one phase in each.
        const std::size_t bins =
            std::min({kFoldBins, static_cast<std::size_t>(std::max(2.0, std::floor(beforePoints))),
                      static_cast<std::size_t>(std::max(2.0, std::floor(afterPoints)))});
        out.beforeFold = foldCurve(b.detrended.data(), b.detrended.size(), beforePoints, bins, maxFoldCurves);
        out.afterFold = foldCurve(a.detrended.data(), a.detrended.size(), afterPoints, bins, maxFoldCurves);
        alignFold(out.beforeFold, out.afterFold);
    }
    out.before.detrended = {};
    out.after.detrended = {};
    return true;
}
