// data.dat exports and Astrelvo CSV logs read back, recognised by content, with skipped lines reported.
#include "model/analysis/PeAnalysis.h"
#include "model/logs/CsvLogReader.h"
#include "model/logs/DatLogReader.h"
#include "model/logs/LogFileReader.h"
#include "model/logs/StoreLog.h"
#include "model/store/AppModel.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Read {
    bool ok = false;
    LoadedLog log;
    LogReadReport report;
};

Read readText(const std::string& text, LogReadOptions options = {}) {
    Read r;
    LineSource lines(text.data(), text.size());
    r.ok = readLog(lines, options, r.log, r.report);
    return r;
}

std::vector<uint64_t> issueLines(const LogReadReport& report) {
    std::vector<uint64_t> lines;
    for (const LogIssue& issue : report.issues())
        lines.push_back(issue.line);
    return lines;
}

const double kArcsec24 = peArcsecPerCount(24);

TEST(LogRecognitionTest, FormatsAreToldApartByContentOnly) {
    struct Case {
        const char* text;
        LogKind kind;
    };
    for (const Case& c : {
             Case{"[N:0 TS:5] 1000 1200 7\r\n", LogKind::Dat},
             Case{"\xEF\xBB\xBF[N:0 TS:5] 1000\r\n", LogKind::Dat},
             Case{"# astrelvo log 1\r\n# encoder_bits: 24\r\n", LogKind::Csv},
             Case{"# exported by hand\n\nsample,timestamp,value_counts,value_arcsec,comment\n", LogKind::Csv},
             Case{"PHD2 version 2.6.11, Log version 2.5. Log enabled at 2023-03-01 20:00:00\n",
                  LogKind::Phd2},
             Case{"\nGuiding Begins at 2023-03-01 20:05:00\n", LogKind::Phd2},
             Case{"", LogKind::NotALog},
             Case{"sample;timestamp;value\n1;2;3\n", LogKind::NotALog},
             Case{"# a comment\nhello\n", LogKind::NotALog},
         }) {
        EXPECT_EQ(recogniseLog(c.text), c.kind) << c.text;
    }
    EXPECT_EQ(recogniseLog(std::string_view("[N:0 TS:5] 1\0\r\n", 16)), LogKind::NotALog) << "binary";
}

TEST(DatLogTest, ValueAfterTheBracketInArcsecondsUnwrapped) {
    // 16-byte records (three values) and 8-byte ones (one value); a 12-bit encoder crossing its zero.
    const Read r = readText("[N:0 TS:5] 4090 1200 7\r\n"
                            "[N:1 TS:6] 4095 1200 7\r\n"
                            "[N:2 TS:7] 3\r\n"
                            "\r\n"
                            "[N:3 TS:8] 10\r\n",
                            {12, 0.25, 0});
    ASSERT_TRUE(r.ok) << r.report.errorText();
    EXPECT_EQ(r.log.format, LogFormat::Dat);
    EXPECT_EQ(r.log.encoderBits, 12u);
    EXPECT_EQ(r.log.sampleSeconds, 0.25);
    const double s = peArcsecPerCount(12);
    ASSERT_EQ(r.log.values, (std::vector<double>{4090 * s, 4095 * s, 4099 * s, 4106 * s}));
    EXPECT_TRUE(r.log.notes.empty());
    EXPECT_EQ(r.report.malformedCount(), 0u);
}

TEST(DatLogTest, SkippedLinesAreReportedWithTheirNumbers) {
    const Read r = readText("[N:0 TS:5] 100\r\n"
                            "garbage\r\n"
                            "[N:2 TS:x] 5\r\n"
                            "[N:3 TS:8]\r\n"
                            "[N:4 TS:9] 5000000000\r\n"
                            "[N:5 TS:10] 7 abc\r\n"
                            "[N:9 TS:11] 104\r\n"
                            "[N:10 TS:12] 1",
                            {24, 0.0, 0});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log.values, (std::vector<double>{100 * kArcsec24, 104 * kArcsec24, 1 * kArcsec24}));
    EXPECT_EQ(issueLines(r.report), (std::vector<uint64_t>{2, 3, 4, 5, 6}));
    EXPECT_EQ(r.report.malformedCount(), 5u);
    ASSERT_EQ(r.log.notes.size(), 1u);
    EXPECT_EQ(r.log.notes[0], "record numbers jump from 0 to 9 at line 7");
}

TEST(DatLogTest, FailsClearly) {
    Read r = readText("[N:0 TS:5] 100\r\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.report.error(), LogReadError::NeedsEncoderBits);
    r = readText("[N:0 TS:5]\r\nnothing\r\n", {24, 0.0, 0});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.report.error(), LogReadError::NoSamples);
    EXPECT_EQ(r.report.errorLine(), 2u);
}

// A file written until a crash: a line with a NUL in the middle is skipped with its number, and NUL
// padding at the end (here longer than a read chunk) ends the readable part with a note. A file of NUL
// bytes alone is not a log.
TEST(DatLogTest, NulBytesMidFileAndAsPaddingAtTheEnd) {
    const std::string path = ::testing::TempDir() + "astrelvo-nul.dat";
    struct Case {
        std::string records;
        std::size_t padding;
        bool ok;
    };
    const std::string mid = std::string("[N:0 TS:0] 10\r\n[N:1 TS:1] 1\0 1\r\n[N:2 TS:2] 12\r\n", 47);
    for (const Case& c :
         {Case{mid, 0, true}, Case{mid + "[N:3 TS:3] 1", 3 << 20, true}, Case{"", 5000, false}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(c.records.data(), 1, c.records.size(), f);
        const std::vector<char> zeros(c.padding, '\0');
        std::fwrite(zeros.data(), 1, zeros.size(), f);
        std::fclose(f);
        LoadedLog log;
        LogReadReport report;
        EXPECT_EQ(readLogFile(path.c_str(), {24, 0.0, 0}, log, report), c.ok) << c.padding;
        std::remove(path.c_str());
        if (!c.ok) {
            EXPECT_EQ(report.errorText(),
                      "the file holds only NUL bytes (as a crash or power loss leaves it)");
            continue;
        }
        EXPECT_EQ(log.values, (std::vector<double>{10 * kArcsec24, 12 * kArcsec24}));
        EXPECT_EQ(issueLines(report), std::vector<uint64_t>{2});
        std::vector<std::string> notes{"record numbers jump from 0 to 2 at line 3"};
        if (c.padding != 0)
            notes.push_back(
                "the readable part ends at line 3: from line 4 on the file holds only NUL bytes (as "
                "a crash or power loss leaves it)");
        EXPECT_EQ(log.notes, notes);
    }
}

TEST(CsvLogTest, HeaderCommentsRowsExtraColumnsAndMarks) {
    const Read r = readText("# astrelvo log 1\r\n"
                            "# encoder_bits: 24\r\n"
                            "# sample_seconds: 0.0625\r\n"
                            "# started: 2024-05-01T21:03:05Z\r\n"
                            "# port: /dev/ttyUSB0\r\n"
                            "# made on the observatory computer\r\n"
                            "sample,timestamp,value_counts,value_arcsec,temperature\r\n"
                            "# mark: 101 worm at zero\r\n"
                            "100,5,1000,77.247620,12.5\r\n"
                            "101,6,-1000,-77.247620,12.5\r\n"
                            "# mark: 103 after the gap\r\n"
                            "104,7,16777215,1295999.922752\r\n"
                            "# mark: 999\r\n",
                            {12, 9.0, 0});
    ASSERT_TRUE(r.ok) << r.report.errorText();
    EXPECT_EQ(r.log.format, LogFormat::Csv);
    EXPECT_EQ(r.log.encoderBits, 24u);      // the file's, not the option's
    EXPECT_EQ(r.log.sampleSeconds, 0.0625); // likewise
    EXPECT_EQ(r.log.started, "2024-05-01T21:03:05Z");
    EXPECT_EQ(r.log.port, "/dev/ttyUSB0");
    EXPECT_EQ(r.log.firstSampleNumber, 100u);
    // From the counts, unwrapped: 16777215 is one count below zero on a 24-bit encoder.
    EXPECT_EQ(r.log.values, (std::vector<double>{1000 * kArcsec24, -1000 * kArcsec24, -1 * kArcsec24}));
    ASSERT_EQ(r.log.markers.size(), 3u);
    EXPECT_EQ(r.log.markers[0].sample, 1u);
    EXPECT_EQ(r.log.markers[0].label, "worm at zero");
    EXPECT_EQ(r.log.markers[1].sample, 2u); // sample 103 is missing: the next row
    EXPECT_EQ(r.log.markers[2].sample, 3u); // after the last row
    EXPECT_EQ(r.log.markers[2].label, "");
    EXPECT_EQ(r.log.notes, std::vector<std::string>{"sample numbers jump from 101 to 104 at line 12"});
    EXPECT_EQ(r.report.malformedCount(), 0u);
}

TEST(CsvLogTest, WithoutAnEncoderWidthTheArcsecondColumnIsTaken) {
    const Read r =
        readText("sample,timestamp,value_counts,value_arcsec\n0,0,5,1.5\n1,1,5,-2.25\n", {0, 2.0, 0});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log.values, (std::vector<double>{1.5, -2.25}));
    EXPECT_EQ(r.log.encoderBits, 0u);
    EXPECT_EQ(r.log.sampleSeconds, 2.0); // the option fills the gap
}

TEST(CsvLogTest, SkippedRowsAreReportedWithTheirNumbers) {
    const Read r = readText("# astrelvo log 1\n"
                            "# encoder_bits: many\n"
                            "sample,timestamp,value_counts,value_arcsec\n"
                            "0,0,5,1.5\n"
                            "1,0,5\n"
                            "x,0,5,1.5\n"
                            "3,0,3000000000,1.5\n"
                            "4,0,5,nan\n"
                            "5,0,5,1e300\n"
                            "# mark: soon\n"
                            "# encoder_bits: 24\n"
                            "6,0,6,1.75\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log.values, (std::vector<double>{1.5, 1.75}));
    EXPECT_EQ(issueLines(r.report), (std::vector<uint64_t>{2, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(CsvLogTest, FailsClearly) {
    struct Case {
        const char* text;
        LogReadError error;
        uint64_t line;
    };
    for (const Case& c : {
             Case{"# astrelvo log 1\n# encoder_bits: 24\nsample,time,value\n0,0,0\n", LogReadError::NotALog,
                  3},
             Case{"# astrelvo log 2\nsample,timestamp,value_counts,value_arcsec\n", LogReadError::Unsupported,
                  1},
             Case{"# astrelvo log 1\nsample,timestamp,value_counts,value_arcsec\r\n\r\n",
                  LogReadError::NoSamples, 3},
             Case{"# astrelvo log 1\n# encoder_bits: 24\n", LogReadError::NotALog, 2},
         }) {
        const Read r = readText(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.report.error(), c.error) << c.text;
        EXPECT_EQ(r.report.errorLine(), c.line) << c.text;
        EXPECT_TRUE(r.log.values.empty());
    }
}

TEST(LogFileTest, MissingUnreadableAndForeignFilesFailWithoutWriting) {
    LoadedLog log;
    LogReadReport report;
    EXPECT_FALSE(readLogFile("/nonexistent/astrelvo.csv", {}, log, report));
    EXPECT_EQ(report.error(), LogReadError::CannotOpen);
    EXPECT_NE(report.errorNumber(), 0);

    LogReadReport directory;
    EXPECT_FALSE(readLogFile("/", {}, log, directory));
#ifdef _WIN32
    EXPECT_EQ(directory.error(), LogReadError::CannotOpen); // Windows opens no directory as a file
#else
    EXPECT_EQ(directory.error(), LogReadError::ReadFailed);
#endif

    const std::string path = ::testing::TempDir() + "astrelvo-not-a-log.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("Dear diary,\nthe mount tracked well tonight.\n", f);
    std::fclose(f);
    LogReadReport foreign;
    EXPECT_FALSE(readLogFile(path.c_str(), {}, log, foreign));
    EXPECT_EQ(foreign.error(), LogReadError::NotALog);
    EXPECT_EQ(recogniseLogFile(path.c_str()), LogKind::NotALog);
    std::remove(path.c_str());
}

TEST(LineSourceTest, LinesAcrossChunksLongLinesAndALastLineWithoutEnd) {
    // Written to a file, read as a stream (1 MiB chunks) and through the memory map (small windows here):
    // many lines crossing the chunk and window edges, a damaged one (a control byte among tabs), one line
    // longer than the limit (cut and flagged), and a last line without a line end.
    const std::string path = ::testing::TempDir() + "astrelvo-lines.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const int count = 150000;
    const int damaged = 123457;
    for (int i = 0; i < count; ++i)
        std::fprintf(f, i == damaged ? "line\t%d\x01\tmore text\r\n" : "line %d\r\n", i);
    const std::string longLine(LineSource::kMaxLineBytes + 10, 'x');
    std::fprintf(f, "%s\nlast", longLine.c_str());
    std::fclose(f);

    for (const bool mapped : {false, true}) {
        SCOPED_TRACE(mapped ? "mapped" : "stream");
        f = mapped ? nullptr : std::fopen(path.c_str(), "rb");
        MappedFile map;
        ASSERT_TRUE(mapped ? map.open(path.c_str()) : f != nullptr);
        std::unique_ptr<LineSource> source =
            mapped ? std::make_unique<LineSource>(map, 2 * LineSource::kMaxLineBytes + 4097)
                   : std::make_unique<LineSource>(f);
        LineSource& lines = *source;
        EXPECT_EQ(lines.head().substr(0, 8), "line 0\r\n");
        std::string_view line;
        int n = 0;
        bool allMatch = true;
        for (; n < count && lines.next(line); ++n) {
            allMatch = allMatch && (n == damaged || line == "line " + std::to_string(n)) &&
                       lines.lineHasControlBytes() == (n == damaged);
        }
        EXPECT_EQ(n, count);
        EXPECT_TRUE(allMatch);
        ASSERT_TRUE(lines.next(line));
        EXPECT_TRUE(lines.lineTooLong());
        EXPECT_EQ(line.size(), LineSource::kMaxLineBytes);
        ASSERT_TRUE(lines.next(line));
        EXPECT_EQ(line, "last");
        EXPECT_FALSE(lines.lineTooLong());
        EXPECT_TRUE(lines.lastLineUnterminated());
        EXPECT_EQ(lines.lineNumber(), static_cast<uint64_t>(count + 2));
        EXPECT_FALSE(lines.next(line));
        EXPECT_FALSE(lines.failed());
        if (f != nullptr)
            std::fclose(f);
    }
    std::remove(path.c_str());
}

TEST(LiveStoreTest, CopiesSamplesAsArcsecondsWithTheLogRate) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.encoderBits = 12;
    model->logSettings.logRate = 5; // 128 Hz
    for (int32_t v : {4094, 1, 7})  // crossing the 12-bit zero
        model->samples[model->sampleCount++] = v;
    LoadedLog log;
    log.notes.push_back("from before");
    copyStoreToLog(*model, log);
    const double s = peArcsecPerCount(12);
    EXPECT_EQ(log.values, (std::vector<double>{4094 * s, 4097 * s, 4103 * s}));
    EXPECT_EQ(log.sampleSeconds, 1.0 / 128.0);
    EXPECT_EQ(log.format, LogFormat::Live);
    EXPECT_TRUE(log.notes.empty());
    // The markers of changes sent while logging come along, their labels read within their arrays.
    model->markers[0].sample = 1;
    std::memset(model->markers[0].label, 'x', sizeof model->markers[0].label); // no terminator
    model->markers[1].sample = 3;
    std::snprintf(model->markers[1].label, sizeof model->markers[1].label, "PID 100/40/120");
    model->markerCount = 2;
    copyStoreToLog(*model, log);
    ASSERT_EQ(log.markers.size(), 2u);
    EXPECT_EQ(log.markers[0].label, std::string(Marker::kLabelSize, 'x'));
    EXPECT_EQ(log.markers[1].sample, 3u);
    EXPECT_EQ(log.markers[1].label, "PID 100/40/120");
    model->deviceInfo.encoderBits = 0; // no usable width: nothing to show in arc-seconds
    copyStoreToLog(*model, log);
    EXPECT_TRUE(log.values.empty());
}

} // namespace
