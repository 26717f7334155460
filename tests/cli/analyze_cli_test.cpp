// astrelvo-cli analyze: output lines, their order and the exit codes; log --csv.
#include "model/logs/CsvLogWriter.h"
#include "tests/GuidedNight.h"
#include "tests/cli/CliRun.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end - from));
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return lines;
}

// The names of `name: value` lines, in order.
std::vector<std::string> namesOf(const std::string& text) {
    std::vector<std::string> names;
    for (const std::string& line : linesOf(text))
        names.push_back(line.substr(0, line.find(':')));
    return names;
}

double valueOf(const std::string& text, const std::string& name) {
    const std::size_t at = text.find("\n" + name + ": ");
    const std::size_t start = at == std::string::npos ? (text.rfind(name + ": ", 0) == 0 ? 0 : at) : at + 1;
    if (start == std::string::npos)
        return std::nan("");
    return std::atof(text.c_str() + start + name.size() + 2);
}

class AnalyzeCliTest : public CliRunTest {
protected:
    // A 24-bit tracking log at 4 Hz: drift, a 480 s worm error of 5" with its second harmonic (1.5").
    void writeWormCsv(const std::string& name, int samples) const {
        CsvLogWriter writer;
        ASSERT_TRUE(writer.open(path(name).c_str()));
        CsvLogHeader header;
        header.encoderBits = 24;
        header.sampleSeconds = 0.25;
        header.port = "virtual";
        writer.writeHeader(header);
        const double countsPerArcsec = std::ldexp(1.0, 24) / 1296000.0;
        for (int i = 0; i < samples; ++i) {
            const double t = 0.25 * i;
            const double arcsec = 0.002 * t + 5.0 * std::sin(2 * std::numbers::pi * t / 480.0) +
                                  1.5 * std::sin(4 * std::numbers::pi * t / 480.0 + 1.1);
            writer.writeSample(i, static_cast<int32_t>(std::lround(arcsec * countsPerArcsec)));
        }
        ASSERT_TRUE(writer.close());
    }
};

TEST_F(AnalyzeCliTest, CsvLogPrintsEveryFigureInOrder) {
    writeWormCsv("night.csv", 4 * 1450); // a little over three worm turns
    const CliRunResult r = run("analyze night.csv");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(namesOf(r.out),
              (std::vector<std::string>{"format", "samples", "sample_seconds", "pe_peak_to_peak_arcsec",
                                        "pe_rms_arcsec", "dominant_period_samples", "dominant_period_seconds",
                                        "drift_arcsec_per_sample", "harmonic", "harmonic", "worm_cycles",
                                        "worm_folded_peak_to_peak_arcsec"}));
    const std::vector<std::string> lines = linesOf(r.out);
    EXPECT_EQ(lines[0], "format: csv");
    EXPECT_EQ(lines[1], "samples: 5800");
    EXPECT_EQ(lines[2], "sample_seconds: 0.25");
    EXPECT_NEAR(valueOf(r.out, "dominant_period_seconds"), 480.0, 0.5);
    EXPECT_NEAR(valueOf(r.out, "dominant_period_samples"), 1920.0, 2.0);
    EXPECT_NEAR(valueOf(r.out, "drift_arcsec_per_sample"), 0.0005, 0.00002);
    // harmonic: period_seconds=P amplitude_arcsec=A phase_deg=F, strongest first
    struct Harmonic {
        double period, amplitude, phase;
    };
    const Harmonic expected[2] = {{480.0, 5.0, 0.0}, {240.0, 1.5, 1.1 * 180.0 / std::numbers::pi}};
    for (int h = 0; h < 2; ++h) {
        Harmonic got{};
        ASSERT_EQ(std::sscanf(lines[8 + h].c_str(),
                              "harmonic: period_seconds=%lf amplitude_arcsec=%lf phase_deg=%lf", &got.period,
                              &got.amplitude, &got.phase),
                  3)
            << lines[8 + h];
        EXPECT_NEAR(got.period, expected[h].period, 0.5) << lines[8 + h];
        EXPECT_NEAR(got.amplitude, expected[h].amplitude, 0.01) << lines[8 + h];
        EXPECT_NEAR(got.phase, expected[h].phase, 2.0) << lines[8 + h];
    }
    EXPECT_EQ(lines[10], "worm_cycles: 3");
    EXPECT_NEAR(valueOf(r.out, "worm_folded_peak_to_peak_arcsec"), valueOf(r.out, "pe_peak_to_peak_arcsec"),
                0.3);

    // Folded on a period given in seconds instead.
    const CliRunResult folded = run("analyze night.csv --worm-period-seconds 240");
    ASSERT_EQ(folded.exitCode, 0) << folded.err;
    EXPECT_NE(folded.out.find("\nworm_cycles: 6\n"), std::string::npos) << folded.out;
}

TEST_F(AnalyzeCliTest, DataExportNeedsItsEncoderWidthAndMayLackATimeBase) {
    std::string dat;
    char line[64];
    for (int i = 0; i < 3000; ++i) {
        const double counts = 2000.0 * std::sin(2 * std::numbers::pi * i / 217.3);
        std::snprintf(line, sizeof line, "[N:%d TS:%d] %ld 0 0\r\n", i, i, std::lround(counts));
        dat += line;
    }
    writeFile("data.dat", dat);
    CliRunResult r = run("analyze data.dat");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--encoder-bits"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: astrelvo-cli"), std::string::npos);

    r = run("analyze data.dat --encoder-bits 20");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(namesOf(r.out),
              (std::vector<std::string>{"format", "samples", "pe_peak_to_peak_arcsec", "pe_rms_arcsec",
                                        "dominant_period_samples", "drift_arcsec_per_sample", "harmonic",
                                        "worm_cycles", "worm_folded_peak_to_peak_arcsec"}));
    EXPECT_NE(r.out.find("format: dat\n"), std::string::npos);
    EXPECT_NE(r.out.find("harmonic: period_samples=217.30 amplitude_arcsec=2471.9"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("worm_cycles: 13\n"), std::string::npos);

    // A worm period in seconds needs a time base.
    r = run("analyze data.dat --encoder-bits 20 --worm-period-seconds 100");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--sample-seconds"), std::string::npos) << r.err;
    r = run("analyze data.dat --encoder-bits 20 --sample-seconds 2 --worm-period-seconds 100");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nsample_seconds: 2\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nworm_cycles: 60\n"), std::string::npos) << r.out; // 6000 s of log
}

TEST_F(AnalyzeCliTest, GuideLogNamesItsSectionAndSaysWhenItHasNoXRate) {
    std::string log = "PHD2 version 2.6.11, Log version 2.5. Log enabled at 2023-03-01 20:00:00\n";
    for (int section = 0; section < 2; ++section) {
        log += "Guiding Begins at 2023-03-01 2" + std::to_string(section) + ":00:00\n";
        log += "Pixel scale = 2.00 arc-sec/px, Binning = 1, Focal length = 400 mm\n";
        log += section == 0 ? "Mount = M, xRate = 5.000, yRate = 5.000\n" : "Mount = M, guiding enabled\n";
        log += "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,DECGuideDistance,"
               "RADuration\n";
        const int frames = section == 0 ? 100 : 400;
        char row[160];
        for (int k = 1; k <= frames; ++k) {
            std::snprintf(row, sizeof row, "%d,%.3f,\"Mount\",0,0,%.4f,0,0,0,0\n", k, 2.0 * k,
                          1.5 * std::sin(2 * std::numbers::pi * k / 60.0));
            log += row;
        }
        if (section == 0)
            log += "Guiding Ends at 2023-03-01 20:30:00\n";
    }
    writeFile("PHD2_GuideLog.txt", log);
    CliRunResult r = run("analyze PHD2_GuideLog.txt");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = linesOf(r.out);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "format: phd2");
    EXPECT_EQ(lines[1], "section: 2 of 2");
    EXPECT_EQ(lines[2], "note: analysed as logged: no xRate");
    EXPECT_EQ(lines[3], "samples: 400");
    EXPECT_EQ(lines[4], "sample_seconds: 2");
    EXPECT_NEAR(valueOf(r.out, "dominant_period_seconds"), 120.0, 0.5);

    r = run("analyze PHD2_GuideLog.txt --section 1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("section: 1 of 2\nsamples: 100\n"), std::string::npos) << r.out;

    r = run("analyze PHD2_GuideLog.txt --section 3");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--section 3"), std::string::npos) << r.err;
}

TEST_F(AnalyzeCliTest, UnreadableFilesExitWithThreeAndSayWhereAndWhy) {
    writeFile("diary.txt", "Dear diary,\nclouds again.\n");
    writeFile("empty.csv",
              "# astrelvo log 1\r\n# encoder_bits: 24\r\nsample,timestamp,value_counts,value_arcsec\r\n");
    writeFile("short.csv", "sample,timestamp,value_counts,value_arcsec\n0,0,1,1.0\n1,0,2,2.0\nbad\n");
    struct Case {
        const char* args;
        const char* message;
    };
    for (const Case& c : {Case{"analyze missing.csv", "missing.csv: the file cannot be opened: No such file"},
                          Case{"analyze diary.txt", "diary.txt:1: not a log"},
                          Case{"analyze empty.csv", "empty.csv:3: no sample after the header row"},
                          Case{"analyze short.csv", "2 usable samples, too few to analyse"},
#ifdef _WIN32
                          // Windows refuses to open a directory as a file at all.
                          Case{"analyze .", ".: the file cannot be opened"}}) {
#else
                          Case{"analyze .", ".:1: the file could not be read: Is a directory"}}) {
#endif
        const CliRunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 3) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
    // The skipped line is reported before the verdict.
    EXPECT_NE(run("analyze short.csv").err.find("short.csv:4: skipped: "), std::string::npos);
}

TEST_F(AnalyzeCliTest, BadUsageExitsWithTwo) {
    writeWormCsv("night.csv", 100);
    for (const char* args :
         {"analyze", "analyze night.csv other.csv", "analyze night.csv --encoder-bits 0",
          "analyze night.csv --encoder-bits x", "analyze night.csv --sample-seconds -1",
          "analyze night.csv --section 0", "analyze night.csv --worm-period-seconds",
          "analyze night.csv --bogus", "analyze night.csv --section 1", "compare night.csv",
          "compare night.csv night.csv --section-before 1", "compare night.csv night.csv --section 1",
          "log --port test --seconds 1 --csv"}) {
        const CliRunResult r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: astrelvo-cli"), std::string::npos) << args;
    }
}

// Before: a dithered guided night (8" at 479 s, 2" at 159.7 s); after: a CSV log of the same mount with
// 5" at 480 s and 1.5" at 240 s. Each figure is checked against what was put in.
TEST_F(AnalyzeCliTest, CompareLaysTwoNightsSideBySide) {
    GuidedNightSetup setup;
    setup.ditherEverySeconds = 300.0;
    const GuidedNight before = simulateGuidedNight(setup);
    writeFile("PHD2_GuideLog.txt", before.text);
    writeWormCsv("after.csv", 4 * 7200);
    const CliRunResult r = run("compare PHD2_GuideLog.txt after.csv");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("PHD2_GuideLog.txt: note: 24 dithers added back"), std::string::npos) << r.err;
    const std::vector<std::string> names = namesOf(r.out);
    const std::vector<std::string> head = {"before_pe_peak_to_peak_arcsec",
                                           "after_pe_peak_to_peak_arcsec",
                                           "change_pe_peak_to_peak_percent",
                                           "before_pe_rms_arcsec",
                                           "after_pe_rms_arcsec",
                                           "change_pe_rms_percent",
                                           "worm_period_seconds"};
    ASSERT_GE(names.size(), head.size() + 4);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 7), head);
    EXPECT_EQ(names[names.size() - 2], "before_folded_peak_to_peak_arcsec");
    EXPECT_EQ(names.back(), "after_folded_peak_to_peak_arcsec");

    // The after curve's own figures, from its formula (drift left out).
    double lo = 1e9, hi = -1e9, squares = 0.0;
    const int n = 4 * 7200;
    for (int i = 0; i < n; ++i) {
        const double t = 0.25 * i;
        const double v = 5.0 * std::sin(2 * std::numbers::pi * t / 480.0) +
                         1.5 * std::sin(4 * std::numbers::pi * t / 480.0 + 1.1);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        squares += v * v;
    }
    const double b = valueOf(r.out, "before_pe_peak_to_peak_arcsec");
    const double a = valueOf(r.out, "after_pe_peak_to_peak_arcsec");
    EXPECT_NEAR(b, before.truePeakToPeak(), 0.03 * before.truePeakToPeak());
    EXPECT_NEAR(a, hi - lo, 0.03 * (hi - lo));
    EXPECT_NEAR(valueOf(r.out, "before_pe_rms_arcsec"), before.trueRms(), 0.03 * before.trueRms());
    EXPECT_NEAR(valueOf(r.out, "after_pe_rms_arcsec"), std::sqrt(squares / n), 0.03 * std::sqrt(squares / n));
    EXPECT_NEAR(valueOf(r.out, "change_pe_peak_to_peak_percent"), 100.0 * (a - b) / b, 0.1);
    EXPECT_NEAR(valueOf(r.out, "worm_period_seconds"), 479.0, 4.79);

    // BEFORE's components with AFTER's amplitude at the same periods.
    struct Harmonic {
        double period, before, after;
    };
    std::vector<Harmonic> harmonics;
    for (const std::string& line : linesOf(r.out)) {
        Harmonic h{};
        if (std::sscanf(line.c_str(), "harmonic: period_seconds=%lf before_arcsec=%lf after_arcsec=%lf",
                        &h.period, &h.before, &h.after) == 3)
            harmonics.push_back(h);
    }
    ASSERT_GE(harmonics.size(), 2u);
    EXPECT_LE(harmonics.size(), 5u);
    EXPECT_NEAR(harmonics[0].period, 479.0, 2.0);
    EXPECT_NEAR(harmonics[0].before, 8.0, 0.25);
    EXPECT_NEAR(harmonics[0].after, 5.0, 0.25);
    EXPECT_NEAR(harmonics[1].period, 159.7, 1.0);
    EXPECT_NEAR(harmonics[1].before, 2.0, 0.1);
    EXPECT_LT(harmonics[1].after, 0.1);
    EXPECT_NEAR(valueOf(r.out, "after_folded_peak_to_peak_arcsec"), hi - lo, 0.3);
    EXPECT_NEAR(valueOf(r.out, "before_folded_peak_to_peak_arcsec"), before.truePeakToPeak(), 0.5);
}

TEST_F(AnalyzeCliTest, LogWritesTheCsvBesideTheDataExport) {
    const CliRunResult r = run("log --port virtual --seconds 3 --rate 3 --output night.dat --csv night.csv");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\ncsv: night.csv\n"), std::string::npos) << r.out;
    const std::string csv = readWholeFile(path("night.csv"));
    EXPECT_EQ(csv.rfind("# astrelvo log 1\r\n# encoder_bits: ", 0), 0u) << csv.substr(0, 200);
    EXPECT_NE(csv.find("\r\n# sample_seconds: 0.0625\r\n# started: "), std::string::npos);
    EXPECT_NE(csv.find("\r\n# port: virtual\r\nsample,timestamp,value_counts,value_arcsec\r\n0,"),
              std::string::npos);
    // As many rows as records in the data export, and the same figures when analysed.
    const std::string dat = readWholeFile(path("night.dat"));
    const auto rows = std::count(csv.begin(), csv.end(), '\n') - 6;
    EXPECT_EQ(rows, std::count(dat.begin(), dat.end(), '\n'));
    EXPECT_GT(rows, 10);
    const CliRunResult fromCsv = run("analyze night.csv");
    ASSERT_EQ(fromCsv.exitCode, 0) << fromCsv.err;
    const std::string bits = csv.substr(csv.find("encoder_bits: ") + 14, 2);
    const CliRunResult fromDat = run("analyze night.dat --sample-seconds 0.0625 --encoder-bits " + bits);
    ASSERT_EQ(fromDat.exitCode, 0) << fromDat.err;
    EXPECT_EQ(fromCsv.out.substr(fromCsv.out.find('\n')), fromDat.out.substr(fromDat.out.find('\n')));

    const CliRunResult unwritable = run("log --port test --seconds 1 --csv /nonexistent-dir/x.csv");
    EXPECT_EQ(unwritable.exitCode, 3);
    EXPECT_NE(unwritable.err.find("Cannot write /nonexistent-dir/x.csv"), std::string::npos)
        << unwritable.err;
}

} // namespace
