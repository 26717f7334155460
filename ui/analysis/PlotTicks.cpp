#include "ui/analysis/PlotTicks.h"

#include <cmath>

double roundStep(double span, int maxTicks) {
    if (!(span > 0.0) || !std::isfinite(span) || maxTicks < 1)
        return 1.0;
    const double raw = span / maxTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10.0 * power;
}

std::vector<double> linearTicks(double lo, double hi, int maxTicks) {
    std::vector<double> ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return ticks;
    const double step = roundStep(hi - lo, maxTicks);
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first; k * step <= hi + 1e-9 * step && ticks.size() < 1000; k += 1.0)
        ticks.push_back(std::fabs(k) < 1e-12 ? 0.0 : k * step);
    return ticks;
}

std::vector<double> logTicks(double lo, double hi, int maxTicks) {
    std::vector<double> ticks;
    if (!(lo > 0.0) || !(hi > lo) || !std::isfinite(hi))
        return ticks;
    const int from = static_cast<int>(std::floor(std::log10(lo)));
    const int to = static_cast<int>(std::ceil(std::log10(hi)));
    const bool fine = (to - from) * 3 <= maxTicks;
    for (int e = from; e <= to && ticks.size() < 1000; ++e) {
        const double decade = std::pow(10.0, e);
        for (double factor : {1.0, 2.0, 5.0}) {
            if (factor != 1.0 && !fine)
                continue;
            const double v = factor * decade;
            if (v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9))
                ticks.push_back(v);
        }
    }
    return ticks;
}
