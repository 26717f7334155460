#include "ui/graph/VerticalFit.h"

#include <algorithm>
#include <cmath>

namespace {

// The 1-2-5 series of label steps in whole arc-seconds, up to far beyond a full turn.
constexpr int kSteps[] = {1,        2,        5,        10,        20,        50,        100,
                          200,      500,      1000,     2000,      5000,      10000,     20000,
                          50000,    100000,   200000,   500000,    1000000,   2000000,   5000000,
                          10000000, 20000000, 50000000, 100000000, 200000000, 500000000, 1000000000};

// A curve thinner than this (arc-seconds either side of the zero line) is fitted as if it were this wide.
constexpr double kMinHalfSpan = 0.01;

} // namespace

int VerticalFit::halfHeight(int zeroY, int plotHeight) {
    return std::max(0, std::min(zeroY, plotHeight - 1 - zeroY));
}

VerticalFit::AutoScale VerticalFit::fitAuto(double lo, double hi, double mean, bool centred, int halfHeight) {
    AutoScale fit;
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        lo = hi = 0.0;
    if (!std::isfinite(mean))
        mean = (lo + hi) / 2;
    const double base = centred ? mean : 0.0;
    fit.baseArcsec = base;
    for (int step : kSteps) {
        const double halfSpan = std::max({hi - base, base - lo, kMinHalfSpan});
        const double pixelsPerArcsec = halfHeight / ((1.0 + kMargin) * halfSpan);
        fit.labelArcsec = step;
        if (step * pixelsPerArcsec >= kMinLabelStep) {
            // Whole pixels between labels, rounded down so that the curve still fits; a curve thinner than
            // one label step keeps a label on each side of the zero line where the height allows.
            const double wanted = std::floor(step * pixelsPerArcsec);
            const int cap = std::max(kMinLabelStep, halfHeight - 15);
            fit.labelStep = static_cast<int>(std::min<double>(wanted, cap));
            return fit;
        }
    }
    fit.labelStep = kMinLabelStep;
    return fit;
}

VerticalMapping VerticalFit::map(const Choice& choice, const VisibleCurve& curve) {
    VerticalMapping m;
    const bool fitted = choice.autoScale && choice.arcsecPerUnit > 0.0 && std::isfinite(choice.arcsecPerUnit);
    const bool hasMean = curve.count > 0 && std::isfinite(curve.mean);
    if (!fitted) {
        m.labelStep = choice.fixedLabelStep;
        m.labelArcsec = choice.fixedLabelArcsec;
        m.pixelsPerUnit = choice.fixedPixelsPerUnit;
        m.base = choice.centre && hasMean ? curve.mean : 0.0;
        m.offset = choice.centre || choice.autoScale ? 0 : choice.verticalOffset;
        return m;
    }
    const double k = choice.arcsecPerUnit;
    double lo = 0.0;
    double hi = 0.0;
    double mean = 0.0;
    if (curve.count > 0) {
        lo = curve.min * k;
        hi = curve.max * k;
        mean = hasMean ? curve.mean * k : (lo + hi) / 2;
    }
    const AutoScale fit = fitAuto(lo, hi, mean, choice.centre, halfHeight(choice.zeroY, choice.plotHeight));
    m.labelStep = fit.labelStep;
    m.labelArcsec = fit.labelArcsec;
    m.pixelsPerUnit = static_cast<double>(fit.labelStep) / fit.labelArcsec * k;
    m.base = fit.baseArcsec / k;
    return m;
}

bool VerticalFit::needsRefit(const VerticalMapping& current, const Choice& choice,
                             const VisibleCurve& curve) {
    if ((!choice.autoScale && !choice.centre) || curve.count == 0)
        return false;
    const double ppu = current.pixelsPerUnit;
    if (choice.centre && std::isfinite(curve.mean) &&
        std::abs(curve.mean - current.base) * ppu > kCentreSlackPixels)
        return true;
    if (!choice.autoScale)
        return false;
    const double top = (curve.min - current.base) * ppu;    // pixels below the zero line (negative: above)
    const double bottom = (curve.max - current.base) * ppu; //
    if (top < -choice.zeroY || bottom > choice.plotHeight - 1 - choice.zeroY)
        return true;
    if ((bottom - top) * 4 < choice.plotHeight) {
        const VerticalMapping finer = map(choice, curve);
        return finer.labelStep != current.labelStep || finer.labelArcsec != current.labelArcsec;
    }
    return false;
}
