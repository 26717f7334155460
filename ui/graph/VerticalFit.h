#pragma once

#include <cstdint>

// Where the graph's curve sits vertically. A value v (in the series' unit) is drawn at
//   y = zeroY - offset + trunc((v - base) * pixelsPerUnit),
// so larger values lie lower. The zero line is labelled 0; the labels every labelStep pixels below it count
// up by labelArcsec and those above it count down, so that a point reads as the value it has. base is 0
// unless the curve is centred on its mean.
struct VerticalMapping {
    double pixelsPerUnit = 0.0;
    double base = 0.0; // value at the zero line, in the series' unit
    int labelStep = 20;
    int labelArcsec = 1;
    int offset = 0; // pixels the curve is lifted by
};

// The finite samples of the visible curve, in the series' unit.
struct VisibleCurve {
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    uint64_t count = 0;
};

// Chooses the mapping: the scale is the fixed one of the scale table or fits the visible curve (Auto); the
// zero line stands for 0 or for the curve's mean (Centre). Pure functions; used on the UI thread.
class VerticalFit {
public:
    struct Choice {
        bool autoScale = false;
        bool centre = false;
        int fixedLabelStep = 20;         // the scale table's entry
        int fixedLabelArcsec = 1;        //
        double fixedPixelsPerUnit = 0.0; //
        int verticalOffset = 0;          // applies to the fixed, uncentred scale only
        double arcsecPerUnit = 0.0;      // 0 when unknown: Auto then keeps the fixed scale
        int zeroY = 0;
        int plotHeight = 0;
    };
    // An automatic scale in arc-seconds: labelArcsec from the 1-2-5 series, labelStep whole pixels.
    struct AutoScale {
        int labelStep = 20;
        int labelArcsec = 1;
        double baseArcsec = 0.0;
    };

    // Pixels the labels are at least apart; labels are whole arc-seconds, so steps start at 1".
    static constexpr int kMinLabelStep = 20;
    // Beyond the curve's extent from the zero line, a tenth of it stays free.
    static constexpr double kMargin = 0.10;
    // Centre moves the curve again once its mean is more than this many pixels off the zero line.
    static constexpr double kCentreSlackPixels = 3.0;

    static VerticalMapping map(const Choice& choice, const VisibleCurve& curve);
    // Whether the curve has left what the mapping shows well enough: it leaves the plot, it has shrunk
    // to under a quarter of the height with a finer scale available (Auto), or its mean has moved off the
    // zero line (Centre). The fixed, uncentred scale never needs a refit.
    static bool needsRefit(const VerticalMapping& current, const Choice& choice, const VisibleCurve& curve);
    // Fits lo..hi (arc-seconds) into halfHeight pixels above and below the zero line, which stands for
    // mean when centred and for 0 otherwise.
    static AutoScale fitAuto(double lo, double hi, double mean, bool centred, int halfHeight);
    // Pixels available on either side of the zero line.
    static int halfHeight(int zeroY, int plotHeight);
};
