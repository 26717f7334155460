#pragma once

#include "model/store/Settings.h"

#include <cstdint>

// Where each sample lies horizontally, in columns from the plot's left edge, for the three time axes:
// - SamplePerPixel: sample i in column i; samples from column width on are not shown;
// - FollowNewest: the same until the plot is full, then the newest sample stays in the last column;
// - WholeRun: `capacity` samples fitted into the width. With more samples than columns, sample i belongs
//   to column i * width / capacity (the picture shows each column's smallest and largest value); with
//   fewer, the samples are spread out with the last one in the last column.
// A live store's capacity grows by doubling from the width (up to the store's size), so that most
// batches keep the layout; a finished log is fitted exactly. Plain value type, UI thread.
class TimeAxisLayout {
public:
    // growCapacity: the samples still grow (live); maxCapacity: the most they can become.
    void update(TimeAxis axis, int width, uint64_t count, bool growCapacity, uint64_t maxCapacity);
    // Whether count samples still fit the layout made by the last update.
    bool fits(uint64_t count) const;

    TimeAxis axis() const { return axis_; }
    int width() const { return width_; }
    // FollowNewest: the first sample shown; 0 otherwise.
    uint64_t first() const { return first_; }
    // WholeRun: the samples the width stands for.
    uint64_t capacity() const { return capacity_; }
    // WholeRun with more samples than columns: drawn as a smallest-to-largest span per column.
    bool spans() const { return axis_ == TimeAxis::WholeRun && capacity_ > static_cast<uint64_t>(width_); }

    // Column of sample i; outside 0 .. width - 1 when the sample is not shown.
    int64_t columnOf(uint64_t i) const;
    // The samples shown of count stored: begin .. end - 1.
    uint64_t visibleBegin() const { return first_; }
    uint64_t visibleEnd(uint64_t count) const;
    // The sample shown nearest to column; false when the column shows none. For spans, begin .. end - 1
    // are the column's samples; otherwise begin is the sample and end = begin + 1.
    bool samplesAt(int64_t column, uint64_t count, uint64_t& begin, uint64_t& end) const;

private:
    TimeAxis axis_ = TimeAxis::SamplePerPixel;
    int width_ = 0;
    uint64_t first_ = 0;
    uint64_t capacity_ = 0;
};
