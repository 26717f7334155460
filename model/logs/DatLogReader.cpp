#include "model/logs/DatLogReader.h"

#include "model/logs/CountUnwrap.h"
#include "model/logs/LogText.h"

#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// Takes the decimal integer at the front of text (after blanks), leaving text after it.
bool takeInteger(std::string_view& text, int64_t& value) {
    text = trimBlanks(text);
    std::size_t length = 0;
    if (length < text.size() && (text[length] == '-' || text[length] == '+'))
        ++length;
    while (length < text.size() && text[length] >= '0' && text[length] <= '9')
        ++length;
    if (!parseInteger(text.substr(0, length), value))
        return false;
    text.remove_prefix(length);
    return true;
}

bool takeLiteral(std::string_view& text, std::string_view literal) {
    text = trimBlanks(text);
    if (!startsWith(text, literal))
        return false;
    text.remove_prefix(literal.size());
    return true;
}

struct DatRecord {
    int64_t number = 0;
    int64_t value = 0;
};

// "[N:n TS:t] v [a b]": the record number and the value after the bracket. Empty reason on success.
const char* parseRecord(std::string_view line, DatRecord& record) {
    int64_t stamp = 0;
    if (!takeLiteral(line, "[N:") || !takeInteger(line, record.number))
        return "expected \"[N:number\"";
    if (!takeLiteral(line, "TS:") || !takeInteger(line, stamp) || !takeLiteral(line, "]"))
        return "expected \"TS:number]\"";
    if (!takeInteger(line, record.value))
        return "expected a value after \"]\"";
    if (record.value < kInt32Min || record.value > kInt32Max || stamp < kInt32Min || stamp > kInt32Max ||
        record.number < kInt32Min || record.number > kInt32Max)
        return "number outside the 32-bit range of a record";
    // Further values (a 16-byte record's third and fourth) must be numbers too.
    for (int64_t extra = 0; !trimBlanks(line).empty();) {
        if (!takeInteger(line, extra) || extra < kInt32Min || extra > kInt32Max)
            return "unexpected text after the value";
    }
    return "";
}

} // namespace

bool readDatLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    log.clear();
    log.format = LogFormat::Dat;
    if (options.encoderBits == 0 || options.encoderBits > 64)
        return report.fail(LogReadError::NeedsEncoderBits, 0,
                           "the encoder width is needed to read a data.dat export");
    log.encoderBits = options.encoderBits;
    log.sampleSeconds = options.sampleSeconds > 0.0 ? options.sampleSeconds : 0.0;

    bool gapNoted = false;
    int64_t expected = 0;
    std::string_view line;
    while (lines.next(line)) {
        if (lines.lineTooLong()) {
            report.malformed(lines.lineNumber(), "line too long");
            continue;
        }
        if (lines.lineHasControlBytes()) {
            report.malformed(lines.lineNumber(), "NUL or other control bytes in the line");
            continue;
        }
        if (trimBlanks(line).empty())
            continue;
        DatRecord record;
        if (const char* reason = parseRecord(line, record); *reason != '\0') {
            report.malformed(lines.lineNumber(), reason);
            continue;
        }
        if (log.values.size() >= LoadedLog::kMaxSamples) {
            log.notes.push_back("only the first " + std::to_string(LoadedLog::kMaxSamples) +
                                " records were read (line " + std::to_string(lines.lineNumber()) + " on)");
            break;
        }
        if (log.values.empty()) {
            log.firstSampleNumber = static_cast<uint64_t>(record.number < 0 ? 0 : record.number);
        } else if (record.number != expected && !gapNoted) {
            gapNoted = true;
            log.notes.push_back("record numbers jump from " + std::to_string(expected - 1) + " to " +
                                std::to_string(record.number) + " at line " +
                                std::to_string(lines.lineNumber()));
        }
        expected = record.number + 1;
        log.values.push_back(static_cast<double>(record.value));
    }
    if (lines.failed())
        return report.fail(LogReadError::ReadFailed, lines.lineNumber() + 1, "the file could not be read",
                           lines.errorNumber());
    if (log.values.empty())
        return report.fail(LogReadError::NoSamples, lines.lineNumber(), "no record in the file");
    countsToArcsec(log.values.data(), log.values.size(), log.encoderBits);
    return true;
}
