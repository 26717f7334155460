// Periodic-error analysis over a full sample store (200,000 samples), as the main dialog runs it while
// data arrives. Build target astrelvo_bench_pe; not part of the test suite.
#include "model/analysis/PeAnalysis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kSamples = 200000;
constexpr uint32_t kBits = 24;

// Drift, one periodic error of the given period, a weaker second harmonic and noise, in 24-bit counts.
std::vector<int32_t> makeLog(double period) {
    std::vector<int32_t> counts(kSamples);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.5);
    const double scale = 1296000.0 / std::ldexp(1.0, kBits);
    for (uint32_t i = 0; i < kSamples; ++i) {
        const double phase = 2.0 * std::numbers::pi * i / period;
        const double arcsec =
            0.01 * i + 7.0 * std::sin(phase) + 2.0 * std::sin(2.0 * phase + 1.0) + noise(rng);
        counts[i] = static_cast<int32_t>(std::llround(arcsec / scale));
    }
    return counts;
}

// Period as argument: 64 samples (thousands of cycles) and 20000 samples (ten cycles, which adds the
// refinement on the exact windowed transform).
void BM_PeAnalysisFullStore(benchmark::State& state) {
    const std::vector<int32_t> counts = makeLog(static_cast<double>(state.range(0)));
    PeAnalysis analysis;
    for (auto _ : state) {
        PeResult r = analysis.analyse(counts.data(), kSamples, kBits, 4, 0);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_PeAnalysisFullStore)->Arg(64)->Arg(20000)->Unit(benchmark::kMillisecond);

// One-shot form, which also allocates its buffers and FFT plan on every call.
void BM_PeAnalysisOneShot(benchmark::State& state) {
    const std::vector<int32_t> counts = makeLog(64.0);
    for (auto _ : state) {
        PeResult r = analysePeriodicError(counts.data(), kSamples, kBits, 4, 0);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_PeAnalysisOneShot)->Unit(benchmark::kMillisecond);

// Formatting the dialog line.
void BM_PeFormatLine(benchmark::State& state) {
    PeResult r;
    r.valid = r.hasRate = r.hasPeriod = true;
    r.peakToPeakArcsec = 14.0;
    r.rmsArcsec = 4.95;
    r.dominantPeriodSamples = 64.0;
    r.dominantPeriodSeconds = 16.0;
    r.driftArcsecPerSample = 0.0213;
    char buf[128];
    for (auto _ : state)
        benchmark::DoNotOptimize(formatPeLine(buf, sizeof buf, r));
}
BENCHMARK(BM_PeFormatLine);

} // namespace

BENCHMARK_MAIN();
