// The frame parser alone: a captured-like stream of controller frames cut into frames, with a handler
// that only looks at each frame. Build target astrelvo_bench_parser; not part of the test suite.
#include "engine/FrameParser.h"
#include "tools/bench/BenchLink.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int kRecordLength = 16;
constexpr int kRecordsPerBlock = (rz4::kMaxBlockData - 1) / kRecordLength; // 127
constexpr int kEngineChunk = 31; // the serial reader hands the engine at most this many bytes per event

class CountingHandler : public iFrameHandler {
public:
    int onFrame(const uint8_t* frame, int length) override {
        ++frames;
        bytes += static_cast<uint64_t>(length);
        checksum += frame[length - 1];
        return 0;
    }
    uint64_t frames = 0;
    uint64_t bytes = 0;
    uint32_t checksum = 0;
};

void appendBlock(std::vector<uint8_t>& out, uint32_t& recordIndex) {
    const uint32_t declared = 1 + kRecordsPerBlock * kRecordLength;
    out.push_back('R');
    out.push_back(static_cast<uint8_t>(declared));
    out.push_back(static_cast<uint8_t>(declared >> 8));
    out.push_back(83);
    for (int r = 0; r < kRecordsPerBlock; ++r, ++recordIndex) {
        // Time stamp, then positions that wander through every byte value (including 'U' and 'R').
        const uint32_t words[4] = {recordIndex, recordIndex * 2654435761u, recordIndex ^ 0x55525552u,
                                   0x02000400u};
        for (uint32_t w : words)
            for (int b = 0; b < 4; ++b)
                out.push_back(static_cast<uint8_t>(w >> (8 * b)));
    }
}

void appendShort(std::vector<uint8_t>& out, int payload) {
    out.push_back('U');
    out.push_back(static_cast<uint8_t>(payload));
    for (int i = 0; i < payload; ++i)
        out.push_back(static_cast<uint8_t>(i * 7));
}

// About 64 KB of block frames, as the logging cycle receives them.
std::vector<uint8_t> blockStream() {
    std::vector<uint8_t> out;
    uint32_t index = 0;
    while (out.size() < 65536)
        appendBlock(out, index);
    return out;
}

// Handshake-sized short frames with a few noise bytes between them.
std::vector<uint8_t> shortStream() {
    std::vector<uint8_t> out;
    for (int i = 0; out.size() < 65536; ++i) {
        appendShort(out, 5 + i % 20);
        out.push_back(0x00);
        out.push_back(0xFF);
    }
    return out;
}

void runParser(benchmark::State& state, const std::vector<uint8_t>& stream, int chunk) {
    CountingHandler handler;
    FrameParser parser(&handler);
    const int size = static_cast<int>(stream.size());
    for (auto _ : state) {
        for (int at = 0; at < size; at += chunk) {
            const int n = std::min(chunk, size - at);
            benchmark::DoNotOptimize(parser.parseFrameBytes(stream.data() + at, n));
        }
        benchmark::ClobberMemory();
    }
    if (handler.frames == 0)
        state.SkipWithError("no frame was parsed");
    benchmark::DoNotOptimize(handler.checksum);
    reportLinkRatio(state, static_cast<double>(state.iterations()) * size);
    state.counters["frames"] =
        benchmark::Counter(static_cast<double>(handler.frames), benchmark::Counter::kIsRate);
}

// Block frames in the engine's event-sized chunks (the program's case) and in one call per 64 KB.
void BM_ParseBlockFrames(benchmark::State& state) {
    runParser(state, blockStream(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ParseBlockFrames)->Arg(kEngineChunk)->Arg(65536);

void BM_ParseShortFrames(benchmark::State& state) {
    runParser(state, shortStream(), kEngineChunk);
}
BENCHMARK(BM_ParseShortFrames);

} // namespace

BENCHMARK_MAIN();
