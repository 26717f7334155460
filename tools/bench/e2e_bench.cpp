// End to end: block frames written on the master side of a pseudo-terminal travel through the serial
// reader, the engine's event pipe, the frame parser and the session, the record channel and land as
// samples in the store; and the CPU an idle connected program spends on its ticks. Build target
// astrelvo_bench_e2e; not part of the test suite.
#include "emulator/Rz4Emulator.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "rz4/StatusCode.h"
#include "tools/bench/BenchLink.h"
#include "tools/bench/PtyController.h"
#include "tools/cli/ConsoleProgram.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Opens the pseudo-terminal, connects the engine to its slave side and answers the handshake.
bool connect(ConsoleProgram& cli, PtyController& controller) {
    if (!controller.open())
        return false;
    cli.engine().setPortPath(1, controller.slavePath().c_str());
    cli.engine().Connect(1);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        cli.pumpUntil([] { return true; }, 0);
        if (cli.lastStatus() == StatusConnected)
            return cli.model().recordLength == PtyController::kRecordLength;
        if (ConsoleProgram::isErrorStatus(cli.lastStatus()))
            return false;
        controller.serve(10);
    }
    return false;
}

// One block per iteration: FetchLog puts the session in AwaitBlock and sends the block request; the
// controller answers with a full block (127 records, 2,036 bytes) and the main thread, playing the UI
// thread, pumps the notifications until every record is a sample in the store.
//   Arg 0: the time of the whole cycle (command, request on the line, block, records in the store).
//   Arg 1: only from the block's first byte written to its last record stored (bytes -> records).
void BM_EndToEndBlocks(benchmark::State& state) {
    const bool bytesToRecordsOnly = state.range(0) == 1;
    ConsoleProgram cli;
    PtyController controller;
    if (!connect(cli, controller)) {
        state.SkipWithError("the engine did not connect to the pseudo-terminal");
        return;
    }
    AppModel& model = cli.model();
    double bytes = 0;
    double requestSeconds = 0; // command to block request read on the line, summed
    uint64_t records = 0;
    for (auto _ : state) {
        if (model.sampleCount + 1000 > AppModel::kMaxSamples)
            model.clear();
        const auto cycleStart = Clock::now();
        cli.engine().FetchLog();
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
        if (!cli.pumpUntil([&] { return model.sampleCount >= target; }, 5000, false)) {
            state.SkipWithError("records did not arrive in the store");
            break;
        }
        const auto end = Clock::now();
        state.SetIterationTime(
            std::chrono::duration<double>(end - (bytesToRecordsOnly ? writeStart : cycleStart)).count());
        requestSeconds += std::chrono::duration<double>(writeStart - cycleStart).count();
        bytes += static_cast<double>(size);
        records += count;
    }
    reportLinkRatio(state, bytes);
    if (state.iterations() > 0)
        state.counters["request_us"] = 1e6 * requestSeconds / static_cast<double>(state.iterations());
    state.counters["records"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EndToEndBlocks)->Arg(0)->Arg(1)->UseManualTime()->MinTime(3.0);

// CPU of the windowless program connected to the emulator and idle (ticks only, no logging), over
// ten seconds of wall time. The emulator runs in a child process so its own CPU is not counted.
double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void BM_IdleConnectedCpu(benchmark::State& state) {
    int toParent[2];
    int toChild[2];
    if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) {
        state.SkipWithError("pipe");
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        Rz4Emulator emulator;
        if (emulator.start()) {
            const std::string& path = emulator.slavePath();
            (void)!::write(toParent[1], path.c_str(), path.size() + 1);
        }
        char c;
        while (::read(toChild[0], &c, 1) > 0) {
        }
        emulator.stop();
        ::_exit(0);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    char path[256] = {};
    const ssize_t got = ::read(toParent[0], path, sizeof path - 1);
    ::close(toParent[0]);
    if (got <= 0) {
        state.SkipWithError("the emulator did not start");
    } else {
        ConsoleProgram cli;
        cli.engine().setPortPath(1, path);
        cli.engine().Connect(1);
        const bool connected =
            cli.pumpUntil([&] { return cli.lastStatus() == StatusConnected; }, 15000, false);
        if (!connected) {
            state.SkipWithError("no connection to the emulator");
        } else {
            for (auto _ : state) {
                const auto wallStart = Clock::now();
                const double cpuStart = processCpuSeconds();
                // The command-line program's main loop: wait for notifications, of which idle has none.
                cli.pumpUntil([] { return false; }, static_cast<int>(state.range(0)), false);
                const double cpu = processCpuSeconds() - cpuStart;
                const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
                state.SetIterationTime(wall);
                state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
                state.counters["cpu_ms"] = cpu * 1000.0;
            }
        }
    }
    ::close(toChild[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
}
BENCHMARK(BM_IdleConnectedCpu)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
