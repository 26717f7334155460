#include "model/analysis/PeAnalysis.h"

#include "model/analysis/LogAnalyser.h"
#include "model/logs/StoreLog.h"
#include "model/store/AppModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kBits = 24; // 0.077" per count: quantisation stays far below the 2% tolerances

double arcsecPerCount(uint32_t bits) {
    return 1296000.0 / std::ldexp(1.0, static_cast<int>(bits));
}

struct Tone {
    double amplitude; // arc-seconds
    double period;    // samples
    double phase;     // radians
};

// A synthetic tracking log and the true figures of what it contains.
struct Synthetic {
    std::vector<int32_t> counts;
    double truePeakToPeak = 0.0; // of the periodic part plus noise, about the true drift line
    double trueRms = 0.0;
};

Synthetic makeLog(uint32_t n, double drift, std::vector<Tone> tones, double noise = 0.0,
                  uint32_t bits = kBits, int64_t startCount = 1000) {
    Synthetic s;
    std::mt19937 rng(12345);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double scale = arcsecPerCount(bits);
    double lo = 0.0;
    double hi = 0.0;
    double sumSquares = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        double pe = noise * gauss(rng);
        for (const Tone& t : tones)
            pe += t.amplitude * std::sin(2.0 * std::numbers::pi * i / t.period + t.phase);
        lo = i == 0 ? pe : std::min(lo, pe);
        hi = i == 0 ? pe : std::max(hi, pe);
        sumSquares += pe * pe;
        const int64_t count = startCount + std::llround((drift * i + pe) / scale);
        s.counts.push_back(static_cast<int32_t>(count));
    }
    s.truePeakToPeak = hi - lo;
    s.trueRms = std::sqrt(sumSquares / n);
    return s;
}

void expectWithin2Percent(double actual, double truth, const char* what) {
    EXPECT_NEAR(actual, truth, 0.02 * std::fabs(truth)) << what;
}

bool allFinite(const PeResult& r) {
    return std::isfinite(r.peakToPeakArcsec) && std::isfinite(r.rmsArcsec) &&
           std::isfinite(r.driftArcsecPerSample) && std::isfinite(r.driftArcsecPerSecond) &&
           std::isfinite(r.dominantPeriodSamples) && std::isfinite(r.dominantPeriodSeconds);
}

std::string line(const PeResult& r) {
    char buf[160];
    formatPeLine(buf, sizeof buf, r);
    return buf;
}

// Clean sinusoids plus drift: every figure within 2% of the truth, for integer and non-integer periods,
// many or few cycles, all the way from a few samples per cycle to four cycles per log.
struct ToneCase {
    uint32_t n;
    double period;
    double amplitude;
    double drift;
    double phase;
};

void PrintTo(const ToneCase& c, std::ostream* os) {
    *os << c.n << " samples, period " << c.period << ", amplitude " << c.amplitude << ", drift " << c.drift;
}

class PeCleanToneTest : public ::testing::TestWithParam<ToneCase> {};

TEST_P(PeCleanToneTest, RecoversAmplitudePeriodAndDrift) {
    const ToneCase c = GetParam();
    const Synthetic log = makeLog(c.n, c.drift, {{c.amplitude, c.period, c.phase}});
    const PeResult r = analysePeriodicError(log.counts.data(), c.n, kBits, 3, 0); // 16 Hz
    ASSERT_TRUE(r.valid);
    ASSERT_TRUE(r.hasPeriod);
    ASSERT_TRUE(r.hasRate);
    EXPECT_EQ(r.sampleCount, c.n);
    expectWithin2Percent(r.dominantPeriodSamples, c.period, "period");
    expectWithin2Percent(r.dominantPeriodSeconds, c.period / 16.0, "period seconds");
    expectWithin2Percent(r.peakToPeakArcsec, log.truePeakToPeak, "peak to peak");
    expectWithin2Percent(r.rmsArcsec, log.trueRms, "rms");
    expectWithin2Percent(r.driftArcsecPerSample, c.drift, "drift");
    expectWithin2Percent(r.driftArcsecPerSecond, c.drift * 16.0, "drift per second");
}

INSTANTIATE_TEST_SUITE_P(Signals, PeCleanToneTest,
                         ::testing::Values(ToneCase{4096, 64.0, 7.0, 0.02, 0.3},      // many whole periods
                                           ToneCase{10000, 63.7, 7.0, -0.01, 1.1},    // non-integer
                                           ToneCase{5000, 417.3, 12.0, 0.005, 2.0},   // 12 cycles
                                           ToneCase{2000, 517.9, 9.0, 0.03, 0.7},     // under 4 cycles
                                           ToneCase{3000, 1333.3, 20.0, -0.05, 4.0},  // 2.25 cycles
                                           ToneCase{6300, 3000.0, 10.0, 0.002, 0.0},  // 2.1 cycles
                                           ToneCase{1000, 3.3, 4.0, 0.01, 0.0},       // near Nyquist
                                           ToneCase{200000, 960.0, 15.0, 0.001, 0.5}, // full store
                                           ToneCase{64, 9.7, 10.0, 0.2, 0.2}));       // short log

TEST(PeAnalysisTest, TwoHarmonicsReportTheStrongerPeriod) {
    const Synthetic log = makeLog(9600, 0.004, {{7.0, 480.0, 0.2}, {2.5, 240.0, 1.3}});
    const PeResult r = analysePeriodicError(log.counts.data(), 9600, kBits, 1, 0);
    ASSERT_TRUE(r.hasPeriod);
    expectWithin2Percent(r.dominantPeriodSamples, 480.0, "period");
    expectWithin2Percent(r.peakToPeakArcsec, log.truePeakToPeak, "peak to peak");
    expectWithin2Percent(r.rmsArcsec, log.trueRms, "rms");
    expectWithin2Percent(r.driftArcsecPerSample, 0.004, "drift");
}

// The main dialog's line (the store's counts) and the analysis window (the store copied into a log, at
// the store's rate) both find the true figures of a log with harmonics, noise and drift.
TEST(PeAnalysisTest, LineAndAnalysisWindowGiveTheSameFigures) {
    const uint32_t n = 12000;
    Synthetic log = makeLog(n, 0.003, {{6.0, 640.0, 0.4}, {1.5, 320.0, 1.0}}, 0.3);
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.encoderBits = kBits;
    model->logSettings.logRate = 2; // 4 Hz
    std::copy(log.counts.begin(), log.counts.end(), model->samples);
    model->sampleCount = n;

    const PeResult line = analysePeriodicError(model->samples, n, kBits, 2, 0);
    LoadedLog stored;
    copyStoreToLog(*model, stored);
    LogAnalyser analyser;
    LogAnalysisReport report;
    analyser.analyse(stored, LogAnalysisOptions{}, report);
    const PeResult window = peFiguresOf(report.whole);

    for (const auto& [name, r] : {std::pair{"line", line}, std::pair{"window", window}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(r.valid && r.hasPeriod && r.hasRate);
        EXPECT_EQ(r.sampleCount, n);
        EXPECT_NEAR(r.dominantPeriodSamples, 640.0, 1.0);
        EXPECT_NEAR(r.dominantPeriodSeconds, 160.0, 0.25);
        expectWithin2Percent(r.peakToPeakArcsec, log.truePeakToPeak, "peak to peak");
        expectWithin2Percent(r.rmsArcsec, log.trueRms, "rms");
        expectWithin2Percent(r.driftArcsecPerSample, 0.003, "drift");
        expectWithin2Percent(r.driftArcsecPerSecond, 0.012, "drift per second");
    }
}

TEST(PeAnalysisTest, CurvedDriftDoesNotHideThePeriod) {
    // A drift that bends (30" of curvature over the log) leaves a slow hump after the straight line.
    Synthetic log = makeLog(9600, 0.01, {{7.0, 472.9, 0.0}}, 0.5);
    const double scale = arcsecPerCount(kBits);
    for (uint32_t i = 0; i < 9600; ++i) {
        const double t = (i - 4800.0) / 4800.0;
        log.counts[i] += static_cast<int32_t>(std::llround(30.0 * t * t / scale));
    }
    const PeResult r = analysePeriodicError(log.counts.data(), 9600, kBits, 2, 0);
    ASSERT_TRUE(r.hasPeriod);
    expectWithin2Percent(r.dominantPeriodSamples, 472.9, "period");
    expectWithin2Percent(r.driftArcsecPerSample, 0.01, "drift");
}

TEST(PeAnalysisTest, NoiseKeepsFiguresHonest) {
    // A tone in noise keeps its period; RMS includes the noise.
    const Synthetic tone = makeLog(8192, 0.01, {{5.0, 127.3, 0.9}}, 1.0);
    PeResult t = analysePeriodicError(tone.counts.data(), 8192, kBits, 2, 0);
    ASSERT_TRUE(t.hasPeriod);
    expectWithin2Percent(t.dominantPeriodSamples, 127.3, "period");
    expectWithin2Percent(t.rmsArcsec, tone.trueRms, "rms");
    expectWithin2Percent(t.driftArcsecPerSample, 0.01, "drift");

    // Noise alone has no period to report.
    for (uint32_t n : {256u, 8192u, 100000u}) {
        const Synthetic log = makeLog(n, 0.01, {}, 1.5);
        const PeResult r = analysePeriodicError(log.counts.data(), n, kBits, -1, 0);
        ASSERT_TRUE(r.valid);
        EXPECT_FALSE(r.hasPeriod) << n << " samples, period " << r.dominantPeriodSamples;
        EXPECT_EQ(r.driftArcsecPerSecond, 0.0); // rate unknown
        expectWithin2Percent(r.rmsArcsec, log.trueRms, "rms");
        if (n >= 8192)
            expectWithin2Percent(r.driftArcsecPerSample, 0.01, "drift");
        EXPECT_NE(line(r).find("period --"), std::string::npos);
    }
}

TEST(PeAnalysisTest, WrappedPositionsGiveTheSameFiguresAsUnwrapped) {
    // A 24-bit encoder reporting 0 .. 2^24 - 1 and crossing its zero several times (the drift runs the
    // log about twice round the range), starting just below the top.
    const Synthetic fast = makeLog(4096, 600.0, {{7.0, 64.0, 0.3}}, 0.0, kBits, 0);
    const PeResult unwrapped = analysePeriodicError(fast.counts.data(), 4096, kBits, 2, 0);
    std::vector<int32_t> wrapped(fast.counts);
    for (int32_t& v : wrapped)
        v = static_cast<int32_t>((static_cast<int64_t>(v) + (1 << 24) - 700) & ((1 << 24) - 1));
    const PeResult w = analysePeriodicError(wrapped.data(), 4096, kBits, 2, 0);
    ASSERT_TRUE(w.hasPeriod);
    EXPECT_DOUBLE_EQ(w.driftArcsecPerSample, unwrapped.driftArcsecPerSample);
    EXPECT_DOUBLE_EQ(w.peakToPeakArcsec, unwrapped.peakToPeakArcsec);
    EXPECT_DOUBLE_EQ(w.dominantPeriodSamples, unwrapped.dominantPeriodSamples);
    expectWithin2Percent(w.driftArcsecPerSample, 600.0, "drift");
    expectWithin2Percent(w.peakToPeakArcsec, fast.truePeakToPeak, "peak to peak");

    // A 32-bit encoder whose counts overflow the signed 32-bit sample.
    std::vector<int32_t> overflowing(fast.counts);
    for (int32_t& v : overflowing)
        v = static_cast<int32_t>(static_cast<uint32_t>(v) + 0x7FFF0000u);
    const PeResult o = analysePeriodicError(overflowing.data(), 4096, 32, 2, 0);
    const PeResult p = analysePeriodicError(fast.counts.data(), 4096, 32, 2, 0);
    EXPECT_DOUBLE_EQ(o.peakToPeakArcsec, p.peakToPeakArcsec);
    EXPECT_DOUBLE_EQ(o.driftArcsecPerSample, p.driftArcsecPerSample);
}

TEST(PeAnalysisTest, DegenerateInputsStayFiniteAndSayWhy) {
    const int32_t few[7] = {1, 2, 3, 4, 5, 6, 7};
    PeResult r = analysePeriodicError(few, 7, kBits, 2, 0);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.sampleCount, 7u);
    EXPECT_EQ(line(r), "PE --  (fewer than 8 samples)");
    EXPECT_FALSE(analysePeriodicError(nullptr, 100, kBits, 2, 0).valid);
    EXPECT_FALSE(analysePeriodicError(few, 0, kBits, 2, 0).valid);

    std::vector<int32_t> constant(1000, -123456);
    for (uint32_t n : {8u, 1000u}) {
        r = analysePeriodicError(constant.data(), n, kBits, 2, 0);
        ASSERT_TRUE(r.valid);
        EXPECT_TRUE(allFinite(r));
        EXPECT_EQ(line(r), "PE 0.0000\" p-p  0.0000\" RMS  period --  drift +0.0000\"/sample");
    }

    // An exact ramp: all drift, nothing periodic.
    std::vector<int32_t> ramp(5000);
    for (uint32_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<int32_t>(3 * i);
    r = analysePeriodicError(ramp.data(), 5000, kBits, 0, 0);
    EXPECT_FALSE(r.hasPeriod);
    EXPECT_EQ(r.peakToPeakArcsec, 0.0);
    EXPECT_DOUBLE_EQ(r.driftArcsecPerSample, 3 * arcsecPerCount(kBits));
    EXPECT_DOUBLE_EQ(r.driftArcsecPerSecond, 0.75 * arcsecPerCount(kBits));

    // Encoder widths with no meaning give no figures; full-range jumps at any width stay finite.
    EXPECT_FALSE(analysePeriodicError(ramp.data(), 5000, 0, 2, 0).valid);
    EXPECT_FALSE(analysePeriodicError(ramp.data(), 5000, 65, 2, 0).valid);
    std::vector<int32_t> wild(4000);
    std::mt19937 rng(7);
    for (int32_t& v : wild)
        v = static_cast<int32_t>(rng());
    for (uint32_t bits : {1u, 12u, 32u, 64u}) {
        r = analysePeriodicError(wild.data(), 4000, bits, 5, 0);
        EXPECT_TRUE(r.valid);
        EXPECT_TRUE(allFinite(r)) << bits;
    }
}

TEST(PeAnalysisTest, WindowAnalysesOnlyTheNewestSamplesWithReusedBuffers) {
    Synthetic log = makeLog(6000, 0.02, {{7.0, 100.0, 0.3}});
    // An older stretch that would ruin the figures: a large jump and a different period.
    for (uint32_t i = 0; i < 2000; ++i)
        log.counts[i] += static_cast<int32_t>(50000 + 20000 * std::sin(i / 7.0));
    const PeResult tail = analysePeriodicError(log.counts.data() + 2000, 4000, kBits, 2, 0);
    const PeResult windowed = analysePeriodicError(log.counts.data(), 6000, kBits, 2, 4000);
    EXPECT_EQ(windowed.sampleCount, 4000u);
    EXPECT_DOUBLE_EQ(windowed.peakToPeakArcsec, tail.peakToPeakArcsec);
    EXPECT_DOUBLE_EQ(windowed.dominantPeriodSamples, tail.dominantPeriodSamples);
    expectWithin2Percent(windowed.dominantPeriodSamples, 100.0, "period");
    EXPECT_EQ(analysePeriodicError(log.counts.data(), 6000, kBits, 2, 9000).sampleCount, 6000u);

    // One analyser reused over growing and shrinking windows gives what a fresh one gives.
    PeAnalysis analysis;
    for (uint32_t n : {6000u, 300u, 8u, 4000u, 6000u}) {
        const PeResult reused = analysis.analyse(log.counts.data(), 6000, kBits, 2, n);
        const PeResult fresh = analysePeriodicError(log.counts.data(), 6000, kBits, 2, n);
        EXPECT_EQ(reused.hasPeriod, fresh.hasPeriod) << n;
        EXPECT_DOUBLE_EQ(reused.rmsArcsec, fresh.rmsArcsec) << n;
        EXPECT_DOUBLE_EQ(reused.dominantPeriodSamples, fresh.dominantPeriodSamples) << n;
    }
}

TEST(PeLineTest, FormatsFiguresPeriodRateAndDrift) {
    PeResult r;
    r.valid = true;
    r.hasRate = true;
    r.hasPeriod = true;
    r.sampleCount = 1000;
    r.peakToPeakArcsec = 14.0;
    r.rmsArcsec = 4.95;
    r.dominantPeriodSamples = 64.01;
    r.dominantPeriodSeconds = 16.0025;
    r.driftArcsecPerSample = 0.0213;
    EXPECT_EQ(line(r), "PE 14.0\" p-p  4.95\" RMS  period 64 (16.0 s)  drift +0.0213\"/sample");
    char brief[160];
    formatPeLineBrief(brief, sizeof brief, r); // for a narrow field
    EXPECT_STREQ(brief, "PE 14.0\" p-p  4.95\" RMS  period 16.0 s");

    r.hasRate = false;
    r.dominantPeriodSamples = 63.74;
    r.driftArcsecPerSample = -1.234;
    r.peakToPeakArcsec = 123.4;
    EXPECT_EQ(line(r), "PE 123\" p-p  4.95\" RMS  period 63.7  drift -1.23\"/sample");

    r.hasPeriod = false;
    r.driftArcsecPerSample = -0.00001; // prints as zero, without a minus sign
    EXPECT_EQ(line(r), "PE 123\" p-p  4.95\" RMS  period --  drift +0.0000\"/sample");
}

TEST(PeLineTest, TruncatesWithinCapacity) {
    PeResult r;
    r.valid = true;
    r.peakToPeakArcsec = 1e300; // absurd but finite: must not overflow anything
    r.rmsArcsec = 2.0;
    char buf[32];
    std::memset(buf, '#', sizeof buf);
    const int written = formatPeLine(buf, 12, r);
    EXPECT_EQ(written, 11);
    EXPECT_EQ(std::strlen(buf), 11u);
    EXPECT_EQ(buf[12], '#');
    EXPECT_EQ(formatPeLine(buf, 1, r), 0);
    EXPECT_EQ(buf[0], '\0');
}

} // namespace

TEST(PeReserve, ReservedAnalyserGivesTheSameFiguresAsAFreshOne) {
    std::vector<int32_t> samples(50000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            static_cast<int32_t>(std::lround(300.0 * std::sin(2 * std::numbers::pi * i / 137.5) + 0.01 * i));
    PeAnalysis fresh;
    PeAnalysis reserved;
    reserved.reserve(200000);
    for (uint32_t n : {20u, 5000u, 50000u}) {
        PeResult a = fresh.analyse(samples.data(), n, 25, 2, 0);
        PeResult b = reserved.analyse(samples.data(), n, 25, 2, 0);
        EXPECT_DOUBLE_EQ(a.peakToPeakArcsec, b.peakToPeakArcsec) << n;
        EXPECT_DOUBLE_EQ(a.rmsArcsec, b.rmsArcsec) << n;
        EXPECT_DOUBLE_EQ(a.dominantPeriodSamples, b.dominantPeriodSamples) << n;
        EXPECT_EQ(a.hasPeriod, b.hasPeriod) << n;
    }
}
