// The program's own wiring with its main dialog, offscreen: end to end from block frames written on a
// pseudo-terminal to samples in the store (with the dialog's counter line and graph drawing on every
// batch), and the CPU of the idle connected program. Build target astrelvo_bench_gui; not part of the
// test suite.
#include "app/Program.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "rz4/StatusCode.h"
#include "tools/bench/BenchLink.h"
#include "tools/bench/PtyController.h"
#include "ui/main/DlgMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The program's objects with the main dialog attached and shown; taken apart in the program's order.
// UI thread.
class GuiProgram {
public:
    GuiProgram() {
        dialog_ = std::make_unique<DlgMain>(&program_.model(), &program_.engine(), &program_.channel());
        program_.attach(dialog_.get(), dialog_->noticeSender());
        program_.start();
        dialog_->show();
    }
    ~GuiProgram() {
        program_.stop();
        dialog_.reset();
    }
    GuiProgram(const GuiProgram&) = delete;
    GuiProgram& operator=(const GuiProgram&) = delete;

    CommControl& engine() { return program_.engine(); }
    AppModel& model() { return program_.model(); }

    // Runs the event loop until done() or the time runs out; returns done()'s last value.
    static bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        QTimer wake; // the wait below never outlasts a few milliseconds
        wake.start(5);
        while (!done()) {
            if (Clock::now() >= deadline)
                return done();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

private:
    Program program_;
    std::unique_ptr<DlgMain> dialog_;
};

bool connect(GuiProgram& program, PtyController& controller) {
    if (!controller.open())
        return false;
    program.engine().setPortPath(1, controller.slavePath().c_str());
    program.engine().Connect(1);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (program.model().recordLength == PtyController::kRecordLength)
            return true;
        controller.serve(10);
    }
    return false;
}

// As the windowless end-to-end benchmark: one full block per iteration, requested with FetchLog, timed
// from its first byte on the line to its last record stored (and drawn).
void BM_GuiEndToEndBlocks(benchmark::State& state) {
    GuiProgram program;
    PtyController controller;
    if (!connect(program, controller)) {
        state.SkipWithError("the engine did not connect to the pseudo-terminal");
        return;
    }
    AppModel& model = program.model();
    double bytes = 0;
    uint64_t records = 0;
    for (auto _ : state) {
        if (model.sampleCount + 1000 > AppModel::kMaxSamples)
            model.clear();
        program.engine().FetchLog();
        const int asked = controller.awaitBlockRequest(5000);
        if (asked <= 0) {
            state.SkipWithError("no block request from the engine");
            break;
        }
        const std::size_t size = controller.buildBlock(static_cast<uint32_t>(asked));
        const uint32_t count = static_cast<uint32_t>((size - 4) / PtyController::kRecordLength);
        const uint32_t target = model.sampleCount + count;
        const auto writeStart = Clock::now();
        if (!controller.writeBlock()) {
            state.SkipWithError("the line failed");
            break;
        }
        if (!GuiProgram::pumpUntil([&] { return model.sampleCount >= target; }, 5000)) {
            state.SkipWithError("records did not arrive in the store");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - writeStart).count());
        bytes += static_cast<double>(size);
        records += count;
    }
    reportLinkRatio(state, bytes);
    state.counters["records"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GuiEndToEndBlocks)->UseManualTime()->MinTime(3.0);

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Connected and idle (ticks only): the dialog's event loop runs for the argument's milliseconds. The
// controller side answers in this process but only sees the block-free line, so it adds nothing.
void BM_GuiIdleConnectedCpu(benchmark::State& state) {
    GuiProgram program;
    PtyController controller;
    if (!connect(program, controller)) {
        state.SkipWithError("the engine did not connect to the pseudo-terminal");
        return;
    }
    GuiProgram::pumpUntil([] { return false; }, 1000); // let the connection's status and layout settle
    for (auto _ : state) {
        const auto wallStart = Clock::now();
        const double cpuStart = processCpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(state.range(0)), &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = processCpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
        state.SetIterationTime(wall);
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
        state.counters["cpu_ms"] = cpu * 1000.0;
    }
}
BENCHMARK(BM_GuiIdleConnectedCpu)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
