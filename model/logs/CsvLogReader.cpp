#include "model/logs/CsvLogReader.h"

#include "model/logs/CountUnwrap.h"
#include "model/logs/CsvLogFormat.h"
#include "model/logs/LogText.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxSampleNumber = int64_t{1} << 53;
// Larger values (some 7,700 revolutions) are not a tracking log's.
constexpr double kMaxArcsec = 1e10;
constexpr double kMaxSampleSeconds = 1e6;

// Where the sample numbers of consecutive rows stop counting up by one: from row index, the rows carry
// sample numbers number, number + 1, ...
struct NumberRun {
    std::size_t index;
    int64_t number;
};

struct PendingMark {
    int64_t number;
    std::string label;
};

// The next comma-separated field of a row, without its comma.
std::string_view takeField(std::string_view& rest, bool& more) {
    // A plain loop: fields are a few characters, too short for memchr to pay.
    std::size_t comma = 0;
    while (comma < rest.size() && rest[comma] != ',')
        ++comma;
    more = comma < rest.size();
    std::string_view field = rest.substr(0, more ? comma : rest.size());
    rest.remove_prefix(more ? comma + 1 : rest.size());
    return field;
}

// A plain whole number at p (an optional minus, then digits, at most 18 of them), moving p past it; false
// for anything else, left to the general parser.
bool plainInteger(const char*& p, const char* end, int64_t& value) {
    const bool negative = p < end && *p == '-';
    const char* digits = negative ? p + 1 : p;
    const char* q = digits;
    uint64_t magnitude = 0;
    while (q < end && *q >= '0' && *q <= '9' && q - digits < 18)
        magnitude = magnitude * 10 + static_cast<uint64_t>(*q++ - '0');
    if (q == digits || (q < end && *q >= '0' && *q <= '9'))
        return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    p = q;
    return true;
}

// A row as the writer makes it ("S,T,C,A..." without blanks), its three whole numbers read in one pass
// and arcsec the rest of the fourth field: a whole night's rows take this road. False for anything
// else, which the general parser reads (and reports).
bool plainRow(std::string_view text, int64_t& sample, int64_t& stamp, int64_t& counts,
              std::string_view& arcsec) {
    const char* p = text.data();
    const char* end = p + text.size();
    for (int64_t* field : {&sample, &stamp, &counts}) {
        if (!plainInteger(p, end, *field) || p == end || *p != ',')
            return false;
        ++p;
    }
    const char* q = p;
    while (q < end && *q != ',')
        ++q;
    arcsec = std::string_view(p, static_cast<std::size_t>(q - p));
    return true;
}

// The state of reading one CSV log; lives for one readCsvLog call, on the caller's thread.
class CsvReader {
public:
    CsvReader(const LogReadOptions& options, LoadedLog& log, LogReadReport& report)
        : options_(options), log_(log), report_(report) {}

    bool run(LineSource& lines);

private:
    bool comment(std::string_view body, uint64_t line);
    bool header(std::string_view text, uint64_t line);
    void row(std::string_view text, uint64_t line);
    // Keeps a row that parsed.
    void take(uint64_t line, int64_t sample, int64_t counts, double arcsec);
    void placeMarks();

    const LogReadOptions& options_;
    LoadedLog& log_;
    LogReadReport& report_;
    bool haveHeader_ = false;
    bool countsMode_ = false;
    bool truncated_ = false;
    bool numbersCountUp_ = true;
    uint64_t headerLine_ = 0;
    int64_t expected_ = 0;
    std::vector<NumberRun> runs_;
    std::vector<PendingMark> marks_;
};

bool CsvReader::run(LineSource& lines) {
    std::string_view line;
    while (lines.next(line) && !truncated_) {
        const uint64_t number = lines.lineNumber();
        if (lines.lineTooLong()) {
            report_.malformed(number, "line too long");
            continue;
        }
        if (lines.lineHasControlBytes()) {
            report_.malformed(number, "NUL or other control bytes in the line");
            continue;
        }
        if (line.empty())
            continue;
        if (line.front() == '#') {
            if (!comment(trimBlanks(line.substr(1)), number))
                return false;
        } else if (!haveHeader_) {
            if (trimBlanks(line).empty())
                continue;
            if (!header(line, number))
                return false;
        } else {
            // The rows left take the bytes left at about this row's length: room for them all at once
            // (pages are taken only as they are filled), instead of copies as the array grows.
            if (log_.values.empty() && lines.bytesLeft() > 0) {
                log_.values.reserve(static_cast<std::size_t>(std::min<uint64_t>(
                    LoadedLog::kMaxSamples, lines.bytesLeft() / (line.size() + 1) * 9 / 8 + 16)));
                adviseLargePages(log_.values.data(), log_.values.capacity() * sizeof(double));
            }
            row(line, number);
        }
    }
    if (lines.failed())
        return report_.fail(LogReadError::ReadFailed, lines.lineNumber() + 1, "the file could not be read",
                            lines.errorNumber());
    if (!haveHeader_)
        return report_.fail(LogReadError::NotALog, lines.lineNumber(),
                            "no header row \"" + std::string(csvlog::kHeaderRow) + "\"");
    if (log_.values.empty())
        return report_.fail(LogReadError::NoSamples, lines.lineNumber(),
                            "no sample after the header row (line " + std::to_string(headerLine_) + ")");
    if (countsMode_)
        countsToArcsec(log_.values.data(), log_.values.size(), log_.encoderBits);
    if (log_.sampleSeconds <= 0.0 && options_.sampleSeconds > 0.0)
        log_.sampleSeconds = options_.sampleSeconds;
    placeMarks();
    return true;
}

bool CsvReader::comment(std::string_view body, uint64_t line) {
    if (startsWith(body, csvlog::kMagic)) {
        int64_t version = 0;
        if (!parseInteger(body.substr(csvlog::kMagic.size()), version)) {
            report_.malformed(line, "log version is not a number");
        } else if (version != csvlog::kVersion) {
            return report_.fail(LogReadError::Unsupported, line,
                                "log version " + std::to_string(version) + " (this program reads version " +
                                    std::to_string(csvlog::kVersion) + ")");
        }
    } else if (startsWith(body, csvlog::kEncoderBitsKey)) {
        int64_t bits = 0;
        if (haveHeader_)
            report_.malformed(line, "encoder_bits after the header row is ignored");
        else if (!parseInteger(body.substr(csvlog::kEncoderBitsKey.size()), bits) || bits < 0 || bits > 64)
            report_.malformed(line, "encoder_bits must be a whole number from 0 to 64");
        else
            log_.encoderBits = static_cast<uint32_t>(bits);
    } else if (startsWith(body, csvlog::kSampleSecondsKey)) {
        double seconds = 0.0;
        if (!parseNumber(body.substr(csvlog::kSampleSecondsKey.size()), seconds) || seconds < 0.0 ||
            seconds > kMaxSampleSeconds)
            report_.malformed(line, "sample_seconds must be a number from 0 to 1000000");
        else
            log_.sampleSeconds = seconds;
    } else if (startsWith(body, csvlog::kStartedKey)) {
        log_.started = std::string(trimBlanks(body.substr(csvlog::kStartedKey.size())));
    } else if (startsWith(body, csvlog::kPortKey)) {
        log_.port = std::string(trimBlanks(body.substr(csvlog::kPortKey.size())));
    } else if (startsWith(body, csvlog::kMarkKey)) {
        std::string_view rest = trimBlanks(body.substr(csvlog::kMarkKey.size()));
        const std::size_t blank = std::min(rest.find(' '), rest.find('\t'));
        int64_t sample = 0;
        if (!parseInteger(rest.substr(0, blank), sample) || sample < 0 || sample > kMaxSampleNumber)
            report_.malformed(line, "mark needs a sample number");
        else
            marks_.push_back(
                {sample, std::string(blank == std::string_view::npos ? std::string_view()
                                                                     : trimBlanks(rest.substr(blank)))});
    }
    return true;
}

bool CsvReader::header(std::string_view text, uint64_t line) {
    CsvFields fields;
    fields.split(text);
    std::string_view expected = csvlog::kHeaderRow;
    for (std::size_t i = 0; i < 4; ++i) {
        bool more = false;
        if (fields[i] != takeField(expected, more))
            return report_.fail(LogReadError::NotALog, line,
                                "expected the header row \"" + std::string(csvlog::kHeaderRow) + "\"");
    }
    haveHeader_ = true;
    headerLine_ = line;
    if (log_.encoderBits == 0)
        log_.encoderBits = options_.encoderBits <= 64 ? options_.encoderBits : 0;
    countsMode_ = log_.encoderBits != 0;
    return true;
}

void CsvReader::row(std::string_view text, uint64_t line) {
    int64_t sample = 0;
    int64_t stamp = 0;
    int64_t counts = 0;
    std::string_view arcsecField;
    if (!plainRow(text, sample, stamp, counts, arcsecField) || sample < 0 || sample > kMaxSampleNumber ||
        stamp < kInt32Min || stamp > kInt32Max || counts < kInt32Min || counts > kInt32Max) {
        bool more = false;
        if (!parseInteger(takeField(text, more), sample) || sample < 0 || sample > kMaxSampleNumber || !more)
            return report_.malformed(line, "sample is not a whole number from 0");
        if (!parseInteger(takeField(text, more), stamp) || stamp < kInt32Min || stamp > kInt32Max || !more)
            return report_.malformed(line, "timestamp is not a 32-bit whole number");
        if (!parseInteger(takeField(text, more), counts) || counts < kInt32Min || counts > kInt32Max || !more)
            return report_.malformed(line, "value_counts is not a 32-bit whole number");
        arcsecField = takeField(text, more);
    }
    // With the encoder width known the counts are the value: value_arcsec need only be a number, and is
    // not converted (the slowest part of a row).
    double arcsec = 0.0;
    if (countsMode_ ? !isDecimalNumber(arcsecField)
                    : !parseNumber(arcsecField, arcsec) || std::fabs(arcsec) > kMaxArcsec)
        return report_.malformed(line, "value_arcsec is not a number");
    take(line, sample, counts, arcsec);
}

void CsvReader::take(uint64_t line, int64_t sample, int64_t counts, double arcsec) {
    if (log_.values.size() >= LoadedLog::kMaxSamples) {
        log_.notes.push_back("only the first " + std::to_string(LoadedLog::kMaxSamples) +
                             " samples were read (line " + std::to_string(line) + " on)");
        truncated_ = true;
        return;
    }
    if (log_.values.empty())
        log_.firstSampleNumber = static_cast<uint64_t>(sample);
    if (log_.values.empty() || sample != expected_) {
        if (!runs_.empty() && sample < runs_.back().number)
            numbersCountUp_ = false;
        // The analysis joins the rows up; say once that samples are missing or out of order.
        if (runs_.size() == 1)
            log_.notes.push_back("sample numbers jump from " + std::to_string(expected_ - 1) + " to " +
                                 std::to_string(sample) + " at line " + std::to_string(line));
        runs_.push_back({log_.values.size(), sample});
    }
    expected_ = sample + 1;
    log_.values.push_back(countsMode_ ? static_cast<double>(counts) : arcsec);
}

// A mark names a sample number; it goes to the row carrying that number, or to the first row after the
// gap it falls in. Sample numbers are taken to count up, as the writer makes them.
void CsvReader::placeMarks() {
    const std::size_t rows = log_.values.size();
    if (!numbersCountUp_ && !marks_.empty())
        log_.notes.push_back("sample numbers do not count up: marks are placed by row");
    for (PendingMark& mark : marks_) {
        if (!numbersCountUp_) {
            const uint64_t offset =
                static_cast<uint64_t>(std::max<int64_t>(0, mark.number - runs_.front().number));
            log_.markers.push_back(
                {static_cast<std::size_t>(std::min<uint64_t>(offset, rows)), std::move(mark.label)});
            continue;
        }
        // The last run starting at or before the mark's number.
        auto after =
            std::upper_bound(runs_.begin(), runs_.end(), mark.number,
                             [](int64_t number, const NumberRun& run) { return number < run.number; });
        std::size_t index = 0;
        if (after != runs_.begin()) {
            const NumberRun& run = *(after - 1);
            const std::size_t end = after != runs_.end() ? after->index : rows;
            const uint64_t offset = static_cast<uint64_t>(mark.number - run.number);
            index = offset < end - run.index ? run.index + static_cast<std::size_t>(offset) : end;
        }
        log_.markers.push_back({index, std::move(mark.label)});
    }
}

} // namespace

bool readCsvLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    log.clear();
    log.format = LogFormat::Csv;
    CsvReader reader(options, log, report);
    return reader.run(lines);
}
