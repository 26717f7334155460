// Offline logs: reading a 4,000,000-row Astrelvo CSV log and analysing 4,000,000 samples (spectrum,
// harmonics, folding; and as the analysis window does, stretches included), and the peak memory of
// reading and analysing together. Build target astrelvo_bench_log; not part
// of the test suite. Run the ReadAndAnalyse benchmark alone (--benchmark_filter=ReadAndAnalyse) for a
// peak memory figure that holds nothing else.
#include "model/analysis/LogAnalyser.h"
#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"
#include "model/logs/CsvLogWriter.h"
#include "model/logs/LogFileReader.h"
#include "tools/bench/NightCurve.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kSamples = bench::kNightSamples;
constexpr double kSampleSeconds = bench::kNightSampleSeconds;
constexpr uint32_t kBits = bench::kNightBits;
using Night = bench::NightCurve;

// The CSV log, written once per process (streamed: it needs no memory of its own).
const std::string& csvPath() {
    static const std::string path = [] {
        const std::string p = "/tmp/astrelvo-bench-" + std::to_string(getpid()) + ".csv";
        CsvLogWriter writer;
        if (!writer.open(p.c_str()))
            return std::string();
        CsvLogHeader header;
        header.encoderBits = kBits;
        header.sampleSeconds = kSampleSeconds;
        header.started = "2024-05-01T21:03:05Z";
        header.port = "/dev/ttyUSB0";
        writer.writeHeader(header);
        Night night;
        const double countsPerArcsec = std::ldexp(1.0, kBits) / 1296000.0;
        for (std::size_t i = 0; i < kSamples; ++i)
            writer.writeSample(static_cast<int32_t>(i),
                               static_cast<int32_t>(std::lround(night.at(i) * countsPerArcsec)));
        return writer.close() ? p : std::string();
    }();
    return path;
}

struct RemoveCsv {
    ~RemoveCsv() {
        if (!csvPath().empty())
            std::remove(csvPath().c_str());
    }
};

double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ReadCsv4M(benchmark::State& state) {
    static RemoveCsv cleanup;
    const std::string& path = csvPath();
    if (path.empty()) {
        state.SkipWithError("cannot write the CSV log");
        return;
    }
    LoadedLog log;
    for (auto _ : state) {
        LogReadReport report;
        if (!readLogFile(path.c_str(), {}, log, report)) {
            state.SkipWithError(report.errorText().c_str());
            return;
        }
        benchmark::DoNotOptimize(log.values.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(log.size()));
    state.counters["rows"] = static_cast<double>(log.size());
}
BENCHMARK(BM_ReadCsv4M)->Unit(benchmark::kMillisecond)->UseRealTime();

const std::vector<double>& nightValues() {
    static const std::vector<double> values = [] {
        std::vector<double> v(kSamples);
        Night night;
        for (std::size_t i = 0; i < kSamples; ++i)
            v[i] = night.at(i);
        return v;
    }();
    return values;
}

// Arg 1: one PeSpectrum for all iterations (its FFT plan and buffers kept, as a window refreshing its
// analysis has them); arg 0: a new one each time, as astrelvo-cli analyze runs it.
void BM_AnalyseLog4M(benchmark::State& state) {
    const std::vector<double>& values = nightValues();
    PeSpectrum kept;
    PeSpectrumResult result;
    for (auto _ : state) {
        if (state.range(0) == 1) {
            kept.analyse(values.data(), values.size(), kSampleSeconds, result);
        } else {
            PeSpectrum fresh;
            fresh.analyse(values.data(), values.size(), kSampleSeconds, result);
        }
        const PeFoldResult fold = foldCurve(result.detrended.data(), result.detrended.size(),
                                            result.components.front().periodSamples);
        benchmark::DoNotOptimize(fold.meanPeakToPeakArcsec);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
    state.counters["components"] = static_cast<double>(result.components.size());
}
BENCHMARK(BM_AnalyseLog4M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the analysis window does with an opened night: the whole log (spectrum, components, the curve cut
// down for drawing, folding on the dominant period), then each stretch between markers. Arg: markers (0:
// the log is one stretch, whose figures are the whole log's; 3: four stretches, each analysed; with two
// of them compared).
void BM_AnalysisWindow4M(benchmark::State& state) {
    LoadedLog log;
    log.format = LogFormat::Csv;
    log.sampleSeconds = kSampleSeconds;
    log.values = nightValues();
    for (int64_t k = 1; k <= state.range(0); ++k)
        log.markers.push_back({static_cast<std::size_t>(k) * kSamples / 4, "PID 100/40/120"});
    LogAnalysisOptions options;
    if (state.range(0) > 0) {
        options.compareA = 1;
        options.compareB = 2;
    }
    LogAnalyser analyser; // kept, as the window's worker keeps it
    LogAnalysisReport report;
    for (auto _ : state) {
        analyser.analyse(log, options, report);
        benchmark::DoNotOptimize(report.fold.meanPeakToPeakArcsec);
    }
    state.counters["stretches"] = static_cast<double>(report.segments.size());
}
BENCHMARK(BM_AnalysisWindow4M)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// What astrelvo-cli analyze does with the CSV log: read it, analyse it whole, fold it.
void BM_ReadAndAnalyse4M(benchmark::State& state) {
    static RemoveCsv cleanup;
    const std::string& path = csvPath();
    if (path.empty()) {
        state.SkipWithError("cannot write the CSV log");
        return;
    }
    for (auto _ : state) {
        LoadedLog log;
        LogReadReport report;
        readLogFile(path.c_str(), {}, log, report);
        PeSpectrum spectrum;
        PeSpectrumResult result;
        spectrum.analyse(log, 0, log.size(), result);
        const PeFoldResult fold = foldCurve(result.detrended.data(), result.detrended.size(),
                                            result.components.front().periodSamples);
        benchmark::DoNotOptimize(fold.meanPeakToPeakArcsec);
    }
    state.counters["peak_rss_MB"] = peakRssMegabytes();
}
BENCHMARK(BM_ReadAndAnalyse4M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
