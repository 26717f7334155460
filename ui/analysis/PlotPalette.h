#pragma once

#include <QColor>

// The colours of the analysis plots, by day and at night (shades of pure red on black only). A value
// type.
struct PlotPalette {
    QColor background;
    QColor frame; // axes and ticks
    QColor grid;
    QColor text;
    QColor primary;    // the curve, the whole log's spectrum, the first of two stretches compared
    QColor secondary;  // the drift line, the second of two stretches compared
    QColor mark;       // marker lines and their labels
    QColor band;       // the stretches compared, behind the curve
    QColor cycleFirst; // single folded cycles run from this shade ...
    QColor cycleLast;  // ... to this one
    QColor mean;       // the mean folded cycle

    static PlotPalette day() {
        return {QColor(255, 255, 255), QColor(80, 80, 80),   QColor(228, 228, 228), QColor(30, 30, 30),
                QColor(0, 84, 166),    QColor(204, 85, 0),   QColor(120, 120, 120), QColor(0, 84, 166, 28),
                QColor(150, 190, 230), QColor(60, 110, 175), QColor(0, 30, 90)};
    }
    static PlotPalette night() {
        return {QColor(0, 0, 0),   QColor(128, 0, 0), QColor(48, 0, 0),  QColor(192, 0, 0),
                QColor(220, 0, 0), QColor(140, 0, 0), QColor(110, 0, 0), QColor(255, 0, 0, 40),
                QColor(55, 0, 0),  QColor(120, 0, 0), QColor(255, 0, 0)};
    }
    static PlotPalette of(bool night) { return night ? PlotPalette::night() : PlotPalette::day(); }

    // Shade of single cycle i of n, from cycleFirst to cycleLast.
    QColor cycle(int i, int n) const {
        const double t = n > 1 ? static_cast<double>(i) / (n - 1) : 1.0;
        auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t + 0.5); };
        return QColor(mix(cycleFirst.red(), cycleLast.red()), mix(cycleFirst.green(), cycleLast.green()),
                      mix(cycleFirst.blue(), cycleLast.blue()));
    }
};
