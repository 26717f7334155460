// The encoder graph drawing offscreen: drawNew of one data block and a full paint of a 1920-pixel-wide
// picture over a full sample store, in each time axis, and the whole run of a four-million-sample log.
// Build target astrelvo_bench_graph; not part of the test suite.
#include "model/store/AppModel.h"
#include "ui/graph/EncoderGraph.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 600;
constexpr uint32_t kBlockRecords = 127; // one block of 16-byte records

// A tracking error of a few arc-seconds on a 25-bit encoder: periodic error, a harmonic and noise.
// amplitude scales it, so that a steep curve (long vertical strokes) can be drawn too.
std::unique_ptr<AppModel> makeModel(double amplitude) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.encoderBits = 25;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.3);
    constexpr double countsPerArcsec = 25.89;
    for (uint32_t i = 0; i < AppModel::kMaxSamples; ++i) {
        const double phase = 2.0 * std::numbers::pi * i / 480.0;
        const double arcsec = 7.0 * std::sin(phase) + 2.0 * std::sin(2.0 * phase + 1.0) + noise(rng);
        model->samples[i] = static_cast<int32_t>(std::lround(amplitude * arcsec * countsPerArcsec));
    }
    model->sampleCount = AppModel::kMaxSamples;
    return model;
}

std::unique_ptr<EncoderGraph> makeGraph(AppModel* model, TimeAxis axis = TimeAxis::SamplePerPixel) {
    model->displaySettings.timeAxis = axis;
    auto graph = std::make_unique<EncoderGraph>(model);
    graph->setEncoderBits(25);
    graph->setScale(model->displaySettings.scaleIndex);
    graph->resize(kWidth, kHeight);
    graph->invalidate(); // builds the backing image once
    return graph;
}

// Arg: amplitude factor of the curve (1: a typical periodic error; 20: a steep, noisy one).
void BM_GraphFullPaint(benchmark::State& state) {
    auto model = makeModel(static_cast<double>(state.range(0)));
    auto graph = makeGraph(model.get());
    if (graph->image().isNull() || graph->plotWidth() != kWidth - EncoderGraph::kLeftMargin) {
        state.SkipWithError("the graph has no picture");
        return;
    }
    for (auto _ : state) {
        graph->invalidate();
        benchmark::DoNotOptimize(graph->image().constBits());
    }
}
BENCHMARK(BM_GraphFullPaint)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

// One block of new samples, joined to the curve before it, at positions that walk across the plot.
void BM_GraphDrawNewBlock(benchmark::State& state) {
    auto model = makeModel(static_cast<double>(state.range(0)));
    auto graph = makeGraph(model.get());
    if (graph->image().isNull()) {
        state.SkipWithError("the graph has no picture");
        return;
    }
    const uint32_t span = static_cast<uint32_t>(graph->plotWidth()) - kBlockRecords;
    uint32_t first = 1;
    for (auto _ : state) {
        graph->drawNew(first, kBlockRecords);
        first = 1 + (first + kBlockRecords) % span;
        benchmark::DoNotOptimize(graph->image().constBits());
    }
}
BENCHMARK(BM_GraphDrawNewBlock)->Arg(1)->Arg(20)->Unit(benchmark::kMicrosecond);

// Whole run, full paint. Arg 0: samples (200,000: the full live store; more: an offline log of that many
// samples); arg 1: 1 when the per-column summary is kept (a repaint after a settings change), 0 when it
// is built afresh from every sample (new data, a new log).
void BM_GraphWholeRunFullPaint(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    const bool cached = state.range(1) != 0;
    auto model = makeModel(1.0);
    std::vector<double> log;
    auto graph = makeGraph(model.get(), TimeAxis::WholeRun);
    if (count > AppModel::kMaxSamples) {
        log.resize(count);
        for (size_t i = 0; i < count; ++i)
            log[i] = model->samples[i % AppModel::kMaxSamples] / 25.89;
        graph->showLog(LogSeries{log.data(), log.size(), nullptr, 1.0 / 128});
    }
    if (graph->image().isNull() || graph->layout().capacity() != count) {
        state.SkipWithError("the graph does not show the whole run");
        return;
    }
    for (auto _ : state) {
        if (cached)
            graph->repaint(); // the widget is not shown: this is the paint into the backing image
        else
            graph->invalidate();
        benchmark::DoNotOptimize(graph->image().constBits());
    }
    state.counters["samples"] = static_cast<double>(count);
}
BENCHMARK(BM_GraphWholeRunFullPaint)
    ->Args({200000, 1})
    ->Args({200000, 0})
    ->Args({4000000, 1})
    ->Args({4000000, 0})
    ->Unit(benchmark::kMillisecond);

// One block of new samples while logging live. Arg: the time axis (1 Follow newest, which scrolls the
// plot on every block; 2 Whole run, on a store growing from 100,000 samples).
void BM_GraphDrawNewBlockLive(benchmark::State& state) {
    const auto axis = static_cast<TimeAxis>(state.range(0));
    auto model = makeModel(1.0);
    const uint32_t start = axis == TimeAxis::WholeRun ? 100000 : 20000;
    model->sampleCount = start;
    auto graph = makeGraph(model.get(), axis);
    if (graph->image().isNull()) {
        state.SkipWithError("the graph has no picture");
        return;
    }
    for (auto _ : state) {
        if (model->sampleCount + kBlockRecords > AppModel::kMaxSamples) {
            state.PauseTiming();
            model->sampleCount = start;
            graph->invalidate();
            state.ResumeTiming();
        }
        const uint32_t first = model->sampleCount;
        model->sampleCount += kBlockRecords;
        graph->drawNew(first, kBlockRecords);
        benchmark::DoNotOptimize(graph->image().constBits());
    }
}
BENCHMARK(BM_GraphDrawNewBlockLive)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Offscreen unless the caller chose a platform.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
