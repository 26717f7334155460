#include "model/analysis/PeSpectrum.h"

#include "model/analysis/CurveSpread.h"
#include "model/analysis/GoldenSection.h"
#include "model/analysis/LineSineFit.h"
#include "model/analysis/LinearSolve.h"
#include "model/analysis/Oscillator.h"
#include "platform/LargeMemory.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// A component needs at least this many whole cycles in the data.
constexpr double kMinCycles = 2.0;
// Margin (natural log) above the largest peak white noise alone is expected to produce, as for the live
// periodic-error line: noise passes with a probability of about e^-10.
constexpr double kFalseAlarmMargin = 10.0;
// Spectral peaks from this many cycles over the data on are looked at, strongest first.
constexpr double kMinLeakageCycles = 1.0;
// Spectral peaks looked at.
constexpr std::size_t kMaxCandidates = 64;
// Peaks closer than this (in cycles over the data) lie in one Hann main lobe: one component.
constexpr double kMainLobeCycles = 2.0;
// A weaker peak must stand this many times above the leakage of the stronger ones to count.
constexpr double kLeakageMargin = 3.0;
// Components weaker than this fraction of the strongest are left out: an encoder's rounding of a smooth
// curve leaves faint lines in the spectrum (a fraction of a count) that are no periodic error.
constexpr double kMinRelativeAmplitude = 0.01;
// Joint fits run on block means with at least this many blocks per cycle of the fastest component.
constexpr double kFitBlocksPerCycle = 3.0;
// ... and at least this many blocks in all, for the line.
constexpr std::size_t kMinLineBlocks = 64;
// Frequency refinement runs on at most about this many block means, at least this many per cycle.
constexpr std::size_t kRefinePoints = 16384;
constexpr double kRefineBlocksPerCycle = 8.0;
// Block means of long logs are taken once at a base block length that leaves about this many, and longer
// blocks are made from those.
constexpr std::size_t kBasePoints = 65536;
// Logs up to this long are zero-padded to twice their length for a finer spectrum.
constexpr std::size_t kPadBelow = std::size_t{1} << 20;
// kissfft takes int sizes.
constexpr std::size_t kMaxFftSize = std::size_t{1} << 28;
// Resampled guide logs may hold at most this many points per frame (long gaps are interpolated).
constexpr double kMaxResampleFactor = 16.0;

struct FftDeleter {
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};

// FFT size for n points: logs up to kPadBelow are zero-padded to the power of two at or above twice
// their length (a finer spectrum, and few distinct sizes for a growing log); longer ones to the smallest
// even 2^a 3^b 5^c not below n, which kissfft transforms fast without padding to a power of two (that
// could nearly double the memory of a long log).
std::size_t fftSizeFor(std::size_t n) {
    if (n <= kPadBelow)
        return std::bit_ceil(std::max<std::size_t>(2 * n, 16));
    const std::size_t target = n;
    std::size_t best = std::numeric_limits<std::size_t>::max();
    for (std::size_t p5 = 1; p5 <= target; p5 *= 5) {
        for (std::size_t p35 = p5; p35 <= target; p35 *= 3) {
            std::size_t v = 2 * p35;
            while (v < target)
                v *= 2;
            best = std::min(best, v);
        }
    }
    return best;
}

// Largest leakage of a Hann-windowed sinusoid at d cycles (over the data) from its frequency, relative to
// its peak: the envelope 1 / (pi d (d^2 - 1)) of the window's side lobes; 1 inside the main lobe.
double hannLeakage(double d) {
    d = std::fabs(d);
    if (d < kMainLobeCycles)
        return 1.0;
    return 1.0 / (std::numbers::pi * d * (d * d - 1.0));
}

// Vertex offset (in units of the spacing) of the parabola through (-1, lm), (0, l0), (1, lp); 0 when the
// points do not bend downwards. Clamped to [-0.5, 0.5].
double parabolicVertex(double lm, double l0, double lp) {
    const double denom = lm - 2.0 * l0 + lp;
    if (!(denom < 0.0))
        return 0.0;
    return std::clamp(0.5 * (lm - lp) / denom, -0.5, 0.5);
}

double safeLog(double p) {
    return std::log(std::max(p, 1e-300));
}

// Mean of cos/sin(w i + phase) over one block of b samples, as a gain on the sinusoid at the block's
// first sample shifted by (b - 1) / 2: (1/b) sum_q e^{i w q} = gain e^{i w (b - 1) / 2}. Signed, exact.
double blockGain(double w, std::size_t b) {
    if (b <= 1)
        return 1.0;
    const double den = static_cast<double>(b) * std::sin(0.5 * w);
    return std::fabs(den) < 1e-300 ? 1.0 : std::sin(0.5 * w * static_cast<double>(b)) / den;
}

// Means of y over consecutive blocks of b samples; the remainder (fewer than b samples) is left out.
template <typename T> void blockMeans(const T* y, std::size_t n, std::size_t b, std::vector<double>& out) {
    const std::size_t m = n / b;
    out.resize(m);
    for (std::size_t j = 0; j < m; ++j) {
        double sum = 0.0;
        const T* p = y + j * b;
        for (std::size_t q = 0; q < b; ++q)
            sum += p[q];
        out[j] = sum / static_cast<double>(b);
    }
}

// Line plus sinusoids: offset + slope (i - mid) + sum_k a_k cos(2 pi f_k i) + b_k sin(2 pi f_k i). A value
// type, local to one analysis.
struct Model {
    std::size_t count = 0;
    std::array<double, PeSpectrum::kMaxComponents> frequency{};
    std::array<double, PeSpectrum::kMaxComponents> a{};
    std::array<double, PeSpectrum::kMaxComponents> b{};
    double offset = 0.0; // at the middle sample
    double slope = 0.0;  // per sample

    void remove(std::size_t k) {
        for (std::size_t j = k; j + 1 < count; ++j) {
            frequency[j] = frequency[j + 1];
            a[j] = a[j + 1];
            b[j] = b[j + 1];
        }
        --count;
    }
};

// Removes the components below kMinRelativeAmplitude of the strongest; true when any went.
bool dropFaint(Model& model) {
    double strongest = 0.0;
    for (std::size_t k = 0; k < model.count; ++k)
        strongest = std::max(strongest, std::hypot(model.a[k], model.b[k]));
    bool dropped = false;
    for (std::size_t k = model.count; k-- > 0;) {
        if (!(std::hypot(model.a[k], model.b[k]) >= kMinRelativeAmplitude * strongest)) {
            model.remove(k);
            dropped = true;
        }
    }
    return dropped;
}

// Whether component k may be reported: at least kMinCycles whole cycles in n points, below the Nyquist
// frequency, with a finite amplitude.
bool passesPeriodRules(const Model& model, std::size_t k, double n) {
    const double f = model.frequency[k];
    return f * n >= kMinCycles && f < 0.5 && std::isfinite(std::hypot(model.a[k], model.b[k]));
}

// Removes the components that may not be reported; true when any went.
bool dropFailing(Model& model, double n) {
    bool dropped = false;
    for (std::size_t k = model.count; k-- > 0;) {
        if (!passesPeriodRules(model, k, n)) {
            model.remove(k);
            dropped = true;
        }
    }
    return dropped;
}

} // namespace

namespace {

// A plan for nfft points in memory taken here, so that a long transform's tables (tens of MB) can be
// advised onto large pages before they are written; kiss_fftr_free (free) still releases it. Where the
// library does not say how much it needs, it takes its own memory.
kiss_fftr_cfg allocatePlan(std::size_t nfft) {
    std::size_t bytes = 0;
    kiss_fftr_alloc(static_cast<int>(nfft), 0, nullptr, &bytes);
    if (bytes > 0) {
        if (void* memory = std::malloc(bytes)) {
            adviseLargePages(memory, bytes);
            if (kiss_fftr_cfg cfg = kiss_fftr_alloc(static_cast<int>(nfft), 0, memory, &bytes))
                return cfg;
            std::free(memory);
        }
    }
    return kiss_fftr_alloc(static_cast<int>(nfft), 0, nullptr, nullptr);
}

} // namespace

struct PeSpectrum::Workspace {
    // One buffer for the transform's windowed input (nfft floats), its output (nfft / 2 + 1 bins: kiss_fftr
    // reads all its input before it writes any output), then the power spectrum in its first half and the
    // scratch copy for the median in its second: a whole night's spectrum needs no second buffer.
    std::vector<kiss_fft_cpx> fft;
    float* fftFloats() { return reinterpret_cast<float*>(fft.data()); }
    std::vector<double> base; // block means of the curve at baseLength
    std::size_t baseLength = 1;
    const void* baseOf = nullptr; // the curve they are of
    std::vector<double> blocks;
    std::vector<double> uniform; // resampled guide logs
    // Plans of power-of-two sizes are made on first use and kept: a log that grows (the live store,
    // analysed again and again) then never frees and reallocates plans. Other sizes (long logs) keep
    // only the last plan.
    std::unique_ptr<kiss_fftr_state, FftDeleter> powerPlans[64];
    std::unique_ptr<kiss_fftr_state, FftDeleter> plan;
    std::size_t planSize = 0;

    kiss_fftr_cfg planFor(std::size_t nfft) {
        if (std::has_single_bit(nfft)) {
            auto& kept = powerPlans[std::countr_zero(nfft)];
            if (!kept)
                kept.reset(allocatePlan(nfft));
            return kept.get();
        }
        if (planSize != nfft) {
            plan.reset();
            planSize = 0;
            plan.reset(allocatePlan(nfft));
            if (plan)
                planSize = nfft;
        }
        return plan.get();
    }

    bool spectrum(const double* r, std::size_t n, double scale, PeSpectrumResult& result,
                  std::vector<double>& candidates);
    void prepareBlocks(const double* r, std::size_t n);
    std::size_t blockLength(std::size_t wanted) const;
    // For the curve (double) and the leakage of left-out components (float, in the transform's buffer).
    template <typename T> void blocksOf(const T* r, std::size_t n, std::size_t length);
    template <typename T> bool jointFit(const T* r, std::size_t n, Model& model);
    double refine(const double* r, std::size_t n, const Model& model, std::size_t k);
    bool dropLeakage(std::size_t n, const Model& fitted, Model& model);
};

// A slow component left out of the model (it fails the period rules) stays in the curve, and a partial
// cycle of it, unlike a whole sinusoid, reaches far into the spectrum: the components beside it may be
// nothing but its leakage. Removes from model (fitted without it) the components that do not stand
// kLeakageMargin times above what the left-out components of fitted alone give at their frequencies;
// true when any went.
bool PeSpectrum::Workspace::dropLeakage(std::size_t n, const Model& fitted, Model& model) {
    if (model.count == 0)
        return false;
    const double dn = static_cast<double>(n);
    // The transform's buffer is free once the spectrum is taken, and holds at least n floats: a whole
    // night's leakage needs no array of its own (float is ample to judge a factor kLeakageMargin).
    fft.resize(std::max(fft.size(), n / 2 + 1));
    float* leakage = fftFloats();
    std::fill(leakage, leakage + n, 0.0f);
    for (std::size_t k = 0; k < fitted.count; ++k) {
        if (passesPeriodRules(fitted, k, dn))
            continue;
        const double w = kTwoPi * fitted.frequency[k];
        if (!std::isfinite(w) || !std::isfinite(fitted.a[k]) || !std::isfinite(fitted.b[k]))
            continue;
        Oscillator osc(w, 0.0);
        for (std::size_t i = 0; i < n; ++i, osc.next())
            leakage[i] += static_cast<float>(fitted.a[k] * osc.c() + fitted.b[k] * osc.s());
    }
    Model induced = model;
    if (!jointFit(static_cast<const float*>(leakage), n, induced))
        return false;
    bool dropped = false;
    for (std::size_t k = model.count; k-- > 0;) {
        if (!(std::hypot(model.a[k], model.b[k]) > kLeakageMargin * std::hypot(induced.a[k], induced.b[k]))) {
            model.remove(k);
            dropped = true;
        }
    }
    return dropped;
}

// Power spectrum of the Hann-windowed curve r (divided by scale, so that float precision holds for any
// magnitude), its plot arrays, and the frequencies of the candidate peaks, strongest first.
bool PeSpectrum::Workspace::spectrum(const double* r, std::size_t n, double scale, PeSpectrumResult& result,
                                     std::vector<double>& candidates) {
    candidates.clear();
    const std::size_t nfft = fftSizeFor(n);
    if (nfft > kMaxFftSize)
        return false;
    kiss_fftr_cfg cfg = planFor(nfft);
    if (cfg == nullptr)
        return false;
    const std::size_t half = nfft / 2;
    if (fft.capacity() < half + 1) {
        fft = {};
        fft.reserve(half + 1);
        adviseLargePages(fft.data(), fft.capacity() * sizeof(kiss_fft_cpx));
    }
    fft.resize(half + 1);
    float* in = fftFloats();

    // Hann window sin^2(pi (i + 0.5) / n), symmetric and nowhere zero; it sums to n / 2.
    const double dn = static_cast<double>(n);
    Oscillator hann(kTwoPi / dn, std::numbers::pi / dn);
    for (std::size_t i = 0; i < n; ++i, hann.next())
        in[i] = static_cast<float>(r[i] / scale * 0.5 * (1.0 - hann.c()));
    std::fill(in + n, in + nfft, 0.0f);
    const kiss_fft_cpx* out = fft.data();
    kiss_fftr(cfg, in, fft.data());
    // Bin k's power goes to float k, which belongs to a bin before k (or to k = 0 itself, read first).
    float* power = in;
    for (std::size_t k = 0; k <= half; ++k)
        power[k] = out[k].r * out[k].r + out[k].i * out[k].i;
    // A sinusoid of amplitude A peaks at |X| = A n / 4.
    const double amplitudePerRoot = 4.0 * scale / dn;

    // Plot arrays: bins from about one cycle over the data (the first bin whose period is not shorter than
    // the data) to two samples per cycle, gathered into buckets of equal width on a logarithmic period
    // axis, each keeping its largest amplitude.
    const double binsPerCycle = static_cast<double>(nfft) / dn;
    const std::size_t kLongest = std::max<std::size_t>(1, static_cast<std::size_t>(std::floor(binsPerCycle)));
    const double periodScale = result.hasTime ? result.sampleSeconds : 1.0;
    result.spectrumPeriod.clear();
    result.spectrumAmplitude.clear();
    if (kLongest <= half) {
        // Bins run from short periods to long ones; a bucket ends where the period passes its upper edge.
        const double logShortest = std::log(static_cast<double>(nfft) / static_cast<double>(half));
        const double logLongest = std::log(static_cast<double>(nfft) / static_cast<double>(kLongest));
        const double perBucket =
            std::max(1e-12, (logLongest - logShortest) / static_cast<double>(kMaxPlotPoints));
        double edge = -1.0;   // upper period edge of the current bucket; none yet
        double bucket = -1.0; // index of the current bucket
        std::size_t bestBin = 0;
        auto flush = [&] {
            if (bestBin == 0)
                return;
            result.spectrumPeriod.push_back(static_cast<double>(nfft) / static_cast<double>(bestBin) *
                                            periodScale);
            result.spectrumAmplitude.push_back(amplitudePerRoot *
                                               std::sqrt(static_cast<double>(power[bestBin])));
            bestBin = 0;
        };
        for (std::size_t k = half + 1; k-- > kLongest;) {
            const double period = static_cast<double>(nfft) / static_cast<double>(k);
            if (period >= edge) {
                flush();
                // Rounding at an edge must not start the same bucket twice.
                bucket = std::max(bucket + 1.0, std::floor((std::log(period) - logShortest) / perBucket));
                const bool last = bucket >= static_cast<double>(kMaxPlotPoints) - 1.0;
                edge = last ? std::numeric_limits<double>::infinity()
                            : std::exp(logShortest + (bucket + 1.0) * perBucket);
            }
            if (bestBin == 0 || power[k] > power[bestBin])
                bestBin = k;
        }
        flush();
    }

    // The noise floor: the median bin among those with at least kMinCycles cycles.
    const std::size_t kNoise = std::min(half, static_cast<std::size_t>(std::ceil(kMinCycles * binsPerCycle)));
    const std::size_t bins = half - kNoise + 1;
    float* scratch = power + half + 1; // the free second half of the buffer: at least bins floats
    std::copy(power + kNoise, power + half + 1, scratch);
    float* middle = scratch + bins / 2;
    std::nth_element(scratch, middle, scratch + bins);
    const double threshold = (std::log(static_cast<double>(bins)) + kFalseAlarmMargin) / std::numbers::ln2 *
                             static_cast<double>(*middle);

    // Local maxima above the noise from one cycle over the data up to the Nyquist bin. Those below
    // kMinCycles are never reported, but taken into the fit first they keep their leakage from passing
    // for components of their own (see dropLeakage), and the refinement may still move them past it.
    struct Peak {
        double power;
        std::size_t bin;
    };
    std::vector<Peak> peaks;
    const std::size_t kFirst =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kMinLeakageCycles * binsPerCycle)));
    for (std::size_t k = kFirst; k + 1 <= half; ++k) {
        const double p = power[k];
        if (p > threshold && p > power[k - 1] && p >= power[k + 1])
            peaks.push_back({p, k});
    }
    const std::size_t kept = std::min(peaks.size(), kMaxCandidates);
    std::partial_sort(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(kept), peaks.end(),
                      [](const Peak& x, const Peak& y) { return x.power > y.power; });

    // Accept the strongest peaks that stand clear of the main lobes and side lobes of stronger ones (a
    // strong sinusoid's side lobes are local maxima too).
    std::vector<double> amplitudes;
    for (std::size_t i = 0; i < kept && candidates.size() < kMaxComponents; ++i) {
        const std::size_t k = peaks[i].bin;
        const double bin = static_cast<double>(k) +
                           parabolicVertex(safeLog(power[k - 1]), safeLog(power[k]), safeLog(power[k + 1]));
        const double frequency = bin / static_cast<double>(nfft);
        const double amplitude = std::sqrt(peaks[i].power);
        double leakage = 0.0;
        for (std::size_t j = 0; j < candidates.size(); ++j) {
            leakage += amplitudes[j] * (hannLeakage((frequency - candidates[j]) * dn) +
                                        hannLeakage((frequency + candidates[j]) * dn));
        }
        if (amplitude > kLeakageMargin * leakage) {
            candidates.push_back(frequency);
            amplitudes.push_back(amplitude);
        }
    }
    return true;
}

void PeSpectrum::Workspace::prepareBlocks(const double* r, std::size_t n) {
    baseLength = std::max<std::size_t>(1, n / kBasePoints);
    baseOf = r;
    if (baseLength > 1)
        blockMeans(r, n, baseLength, base);
}

// The block length to use for a wanted one: a multiple of the base length where that is not longer.
std::size_t PeSpectrum::Workspace::blockLength(std::size_t wanted) const {
    wanted = std::max<std::size_t>(1, wanted);
    return wanted >= baseLength ? wanted - wanted % baseLength : wanted;
}

// Block means of r over blocks of the given length into blocks: from the base means where the length is
// a multiple of theirs (a pass over some 65536 values instead of the whole log), when they are r's: another
// curve (the leakage of left-out components) has its own.
template <typename T> void PeSpectrum::Workspace::blocksOf(const T* r, std::size_t n, std::size_t length) {
    if (static_cast<const void*>(r) != baseOf || baseLength <= 1 || length < baseLength ||
        length % baseLength != 0) {
        blockMeans(r, n, length, blocks);
        return;
    }
    blockMeans(base.data(), base.size(), length / baseLength, blocks);
}

// Least-squares fit of line and sinusoids at the model's frequencies to r, on block means short enough
// that every component keeps kFitBlocksPerCycle blocks per cycle: the block mean of a line is the line at
// the block's centre and that of a sinusoid a sinusoid with a known gain and phase shift, so the fit on
// block means estimates the same coefficients, with a fraction of the work on long logs.
template <typename T> bool PeSpectrum::Workspace::jointFit(const T* r, std::size_t n, Model& model) {
    double fastest = 0.0;
    for (std::size_t k = 0; k < model.count; ++k)
        fastest = std::max(fastest, model.frequency[k]);
    std::size_t b = fastest > 0.0 ? static_cast<std::size_t>(1.0 / (fastest * kFitBlocksPerCycle)) : n;
    b = blockLength(std::clamp<std::size_t>(b, 1, std::max<std::size_t>(1, n / kMinLineBlocks)));
    blocksOf(r, n, b);
    const std::size_t m = blocks.size();

    const int unknowns = static_cast<int>(2 + 2 * model.count);
    const double mid = 0.5 * (static_cast<double>(n) - 1.0);
    const double span = std::max(mid, 1.0);
    std::array<double, PeSpectrum::kMaxComponents> gain{};
    std::vector<Oscillator> oscillators;
    oscillators.reserve(model.count);
    for (std::size_t k = 0; k < model.count; ++k) {
        const double w = kTwoPi * model.frequency[k];
        gain[k] = blockGain(w, b);
        oscillators.emplace_back(w * static_cast<double>(b), 0.5 * w * static_cast<double>(b - 1));
    }
    double gram[kMaxLinearUnknowns * kMaxLinearUnknowns] = {};
    double rhs[kMaxLinearUnknowns] = {};
    double basis[kMaxLinearUnknowns];
    const double blockCentre = 0.5 * static_cast<double>(b - 1);
    for (std::size_t j = 0; j < m; ++j) {
        basis[0] = 1.0;
        basis[1] = (static_cast<double>(j * b) + blockCentre - mid) / span;
        for (std::size_t k = 0; k < model.count; ++k) {
            basis[2 + 2 * k] = gain[k] * oscillators[k].c();
            basis[3 + 2 * k] = gain[k] * oscillators[k].s();
            oscillators[k].next();
        }
        const double y = blocks[j];
        for (int p = 0; p < unknowns; ++p) {
            rhs[p] += basis[p] * y;
            for (int q = p; q < unknowns; ++q)
                gram[p * unknowns + q] += basis[p] * basis[q];
        }
    }
    // The samples after the last whole block count too, as one shorter block weighted by its length: left
    // out, a slow wander in them would tilt the line.
    const std::size_t covered = m * b;
    if (covered < n && m > 0) {
        const std::size_t rest = n - covered;
        double sum = 0.0;
        for (std::size_t i = covered; i < n; ++i)
            sum += r[i];
        const double y = sum / static_cast<double>(rest);
        const double weight = static_cast<double>(rest) / static_cast<double>(b);
        const double centre = static_cast<double>(covered) + 0.5 * static_cast<double>(rest - 1);
        basis[0] = 1.0;
        basis[1] = (centre - mid) / span;
        for (std::size_t k = 0; k < model.count; ++k) {
            const double w = kTwoPi * model.frequency[k];
            const double g = blockGain(w, rest);
            basis[2 + 2 * k] = g * std::cos(w * centre);
            basis[3 + 2 * k] = g * std::sin(w * centre);
        }
        for (int p = 0; p < unknowns; ++p) {
            rhs[p] += weight * basis[p] * y;
            for (int q = p; q < unknowns; ++q)
                gram[p * unknowns + q] += weight * basis[p] * basis[q];
        }
    }
    for (int p = 0; p < unknowns; ++p) {
        for (int q = 0; q < p; ++q)
            gram[p * unknowns + q] = gram[q * unknowns + p];
    }
    double x[kMaxLinearUnknowns];
    if (!solveLinearSystem(gram, rhs, x, unknowns, 1e-9 * static_cast<double>(m)))
        return false;
    model.offset = x[0];
    model.slope = x[1] / span;
    for (std::size_t k = 0; k < model.count; ++k) {
        model.a[k] = x[2 + 2 * k];
        model.b[k] = x[3 + 2 * k];
    }
    return true;
}

// Component k's frequency at which a fit of line and one sinusoid explains most of r once the other
// components are taken out; searched +-0.75 cycle around the current one on block means. Components with
// so many cycles that the blocks would be too coarse keep the spectral estimate, which is then exact to a
// small fraction of a cycle over the data.
double PeSpectrum::Workspace::refine(const double* r, std::size_t n, const Model& model, std::size_t k) {
    const double dn = static_cast<double>(n);
    const double frequency = model.frequency[k];
    const std::size_t b = blockLength(
        std::max<std::size_t>({1, static_cast<std::size_t>(1.0 / (frequency * kRefineBlocksPerCycle)),
                               (n + kRefinePoints - 1) / kRefinePoints}));
    if (1.0 / frequency < 3.0 * static_cast<double>(b) || n / b < 8)
        return frequency;
    blocksOf(r, n, b);
    const std::size_t m = blocks.size();
    for (std::size_t j = 0; j < model.count; ++j) {
        if (j == k)
            continue;
        const double w = kTwoPi * model.frequency[j];
        const double g = blockGain(w, b);
        Oscillator osc(w * static_cast<double>(b), 0.5 * w * static_cast<double>(b - 1));
        for (std::size_t i = 0; i < m; ++i, osc.next())
            blocks[i] -= g * (model.a[j] * osc.c() + model.b[j] * osc.s());
    }
    auto energy = [&](double f) {
        LineSineFit fit;
        return fitLineAndSine(blocks.data(), static_cast<uint32_t>(m), f * static_cast<double>(b), fit)
                   ? fit.energy
                   : 0.0;
    };
    const double lo = std::max(frequency - 0.75 / dn, 0.5 / dn);
    const double hi = std::min(frequency + 0.75 / dn, 0.45 / static_cast<double>(b));
    if (!(hi > lo))
        return frequency;
    return goldenSectionMaximum(lo, hi, 1e-4 / dn, 40, energy);
}

PeSpectrum::PeSpectrum() : work_(std::make_unique<Workspace>()) {}

void PeSpectrum::reserve(std::size_t maxPoints) {
    Workspace& w = *work_;
    const std::size_t largest = fftSizeFor(std::min(maxPoints, kPadBelow));
    // Sized once and written, so that the pages are the program's from now on; shrinking keeps them.
    w.fft.resize(largest / 2 + 1);
    w.blocks.resize(maxPoints);
    w.base.resize(kBasePoints);
    // Each plan is run once: its scratch buffer is first written by a transform.
    for (std::size_t nfft = 16; nfft <= largest; nfft <<= 1) {
        if (kiss_fftr_cfg cfg = w.planFor(nfft))
            kiss_fftr(cfg, w.fftFloats(), w.fft.data());
    }
}

PeSpectrum::~PeSpectrum() = default;

bool PeSpectrum::analyse(const LoadedLog& log, std::size_t first, std::size_t last,
                         PeSpectrumResult& result) {
    last = std::min(last, log.values.size());
    first = std::min(first, last);
    const std::size_t count = last - first;
    const double* values = log.values.data() + first;
    double seconds = log.sampleSeconds > 0.0 && std::isfinite(log.sampleSeconds) ? log.sampleSeconds : 0.0;
    bool resampled = false;
    double startSeconds = 0.0;
    std::size_t points = count;
    if (log.times.size() == log.values.size() && count >= 2 && seconds > 0.0) {
        // Frames come at uneven times (and some are missing): interpolate onto even steps of the nominal
        // period, unless the gaps are so long that the interpolation would be most of the data.
        const double* t = log.times.data() + first;
        const double span = t[count - 1] - t[0];
        const double steps = std::floor(span / seconds + 1e-9);
        if (std::isfinite(steps) && steps >= 0.0 &&
            steps + 1.0 <= kMaxResampleFactor * static_cast<double>(count) &&
            steps + 1.0 <= static_cast<double>(LoadedLog::kMaxSamples)) {
            points = static_cast<std::size_t>(steps) + 1;
            std::vector<double>& u = work_->uniform;
            u.resize(points);
            std::size_t j = 0;
            for (std::size_t i = 0; i < points; ++i) {
                const double at = t[0] + static_cast<double>(i) * seconds;
                while (j + 2 < count && t[j + 1] <= at)
                    ++j;
                const double dt = t[j + 1] - t[j];
                const double w = dt > 0.0 ? std::clamp((at - t[j]) / dt, 0.0, 1.0) : 0.0;
                u[i] = values[j] + w * (values[j + 1] - values[j]);
            }
            values = u.data();
            resampled = true;
            startSeconds = t[0];
        } else {
            seconds = 0.0; // analysed frame by frame, without a time base
        }
    }
    analyse(values, points, seconds, result);
    result.first = first;
    result.last = last;
    result.resampled = resampled;
    result.startSeconds = startSeconds;
    return result.valid;
}

bool PeSpectrum::analyse(const double* values, std::size_t n, double sampleSeconds,
                         PeSpectrumResult& result) {
    // The values are copied into the buffer of the drift-removed curve, which is kept between calls.
    std::vector<double> curve = std::move(result.detrended);
    if (values == nullptr)
        n = 0;
    curve.assign(values, values + n);
    return analyse(std::move(curve), sampleSeconds, result);
}

bool PeSpectrum::analyse(std::vector<double>&& curve, double sampleSeconds, PeSpectrumResult& result) {
    std::vector<double> detrended = std::move(curve);
    const std::size_t n = detrended.size();
    std::vector<double> spectrumPeriod = std::move(result.spectrumPeriod);
    std::vector<double> spectrumAmplitude = std::move(result.spectrumAmplitude);
    std::vector<PeComponent> components = std::move(result.components);
    result = PeSpectrumResult{};
    result.detrended = std::move(detrended);
    result.spectrumPeriod = std::move(spectrumPeriod);
    result.spectrumAmplitude = std::move(spectrumAmplitude);
    result.components = std::move(components);
    result.spectrumPeriod.clear();
    result.spectrumAmplitude.clear();
    result.components.clear();
    // The curve is worked on in place: r holds the values until the drift line is taken off.
    std::vector<double>& r = result.detrended;
    const double* values = r.data();
    result.first = 0;
    result.last = n;
    result.points = n;
    result.hasTime = sampleSeconds > 0.0 && std::isfinite(sampleSeconds);
    result.sampleSeconds = result.hasTime ? sampleSeconds : 0.0;
    if (n < kMinPoints) {
        r.clear();
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(values[i])) {
            r.clear();
            return false;
        }
    }
    result.valid = true;

    // Least-squares line over centred sample numbers t = i - mid.
    const double dn = static_cast<double>(n);
    const double mid = 0.5 * (dn - 1.0);
    const double sumTT = dn * (dn * dn - 1.0) / 12.0;
    double sum = 0.0;
    double sumTX = 0.0;
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += values[i];
        sumTX += (static_cast<double>(i) - mid) * values[i];
        largest = std::max(largest, std::fabs(values[i]));
    }
    double offset = sum / dn; // of the line at mid
    double slope = sumTX / sumTT;
    double maxAbs = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        r[i] -= offset + slope * (static_cast<double>(i) - mid);
        maxAbs = std::max(maxAbs, std::fabs(r[i]));
    }

    // What is left of an exact line is rounding; such a log has no periodic error.
    if (maxAbs > 1e-12 * std::max(1.0, largest)) {
        Workspace& w = *work_;
        std::vector<double> candidates;
        if (w.spectrum(r.data(), n, maxAbs, result, candidates) && !candidates.empty()) {
            w.prepareBlocks(r.data(), n);
            Model model;
            model.count = candidates.size();
            std::copy(candidates.begin(), candidates.end(), model.frequency.begin());
            // Fit all, refine each frequency against the others, fit all again. A set the fit cannot
            // separate loses its weakest peak until it can.
            while (model.count > 0 && !w.jointFit(r.data(), n, model))
                model.remove(model.count - 1);
            // Two rounds: the second refines each frequency against the others as the first left them.
            for (int round = 0; round < 2 && model.count > 0; ++round) {
                for (std::size_t k = 0; k < model.count; ++k)
                    model.frequency[k] = w.refine(r.data(), n, model, k);
                while (model.count > 0 && !w.jointFit(r.data(), n, model))
                    model.remove(model.count - 1);
            }
            // The line and the components reported must be one model: a component that fails the period
            // rules (fewer than two whole cycles, at or above the Nyquist frequency, no finite amplitude)
            // or is too faint leaves the fit, and the rest is fitted again, so that it tilts neither the
            // drift line nor the figures of the curve about it.
            const Model fitted = model;
            if (dropFailing(model, dn)) {
                while (model.count > 0 && !w.jointFit(r.data(), n, model))
                    model.remove(model.count - 1);
                if (w.dropLeakage(n, fitted, model)) {
                    while (model.count > 0 && !w.jointFit(r.data(), n, model))
                        model.remove(model.count - 1);
                }
            }
            while (model.count > 1 && dropFaint(model)) {
                while (model.count > 0 && !w.jointFit(r.data(), n, model))
                    model.remove(model.count - 1);
            }
            if (model.count == 0)
                model = Model{}; // a plain least-squares line
            offset += model.offset;
            slope += model.slope;
            for (std::size_t i = 0; i < n; ++i)
                r[i] -= model.offset + model.slope * (static_cast<double>(i) - mid);
            for (std::size_t k = 0; k < model.count; ++k) {
                const double f = model.frequency[k];
                const double amplitude = std::hypot(model.a[k], model.b[k]);
                // a cos x + b sin x = A sin(x + phase) with A sin(phase) = a, A cos(phase) = b.
                double phase = std::atan2(model.a[k], model.b[k]) * 180.0 / std::numbers::pi;
                if (phase < 0.0)
                    phase += 360.0;
                if (phase >= 360.0)
                    phase = 0.0;
                PeComponent c;
                c.periodSamples = 1.0 / f;
                c.periodSeconds = result.hasTime ? c.periodSamples * sampleSeconds : 0.0;
                c.amplitudeArcsec = amplitude;
                c.phaseDeg = phase;
                result.components.push_back(c);
            }
            std::stable_sort(result.components.begin(), result.components.end(),
                             [](const PeComponent& x, const PeComponent& y) {
                                 return x.amplitudeArcsec > y.amplitudeArcsec;
                             });
        }
        const CurveSpread spread = curveSpread(r.data(), n);
        result.peakToPeakArcsec = spread.peakToPeak;
        result.rmsArcsec = spread.rms;
    }
    result.driftArcsecPerSample = slope;
    result.driftStartArcsec = offset - slope * mid;
    if (result.hasTime)
        result.driftArcsecPerSecond = slope / sampleSeconds;
    return true;
}
