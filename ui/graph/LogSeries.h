#pragma once

#include <cstddef>

// An offline log as the graph shows it, without a copy (EncoderGraph::showLog): the caller keeps the
// arrays alive and unchanged while the graph shows them. An opened log's values and times can be passed
// straight through.
struct LogSeries {
    const double* values = nullptr; // arc-seconds, one per sample
    size_t count = 0;
    const double* times = nullptr; // seconds of each sample from the start, or null
    double sampleSeconds = 0.0;    // nominal sample period; 0 when unknown
};
