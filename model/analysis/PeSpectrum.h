#pragma once

#include "model/logs/LoadedLog.h"

#include <cstddef>
#include <memory>
#include <vector>

// One periodic component of a tracking log: the sinusoid A sin(2 pi t / P + phase), with t = 0 at the
// first analysed point. A value type.
struct PeComponent {
    double periodSamples = 0.0;
    double periodSeconds = 0.0;   // 0 without a time base
    double amplitudeArcsec = 0.0; // A: half the sinusoid's peak-to-peak
    double phaseDeg = 0.0;        // 0 <= phase < 360
};

// What PeSpectrum finds in a stretch of a log. Figures are finite; without `valid` (too few points) only
// the range fields mean something. A value type, handed from the analysing thread to the one showing it.
struct PeSpectrumResult {
    bool valid = false;
    bool hasTime = false;   // the time base is known: the seconds figures are filled in
    bool resampled = false; // a log with time stamps was interpolated onto even steps first
    std::size_t first = 0;  // the log's samples analysed: [first, last)
    std::size_t last = 0;
    std::size_t points = 0;     // evenly spaced points analysed (last - first unless resampled)
    double sampleSeconds = 0.0; // spacing of the points; 0 without a time base
    double startSeconds = 0.0;  // the first point's time on the log's clock (resampled logs)

    double peakToPeakArcsec = 0.0;     // of the drift-removed curve
    double rmsArcsec = 0.0;            // root mean square of the drift-removed curve
    double driftStartArcsec = 0.0;     // the drift line at the first point
    double driftArcsecPerSample = 0.0; // its slope per point
    double driftArcsecPerSecond = 0.0; // with hasTime

    std::vector<double> detrended; // one value per point: the log minus the drift line
    // Amplitude spectrum for plotting on a logarithmic period axis: periods ascending (seconds with
    // hasTime, else samples), at most PeSpectrum::kMaxPlotPoints, each the largest amplitude (arcsec) of the
    // spectral bins it stands for, so that no peak is lost.
    std::vector<double> spectrumPeriod;
    std::vector<double> spectrumAmplitude;
    // The strongest periodic components, strongest first (at most PeSpectrum::kMaxComponents), each
    // clearly above the noise, at least 1% of the strongest, with at least two whole cycles in the data.
    std::vector<PeComponent> components;

    bool hasPeriod() const { return !components.empty(); }
};

// Spectrum, harmonics and drift of a tracking log, as periodic-error tools show them:
//  - the drift line is fitted by least squares together with the components reported (a plain line when
//    there are none), so that the periodic error does not tilt it and the figures and the components
//    describe one model; the drift-removed curve is the log minus that line;
//  - the amplitude spectrum is the Hann-windowed, zero-padded FFT of the curve;
//  - components are the strongest spectral peaks that stand above the noise and above the leakage of
//    stronger peaks; each frequency is refined by a least-squares fit of line and sinusoid, and all
//    components are then fitted together with the line, so amplitudes and phases do not depend on the
//    period being a whole fraction of the log's length.
// A log with time stamps (guide logs) is interpolated onto even steps of its nominal period first.
// Working memory (FFT plan and buffers) is kept between calls. Owned and used by one thread at a time.
class PeSpectrum {
public:
    static constexpr std::size_t kMinPoints = 8;
    static constexpr std::size_t kMaxComponents = 5;
    static constexpr std::size_t kMaxPlotPoints = 4096;

    PeSpectrum();
    ~PeSpectrum();
    PeSpectrum(const PeSpectrum&) = delete;
    PeSpectrum& operator=(const PeSpectrum&) = delete;

    // Takes now the memory that analyses of up to maxPoints evenly spaced points will need, so that a
    // log analysed again and again as it grows does not grow the program's footprint later.
    void reserve(std::size_t maxPoints);

    // The samples [first, last) of the log (clamped to its size). Reuses result's buffers. Returns
    // result.valid.
    bool analyse(const LoadedLog& log, std::size_t first, std::size_t last, PeSpectrumResult& result);
    // n evenly spaced values in arc-seconds, sampleSeconds apart (0 when unknown).
    bool analyse(const double* values, std::size_t n, double sampleSeconds, PeSpectrumResult& result);
    // The same, taking the values over as result.detrended and removing the drift from them in place, so
    // that a whole night is held once (the caller's vector is left empty).
    bool analyse(std::vector<double>&& curve, double sampleSeconds, PeSpectrumResult& result);

private:
    struct Workspace;
    std::unique_ptr<Workspace> work_;
};
