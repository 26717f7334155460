// The analysis window's figures: the whole log's components and folding, the stretches between markers
// with their changes, the two stretches compared, the curve cut down for drawing and the analysis CSV.
#include "model/analysis/AnalysisCsvWriter.h"
#include "model/analysis/CurveDecimation.h"
#include "model/analysis/LogAnalyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Tone {
    double amplitude; // arc-seconds
    double period;    // seconds
};

// A log at 4 Hz: the tones, a drift and a little noise; amplitude scaled by `gain` from sample `from` on.
LoadedLog makeLog(std::size_t n, const std::vector<Tone>& tones, double drift = 0.002) {
    LoadedLog log;
    log.format = LogFormat::Csv;
    log.sampleSeconds = 0.25;
    std::mt19937 rng(99);
    std::normal_distribution<double> noise(0.0, 0.05);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) * log.sampleSeconds;
        double v = 4.0 + drift * static_cast<double>(i) + noise(rng);
        for (const Tone& tone : tones)
            v += tone.amplitude * std::sin(2.0 * std::numbers::pi * t / tone.period);
        log.values.push_back(v);
    }
    return log;
}

TEST(LogAnalyserTest, FiveComponentsAndFoldingOnTheDominantPeriod) {
    // The worm and its harmonics; 7.3 worm cycles, so no period is a whole fraction of the length.
    const std::vector<Tone> tones = {{6.0, 480.0}, {3.0, 240.0}, {1.5, 160.0}, {0.8, 96.0}, {0.5, 60.0}};
    const LoadedLog log = makeLog(static_cast<std::size_t>(7.3 * 480 * 4), tones);
    LogAnalyser analyser;
    LogAnalysisReport report;
    report.serial = 17;
    analyser.analyse(log, LogAnalysisOptions{}, report);
    EXPECT_EQ(report.serial, 17u);
    ASSERT_TRUE(report.whole.valid);
    ASSERT_TRUE(report.hasTime());
    ASSERT_EQ(report.whole.components.size(), 5u);
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const PeComponent& c = report.whole.components[i];
        EXPECT_NEAR(c.periodSeconds, tones[i].period, 0.02 * tones[i].period) << i;
        EXPECT_NEAR(c.amplitudeArcsec, tones[i].amplitude, 0.05 * tones[i].amplitude) << i;
    }
    // Folded on the dominant period by default: 7 whole cycles.
    EXPECT_TRUE(report.wormFromDominant);
    EXPECT_DOUBLE_EQ(report.wormPeriod, report.whole.components[0].periodSeconds);
    ASSERT_TRUE(report.fold.valid);
    EXPECT_EQ(report.fold.cycles, 7u);
    EXPECT_LE(report.fold.curveCycle.size(), LogAnalysisOptions{}.maxFoldCurves);
    // The harmonics all repeat within a worm cycle, so the mean cycle keeps most of the curve's p-p.
    EXPECT_GT(report.fold.meanPeakToPeakArcsec, 0.8 * report.whole.peakToPeakArcsec);

    // A period entered: folded on it instead.
    LogAnalysisOptions options;
    options.wormPeriod = 240.0;
    analyser.analyse(log, options, report);
    EXPECT_FALSE(report.wormFromDominant);
    EXPECT_EQ(report.fold.cycles, 14u);
    EXPECT_NEAR(report.fold.periodPoints, 960.0, 1e-9);
    // Longer than the log: nothing to fold.
    options.wormPeriod = 1e6;
    analyser.analyse(log, options, report);
    EXPECT_FALSE(report.fold.valid);
}

TEST(LogAnalyserTest, CurveForDrawingAndTooShortLogs) {
    LoadedLog log = makeLog(40000, {{5.0, 480.0}});
    LogAnalyser analyser;
    LogAnalysisReport report;
    LogAnalysisOptions options;
    options.curveBuckets = 500;
    analyser.analyse(log, options, report);
    EXPECT_TRUE(report.whole.detrended.empty()); // the full curve stays with the analyser
    ASSERT_LE(report.curveX.size(), 1000u);
    ASSERT_EQ(report.curveX.size(), report.curveY.size());
    const auto [lo, hi] = std::minmax_element(report.curveY.begin(), report.curveY.end());
    EXPECT_NEAR(*hi - *lo, report.whole.peakToPeakArcsec, 1e-9); // no peak lost
    EXPECT_TRUE(std::is_sorted(report.curveX.begin(), report.curveX.end()));

    log.values.resize(5);
    analyser.analyse(log, options, report);
    EXPECT_FALSE(report.whole.valid);
    EXPECT_FALSE(report.fold.valid);
    ASSERT_EQ(report.segments.size(), 1u);
    EXPECT_FALSE(report.segments[0].valid);
}

TEST(LogAnalyserTest, StretchesBetweenMarkersWithTheirChanges) {
    // Three stretches of 4000 samples: the periodic error shrinks from 8" to 4" p-p, then grows to 6".
    const double amplitudes[3] = {4.0, 2.0, 3.0};
    LoadedLog log;
    log.sampleSeconds = 0.25;
    for (int s = 0; s < 3; ++s) {
        const LoadedLog part = makeLog(4000, {{amplitudes[s], 100.0}}, 0.0);
        log.values.insert(log.values.end(), part.values.begin(), part.values.end());
    }
    log.markers = {{4000, "PID 100/40/120"}, {8000, "Current 900 mA"}};
    LogAnalyser analyser;
    LogAnalysisReport report;
    LogAnalysisOptions options;
    options.compareA = 0;
    options.compareB = 1;
    analyser.analyse(log, options, report);
    ASSERT_EQ(report.segments.size(), 3u);
    struct Expected {
        std::size_t first, last;
        const char* label;
    };
    const Expected expected[3] = {
        {0, 4000, ""}, {4000, 8000, "PID 100/40/120"}, {8000, 12000, "Current 900 mA"}};
    for (int i = 0; i < 3; ++i) {
        const SegmentFigures& s = report.segments[static_cast<std::size_t>(i)];
        EXPECT_EQ(s.first, expected[i].first);
        EXPECT_EQ(s.last, expected[i].last);
        EXPECT_EQ(s.label, expected[i].label);
        EXPECT_DOUBLE_EQ(s.fromPoint, static_cast<double>(s.first));
        ASSERT_TRUE(s.valid);
        EXPECT_NEAR(s.peakToPeakArcsec, 2.0 * amplitudes[i], 0.4) << i;
        EXPECT_NEAR(s.rmsArcsec, amplitudes[i] / std::sqrt(2.0), 0.05) << i;
        ASSERT_TRUE(s.hasPeriod);
        EXPECT_NEAR(s.dominantPeriodSeconds, 100.0, 2.0);
        EXPECT_EQ(s.hasChange, i > 0);
    }
    const SegmentFigures& second = report.segments[1];
    const SegmentFigures& third = report.segments[2];
    EXPECT_DOUBLE_EQ(second.rmsChange, second.rmsArcsec - report.segments[0].rmsArcsec);
    EXPECT_NEAR(second.rmsChangePercent, -50.0, 2.5);
    EXPECT_NEAR(third.rmsChangePercent, 50.0, 3.0);
    EXPECT_DOUBLE_EQ(third.peakToPeakChangePercent, 100.0 * third.peakToPeakChange / second.peakToPeakArcsec);
    ASSERT_EQ(report.marks.size(), 2u);
    EXPECT_DOUBLE_EQ(report.marks[1].point, 8000.0);

    // The two stretches compared: their own spectra and folded means on the same worm period.
    for (int k = 0; k < 2; ++k) {
        const SegmentCurves& c = report.compared[k];
        EXPECT_EQ(c.segment, k);
        ASSERT_TRUE(c.valid);
        EXPECT_FALSE(c.spectrumPeriod.empty());
        ASSERT_TRUE(c.fold.valid);
        EXPECT_NEAR(c.fold.periodPoints, report.fold.periodPoints, 1e-9);
        EXPECT_NEAR(c.fold.meanPeakToPeakArcsec, 2.0 * amplitudes[k], 0.4);
        EXPECT_TRUE(c.fold.curves.empty());
    }
    // A stretch that does not exist is not compared.
    options.compareB = 7;
    analyser.analyse(log, options, report);
    EXPECT_EQ(report.compared[1].segment, -1);
}

// Stretches that start at different points of the worm cycle are compared at the same worm phase.
TEST(LogAnalyserTest, ComparedMeanCyclesShareTheWormPhase) {
    LoadedLog log = makeLog(12000, {{3.0, 100.0}}, 0.0); // 400 samples a cycle
    for (std::size_t mark : {4100, 5300, 8650}) {
        log.markers = {{mark, "change"}};
        LogAnalyser analyser;
        LogAnalysisReport report;
        LogAnalysisOptions options;
        options.wormPeriod = 100.0;
        options.compareA = 0;
        options.compareB = 1;
        analyser.analyse(log, options, report);
        const PeFoldResult& a = report.compared[0].fold;
        const PeFoldResult& b = report.compared[1].fold;
        ASSERT_TRUE(a.valid && b.valid) << mark;
        ASSERT_EQ(a.bins, b.bins);
        for (std::size_t i = 0; i < a.bins; ++i) {
            ASSERT_NEAR(a.mean[i], b.mean[i], 0.15) << mark << " bin " << i;
            ASSERT_NEAR(a.mean[i], report.fold.mean[i], 0.15) << mark << " bin " << i;
        }
    }
}

TEST(LogAnalyserTest, GuideLogMarksLieOnTheInterpolatedCurve) {
    // Frames every 2 s with one missing: the curve has a point every 2 s from the first frame's time.
    LoadedLog log;
    log.format = LogFormat::Phd2;
    log.sampleSeconds = 2.0;
    for (int k = 0; k < 200; ++k) {
        if (k == 50)
            continue;
        log.times.push_back(100.0 + 2.0 * k);
        log.values.push_back(std::sin(2.0 * std::numbers::pi * k / 23.0));
    }
    log.markers = {{100, "after the gap"}};
    LogAnalyser analyser;
    LogAnalysisReport report;
    analyser.analyse(log, LogAnalysisOptions{}, report);
    ASSERT_TRUE(report.whole.resampled);
    ASSERT_EQ(report.marks.size(), 1u);
    EXPECT_NEAR(report.marks[0].point, 101.0, 1e-9); // sample 100 is frame 101
    EXPECT_NEAR(report.axisOf(report.marks[0].point), 202.0, 1e-9);
    ASSERT_EQ(report.segments.size(), 2u);
    EXPECT_NEAR(report.segments[1].fromPoint, 101.0, 1e-9);
}

TEST(CurveDecimationTest, KeepsEveryPeakInOrder) {
    std::vector<double> x, y;
    struct Case {
        std::size_t n, buckets, maxPoints;
    };
    for (const Case& c : {Case{10, 5, 10}, Case{11, 5, 10}, Case{100000, 700, 1400}, Case{3, 0, 3}}) {
        std::vector<double> v(c.n);
        for (std::size_t i = 0; i < c.n; ++i)
            v[i] = std::sin(0.37 * static_cast<double>(i)) * (i == c.n / 3 ? 50.0 : 1.0);
        decimateMinMax(v.data(), v.size(), c.buckets, x, y);
        ASSERT_EQ(x.size(), y.size());
        EXPECT_LE(x.size(), c.maxPoints) << c.n;
        EXPECT_TRUE(std::is_sorted(x.begin(), x.end())) << c.n;
        EXPECT_DOUBLE_EQ(*std::max_element(y.begin(), y.end()), *std::max_element(v.begin(), v.end())) << c.n;
        EXPECT_DOUBLE_EQ(*std::min_element(y.begin(), y.end()), *std::min_element(v.begin(), v.end())) << c.n;
        for (std::size_t i = 0; i < x.size(); ++i)
            ASSERT_DOUBLE_EQ(y[i], v[static_cast<std::size_t>(x[i])]);
    }
    decimateMinMax(nullptr, 5, 2, x, y);
    EXPECT_TRUE(x.empty());
}

// The analysis CSV read back: the figures in its '#' lines, the spectrum and the folded mean in its rows.
TEST(AnalysisCsvTest, RoundTrip) {
    const LoadedLog log = makeLog(4 * 480 * 6, {{6.0, 480.0}, {2.0, 160.0}});
    LogAnalyser analyser;
    LogAnalysisReport report;
    analyser.analyse(log, LogAnalysisOptions{}, report);
    ASSERT_TRUE(report.fold.valid);
    const std::string path = ::testing::TempDir() + "astrelvo-analysis.csv";
    const AnalysisCsvResult result = writeAnalysisCsv(path.c_str(), report, "night\n1.csv");
    ASSERT_TRUE(result.ok) << result.errorNumber;

    std::stringstream in;
    {
        std::ifstream file(path, std::ios::binary);
        in << file.rdbuf();
    } // closed before it is removed (Windows keeps an open file)
    std::map<std::string, std::string> figures;
    std::vector<std::string> harmonics;
    std::vector<double> periods, amplitudes, foldX, foldMean;
    std::string line;
    bool header = false;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        line.pop_back();
        if (lines == 1) {
            EXPECT_EQ(line, "# astrelvo analysis 1");
        } else if (line.rfind("# harmonic: ", 0) == 0) {
            harmonics.push_back(line.substr(12));
        } else if (line.rfind("# ", 0) == 0) {
            const std::size_t colon = line.find(": ");
            ASSERT_NE(colon, std::string::npos) << line;
            figures[line.substr(2, colon - 2)] = line.substr(colon + 2);
        } else if (line == "table,x,value_arcsec") {
            header = true;
        } else {
            ASSERT_TRUE(header) << "a row before the header row: " << line;
            std::stringstream fields(line);
            std::string table, x, value;
            std::getline(fields, table, ',');
            std::getline(fields, x, ',');
            std::getline(fields, value, ',');
            (table == "spectrum" ? periods : foldX).push_back(std::stod(x));
            (table == "spectrum" ? amplitudes : foldMean).push_back(std::stod(value));
            ASSERT_TRUE(table == "spectrum" || table == "fold") << line;
        }
    }
    std::remove(path.c_str());
    EXPECT_EQ(figures["source"], "night 1.csv");
    EXPECT_EQ(figures["format"], "csv");
    EXPECT_EQ(figures["samples"], std::to_string(log.size()));
    EXPECT_EQ(figures["sample_seconds"], "0.25");
    EXPECT_EQ(figures["x_unit"], "seconds");
    EXPECT_NEAR(std::stod(figures["pe_peak_to_peak_arcsec"]), report.whole.peakToPeakArcsec, 0.0005);
    EXPECT_NEAR(std::stod(figures["pe_rms_arcsec"]), report.whole.rmsArcsec, 0.0005);
    EXPECT_NEAR(std::stod(figures["worm_period_seconds"]), report.wormPeriod, 1e-6 * report.wormPeriod);
    EXPECT_EQ(figures["worm_cycles"], std::to_string(report.fold.cycles));
    EXPECT_NEAR(std::stod(figures["worm_folded_peak_to_peak_arcsec"]), report.fold.meanPeakToPeakArcsec,
                0.0005);
    ASSERT_EQ(harmonics.size(), report.whole.components.size());
    char first[128];
    std::snprintf(first, sizeof first, "period_seconds=%.2f amplitude_arcsec=%.3f phase_deg=%.1f",
                  report.whole.components[0].periodSeconds, report.whole.components[0].amplitudeArcsec,
                  report.whole.components[0].phaseDeg);
    EXPECT_EQ(harmonics[0], first);

    ASSERT_EQ(periods.size(), report.whole.spectrumPeriod.size());
    for (std::size_t i = 0; i < periods.size(); ++i) {
        ASSERT_NEAR(periods[i], report.whole.spectrumPeriod[i], 1e-8 * periods[i]) << i;
        ASSERT_NEAR(amplitudes[i], report.whole.spectrumAmplitude[i], 5e-7) << i;
    }
    ASSERT_EQ(foldMean.size(), report.fold.bins);
    for (std::size_t b = 0; b < foldMean.size(); ++b) {
        EXPECT_NEAR(foldMean[b], report.fold.mean[b], 5e-7);
        EXPECT_NEAR(foldX[b], (b + 0.5) / report.fold.bins * report.wormPeriod, 1e-6);
    }

    // No figures, no file.
    LogAnalysisReport empty;
    const AnalysisCsvResult refused = writeAnalysisCsv(path.c_str(), empty, "x");
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(std::ifstream(path).good());
    // A file that cannot be created keeps the reason.
    const AnalysisCsvResult failed = writeAnalysisCsv("/nonexistent-dir/a.csv", report, "x");
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.errorNumber, ENOENT);
}

} // namespace
