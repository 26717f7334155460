#include "model/logs/CsvLogWriter.h"

#include "model/logs/CsvLogFormat.h"
#include "model/logs/LogUnits.h"
#include "platform/FileOpen.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

constexpr std::size_t kBufferBytes = 65536;

int errnoOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

// The text with line breaks and other control characters turned into spaces, so it stays on its line.
std::string oneLine(std::string_view text) {
    std::string clean(text);
    for (char& c : clean) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return clean;
}

// Appends "# KEY VALUE" and a line end.
void commentLine(std::string& text, std::string_view key, std::string_view value) {
    text.append("# ").append(key).append(" ").append(value).append("\r\n");
}

int32_t int32At(const uint8_t* record, uint32_t length, uint32_t offset) {
    if (offset > length || length - offset < 4)
        return 0;
    const uint32_t v =
        static_cast<uint32_t>(record[offset]) | static_cast<uint32_t>(record[offset + 1]) << 8 |
        static_cast<uint32_t>(record[offset + 2]) << 16 | static_cast<uint32_t>(record[offset + 3]) << 24;
    return static_cast<int32_t>(v);
}

} // namespace

std::string isoUtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(when);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> time{seconds - day};
    char text[48];
    const int n =
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                      static_cast<int>(time.seconds().count()));
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

CsvLogWriter::CsvLogWriter() : buffer_(new char[kBufferBytes]) {}

CsvLogWriter::~CsvLogWriter() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void CsvLogWriter::fail(int error) {
    if (error_ == 0)
        error_ = error;
}

bool CsvLogWriter::open(const char* path) {
    if (file_ != nullptr || path == nullptr) {
        fail(EINVAL);
        return false;
    }
    errno = 0;
    file_ = openFile(path, "wb");
    if (file_ == nullptr) {
        fail(errnoOr(EIO));
        return false;
    }
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
    nextSample_ = 0;
    return true;
}

bool CsvLogWriter::put(const char* text, std::size_t length) {
    if (file_ == nullptr) {
        fail(EBADF);
        return false;
    }
    if (error_ != 0)
        return false;
    errno = 0;
    if (std::fwrite(text, 1, length, file_) != length) {
        fail(errnoOr(EIO));
        return false;
    }
    return true;
}

bool CsvLogWriter::writeHeader(const CsvLogHeader& header) {
    arcsecPerCount_ = peArcsecPerCount(header.encoderBits);
    // to_chars, not printf: the program's locale may use a decimal comma, which the file must not.
    char seconds[32];
    const auto written =
        std::to_chars(seconds, seconds + sizeof seconds,
                      header.sampleSeconds > 0.0 ? header.sampleSeconds : 0.0, std::chars_format::general, 9);
    const std::ptrdiff_t n = written.ec == std::errc() ? written.ptr - seconds : 0;
    std::string text;
    commentLine(text, csvlog::kMagic, std::to_string(csvlog::kVersion));
    commentLine(text, csvlog::kEncoderBitsKey, std::to_string(header.encoderBits));
    commentLine(text, csvlog::kSampleSecondsKey,
                std::string_view(seconds, n > 0 ? static_cast<std::size_t>(n) : 0));
    if (!header.started.empty())
        commentLine(text, csvlog::kStartedKey, oneLine(header.started));
    if (!header.port.empty())
        commentLine(text, csvlog::kPortKey, oneLine(header.port));
    text.append(csvlog::kHeaderRow).append("\r\n");
    return put(text.data(), text.size());
}

bool CsvLogWriter::writeSample(int32_t timestamp, int32_t value) {
    // "sample,timestamp,value_counts,value_arcsec" with six decimals: 20 + 11 + 11 + 40 characters at most.
    char line[128];
    std::size_t length = 0;
    bool fits = true;
    auto field = [&](auto number, auto... format) {
        if (!fits || length + 8 > sizeof line) {
            fits = false;
            return;
        }
        const auto [end, ec] = std::to_chars(line + length, line + sizeof line - 3, number, format...);
        fits = fits && ec == std::errc();
        if (ec == std::errc())
            length = static_cast<std::size_t>(end - line);
    };
    field(nextSample_);
    line[length++] = ',';
    field(timestamp);
    line[length++] = ',';
    field(value);
    line[length++] = ',';
    field(static_cast<double>(value) * arcsecPerCount_, std::chars_format::fixed, 6);
    if (!fits) {
        fail(EOVERFLOW);
        return false;
    }
    line[length++] = '\r';
    line[length++] = '\n';
    if (!put(line, length))
        return false;
    ++nextSample_;
    return true;
}

bool CsvLogWriter::writeRecords(const uint8_t* records, uint32_t count, uint32_t recordLength) {
    if (count == 0)
        return !failed();
    if (records == nullptr || recordLength == 0) {
        fail(EINVAL);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record = records + static_cast<std::size_t>(i) * recordLength;
        if (!writeSample(int32At(record, recordLength, 0), int32At(record, recordLength, 4)))
            return false;
    }
    return true;
}

bool CsvLogWriter::writeMark(uint64_t sample, std::string_view label) {
    std::string value = std::to_string(sample);
    if (!label.empty())
        value.append(" ").append(oneLine(label));
    std::string text;
    commentLine(text, csvlog::kMarkKey, value);
    return put(text.data(), text.size());
}

bool CsvLogWriter::close() {
    if (file_ == nullptr) {
        fail(EBADF);
        return false;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0)
        fail(errnoOr(EIO));
    return error_ == 0;
}
