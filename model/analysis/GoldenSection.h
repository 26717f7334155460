#pragma once

// The x in [lo, hi] where f (unimodal there) is largest, by golden-section search: the interval shrinks
// until it is narrower than tolerance or maxIterations have passed; returns its middle. f is called
// once per iteration, plus twice at the start.
template <typename F>
double goldenSectionMaximum(double lo, double hi, double tolerance, int maxIterations, F&& f) {
    constexpr double kGolden = 0.6180339887498949;
    double x1 = hi - kGolden * (hi - lo);
    double x2 = lo + kGolden * (hi - lo);
    double e1 = f(x1);
    double e2 = f(x2);
    for (int iteration = 0; iteration < maxIterations && hi - lo > tolerance; ++iteration) {
        if (e1 < e2) {
            lo = x1;
            x1 = x2;
            e1 = e2;
            x2 = lo + kGolden * (hi - lo);
            e2 = f(x2);
        } else {
            hi = x2;
            x2 = x1;
            e2 = e1;
            x1 = hi - kGolden * (hi - lo);
            e1 = f(x1);
        }
    }
    return 0.5 * (lo + hi);
}
