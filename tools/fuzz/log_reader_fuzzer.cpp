// Reads arbitrary bytes with one log reader, checks the invariants of what it read and reported
// (LogFuzzCheck.h), and analyses short results. Built once per reader: dat_log_fuzzer (readDatLog),
// csv_log_fuzzer (readCsvLog) and phd2_log_fuzzer (readPhd2Log), chosen by ASTRELVO_FUZZ_LOG_FORMAT.
//
// Input: encoder-bits, section and sample-period bytes, then the file's bytes.
#include "LogFuzzCheck.h"
#include "model/logs/CsvLogReader.h"
#include "model/logs/DatLogReader.h"
#include "model/logs/Phd2LogReader.h"

namespace {

constexpr LogFormat kFormat = LogFormat::ASTRELVO_FUZZ_LOG_FORMAT;

bool readAs(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report) {
    switch (kFormat) {
    case LogFormat::Dat:
        return readDatLog(lines, options, log, report);
    case LogFormat::Csv:
        return readCsvLog(lines, options, log, report);
    case LogFormat::Phd2:
        return readPhd2Log(lines, options, log, report);
    case LogFormat::Live:
        break;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const LogReadOptions options = fuzzLogOptions(in);
    const std::size_t skip = size < 3 ? size : 3;
    LineSource lines(reinterpret_cast<const char*>(data) + skip, size - skip);
    LoadedLog log;
    LogReadReport report;
    const bool ok = readAs(lines, options, log, report);
    checkLogRead(ok, lines, log, report, kFormat);
    if (ok)
        checkAnalysis(log);
    return 0;
}
