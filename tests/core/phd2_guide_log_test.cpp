// PHD2 guide logs: sections, columns by name, skipped rows, and the mount's error rebuilt from the guide
// pulses.
#include "model/analysis/PeSpectrum.h"
#include "model/logs/LogFileReader.h"
#include "model/logs/Phd2LogReader.h"
#include "tests/GuidedNight.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr const char* kColumns =
    "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,"
    "DECGuideDistance,RADuration,RADirection,DECDuration,DECDirection,XStep,YStep,"
    "StarMass,SNR,ErrorCode";

std::string format(const char* fmt, double a, double b, double c, double d, double e) {
    char line[256];
    std::snprintf(line, sizeof line, fmt, a, b, c, d, e);
    return line;
}

// A guided section: the mount's own RA error (pixels) is error(k); a guider sees it less the pulses it
// sent before and corrects 70% of what it sees, at xRate pixels per second.
struct GuidedSection {
    std::string text;
    std::vector<double> mountError; // pixels, per guided frame
    std::vector<double> times;
};

GuidedSection guidedSection(int frames, double xRate, bool withXRate, double startTime = 0.0) {
    GuidedSection s;
    s.text =
        "Guiding Begins at 2023-03-01 20:05:00\n"
        "Dither = both axes, Dither scale = 1.000, Image noise reduction = none, Guide-frame time lapse = 0\n"
        "Pixel scale = 2.00 arc-sec/px, Binning = 1, Focal length = 400 mm\n";
    if (withXRate) {
        s.text +=
            format("Mount = EQMod Mount, connected, guiding enabled, xAngle = 10.0, xRate = %.3f, yAngle = "
                   "100.0, yRate = %.0f, parity = +/+,\n",
                   xRate, 5, 0, 0, 0);
    } else {
        s.text += "Mount = EQMod Mount, connected, guiding enabled, xAngle = 10.0, parity = +/+,\n";
    }
    s.text += std::string(kColumns) + "\n";
    double sent = 0.0; // pixels of correction sent so far
    double time = startTime;
    for (int k = 0; k < frames; ++k) {
        time += 2.0 + 0.01 * (k % 3);
        if (k == 7) {
            s.text += format("%.0f,%.3f,\"DROP\",,,,,,,,,,,,,0,0.0,2,\"Star lost, low SNR\"\n", 100.0 + k,
                             time, 0, 0, 0);
            continue;
        }
        if (k == 11)
            s.text += "INFO: SETTLING STATE CHANGE, Settling started\n";
        const double error = 3.0 * std::sin(2.0 * std::numbers::pi * k / 23.0) + 0.05 * k;
        const double raw = error - sent;
        const double guide = 0.7 * raw;
        const double durationMs = std::round(std::fabs(guide) / xRate * 1000.0);
        s.text += format("%.0f,%.3f,\"Mount\",0.1,0.2,%.6f,0.05,%.6f,0.00,", 100.0 + k, time, raw, guide, 0) +
                  format("%.0f,", durationMs, 0, 0, 0, 0) + (guide >= 0 ? "W" : "E") + ",0,,,,1234,25.1,0\n";
        sent += (guide > 0 ? 1.0 : guide < 0 ? -1.0 : 0.0) * durationMs / 1000.0 * xRate;
        s.mountError.push_back(error);
        s.times.push_back(time);
    }
    return s;
}

struct Read {
    bool ok = false;
    LoadedLog log;
    LogReadReport report;
};

Read readText(const std::string& text, uint32_t section = 0) {
    Read r;
    LineSource lines(text.data(), text.size());
    LogReadOptions options;
    options.section = section;
    r.ok = readLog(lines, options, r.log, r.report);
    return r;
}

const std::string kPreamble =
    "PHD2 version 2.6.11 [Linux], Log version 2.5. Log enabled at 2023-03-01 20:00:00\n"
    "Calibration Begins at 2023-03-01 20:01:00\n"
    "Pixel scale = 2.00 arc-sec/px, Binning = 1, Focal length = 400 mm\n"
    "Direction,Step,dx,dy,x,y,Dist\n"
    "West,1,0.000,0.000,100.0,100.0,0.000\n"
    "West calibration complete. Angle = 10.0 deg\n";

TEST(Phd2GuideLogTest, GuidedSectionGivesBackTheMountError) {
    // No "Guiding Ends": the log stops in the middle of the section.
    const GuidedSection s = guidedSection(40, 5.0, true);
    const Read r = readText(kPreamble + s.text);
    ASSERT_TRUE(r.ok) << r.report.errorText();
    EXPECT_EQ(r.log.format, LogFormat::Phd2);
    EXPECT_EQ(r.log.section, 1u);
    EXPECT_EQ(r.log.sectionCount, 1u);
    EXPECT_EQ(r.log.started, "2023-03-01 20:05:00");
    EXPECT_TRUE(r.log.notes.empty());
    EXPECT_EQ(r.report.malformedCount(), 0u);
    ASSERT_EQ(r.log.values.size(), s.mountError.size()); // the DROP row and the INFO line are skipped
    for (std::size_t k = 0; k < s.mountError.size(); ++k)
        EXPECT_NEAR(r.log.values[k], 2.0 * s.mountError[k], 1e-4) << "frame " << k;
    ASSERT_EQ(r.log.times.size(), s.times.size());
    for (std::size_t k = 0; k < s.times.size(); ++k)
        EXPECT_NEAR(r.log.times[k], s.times[k], 1e-9);
    EXPECT_NEAR(r.log.sampleSeconds, 2.01, 1e-9); // the median frame spacing
}

TEST(Phd2GuideLogTest, WithoutXRateTheErrorIsTakenAsLogged) {
    const GuidedSection s = guidedSection(20, 5.0, false);
    const Read r = readText(kPreamble + s.text + "Guiding Ends at 2023-03-01 20:06:00\n");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.log.notes, (std::vector<std::string>{"analysed as logged: no xRate"}));
    // Only the first frame saw no earlier pulse.
    EXPECT_NEAR(r.log.values[0], 2.0 * s.mountError[0], 1e-4);
    EXPECT_GT(std::fabs(r.log.values[10] - 2.0 * s.mountError[10]), 0.5);
}

TEST(Phd2GuideLogTest, LongestSectionByDefaultAnyByNumber) {
    const std::string text = kPreamble + guidedSection(12, 5.0, true).text + "Guiding Ends at x\n" +
                             guidedSection(30, 4.0, true, 500.0).text + "Guiding Ends at y\n" +
                             guidedSection(20, 5.0, true).text;
    struct Case {
        uint32_t asked;
        uint32_t section;
        std::size_t frames;
    };
    for (const Case& c : {Case{0, 2, 29}, Case{1, 1, 11}, Case{3, 3, 19}}) {
        const Read r = readText(text, c.asked);
        ASSERT_TRUE(r.ok) << c.asked;
        EXPECT_EQ(r.log.section, c.section);
        EXPECT_EQ(r.log.sectionCount, 3u);
        EXPECT_EQ(r.log.values.size(), c.frames);
    }
    // Reading the longest counts the frames of every section, so that a user can choose another.
    const Read all = readText(text, 0);
    ASSERT_EQ(all.log.sections.size(), 3u);
    const std::size_t frames[3] = {11, 29, 19};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(all.log.sections[i].number, i + 1);
        EXPECT_EQ(all.log.sections[i].frames, frames[i]);
        EXPECT_TRUE(all.log.sections[i].usable);
        EXPECT_EQ(all.log.sections[i].started, "2023-03-01 20:05:00");
    }
    EXPECT_LT(all.log.sections[0].line, all.log.sections[1].line);
    const Read r = readText(text, 4);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.report.error(), LogReadError::NoSuchSection);
}

TEST(Phd2GuideLogTest, ColumnsAreFoundByName) {
    const std::string text = "Guiding Begins at 2023-03-01 21:00:00\n"
                             "Pixel scale = 1.50 arc-sec/px\n"
                             "Mount = Mount, xRate = 10.0\n"
                             "mount,RADuration,Time,RAGuideDistance,RARawDistance,Frame\n"
                             "\"Mount\",100,1.0,0.5,0.25,1\n"
                             "\"Mount\",200,2.0,-0.5,0.5,2\n"
                             "\"Mount\",0,3.0,0.0,-1.0,3\n";
    const Read r = readText(text);
    ASSERT_TRUE(r.ok) << r.report.errorText();
    // Corrections: +1.0 px after frame 1, -2.0 px after frame 2.
    EXPECT_EQ(r.log.values, (std::vector<double>{0.25 * 1.5, 1.5 * 1.5, -2.0 * 1.5}));
}

TEST(Phd2GuideLogTest, BadRowsAreReportedWithTheirNumbers) {
    const std::string text = "Guiding Begins at 2023-03-01 21:00:00\n" // 1
                             "Pixel scale = 1.50 arc-sec/px\n"         // 2
                             "Mount = Mount, xRate = 10.0\n"           // 3
                             "Frame,Time,mount,RARawDistance\n"        // 4
                             "1,1.0,\"Mount\",0.25\n"                  // 5
                             "2,abc,\"Mount\",0.25\n"                  // 6
                             "3,0.5,\"Mount\",0.25\n"                  // 7: back in time
                             "4,4.0,\"Scope\",0.25\n"                  // 8
                             "5,5.0,\"Mount\",\n"                      // 9
                             "what is this\n"                          // 10
                             "ALERT: something happened\n"             // 11
                             "6,6.0,\"Mount\",0.5\n";                  // 12
    const Read r = readText(text);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log.values.size(), 2u);
    std::vector<uint64_t> lines;
    for (const LogIssue& issue : r.report.issues())
        lines.push_back(issue.line);
    EXPECT_EQ(lines, (std::vector<uint64_t>{6, 7, 8, 9, 10}));
    // No pulse columns: the values are as logged, and a note says why.
    EXPECT_EQ(r.log.notes,
              (std::vector<std::string>{"analysed as logged: no RAGuideDistance or RADuration column"}));
}

TEST(Phd2GuideLogTest, SectionsThatCannotBeReadFailClearly) {
    struct Case {
        std::string text;
        LogReadError error;
        uint64_t line;
    };
    for (const Case& c : {
             Case{kPreamble, LogReadError::NoSamples, 6},
             Case{"Guiding Begins at x\nMount = M, xRate = "
                  "1\nFrame,Time,mount,RARawDistance\n1,1,\"Mount\",1\n",
                  LogReadError::NoSamples, 1}, // no pixel scale
             Case{"Guiding Begins at x\nPixel scale = 1 arc-sec/px\nFrame,Time,RARawDistance\n1,1,1\n",
                  LogReadError::NoSamples, 1}, // no mount column
             Case{"Guiding Begins at x\nPixel scale = 1 arc-sec/px\nFrame,Time,mount,RARawDistance\n"
                  "1,1,\"DROP\",,\nGuiding Ends at y\n",
                  LogReadError::NoSamples, 1}, // only dropped frames
         }) {
        const Read r = readText(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.report.error(), c.error) << c.text;
        EXPECT_EQ(r.report.errorLine(), c.line) << c.text << r.report.errorText();
    }
}

} // namespace

namespace {

// The line number (1-based) of the first line of text holding needle.
uint64_t lineOf(const std::string& text, const std::string& needle) {
    const std::size_t at = text.find(needle);
    return at == std::string::npos
               ? 0
               : 1 + static_cast<uint64_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

} // namespace

// Damage a night leaves in a guide log: each case changes the frame of guided frame 20 (or the end of the
// file) and says which frames survive and what the reader says. The frames kept are the mount's error,
// unshifted by what was dropped.
TEST(Phd2GuideLogTest, DamagedFramesAreSkippedOrLeftOutAndNamed) {
    enum class Damage { CutRow, Spike, TwoSpikes, NulInRow, NulPaddedTail };
    const GuidedSection s = guidedSection(40, 5.0, true);
    const std::string text = kPreamble + s.text;
    // Frame 20's row starts with its frame number 120 (the DROP row is frame 7).
    const std::string rowStart = "\n120,";
    const std::size_t row = text.find(rowStart) + 1;
    const std::size_t rowEnd = text.find('\n', row);
    const uint64_t rowLine = lineOf(text, rowStart) + 1;
    const std::size_t damagedFrame = 19; // index among the guided frames (frame 7 was dropped)
    for (const Damage damage :
         {Damage::CutRow, Damage::Spike, Damage::TwoSpikes, Damage::NulInRow, Damage::NulPaddedTail}) {
        std::string t = text;
        std::size_t frames = s.mountError.size();
        switch (damage) {
        case Damage::CutRow: // RADuration and everything after it missing
            t.erase(t.begin() +
                        static_cast<std::ptrdiff_t>(row + t.substr(row, rowEnd - row).find(",0.00,") + 5),
                    t.begin() + static_cast<std::ptrdiff_t>(rowEnd));
            break;
        case Damage::Spike: // RARawDistance 5000 px in a well-formed row (and in the next one)
        case Damage::TwoSpikes:
            for (std::size_t at = row, k = 0; k < (damage == Damage::Spike ? 1u : 2u); ++k) {
                const std::size_t raw = at + t.substr(at).find("0.2,") + 4;
                t.replace(raw, t.find(',', raw) - raw, "5000.0");
                at = t.find('\n', at) + 1;
            }
            break;
        case Damage::NulInRow:
            t[row + 2] = '\0';
            break;
        case Damage::NulPaddedTail: // the last row half written, then NUL bytes to the end
            t = t.substr(0, row + 8) + std::string(70000, '\0');
            frames = damagedFrame;
            break;
        }
        SCOPED_TRACE(static_cast<int>(damage));
        const Read r = readText(t);
        ASSERT_TRUE(r.ok) << r.report.errorText();
        const bool skipped = damage == Damage::CutRow || damage == Damage::NulInRow;
        ASSERT_EQ(r.report.malformedCount(), skipped ? 1u : 0u);
        if (skipped) {
            EXPECT_EQ(r.report.issues()[0].line, rowLine);
        }
        if (damage == Damage::Spike)
            EXPECT_EQ(r.log.notes, std::vector<std::string>{"1 outlier frames left out (lines " +
                                                            std::to_string(rowLine) + ")"});
        else if (damage == Damage::TwoSpikes)
            EXPECT_EQ(r.log.notes,
                      std::vector<std::string>{"2 outlier frames left out (lines " + std::to_string(rowLine) +
                                               ", " + std::to_string(rowLine + 1) + ")"});
        else if (damage == Damage::NulPaddedTail)
            EXPECT_EQ(r.log.notes,
                      std::vector<std::string>{
                          "the readable part ends at line " + std::to_string(rowLine - 1) + ": from line " +
                          std::to_string(rowLine) +
                          " on the file holds only NUL bytes (as a crash or power loss leaves it)"});
        else
            EXPECT_TRUE(r.log.notes.empty());
        const std::size_t lost = damage == Damage::NulPaddedTail ? 0 : damage == Damage::TwoSpikes ? 2 : 1;
        const std::size_t expected = frames - lost;
        ASSERT_EQ(r.log.values.size(), expected);
        for (std::size_t k = 0, v = 0; k < frames; ++k) {
            if (k >= damagedFrame && k < damagedFrame + lost)
                continue;
            // A skipped row's pulse is unknown: the frames after it are off by that pulse, so only the
            // ones before it are compared there. An outlier's pulse still counts.
            if (!skipped || k < damagedFrame) {
                EXPECT_NEAR(r.log.values[v], 2.0 * s.mountError[k], 1e-4) << "frame " << k;
            }
            ++v;
        }
    }
}

// A simulated night with a known periodic error: whatever the guider did with the lock position, the
// reader gives back the mount's own error, so the figures are the mount's.
TEST(Phd2GuideLogTest, DitheredNightsGiveTheMountsFigures) {
    struct Case {
        const char* name;
        double ditherEvery;
        double lockMoveEvery;
        bool reversed;
        int spikeFrame;
        std::vector<std::string> notes; // without the outlier note
    };
    const Case cases[] = {
        {"not dithered", 0.0, 0.0, false, -1, {}},
        {"dithered", 300.0, 0.0, false, -1, {"24 dithers added back"}},
        {"dithered, lock moved, mirrored chip",
         300.0,
         1100.0,
         true,
         -1,
         {"24 dithers added back", "6 lock position moves added back"}},
        // A hot pixel two frames after a dither, while settling: caught, and only it.
        {"spike among dithers", 300.0, 0.0, false, 152, {"24 dithers added back"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuidedNightSetup setup;
        setup.ditherEverySeconds = c.ditherEvery;
        setup.lockMoveEverySeconds = c.lockMoveEvery;
        setup.raAxisReversed = c.reversed;
        setup.spikeFrame = c.spikeFrame;
        const GuidedNight night = simulateGuidedNight(setup);
        const Read r = readText(night.text);
        ASSERT_TRUE(r.ok) << r.report.errorText();
        EXPECT_EQ(r.report.malformedCount(), 0u);
        std::vector<std::string> notes = c.notes;
        if (night.spikeLine != 0)
            notes.push_back("1 outlier frames left out (lines " + std::to_string(night.spikeLine) + ")");
        EXPECT_EQ(r.log.notes, notes);
        // Settling frames stay in: every frame but the spike.
        EXPECT_EQ(r.log.values.size(), night.frames - (night.spikeLine != 0 ? 1 : 0));

        PeSpectrum spectrum;
        PeSpectrumResult result;
        ASSERT_TRUE(spectrum.analyse(r.log, 0, r.log.size(), result));
        EXPECT_NEAR(result.peakToPeakArcsec, night.truePeakToPeak(), 0.03 * night.truePeakToPeak());
        EXPECT_NEAR(result.rmsArcsec, night.trueRms(), 0.03 * night.trueRms());
        ASSERT_TRUE(result.hasPeriod());
        EXPECT_NEAR(result.components.front().periodSeconds, 479.0, 0.01 * 479.0);
    }
}
