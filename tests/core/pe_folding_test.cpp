#include "model/analysis/PeFolding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<double> sine(std::size_t n, double period, double amplitude) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = amplitude * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / period);
    return v;
}

// Whole cycles, bins and the mean's peak-to-peak of a pure sinusoid, for whole and fractional periods,
// short ones (fewer points per cycle than bins) and long ones (bins capped).
TEST(PeFoldingTest, FoldsASinusoidOntoItsOwnShape) {
    struct Case {
        std::size_t n;
        double period;
        std::size_t cycles;
        std::size_t bins;
        double peakToPeak; // of the mean over bins of the width given
    };
    const double a = 5.0;
    // A bin averages a sinusoid over 1/bins of its cycle, which lowers the peak by sinc(1/bins).
    auto binned = [a](std::size_t bins) {
        const double x = std::numbers::pi / static_cast<double>(bins);
        return 2.0 * a * std::sin(x) / x;
    };
    for (const Case& c : {Case{1000, 100.5, 9, 100, binned(100)}, Case{6400, 64.0, 100, 64, binned(64)},
                          Case{100003, 7000.3, 14, 512, binned(512)}, Case{30, 2.5, 12, 2, 0.0}}) {
        const std::vector<double> v = sine(c.n, c.period, a);
        const PeFoldResult f = foldCurve(v.data(), v.size(), c.period);
        ASSERT_TRUE(f.valid) << c.period;
        EXPECT_EQ(f.cycles, c.cycles) << c.period;
        EXPECT_EQ(f.bins, c.bins) << c.period;
        ASSERT_EQ(f.mean.size(), c.bins);
        if (c.peakToPeak > 0.0) {
            EXPECT_NEAR(f.meanPeakToPeakArcsec, c.peakToPeak, 0.02 * c.peakToPeak) << c.period;
        }
        // Every cycle of a pure sinusoid looks like the mean, up to where in its bins its points fall: at
        // most the sinusoid's swing over one bin.
        ASSERT_EQ(f.curves.size(), f.curveCycle.size() * f.bins);
        const double swing = 2.0 * std::numbers::pi * a / static_cast<double>(f.bins);
        for (std::size_t b = 0; b < f.bins; ++b)
            EXPECT_NEAR(f.curves[(f.curveCycle.size() - 1) * f.bins + b], f.mean[b], swing) << c.period;
    }
}

TEST(PeFoldingTest, MeanAveragesCyclesAndKeepsAnEvenSpreadOfCurves) {
    // Each cycle sits 1" above or below the next: the mean cancels it, the cycle curves keep it.
    const double period = 50.25;
    const std::size_t n = 20100; // 400 whole cycles
    std::vector<double> v = sine(n, period, 2.0);
    for (std::size_t i = 0; i < n; ++i)
        v[i] += (static_cast<std::size_t>(static_cast<double>(i) / period) % 2 == 0) ? 1.0 : -1.0;
    const PeFoldResult f = foldCurve(v.data(), n, period, 512, 4);
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(f.cycles, 400u);
    EXPECT_EQ(f.curveCycle, (std::vector<std::size_t>{0, 133, 266, 399}));
    ASSERT_EQ(f.curves.size(), 4 * f.bins);
    const double swing = 2.0 * std::numbers::pi * 2.0 / static_cast<double>(f.bins); // over one bin
    EXPECT_NEAR(f.curves[0 * f.bins], 1.0 + f.mean[0], swing);                       // cycle 0 is even: up
    EXPECT_NEAR(f.curves[1 * f.bins], -1.0 + f.mean[0], swing);                      // cycle 133 is odd: down
    EXPECT_NEAR(f.meanPeakToPeakArcsec, 4.0, 0.1);
}

TEST(PeFoldingTest, NothingToFoldWithoutAWholeCycle) {
    const std::vector<double> v = sine(100, 30.0, 1.0);
    EXPECT_FALSE(foldCurve(v.data(), v.size(), 100.5).valid); // longer than the curve
    EXPECT_FALSE(foldCurve(v.data(), v.size(), 1.5).valid);   // under two points per cycle
    EXPECT_FALSE(foldCurve(v.data(), v.size(), std::nan("")).valid);
    EXPECT_FALSE(foldCurve(nullptr, 100, 30.0).valid);
    EXPECT_TRUE(foldCurve(v.data(), v.size(), 100.0).valid); // exactly one cycle
}

} // namespace
