#include "ui/graph/TimeAxisLayout.h"

#include <algorithm>

void TimeAxisLayout::update(TimeAxis axis, int width, uint64_t count, bool growCapacity,
                            uint64_t maxCapacity) {
    axis_ = axis;
    width_ = std::max(0, width);
    const uint64_t w = static_cast<uint64_t>(width_);
    first_ = axis == TimeAxis::FollowNewest && count > w ? count - w : 0;
    capacity_ = 0;
    if (axis != TimeAxis::WholeRun || w == 0)
        return;
    if (growCapacity) {
        const uint64_t ceiling = std::max(maxCapacity, w);
        uint64_t c = w;
        while (c < count && c < ceiling)
            c *= 2;
        capacity_ = std::max(std::min(c, ceiling), count);
    } else {
        capacity_ = std::max<uint64_t>(count, 1);
    }
}

bool TimeAxisLayout::fits(uint64_t count) const {
    switch (axis_) {
    case TimeAxis::SamplePerPixel:
        return true;
    case TimeAxis::FollowNewest:
        return count <= static_cast<uint64_t>(width_) && first_ == 0;
    case TimeAxis::WholeRun:
        return count <= capacity_;
    }
    return false;
}

int64_t TimeAxisLayout::columnOf(uint64_t i) const {
    const auto w = static_cast<uint64_t>(width_);
    if (axis_ != TimeAxis::WholeRun)
        return static_cast<int64_t>(i) - static_cast<int64_t>(first_);
    if (capacity_ == 0)
        return -1;
    // Both factors stay far below 2^32, so the products fit 64 bits.
    if (spans())
        return static_cast<int64_t>(i * w / capacity_);
    return capacity_ > 1 ? static_cast<int64_t>(i * (w - 1) / (capacity_ - 1)) : 0;
}

uint64_t TimeAxisLayout::visibleEnd(uint64_t count) const {
    if (axis_ == TimeAxis::SamplePerPixel)
        return std::min<uint64_t>(count, static_cast<uint64_t>(width_));
    if (axis_ == TimeAxis::WholeRun)
        return std::min(count, capacity_);
    return count;
}

bool TimeAxisLayout::samplesAt(int64_t column, uint64_t count, uint64_t& begin, uint64_t& end) const {
    if (column < 0 || column >= width_)
        return false;
    const auto c = static_cast<uint64_t>(column);
    const auto w = static_cast<uint64_t>(width_);
    const uint64_t shown = visibleEnd(count);
    if (axis_ != TimeAxis::WholeRun) {
        begin = first_ + c;
        end = begin + 1;
        return begin < shown;
    }
    if (spans()) {
        begin = (c * capacity_ + w - 1) / w;
        end = std::min(((c + 1) * capacity_ + w - 1) / w, shown);
        return begin < end;
    }
    // Spread out: the nearest sample, rounding half up.
    begin = capacity_ > 1 && w > 1 ? (c * (capacity_ - 1) * 2 + (w - 1)) / ((w - 1) * 2) : 0;
    end = begin + 1;
    return begin < shown;
}
