#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

// The serial link's limit: 115200 baud, 10 bits per byte on the line.
constexpr double kLinkBytesPerSecond = 11520.0;

// Reports a byte count as a throughput ratio to the link limit ("x_link" in the output).
inline void reportLinkRatio(benchmark::State& state, double bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["x_link"] = benchmark::Counter(bytes / kLinkBytesPerSecond, benchmark::Counter::kIsRate);
}
