#include "model/PeAnalysis.h"

#include "engine/Rz4Protocol.h"
#include "model/CurveSpread.h"
#include "model/GoldenSection.h"
#include "model/LineSineFit.h"
#include "model/Oscillator.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numbers>
#include <vector>

namespace {

constexpr double kArcsecPerRevolution = 1296000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// A spectral peak needs at least this many whole cycles in the data to count as a period.
constexpr double kMinCycles = 2.0;
// With fewer cycles than this the interpolated FFT peak is refined by a least-squares fit of line and
// sinusoid, which the mirror image of the peak and the window do not bias.
constexpr double kRefineBelowCycles = 64.0;
// The refinement works on block means of the residual, at most about this many of them.
constexpr uint32_t kRefinePoints = 4096;
// Margin (natural log) above the largest peak white noise alone is expected to produce: noise passes the
// test with a probability of about e^-10.
constexpr double kFalseAlarmMargin = 10.0;
// Residuals below this fraction of a count are rounding left over from an exact line.
constexpr double kNegligibleCounts = 1e-6;
// Largest FFT; longer stretches are analysed without a period.
constexpr uint32_t kMaxFftSize = uint32_t{1} << 26;

struct FftDeleter {
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};

// Vertex offset (in units of the spacing) of the parabola through (-1, lm), (0, l0), (1, lp); 0 when the
// points do not bend downwards. Clamped to [-limit, limit].
double parabolicVertex(double lm, double l0, double lp, double limit) {
    const double denom = lm - 2.0 * l0 + lp;
    if (!(denom < 0.0))
        return 0.0;
    return std::clamp(0.5 * (lm - lp) / denom, -limit, limit);
}

double safeLog(double p) {
    return std::log(std::max(p, 1e-300));
}

} // namespace

struct PeAnalysis::Workspace {
    std::vector<double> residual; // arc-seconds about the current drift line
    std::vector<double> blocks;   // block means of the residual for the refinement
    std::vector<float> fftIn;     // zero-padded FFT input; scratch for the median afterwards
    std::vector<kiss_fft_cpx> fftOut;
    std::vector<float> power; // power spectrum, nfft / 2 + 1 bins
    // One plan per power-of-two size, made on first use and kept: a growing log then never frees and
    // reallocates plans, which would leave the heap fragmented.
    std::unique_ptr<kiss_fftr_state, FftDeleter> plans[32];

    kiss_fftr_cfg plan(uint32_t nfft) {
        const int log2 = std::countr_zero(nfft);
        if (!plans[log2])
            plans[log2].reset(kiss_fftr_alloc(static_cast<int>(nfft), 0, nullptr, nullptr));
        return plans[log2].get();
    }

    bool findPeriod(uint32_t n, double& frequency);
    double refineFrequency(uint32_t n, double frequency);
};

double peLogRateHz(int logRateIndex) {
    if (logRateIndex < 0 || logRateIndex >= rz4::kLogRateCount)
        return 0.0;
    return rz4::kLogRatesHz[logRateIndex];
}

double peArcsecPerCount(uint32_t encoderBits) {
    if (encoderBits == 0 || encoderBits > 64)
        return 0.0;
    return std::ldexp(kArcsecPerRevolution, -static_cast<int>(encoderBits));
}

PeAnalysis::PeAnalysis() : work_(std::make_unique<Workspace>()) {}

PeAnalysis::~PeAnalysis() = default;

void PeAnalysis::reserve(uint32_t maxSamples) {
    Workspace& w = *work_;
    uint32_t largest = 16;
    while (largest < 2 * static_cast<uint64_t>(maxSamples) && largest < kMaxFftSize)
        largest <<= 1;
    // Sized once and written, so that the pages are the program's from now on; shrinking keeps them.
    w.residual.resize(maxSamples);
    w.blocks.resize(8192);
    w.fftIn.resize(largest);
    w.fftOut.resize(largest / 2 + 1);
    w.power.resize(largest / 2 + 1);
    // Each plan is run once: its scratch buffer is first written by a transform.
    for (uint32_t nfft = 16; nfft <= largest; nfft <<= 1) {
        if (kiss_fftr_cfg fft = w.plan(nfft))
            kiss_fftr(fft, w.fftIn.data(), w.fftOut.data());
    }
}

PeResult PeAnalysis::analyse(const int32_t* samples, uint32_t count, uint32_t encoderBits, int logRateIndex,
                             uint32_t window) {
    PeResult result;
    if (samples == nullptr)
        count = 0;
    const uint32_t n = (window != 0 && window < count) ? window : count;
    result.sampleCount = n;
    const double scale = peArcsecPerCount(encoderBits);
    if (n < kMinSamples || scale <= 0.0)
        return result;
    result.valid = true;
    const double rateHz = peLogRateHz(logRateIndex);
    result.hasRate = rateHz > 0.0;
    const int32_t* first = samples + (count - n);

    Workspace& w = *work_;
    w.residual.resize(n);
    double* r = w.residual.data();

    // Positions wrap at the encoder's range (and at the 32-bit width of a stored sample): take every step
    // modulo that range, the shortest way round.
    const uint32_t wrapBits = std::min<uint32_t>(encoderBits, 32);
    const uint64_t mask = (uint64_t{1} << wrapBits) - 1;
    const int64_t halfRange = int64_t{1} << (wrapBits - 1);
    int64_t position = 0;
    r[0] = 0.0;
    for (uint32_t i = 1; i < n; ++i) {
        const uint64_t raw = static_cast<uint64_t>(static_cast<int64_t>(first[i]) - first[i - 1]) & mask;
        int64_t step = static_cast<int64_t>(raw);
        if (step >= halfRange)
            step -= static_cast<int64_t>(mask) + 1;
        position += step;
        r[i] = static_cast<double>(position) * scale;
    }

    // Least-squares line over centred sample numbers t = i - mid.
    const double mid = 0.5 * (static_cast<double>(n) - 1.0);
    const double dn = static_cast<double>(n);
    const double sumTT = dn * (dn * dn - 1.0) / 12.0;
    double sum = 0.0;
    double sumTX = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        sum += r[i];
        sumTX += (static_cast<double>(i) - mid) * r[i];
    }
    const double mean = sum / dn;
    double slope = sumTX / sumTT;
    double maxAbs = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        r[i] -= mean + slope * (static_cast<double>(i) - mid);
        maxAbs = std::max(maxAbs, std::fabs(r[i]));
    }

    if (maxAbs >= kNegligibleCounts * scale) {
        double frequency = 0.0;
        if (w.findPeriod(n, frequency)) {
            result.hasPeriod = true;
            result.dominantPeriodSamples = 1.0 / frequency;
            if (result.hasRate)
                result.dominantPeriodSeconds = result.dominantPeriodSamples / rateHz;
            LineSineFit fit;
            if (fitLineAndSine(r, n, frequency, fit)) {
                slope += fit.slope;
                for (uint32_t i = 0; i < n; ++i)
                    r[i] -= fit.offset + fit.slope * (static_cast<double>(i) - mid);
            }
        }
        const CurveSpread spread = curveSpread(r, n);
        result.peakToPeakArcsec = spread.peakToPeak;
        result.rmsArcsec = spread.rms;
    }
    result.driftArcsecPerSample = slope;
    if (result.hasRate)
        result.driftArcsecPerSecond = slope * rateHz;
    return result;
}

bool PeAnalysis::Workspace::findPeriod(uint32_t n, double& frequency) {
    uint32_t nfft = 16;
    while (nfft < 2 * static_cast<uint64_t>(n)) {
        if (nfft >= kMaxFftSize)
            return false;
        nfft <<= 1;
    }
    kiss_fftr_cfg fft = plan(nfft);
    if (fft == nullptr)
        return false;
    const uint32_t half = nfft / 2;
    fftIn.resize(nfft);
    fftOut.resize(half + 1);
    power.resize(half + 1);

    // Hann window sin^2(pi (i + 0.5) / n) = (1 - cos(2 pi (i + 0.5) / n)) / 2, symmetric and nowhere zero.
    const double* r = residual.data();
    Oscillator hann(kTwoPi / n, std::numbers::pi / n);
    for (uint32_t i = 0; i < n; ++i, hann.next()) {
        fftIn[i] = static_cast<float>(r[i] * 0.5 * (1.0 - hann.c()));
    }
    std::fill(fftIn.begin() + n, fftIn.end(), 0.0f);
    kiss_fftr(fft, fftIn.data(), fftOut.data());
    for (uint32_t k = 0; k <= half; ++k)
        power[k] = fftOut[k].r * fftOut[k].r + fftOut[k].i * fftOut[k].i;

    // The spectrum of a real signal is mirrored about 0 and about half, which gives every bin neighbours.
    auto powerAt = [&](int64_t k) -> double {
        if (k < 0)
            k = -k;
        if (k > half)
            k = 2 * static_cast<int64_t>(half) - k;
        return power[static_cast<size_t>(k)];
    };

    // Largest local maximum, interpolated between bins by a parabola through the log power (near exact for
    // the Hann main lobe), that lies at or near kMinCycles cycles or above.
    const double binsPerCycle = static_cast<double>(nfft) / n;
    double bestPower = 0.0;
    double bestBin = 0.0;
    for (uint32_t k = 1; k <= half; ++k) {
        const double p = power[k];
        if (!(p > bestPower) || !(p > powerAt(int64_t{k} - 1)) || !(p >= powerAt(int64_t{k} + 1)))
            continue;
        const double bin = k + parabolicVertex(safeLog(powerAt(int64_t{k} - 1)), safeLog(p),
                                               safeLog(powerAt(int64_t{k} + 1)), 0.5);
        if (bin < (kMinCycles - 0.5) * binsPerCycle) // the refinement below may still move it past the limit
            continue;
        bestPower = p;
        bestBin = bin;
    }
    if (!(bestPower > 0.0))
        return false;

    // The peak must stand well above the noise floor, judged by the median bin of the searched range.
    const uint32_t kMin = std::min(half, static_cast<uint32_t>(std::ceil(kMinCycles * binsPerCycle)));
    const uint32_t bins = half - kMin + 1;
    std::copy(power.begin() + kMin, power.begin() + half + 1, fftIn.begin());
    auto middle = fftIn.begin() + bins / 2;
    std::nth_element(fftIn.begin(), middle, fftIn.begin() + bins);
    const double median = *middle;
    const double threshold = (std::log(static_cast<double>(bins)) + kFalseAlarmMargin) / std::numbers::ln2;
    if (!(bestPower > threshold * median))
        return false;

    double f = bestBin / nfft;
    if (f * n < kRefineBelowCycles)
        f = refineFrequency(n, f);
    if (f * n < kMinCycles)
        return false;
    frequency = std::min(f, 0.5);
    return true;
}

// With few cycles one bin is a large share of the frequency, and the window and the mirror image of the
// peak pull the spectral estimate. Searches +-0.75 cycle around it for the frequency whose line-plus-
// sinusoid fit explains most of the residual. The fit runs on block means: averaging a line and a sinusoid
// over equal blocks leaves a line and a sinusoid of the same frequency, and at fewer than
// kRefineBelowCycles cycles every cycle still spans many blocks.
double PeAnalysis::Workspace::refineFrequency(uint32_t n, double frequency) {
    const uint32_t blockSize = std::max<uint32_t>(1, n / kRefinePoints);
    const uint32_t m = n / blockSize;
    blocks.resize(m);
    const double* r = residual.data();
    for (uint32_t j = 0; j < m; ++j) {
        double sum = 0.0;
        for (uint32_t i = j * blockSize; i < (j + 1) * blockSize; ++i)
            sum += r[i];
        blocks[j] = sum / blockSize;
    }
    // Explained energy as a function of the frequency in cycles per sample.
    auto energy = [&](double f) {
        LineSineFit fit;
        return fitLineAndSine(blocks.data(), m, f * blockSize, fit) ? fit.energy : 0.0;
    };
    const double lo = std::max(frequency - 0.75 / n, 0.5 / n);
    const double hi = std::min(frequency + 0.75 / n, 0.5 / blockSize);
    if (!(hi > lo))
        return frequency;
    return goldenSectionMaximum(lo, hi, 1e-5 / n, 40, energy);
}

PeResult analysePeriodicError(const int32_t* samples, uint32_t count, uint32_t encoderBits, int logRateIndex,
                              uint32_t window) {
    PeAnalysis analysis;
    return analysis.analyse(samples, count, encoderBits, logRateIndex, window);
}

namespace {

// Decimals that give about three significant digits, at most four.
int decimalsFor(double magnitude) {
    if (magnitude >= 99.95)
        return 0;
    if (magnitude >= 9.995)
        return 1;
    if (magnitude >= 0.9995)
        return 2;
    if (magnitude >= 0.09995)
        return 3;
    return 4;
}

// Rounds to the given decimals, turning a result that prints as zero into +0 (never "-0.00").
double tidy(double value, int decimals) {
    const double unit = std::pow(10.0, -decimals);
    if (!std::isfinite(value) || std::fabs(value) < 0.5 * unit)
        return 0.0;
    return value;
}

// Appends one printf field with a precision argument; the line stays terminated and within size.
template <typename T>
int appendFormatted(char* line, int size, int pos, const char* format, int precision, T value) {
    if (pos >= size - 1)
        return pos;
    const int written = std::snprintf(line + pos, static_cast<size_t>(size - pos), format, precision, value);
    return written < 0 ? pos : std::min(size - 1, pos + written);
}

} // namespace

int formatPeLine(char* buf, int capacity, const PeResult& result) {
    if (buf == nullptr || capacity <= 0)
        return 0;
    char line[192];
    const int size = static_cast<int>(sizeof line);
    int pos = 0;
    if (!result.valid) {
        pos = std::snprintf(line, sizeof line, "%s",
                            result.sampleCount < PeAnalysis::kMinSamples ? "PE --  (fewer than 8 samples)"
                                                                         : "PE --");
    } else {
        const double pp = result.peakToPeakArcsec;
        const double rms = result.rmsArcsec;
        pos = appendFormatted(line, size, pos, "PE %.*f\" p-p", decimalsFor(pp), tidy(pp, decimalsFor(pp)));
        pos = appendFormatted(line, size, pos, "  %.*f\" RMS", decimalsFor(rms), tidy(rms, decimalsFor(rms)));
        if (result.hasPeriod) {
            const double period = result.dominantPeriodSamples;
            // Whole periods print without decimals, others with one ("64", "63.7", "1500").
            const bool whole = period >= 99.95 || std::fabs(period - std::round(period)) < 0.05;
            pos = appendFormatted(line, size, pos, "  period %.*f", whole ? 0 : 1, period);
            if (result.hasRate) {
                const double seconds = result.dominantPeriodSeconds;
                pos = appendFormatted(line, size, pos, " (%.*f s)", decimalsFor(seconds),
                                      tidy(seconds, decimalsFor(seconds)));
            }
        } else {
            pos = appendFormatted(line, size, pos, "  period --%.*s", 0, "");
        }
        const double drift = result.driftArcsecPerSample;
        const int d = decimalsFor(std::fabs(drift));
        pos = appendFormatted(line, size, pos, "  drift %+.*f\"/sample", d, tidy(drift, d));
    }
    if (pos < 0)
        pos = 0;
    const int length = std::min(pos, capacity - 1);
    std::memcpy(buf, line, static_cast<size_t>(length));
    buf[length] = '\0';
    return length;
}
