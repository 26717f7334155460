#include "model/logs/LogFileReader.h"

#include "model/logs/CsvLogFormat.h"
#include "model/logs/CsvLogReader.h"
#include "model/logs/DatLogReader.h"
#include "model/logs/LogText.h"
#include "model/logs/Phd2LogReader.h"
#include "platform/FileOpen.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Lines looked at when recognising a file.
constexpr int kRecogniseLines = 200;

std::string_view firstLine(std::string_view text, std::size_t& next) {
    const std::size_t end = text.find('\n');
    next = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

LogKind recogniseLog(std::string_view head) {
    if (startsWith(head, kUtf8Bom))
        head.remove_prefix(kUtf8Bom.size());
    bool first = true;
    for (int n = 0; n < kRecogniseLines && !head.empty(); ++n) {
        std::size_t next = 0;
        const std::string_view line = trimBlanks(firstLine(head, next));
        head.remove_prefix(next);
        if (line.empty())
            continue;
        if (hasControlBytes(line)) {
            // A damaged line (the readers skip it) or binary data: it names no format.
            first = false;
            continue;
        }
        if (first && startsWith(line, "[N:"))
            return LogKind::Dat;
        if (first && line.find("PHD2") != std::string_view::npos)
            return LogKind::Phd2;
        first = false;
        if (line.front() == '#') {
            if (startsWith(trimBlanks(line.substr(1)), csvlog::kMagic))
                return LogKind::Csv;
            continue;
        }
        if (startsWith(line, csvlog::kHeaderRow))
            return LogKind::Csv;
        if (startsWith(line, "Guiding Begins at") || startsWith(line, "Calibration Begins at"))
            return LogKind::Phd2;
    }
    return LogKind::NotALog;
}

bool readLog(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    const std::string_view head = lines.head();
    if (lines.failed())
        return report.fail(LogReadError::ReadFailed, 1, "the file could not be read", lines.errorNumber());
    bool read = false;
    switch (recogniseLog(head)) {
    case LogKind::Dat:
        read = readDatLog(lines, options, log, report);
        break;
    case LogKind::Csv:
        read = readCsvLog(lines, options, log, report);
        break;
    case LogKind::Phd2:
        read = readPhd2Log(lines, options, log, report);
        break;
    case LogKind::NotALog:
        log.clear();
        if (head.empty())
            return report.fail(LogReadError::NotALog, 0, "the file is empty");
        if (head.find_first_not_of('\0') == std::string_view::npos)
            return report.fail(LogReadError::NotALog, 1,
                               "the file holds only NUL bytes (as a crash or power loss leaves it)");
        return report.fail(LogReadError::NotALog, 1,
                           "not a log: neither a data.dat export, an Astrelvo CSV nor a PHD2 guide log");
    }
    if (read && lines.nulPaddingLine() != 0) {
        const uint64_t from = lines.nulPaddingLine();
        log.notes.push_back("the readable part ends at line " + std::to_string(from - 1) + ": from line " +
                            std::to_string(from) +
                            " on the file holds only NUL bytes (as a crash or power loss leaves it)");
    }
    return read;
}

bool readLogFile(const char* path, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    // A regular file is parsed in place through its memory map; anything else (a pipe, a directory) is
    // read as a stream, which also says why it cannot be read.
    MappedFile mapped;
    if (mapped.open(path)) {
        LineSource lines(mapped);
        return readLog(lines, options, log, report);
    }
    errno = 0;
    const UniqueFile file = openUniqueFile(path, "rb");
    if (!file) {
        log.clear();
        const int error = errno != 0 ? errno : ENOENT;
        return report.fail(LogReadError::CannotOpen, 0, "the file cannot be opened", error);
    }
    LineSource lines(file.get());
    return readLog(lines, options, log, report);
}

LogKind recogniseLogFile(const char* path) {
    MappedFile mapped;
    if (mapped.open(path)) {
        LineSource lines(mapped);
        const std::string_view head = lines.head();
        return lines.failed() ? LogKind::NotALog : recogniseLog(head);
    }
    const UniqueFile file = openUniqueFile(path, "rb");
    if (!file)
        return LogKind::NotALog;
    LineSource lines(file.get());
    const std::string_view head = lines.head();
    return lines.failed() ? LogKind::NotALog : recogniseLog(head);
}
