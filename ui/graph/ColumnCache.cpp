#include "ui/graph/ColumnCache.h"

#include "ui/graph/GraphSeries.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

void ColumnCache::reset(uint64_t capacity, int columns) {
    if (columns <= 0 || capacity < static_cast<uint64_t>(columns)) {
        capacity = 0;
        columns = 0;
    }
    capacity_ = capacity;
    columns_ = columns;
    folded_ = 0;
    columns_data_.assign(static_cast<size_t>(columns), Column{});
}

int ColumnCache::columnOf(uint64_t sample) const {
    // capacity and columns are far below 2^32, so the product stays inside 64 bits.
    return capacity_ == 0 ? 0 : static_cast<int>(sample * static_cast<uint64_t>(columns_) / capacity_);
}

uint64_t ColumnCache::firstOf(int column) const {
    if (columns_ == 0)
        return 0;
    const uint64_t c = static_cast<uint64_t>(column);
    const uint64_t w = static_cast<uint64_t>(columns_);
    return (c * capacity_ + w - 1) / w;
}

void ColumnCache::fold(const GraphSeries& series, uint64_t end) {
    end = std::min({end, capacity_, series.count()});
    if (end <= folded_)
        return;
    if (const int32_t* counts = series.counts())
        foldValues(counts, end);
    else if (const double* values = series.values())
        foldValues(values, end);
}

template <typename T> void ColumnCache::foldValues(const T* values, uint64_t end) {
    int c = columnOf(folded_);
    while (folded_ < end) {
        const uint64_t stop = std::min(end, firstOf(c + 1));
        Column& col = columns_data_[static_cast<size_t>(c)];
        uint64_t i = folded_;
        if (col.count == 0) {
            // The column's first finite value opens it.
            if constexpr (std::is_floating_point_v<T>) {
                while (i < stop && !std::isfinite(static_cast<double>(values[i])))
                    ++i;
            }
            if (i < stop) {
                const double v = static_cast<double>(values[i]);
                col.min = col.max = col.first = col.last = v;
                col.sum = 0.0;
            }
        }
        double lo = col.min;
        double hi = col.max;
        double last = col.last;
        double sum = 0.0;
        uint64_t finite = 0;
        for (; i < stop; ++i) {
            const double v = static_cast<double>(values[i]);
            if constexpr (std::is_floating_point_v<T>) {
                if (!std::isfinite(v))
                    continue;
            }
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
            sum += v;
            last = v;
            ++finite;
        }
        if (finite > 0) {
            col.min = lo;
            col.max = hi;
            col.last = last;
            col.sum += sum;
            col.count += finite;
        }
        folded_ = stop;
        ++c;
    }
}

ColumnCache::Column ColumnCache::total() const {
    Column all;
    bool any = false;
    for (const Column& col : columns_data_) {
        if (col.count == 0)
            continue;
        if (!any) {
            all.min = col.min;
            all.max = col.max;
            all.first = col.first;
            any = true;
        }
        all.min = std::min(all.min, col.min);
        all.max = std::max(all.max, col.max);
        all.last = col.last;
        all.sum += col.sum;
        all.count += col.count;
    }
    return all;
}
