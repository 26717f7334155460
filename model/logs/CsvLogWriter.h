#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// What the comment lines at the top of an Astrelvo CSV log say. A value type.
struct CsvLogHeader {
    uint32_t encoderBits = 0;   // 0 when unknown (value_arcsec is then 0)
    double sampleSeconds = 0.0; // nominal, from the log rate; 0 when unknown
    std::string started;        // ISO-8601 UTC, e.g. "2024-05-01T21:03:05Z"; left out when empty
    std::string port;           // left out when empty
};

// "YYYY-MM-DDTHH:MM:SSZ" for a point in time, in UTC.
std::string isoUtcTimestamp(std::chrono::system_clock::time_point when);

// Writes an Astrelvo CSV log (format in CsvLogFormat.h), possibly in parts while a long run is logged:
// open, writeHeader, then any number of writeRecords / writeSample / writeMark calls, then close. Sample
// numbers count on from 0 across all calls. After the first failed write every call fails at once and
// error() keeps the errno-style reason. Owned and used by one thread.
class CsvLogWriter {
public:
    CsvLogWriter();
    ~CsvLogWriter(); // closes a file still open (without reporting)
    CsvLogWriter(const CsvLogWriter&) = delete;
    CsvLogWriter& operator=(const CsvLogWriter&) = delete;

    // Creates the file (a UTF-8 path), replacing one that exists.
    bool open(const char* path);
    bool writeHeader(const CsvLogHeader& header);
    // One row per record: the timestamp at byte offset 0, the value at offset 4 (signed 32-bit,
    // little-endian), 0 where a record is too short to hold one.
    bool writeRecords(const uint8_t* records, uint32_t count, uint32_t recordLength);
    bool writeSample(int32_t timestamp, int32_t value);
    // "# mark: SAMPLE LABEL"; line breaks and other control characters in the label become spaces.
    bool writeMark(uint64_t sample, std::string_view label);
    // Flushes and closes; false when anything written did not reach the file.
    bool close();

    bool isOpen() const { return file_ != nullptr; }
    bool failed() const { return error_ != 0; }
    int error() const { return error_; }
    uint64_t samplesWritten() const { return nextSample_; }

private:
    bool put(const char* text, std::size_t length);
    void fail(int error);

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_; // stdio buffer, so that a long run takes few write calls
    double arcsecPerCount_ = 0.0;
    uint64_t nextSample_ = 0;
    int error_ = 0;
};
