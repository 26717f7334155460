// Astrelvo CSV logs written from the store's raw records, in parts, and read back.
#include "model/logs/CsvExport.h"
#include "model/logs/CsvLogWriter.h"
#include "model/logs/DatLogReader.h"
#include "model/logs/LogFileReader.h"
#include "model/store/AppModel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void putRecord(AppModel& model, int32_t stamp, int32_t value, int32_t third = 0, int32_t fourth = 0) {
    uint8_t record[16];
    const int32_t v[4] = {stamp, value, third, fourth};
    for (int i = 0; i < 4; ++i) {
        const uint32_t u = static_cast<uint32_t>(v[i]);
        for (int b = 0; b < 4; ++b)
            record[4 * i + b] = static_cast<uint8_t>(u >> (8 * b));
    }
    model.appendRecord(record, model.recordLength, false);
}

class CsvLogWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_ = std::make_unique<AppModel>();
        model_->deviceInfo.recordLength = 16;
        model_->deviceInfo.encoderBits = 24;
        model_->updateGeometry();
        model_->logSettings.logRate = 3; // 16 Hz
    }
    std::string path(const char* name) const { return ::testing::TempDir() + name; }

    std::unique_ptr<AppModel> model_;
};

TEST_F(CsvLogWriterTest, ExportWritesTheExactFormat) {
    putRecord(*model_, 5, 1000, 1200, 7);
    putRecord(*model_, 6, -42);
    putRecord(*model_, -7, 2147483647);
    CsvLogHeader header = csvHeaderFor(*model_);
    header.started = "2024-05-01T21:03:05Z";
    header.port = "/dev/ttyUSB0";
    const std::string file = path("astrelvo-export.csv");
    const CsvExportResult result = exportCsvLog(*model_, file.c_str(), header);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.errorNumber, 0);
    EXPECT_EQ(readFile(file),
              "# astrelvo log 1\r\n"
              "# encoder_bits: 24\r\n"
              "# sample_seconds: 0.0625\r\n"
              "# started: 2024-05-01T21:03:05Z\r\n"
              "# port: /dev/ttyUSB0\r\n"
              "sample,timestamp,value_counts,value_arcsec\r\n"
              "0,5,1000,77.247620\r\n"
              "1,6,-42,-3.244400\r\n"
              "2,-7,2147483647,165887999.922752\r\n" // counts beyond the encoder range are written as logged
    );
    std::remove(file.c_str());
}

// The desktop program runs in the user's locale (Qt sets it); a decimal comma there must not reach the
// file, or the log would not read back.
TEST_F(CsvLogWriterTest, DecimalPointWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
#ifndef _WIN32
    // A bare system has only C and POSIX: compile the German locale from the glibc sources into a
    // private directory when they are there.
    if (commaLocale == nullptr) {
        const std::string dir = path("astrelvo-locales");
        const std::string compile =
            "mkdir -p '" + dir + "' && localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(compile.c_str()) == 0 && ::setenv("LOCPATH", dir.c_str(), 1) == 0 &&
            std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr)
            commaLocale = "de_DE.UTF-8 (compiled for the test)";
    }
#endif
    if (commaLocale == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << commaLocale;
    putRecord(*model_, 5, 1000);
    const std::string file = path("astrelvo-comma.csv");
    const CsvExportResult result = exportCsvLog(*model_, file.c_str(), csvHeaderFor(*model_));
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(result.ok) << commaLocale;
    const std::string text = readFile(file);
    EXPECT_NE(text.find("# sample_seconds: 0.0625\r\n"), std::string::npos) << commaLocale << "\n" << text;
    EXPECT_NE(text.find("0,5,1000,77.247620\r\n"), std::string::npos) << commaLocale;
    std::remove(file.c_str());
}

// The markers of changes sent while logging go with the export, each before the row of its sample, and
// read back where they were.
TEST_F(CsvLogWriterTest, ExportCarriesTheMarkers) {
    for (int i = 0; i < 6; ++i)
        putRecord(*model_, i, 100 * i);
    struct Mark {
        uint32_t sample;
        const char* label;
    };
    const Mark marks[] = {
        {0, "Closed loop on"}, {2, "PID 100/40/120"}, {2, "Current 900 mA"}, {9, "EEPROM store"}};
    for (const Mark& m : marks) {
        Marker& kept = model_->markers[model_->markerCount++];
        kept.sample = m.sample;
        std::snprintf(kept.label, sizeof kept.label, "%s", m.label);
    }
    const std::string file = path("astrelvo-marks.csv");
    ASSERT_TRUE(exportCsvLog(*model_, file.c_str(), csvHeaderFor(*model_)).ok);
    const std::string text = readFile(file);
    EXPECT_NE(text.find("value_arcsec\r\n# mark: 0 Closed loop on\r\n0,0,0,"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n1,1,100,"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n# mark: 2 PID 100/40/120\r\n# mark: 2 Current 900 mA\r\n2,2,200,"),
              std::string::npos)
        << text;
    // A marker after the last record goes at the end.
    const std::string end = "\r\n# mark: 9 EEPROM store\r\n";
    ASSERT_GT(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_LT(text.find("\r\n5,5,500,"), text.size() - end.size());

    LoadedLog log;
    LogReadReport report;
    ASSERT_TRUE(readLogFile(file.c_str(), {}, log, report)) << report.errorText();
    EXPECT_EQ(log.size(), 6u);
    ASSERT_EQ(log.markers.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(log.markers[i].label, marks[i].label);
    EXPECT_EQ(log.markers[1].sample, 2u);
    EXPECT_EQ(log.markers[3].sample, 6u); // after the last sample
    std::remove(file.c_str());
}

TEST_F(CsvLogWriterTest, PartsContinueTheNumberingAndReadBackLikeTheDataExport) {
    const std::string csvPath = path("astrelvo-parts.csv");
    const std::string datPath = path("astrelvo-parts.dat");
    CsvLogWriter writer;
    ASSERT_TRUE(writer.open(csvPath.c_str()));
    CsvLogHeader header = csvHeaderFor(*model_);
    header.port = "line one\nline two"; // cannot break the line
    ASSERT_TRUE(writer.writeHeader(header));
    std::FILE* dat = std::fopen(datPath.c_str(), "wb");
    ASSERT_NE(dat, nullptr);
    uint32_t written = 0;
    for (int part = 0; part < 3; ++part) {
        for (int i = 0; i < 100; ++i)
            putRecord(*model_, part * 100 + i, 16777000 + 3 * (part * 100 + i)); // crosses the 24-bit zero
        ASSERT_TRUE(writer.writeRecords(model_->rawRecords, model_->rawCount, model_->recordLength));
        ASSERT_TRUE(model_->writeRecords(dat, written));
        written += model_->rawCount;
        model_->rawCount = 0;
        if (part == 1) {
            ASSERT_TRUE(writer.writeMark(150, "focus\r\nchanged"));
        }
    }
    std::fclose(dat);
    EXPECT_EQ(writer.samplesWritten(), 300u);
    ASSERT_TRUE(writer.close());

    const std::string text = readFile(csvPath);
    EXPECT_NE(text.find("# port: line one line two\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n199,199,16777597,"), std::string::npos);
    EXPECT_NE(text.find("\r\n# mark: 150 focus  changed\r\n200,200,"), std::string::npos);

    LoadedLog csv;
    LoadedLog data;
    LogReadReport csvReport;
    LogReadReport dataReport;
    ASSERT_TRUE(readLogFile(csvPath.c_str(), {}, csv, csvReport)) << csvReport.errorText();
    ASSERT_TRUE(readLogFile(datPath.c_str(), {24, 0.0625, 0}, data, dataReport));
    EXPECT_EQ(csv.values, data.values); // same unwrapped arc-seconds
    EXPECT_EQ(csv.sampleSeconds, 0.0625);
    ASSERT_EQ(csv.markers.size(), 1u);
    EXPECT_EQ(csv.markers[0].sample, 150u);
    EXPECT_EQ(csv.markers[0].label, "focus  changed");
    std::remove(csvPath.c_str());
    std::remove(datPath.c_str());
}

TEST_F(CsvLogWriterTest, FailuresKeepTheReason) {
    putRecord(*model_, 1, 2);
    const CsvExportResult missingDir =
        exportCsvLog(*model_, "/nonexistent-dir/log.csv", csvHeaderFor(*model_));
    EXPECT_FALSE(missingDir.ok);
    EXPECT_EQ(missingDir.errorNumber, ENOENT);

    // A full disk shows when the buffered rows are written out, at the latest on close.
    CsvLogWriter writer;
    if (writer.open("/dev/full")) {
        writer.writeHeader(csvHeaderFor(*model_));
        for (int i = 0; i < 10000; ++i)
            writer.writeSample(i, i);
        EXPECT_FALSE(writer.close());
        EXPECT_EQ(writer.error(), ENOSPC);
        EXPECT_FALSE(writer.writeSample(1, 1)); // closed
    }
    CsvLogWriter unopened;
    EXPECT_FALSE(unopened.writeSample(1, 1));
    EXPECT_NE(unopened.error(), 0);
}

TEST(IsoUtcTimestampTest, FormatsUtcSeconds) {
    using namespace std::chrono;
    EXPECT_EQ(isoUtcTimestamp(system_clock::time_point{}), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcTimestamp(sys_days{year{2024} / 2 / 29} + hours{23} + minutes{59} + seconds{59} +
                              milliseconds{999}),
              "2024-02-29T23:59:59Z");
}

} // namespace
