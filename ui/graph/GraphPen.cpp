#include "ui/graph/GraphPen.h"

#include <QPainter>

#include <algorithm>

namespace {

// Coordinates further out than this are pulled in first, which keeps the line arithmetic inside 64 bits
// without changing any visible pixel of the graph's lines.
constexpr int64_t kCoordinateLimit = int64_t{1} << 24;

int64_t clampCoordinate(int64_t v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

} // namespace

void GraphPen::moveTo(int64_t x, int64_t y) {
    x_ = clampCoordinate(x);
    y_ = clampCoordinate(y);
}

void GraphPen::fill(const QColor& colour, const QRect& area) {
    const QRect run = area & clip_;
    if (run.isEmpty())
        return;
    painter_.fillRect(run, colour);
    dirty_ |= run;
}

void GraphPen::lineTo(const QColor& colour, int64_t x, int64_t y) {
    const int64_t x0 = x_;
    const int64_t y0 = y_;
    moveTo(x, y);
    const int64_t dx = x_ - x0;
    const int64_t dy = y_ - y0;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0)
        return;

    const bool yMajor = ady > adx;
    const int64_t steps = yMajor ? ady : adx;
    const int64_t minorSpan = yMajor ? adx : ady;
    const int64_t major0 = yMajor ? y0 : x0;
    const int64_t minor0 = yMajor ? x0 : y0;
    const int64_t majorDir = (yMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t minorDir = (yMajor ? dx : dy) < 0 ? -1 : 1;
    // Steps outside the clip's extent along the longer axis are skipped without being visited.
    const int64_t majorLow = yMajor ? clip_.top() : clip_.left();
    const int64_t majorHigh = yMajor ? clip_.bottom() : clip_.right();

    int64_t kFrom = 0;
    int64_t kTo = 0;
    if (majorDir > 0) {
        kFrom = std::max<int64_t>(0, majorLow - major0);
        kTo = std::min<int64_t>(steps - 1, majorHigh - major0);
    } else {
        kFrom = std::max<int64_t>(0, major0 - majorHigh);
        kTo = std::min<int64_t>(steps - 1, major0 - majorLow);
    }
    if (kFrom > kTo)
        return;

    auto minorAt = [&](int64_t k) { return minor0 + minorDir * ((2 * k * minorSpan + steps) / (2 * steps)); };
    auto flush = [&](int64_t kA, int64_t kB, int64_t minor) {
        const int64_t a = major0 + majorDir * kA;
        const int64_t b = major0 + majorDir * kB;
        const int lo = static_cast<int>(std::min(a, b));
        const int length = static_cast<int>((a < b ? b - a : a - b) + 1);
        const int m = static_cast<int>(std::clamp<int64_t>(minor, -kCoordinateLimit, kCoordinateLimit));
        fill(colour, yMajor ? QRect(m, lo, 1, length) : QRect(lo, m, length, 1));
    };

    // Consecutive points with the same minor coordinate form one rectangle.
    int64_t runStart = kFrom;
    int64_t runMinor = minorAt(kFrom);
    for (int64_t k = kFrom + 1; k <= kTo; ++k) {
        const int64_t minor = minorAt(k);
        if (minor != runMinor) {
            flush(runStart, k - 1, runMinor);
            runStart = k;
            runMinor = minor;
        }
    }
    flush(runStart, kTo, runMinor);
}
