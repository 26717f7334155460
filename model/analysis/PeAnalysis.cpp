#include "model/analysis/PeAnalysis.h"

#include "model/analysis/PeSpectrum.h"
#include "model/logs/CountUnwrap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

struct PeAnalysis::Workspace {
    std::vector<double> values; // unwrapped positions, arc-seconds
    PeSpectrum spectrum;        // the estimator the analysis window uses too
    PeSpectrumResult result;    // its buffers are kept between calls
};

PeResult peFiguresOf(const PeSpectrumResult& analysed) {
    PeResult result;
    result.sampleCount = static_cast<uint32_t>(std::min<std::size_t>(analysed.points, UINT32_MAX));
    if (!analysed.valid)
        return result;
    result.valid = true;
    result.hasRate = analysed.hasTime;
    result.peakToPeakArcsec = analysed.peakToPeakArcsec;
    result.rmsArcsec = analysed.rmsArcsec;
    result.driftArcsecPerSample = analysed.driftArcsecPerSample;
    result.driftArcsecPerSecond = analysed.hasTime ? analysed.driftArcsecPerSecond : 0.0;
    if (analysed.hasPeriod()) {
        const PeComponent& dominant = analysed.components.front();
        result.hasPeriod = true;
        result.dominantPeriodSamples = dominant.periodSamples;
        result.dominantPeriodSeconds = analysed.hasTime ? dominant.periodSeconds : 0.0;
    }
    return result;
}

PeAnalysis::PeAnalysis() : work_(std::make_unique<Workspace>()) {}

PeAnalysis::~PeAnalysis() = default;

void PeAnalysis::reserve(uint32_t maxSamples) {
    Workspace& w = *work_;
    w.values.resize(maxSamples);
    w.spectrum.reserve(maxSamples);
    w.result.detrended.resize(maxSamples);
    w.result.spectrumPeriod.resize(PeSpectrum::kMaxPlotPoints);
    w.result.spectrumAmplitude.resize(PeSpectrum::kMaxPlotPoints);
    w.result.components.reserve(PeSpectrum::kMaxComponents);
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
    const double rateHz = peLogRateHz(logRateIndex);
    const int32_t* first = samples + (count - n);

    Workspace& w = *work_;
    w.values.resize(n);
    double* v = w.values.data();

    // Counts from the first one analysed: the figures do not depend on where the encoder stood, and a
    // log that wraps gives the very same input as one that does not.
    for (uint32_t i = 0; i < n; ++i)
        v[i] = static_cast<double>(static_cast<int64_t>(first[i]) - first[0]);
    countsToArcsec(v, n, encoderBits);

    w.spectrum.analyse(v, n, rateHz > 0.0 ? 1.0 / rateHz : 0.0, w.result);
    result = peFiguresOf(w.result);
    result.sampleCount = n;
    return result;
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

namespace {

// The long line, or the brief one: the period in seconds alone when the rate is known, and no drift.
int formatPe(char* buf, int capacity, const PeResult& result, bool brief) {
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
            if (brief && result.hasRate) {
                const double seconds = result.dominantPeriodSeconds;
                pos = appendFormatted(line, size, pos, "  period %.*f s", decimalsFor(seconds),
                                      tidy(seconds, decimalsFor(seconds)));
            } else {
                pos = appendFormatted(line, size, pos, "  period %.*f", whole ? 0 : 1, period);
            }
            if (result.hasRate && !brief) {
                const double seconds = result.dominantPeriodSeconds;
                pos = appendFormatted(line, size, pos, " (%.*f s)", decimalsFor(seconds),
                                      tidy(seconds, decimalsFor(seconds)));
            }
        } else {
            pos = appendFormatted(line, size, pos, "  period --%.*s", 0, "");
        }
        const double drift = result.driftArcsecPerSample;
        const int d = decimalsFor(std::fabs(drift));
        if (!brief)
            pos = appendFormatted(line, size, pos, "  drift %+.*f\"/sample", d, tidy(drift, d));
    }
    if (pos < 0)
        pos = 0;
    const int length = std::min(pos, capacity - 1);
    std::memcpy(buf, line, static_cast<size_t>(length));
    buf[length] = '\0';
    return length;
}

} // namespace

int formatPeLine(char* buf, int capacity, const PeResult& result) {
    return formatPe(buf, capacity, result, false);
}

int formatPeLineBrief(char* buf, int capacity, const PeResult& result) {
    return formatPe(buf, capacity, result, true);
}
