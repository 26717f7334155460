#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GraphSeries;

// The whole-run picture's summary of each pixel column: smallest, largest, first and last value and the
// sum of the samples that fall into it. Kept up to date as samples arrive, so that a full paint reads one
// entry per column instead of every sample, and no single-sample peak is lost. Sample i belongs to column
// i * columns / capacity. Non-finite values are left out. UI thread only (owned by the graph).
class ColumnCache {
public:
    struct Column {
        double min = 0.0;
        double max = 0.0;
        double first = 0.0;
        double last = 0.0;
        double sum = 0.0;
        uint64_t count = 0; // finite samples in the column
    };

    // Maps capacity samples onto columns columns and empties the cache; capacity >= columns > 0.
    void reset(uint64_t capacity, int columns);
    void clear() { reset(0, 0); }
    bool matches(uint64_t capacity, int columns) const {
        return capacity == capacity_ && columns == columns_;
    }

    uint64_t capacity() const { return capacity_; }
    int columns() const { return columns_; }
    // Samples folded in so far, from sample 0.
    uint64_t folded() const { return folded_; }
    int columnOf(uint64_t sample) const;
    // The first sample of column c (c may be columns(), giving capacity()).
    uint64_t firstOf(int column) const;

    // Folds samples folded() .. end - 1 of the series in; end is limited to the capacity and the series.
    void fold(const GraphSeries& series, uint64_t end);
    const Column& column(int c) const { return columns_data_[static_cast<size_t>(c)]; }
    // The columns combined: every folded finite sample.
    Column total() const;

private:
    template <typename T> void foldValues(const T* values, uint64_t end);

    uint64_t capacity_ = 0;
    int columns_ = 0;
    uint64_t folded_ = 0;
    std::vector<Column> columns_data_;
};
