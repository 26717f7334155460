#pragma once

#include "model/analysis/PeSpectrum.h"
#include "model/logs/LogUnits.h"

#include <cstdint>
#include <memory>

// Periodic-error figures of a stretch of logged encoder positions. Every figure is finite; the flags say
// which ones mean something.
struct PeResult {
    bool valid = false;       // enough samples and a usable encoder width; all other figures are 0 otherwise
    bool hasRate = false;     // the log rate is known: the per-second figures are filled in
    bool hasPeriod = false;   // a periodic component stands clearly above the noise
    uint32_t sampleCount = 0; // samples analysed (after the window)
    double peakToPeakArcsec = 0.0;      // of the residual about the drift line
    double rmsArcsec = 0.0;             // root mean square about the drift line
    double driftArcsecPerSample = 0.0;  // slope of the least-squares drift line
    double driftArcsecPerSecond = 0.0;  // only with hasRate
    double dominantPeriodSamples = 0.0; // only with hasPeriod
    double dominantPeriodSeconds = 0.0; // only with hasPeriod and hasRate
};

// Honest name of the RMS figure, for tool tips and summaries.
inline constexpr const char* kPeRmsLabel = "RMS about the drift line";

// The periodic-error figures of an analysis of PeSpectrum: the main dialog's line and the analysis window
// show the same estimate.
PeResult peFiguresOf(const PeSpectrumResult& analysed);

// Measures the periodic error of logged encoder positions: they are unwrapped (countsToArcsec: each step
// taken modulo the encoder's range, the shortest way round), converted to arc-seconds with the encoder's
// exact width and analysed by PeSpectrum, as the analysis window analyses a log. The drift line is fitted
// together with the periodic components it reports; peak-to-peak and RMS are those of the curve about that
// line, and the dominant period is its strongest component's. The working buffers are kept between calls, so
// repeated analyses of a growing log allocate nothing once the largest size has been seen. Owned and used by
// one thread at a time.
class PeAnalysis {
public:
    static constexpr uint32_t kMinSamples = 8;

    PeAnalysis();
    ~PeAnalysis();
    PeAnalysis(const PeAnalysis&) = delete;
    PeAnalysis& operator=(const PeAnalysis&) = delete;

    // samples: count positions in raw counts, oldest first (may be null when count is 0). window: analyse
    // only the last window samples, 0 for all. logRateIndex: 0..5, or -1 when unknown.
    PeResult analyse(const int32_t* samples, uint32_t count, uint32_t encoderBits, int logRateIndex,
                     uint32_t window);
    // Takes now all the memory that analyses of up to maxSamples samples will need, so that a growing
    // log does not grow the program's footprint later.
    void reserve(uint32_t maxSamples);

private:
    struct Workspace; // buffers and FFT plan, kept between calls
    std::unique_ptr<Workspace> work_;
};

// One-shot form of PeAnalysis::analyse (allocates its buffers for this call only).
PeResult analysePeriodicError(const int32_t* samples, uint32_t count, uint32_t encoderBits, int logRateIndex,
                              uint32_t window);

// One line for the main dialog, e.g.
//   PE 14.0" p-p  4.95" RMS  period 64 (16.0 s)  drift +0.0213"/sample
// or "PE --  (fewer than 8 samples)" when the result is not valid. Always terminates buf (when capacity > 0),
// truncating if needed; returns the number of characters written before the terminator.
int formatPeLine(char* buf, int capacity, const PeResult& result);
// The same without the drift and with the period in seconds alone when the rate is known, for a narrow
// field, e.g. PE 14.0" p-p  4.95" RMS  period 16.0 s
int formatPeLineBrief(char* buf, int capacity, const PeResult& result);
