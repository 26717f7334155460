#include "model/analysis/PeSpectrum.h"

#include "model/analysis/LineSineFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <ostream>
#include <random>
#include <vector>

namespace {

struct Tone {
    double amplitude; // arc-seconds
    double period;    // samples
    double phase;     // degrees, of amplitude * sin(2 pi i / period + phase)
};

std::vector<double> makeSeries(std::size_t n, double drift, const std::vector<Tone>& tones,
                               double noise = 0.0, double offset = 3.0) {
    std::mt19937 rng(4711);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        double x = offset + drift * static_cast<double>(i) + noise * gauss(rng);
        for (const Tone& t : tones)
            x += t.amplitude *
                 std::sin(2.0 * std::numbers::pi * i / t.period + t.phase * std::numbers::pi / 180.0);
        v[i] = x;
    }
    return v;
}

double angleBetween(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// The component nearest in period to the tone, or null.
const PeComponent* match(const PeSpectrumResult& r, const Tone& tone) {
    const PeComponent* best = nullptr;
    for (const PeComponent& c : r.components) {
        if (best == nullptr || std::fabs(std::log(c.periodSamples / tone.period)) <
                                   std::fabs(std::log(best->periodSamples / tone.period)))
            best = &c;
    }
    return best;
}

struct SpectrumCase {
    const char* what;
    std::size_t n;
    double drift;
    double noise;
    std::vector<Tone> tones; // strongest first
};

void PrintTo(const SpectrumCase& c, std::ostream* os) {
    *os << c.what;
}

class PeSpectrumToneTest : public ::testing::TestWithParam<SpectrumCase> {};

// Periods that are not whole fractions of the log: each component's period, amplitude (5%) and phase come
// out right, strongest first, and the drift is the true one.
TEST_P(PeSpectrumToneTest, RecoversComponentsWithNonWholeCycleCounts) {
    const SpectrumCase& c = GetParam();
    const std::vector<double> v = makeSeries(c.n, c.drift, c.tones, c.noise);
    PeSpectrum spectrum;
    PeSpectrumResult r;
    ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 0.25, r));
    ASSERT_GE(r.components.size(), c.tones.size());
    EXPECT_NEAR(r.components[0].periodSamples, c.tones[0].period, 0.01 * c.tones[0].period);
    for (const Tone& t : c.tones) {
        const PeComponent* found = match(r, t);
        ASSERT_NE(found, nullptr);
        EXPECT_NEAR(found->periodSamples, t.period, 0.002 * t.period) << "period " << t.period;
        EXPECT_NEAR(found->periodSeconds, 0.25 * t.period, 0.0025 * t.period) << "period " << t.period;
        EXPECT_NEAR(found->amplitudeArcsec, t.amplitude, 0.05 * t.amplitude) << "period " << t.period;
        EXPECT_LT(angleBetween(found->phaseDeg, t.phase), 6.0) << "period " << t.period;
    }
    EXPECT_NEAR(r.driftArcsecPerSample, c.drift, 0.02 * std::fabs(c.drift) + 1e-5);
    EXPECT_NEAR(r.driftArcsecPerSecond, 4.0 * r.driftArcsecPerSample, 1e-12);
    ASSERT_EQ(r.detrended.size(), c.n);
    EXPECT_NEAR(r.driftStartArcsec, 3.0, 0.05 * c.tones[0].amplitude);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, PeSpectrumToneTest,
    ::testing::Values(
        SpectrumCase{"8.1 cycles", 10000, 0.01, 0.0, {{7.0, 1234.5, 17.0}}},
        SpectrumCase{"2.65 cycles with drift", 10000, -0.02, 0.0, {{10.0, 3777.7, 200.0}}},
        SpectrumCase{"worm with two harmonics",
                     20000,
                     0.004,
                     0.3,
                     {{7.0, 480.3, 30.0}, {2.5, 240.15, 100.0}, {1.2, 160.1, 250.0}}},
        SpectrumCase{"slow and fast in noise", 200000, 0.001, 0.5, {{5.0, 6143.7, 90.0}, {1.5, 61.3, 10.0}}},
        SpectrumCase{
            "neighbours six cycles apart", 100000, 0.0, 0.2, {{4.0, 1500.5, 45.0}, {3.0, 1380.1, 300.0}}},
        SpectrumCase{"short period", 3000, 0.05, 0.0, {{3.0, 7.37, 120.0}}},
        SpectrumCase{"near Nyquist", 50000, 0.0, 0.1, {{2.0, 2.3, 60.0}}}));

// Without noise the refined frequency is exact to a small fraction of a cycle even where the spectrum's
// own peak is pulled by its mirror image (few cycles), also on logs too long for zero padding.
TEST(PeSpectrumTest, CleanTonesWithFewCyclesComeOutExact) {
    struct Case {
        std::size_t n;
        double cycles;
    };
    for (const Case c : {Case{10000, 2.05}, Case{10000, 3.4}, Case{1500000, 2.3}, Case{1500000, 17.3}}) {
        const double period = static_cast<double>(c.n) / c.cycles;
        const std::vector<double> v = makeSeries(c.n, 0.01, {{7.0, period, 57.0}});
        PeSpectrum spectrum;
        PeSpectrumResult r;
        ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 0.0, r));
        ASSERT_TRUE(r.hasPeriod()) << c.cycles << " cycles";
        EXPECT_NEAR(r.components[0].periodSamples, period, 1e-4 * period) << c.cycles << " cycles";
        EXPECT_NEAR(r.components[0].amplitudeArcsec, 7.0, 1e-3) << c.cycles << " cycles";
        EXPECT_NEAR(r.driftArcsecPerSample, 0.01, 1e-6) << c.cycles << " cycles";
    }
}

// The drift line and the figures about it come from the model that is reported: a component with fewer
// than two whole cycles is neither listed nor kept in the fit. With nothing else, the line is the plain
// least-squares line; beside a listed component, the line is the one fitted with that component alone.
// A long log (fitted on block means of block means) keeps its listed component beside the slow one.
TEST(PeSpectrumTest, ComponentBelowTwoCyclesLeavesTheDriftFit) {
    for (const std::size_t n : {std::size_t{8000}, std::size_t{400000}}) {
        const double slowPeriod = n / 1.7;
        const double drift = 16.0 / static_cast<double>(n);
        for (const bool withListed : {false, true}) {
            std::vector<Tone> tones{{20.0, slowPeriod, 30.0}};
            if (withListed)
                tones.push_back({4.0, n / 23.4, 10.0});
            const std::vector<double> v = makeSeries(n, drift, tones);
            PeSpectrum spectrum;
            PeSpectrumResult r;
            ASSERT_TRUE(spectrum.analyse(v.data(), n, 0.0, r));
            ASSERT_EQ(r.components.size(), withListed ? 1u : 0u);
            double expectedSlope = 0.0;
            if (withListed) {
                LineSineFit fit;
                ASSERT_TRUE(fitLineAndSine(v.data(), n, 1.0 / r.components[0].periodSamples, fit));
                expectedSlope = fit.slope;
            } else {
                const double mid = 0.5 * (n - 1.0);
                double stt = 0.0, stx = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    stt += (i - mid) * (i - mid);
                    stx += (i - mid) * v[i];
                }
                expectedSlope = stx / stt;
            }
            // (The fit runs on block means: near the full least-squares line, not on it.)
            EXPECT_NEAR(r.driftArcsecPerSample, expectedSlope, 0.025 * drift) << withListed;
            // ... far from the true drift, which only the left-out component could have explained.
            EXPECT_GT(std::fabs(r.driftArcsecPerSample - drift), 0.5 * drift) << withListed;
            // The curve about that line still holds the slow component whole.
            EXPECT_GT(r.peakToPeakArcsec, 30.0) << withListed;
        }
    }
}

TEST(PeSpectrumTest, NoiseAloneHasNoComponents) {
    for (std::size_t n : {256u, 8192u, 300000u}) {
        const std::vector<double> v = makeSeries(n, 0.01, {}, 1.5);
        PeSpectrum spectrum;
        PeSpectrumResult r;
        ASSERT_TRUE(spectrum.analyse(v.data(), n, 0.0, r));
        EXPECT_TRUE(r.components.empty()) << n << " samples, period " << r.components[0].periodSamples;
        EXPECT_FALSE(r.hasTime);
        EXPECT_NEAR(r.rmsArcsec, 1.5, 0.1);
        EXPECT_EQ(r.driftArcsecPerSecond, 0.0);
    }
}

TEST(PeSpectrumTest, PlotArraysHoldThePeakOnAnAscendingPeriodAxis) {
    const std::vector<double> v = makeSeries(100000, 0.0, {{6.0, 997.3, 0.0}});
    PeSpectrum spectrum;
    PeSpectrumResult r;
    ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 0.5, r));
    ASSERT_EQ(r.spectrumPeriod.size(), r.spectrumAmplitude.size());
    ASSERT_LE(r.spectrumPeriod.size(), PeSpectrum::kMaxPlotPoints);
    ASSERT_GT(r.spectrumPeriod.size(), 1000u);
    EXPECT_TRUE(std::is_sorted(r.spectrumPeriod.begin(), r.spectrumPeriod.end()));
    EXPECT_NEAR(r.spectrumPeriod.front(), 2 * 0.5, 0.01); // two samples, in seconds
    // The whole log, up to one bin of the padded spectrum.
    EXPECT_GE(r.spectrumPeriod.back(), 100000 * 0.5);
    EXPECT_LE(r.spectrumPeriod.back(), 100000 * 0.5 * 1.5);
    const auto peak = std::max_element(r.spectrumAmplitude.begin(), r.spectrumAmplitude.end());
    EXPECT_NEAR(r.spectrumPeriod[static_cast<std::size_t>(peak - r.spectrumAmplitude.begin())], 997.3 * 0.5,
                5.0);
    EXPECT_NEAR(*peak, 6.0, 0.9); // the bin nearest the peak, up to the window's scalloping
}

TEST(PeSpectrumTest, RangeOfALogIsAnalysedOnItsOwn) {
    LoadedLog log;
    log.sampleSeconds = 1.0;
    const std::vector<double> a = makeSeries(6000, 0.0, {{5.0, 333.3, 0.0}});
    const std::vector<double> b = makeSeries(9000, 0.02, {{2.0, 812.9, 0.0}});
    log.values = a;
    log.values.insert(log.values.end(), b.begin(), b.end());
    PeSpectrum spectrum;
    PeSpectrumResult r;
    ASSERT_TRUE(spectrum.analyse(log, 6000, 15000, r));
    EXPECT_EQ(r.first, 6000u);
    EXPECT_EQ(r.last, 15000u);
    EXPECT_EQ(r.points, 9000u);
    ASSERT_TRUE(r.hasPeriod());
    EXPECT_NEAR(r.components[0].periodSeconds, 812.9, 8.0);
    EXPECT_NEAR(r.components[0].amplitudeArcsec, 2.0, 0.1);
    EXPECT_NEAR(r.driftArcsecPerSample, 0.02, 0.001);

    // Clamped to the log; too short a range is not valid but says what it covered.
    ASSERT_FALSE(spectrum.analyse(log, 14995, 99999, r));
    EXPECT_EQ(r.first, 14995u);
    EXPECT_EQ(r.last, 15000u);
}

TEST(PeSpectrumTest, TimeStampedFramesAreResampledOntoEvenSteps) {
    // Guide frames about 2.1 s apart with jitter and a few dropped, a 6" error of period 480 s.
    LoadedLog log;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    double t = 10.0;
    for (int k = 0; k < 3000; ++k) {
        t += 2.1 + jitter(rng) + (k % 97 == 50 ? 4.2 : 0.0);
        log.times.push_back(t);
        log.values.push_back(6.0 * std::sin(2.0 * std::numbers::pi * t / 480.0) + 0.001 * t);
    }
    log.sampleSeconds = 2.1;
    PeSpectrum spectrum;
    PeSpectrumResult r;
    ASSERT_TRUE(spectrum.analyse(log, 0, log.size(), r));
    EXPECT_TRUE(r.resampled);
    EXPECT_TRUE(r.hasTime);
    EXPECT_NEAR(r.startSeconds, log.times.front(), 1e-9);
    EXPECT_NEAR(static_cast<double>(r.points), (log.times.back() - log.times.front()) / 2.1 + 1.0, 1.0);
    ASSERT_TRUE(r.hasPeriod());
    EXPECT_NEAR(r.components[0].periodSeconds, 480.0, 3.0);
    EXPECT_NEAR(r.components[0].amplitudeArcsec, 6.0, 0.3);
    EXPECT_NEAR(r.driftArcsecPerSecond, 0.001, 0.0002);
}

TEST(PeSpectrumTest, DegenerateInputsStayFinite) {
    PeSpectrum spectrum;
    PeSpectrumResult r;
    const double few[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_FALSE(spectrum.analyse(few, 7, 1.0, r));
    EXPECT_FALSE(spectrum.analyse(nullptr, 100, 1.0, r));
    std::vector<double> v(1000, 5.0);
    v[500] = std::nan("");
    EXPECT_FALSE(spectrum.analyse(v.data(), v.size(), 1.0, r)) << "not a number in the data";

    // A constant, an exact line and one step all give finite figures and no components.
    v.assign(1000, -123.25);
    ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 1.0, r));
    EXPECT_EQ(r.peakToPeakArcsec, 0.0);
    EXPECT_TRUE(r.components.empty());
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = 1e6 + 0.5 * static_cast<double>(i);
    ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 0.0, r));
    EXPECT_NEAR(r.driftArcsecPerSample, 0.5, 1e-9);
    EXPECT_TRUE(r.components.empty());
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = i < 600 ? 0.0 : 1e9;
    ASSERT_TRUE(spectrum.analyse(v.data(), v.size(), 0.0, r));
    EXPECT_TRUE(std::isfinite(r.peakToPeakArcsec) && std::isfinite(r.rmsArcsec));
    for (const PeComponent& c : r.components)
        EXPECT_TRUE(std::isfinite(c.amplitudeArcsec) && std::isfinite(c.phaseDeg) && c.periodSamples >= 2.0);
}

} // namespace
