// astrelvo-cli: the engine without a window, for observatory computers without a display and scripts.
#include "base/TextFormat.h"
#include "emulator/Rz4Emulator.h"
#include "engine/CommControl.h"
#include "model/analysis/PeAnalysis.h"
#include "model/logs/CsvLogWriter.h"
#include "model/store/AppModel.h"
#include "model/store/SettingsFile.h"
#include "platform/FileOpen.h"
#include "platform/SerialDeviceList.h"
#include "platform/Utf8CommandLine.h"
#include "platform/Utf8Path.h"
#include "rz4/StatusCode.h"
#include "tools/cli/AnalyzeCommand.h"
#include "tools/cli/BackupCommand.h"
#include "tools/cli/CliConnection.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/CompareCommand.h"
#include "tools/cli/ConsoleProgram.h"
#include "tools/cli/StopSignals.h"
#include "tools/cli/TuneCommand.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

int runInfo(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    if (!connectController(session, options, emulator)) {
        disconnectController(session, options);
        return kExitFailed;
    }
    std::fputs(SettingsFile::format(session.model().deviceInfo).c_str(), stdout);
    disconnectController(session, options);
    return kExitDone;
}

// The periodic-error figures of the logged positions (the store keeps the first 200000 samples).
void printPeSummary(const AppModel& model, int rateIndex, bool raw) {
    PeResult pe =
        analysePeriodicError(model.samples, model.sampleCount, model.deviceInfo.encoderBits, rateIndex, 0);
    if (!pe.valid) {
        std::printf("pe: not enough data\n");
        return;
    }
    if (raw)
        std::printf("pe_note: absolute positions; the drift includes the sidereal motion\n");
    std::printf("pe_peak_to_peak_arcsec: %.3f\n", pe.peakToPeakArcsec);
    std::printf("pe_rms_arcsec: %.3f\n", pe.rmsArcsec);
    if (pe.hasPeriod) {
        std::printf("dominant_period_samples: %.2f\n", pe.dominantPeriodSamples);
        if (pe.hasRate)
            std::printf("dominant_period_seconds: %.2f\n", pe.dominantPeriodSeconds);
    }
    std::printf("drift_arcsec_per_sample: %.6f\n", pe.driftArcsecPerSample);
}

// The output file, written in parts while logging so that a night longer than the store's raw area
// loses nothing.
class Spool {
public:
    explicit Spool(const std::string& path) : file_(openFile(path.c_str(), "wb")) {
        if (file_ != nullptr)
            std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
    }
    ~Spool() { close(); }
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    uint32_t written() const { return written_; }
    bool failed() const { return failed_; }

    // The records also go to this CSV log (not owned; may be null).
    void alsoWriteCsv(CsvLogWriter* csv) { csv_ = csv; }

    // Moves the raw records out of the store into the file once at least minRecords are there.
    void take(AppModel& model, uint32_t minRecords) {
        if (file_ == nullptr || model.rawCount == 0 || model.rawCount < minRecords)
            return;
        if (!model.writeRecords(file_, written_))
            failed_ = true;
        if (csv_ != nullptr)
            csv_->writeRecords(model.rawRecords, model.rawCount, model.recordLength);
        written_ += model.rawCount;
        model.rawCount = 0;
        model.rawExported = 0;
    }
    bool close() {
        if (file_ == nullptr)
            return !failed_;
        if (std::fclose(file_) != 0)
            failed_ = true;
        file_ = nullptr;
        return !failed_;
    }

private:
    char buffer_[65536];
    std::FILE* file_;
    CsvLogWriter* csv_ = nullptr;
    uint32_t written_ = 0;
    bool failed_ = false;
};

// Whether a file can be written at path, found without changing it: an existing file is opened for
// appending and left as it was, a new one is made and removed again.
bool canWrite(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path where = pathFromUtf8(path);
    const bool existed = std::filesystem::exists(where, ec);
    std::FILE* file = openFile(path.c_str(), "ab");
    if (file == nullptr)
        return false;
    std::fclose(file);
    if (!existed)
        std::filesystem::remove(where, ec);
    return true;
}

int runLog(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    // The files are checked before connecting but made only once the controller answers, so that a
    // controller left switched off does not cost the log an earlier run wrote there.
    for (const std::string* path : {&options.output, &options.csv}) {
        if (!path->empty() && !canWrite(*path)) {
            std::fprintf(stderr, "Cannot write %s: %s\n", path->c_str(), std::strerror(errno));
            return kExitFailed;
        }
    }
    if (!connectController(session, options, emulator)) {
        disconnectController(session, options);
        return kExitFailed;
    }
    auto spool = std::make_unique<Spool>(options.output);
    if (!spool->isOpen()) {
        std::fprintf(stderr, "Cannot write %s: %s\n", options.output.c_str(), std::strerror(errno));
        disconnectController(session, options);
        return kExitFailed;
    }
    std::unique_ptr<CsvLogWriter> csv;
    if (!options.csv.empty()) {
        csv = std::make_unique<CsvLogWriter>();
        if (!csv->open(options.csv.c_str())) {
            std::fprintf(stderr, "Cannot write %s: %s\n", options.csv.c_str(), std::strerror(csv->error()));
            disconnectController(session, options);
            return kExitFailed;
        }
        spool->alsoWriteCsv(csv.get());
    }
    const bool testMode = options.port == "test";
    AppModel& model = session.model();
    if (csv) {
        // The test mode's batches come per fetch, not at the log rate: its sample period is unknown.
        CsvLogHeader header;
        header.encoderBits = model.deviceInfo.encoderBits;
        header.sampleSeconds = testMode ? 0.0 : 1.0 / peLogRateHz(options.rate);
        header.started = isoUtcTimestamp(std::chrono::system_clock::now());
        header.port = options.port;
        csv->writeHeader(header);
    }
    session.engine().StartLog(options.raw ? 1 : 3, static_cast<uint32_t>(options.rate));

    bool failed = false;
    auto start = std::chrono::steady_clock::now();
    auto end = start + std::chrono::seconds(options.seconds);
    while (!ConsoleProgram::stopRequested() && std::chrono::steady_clock::now() < end) {
        // The test mode produces a batch per fetch; a controller is polled by the engine itself.
        if (testMode)
            session.engine().FetchLog();
        uint32_t before = session.statusCount();
        session.pumpUntil(
            [&] {
                return session.statusCount() != before && ConsoleProgram::isErrorStatus(session.lastStatus());
            },
            1000);
        spool->take(model, model.rawCapacity / 2);
        if (ConsoleProgram::isErrorStatus(session.lastStatus()) && session.statusCount() != before) {
            failed = true;
            break;
        }
    }
    if (!failed) {
        session.engine().StopLog();
        disconnectController(session, options);
    }
    // Take in what is still on its way before closing the file.
    session.pumpUntil([] { return false; }, 300, false);
    spool->take(model, 0);
    const bool written = spool->close();
    if (!written)
        std::fprintf(stderr, "Cannot write %s: the logged data was not saved completely\n",
                     options.output.c_str());
    const bool csvWritten = !csv || csv->close();
    if (!csvWritten)
        std::fprintf(stderr, "Cannot write %s: %s; the logged data was not saved completely\n",
                     options.csv.c_str(), std::strerror(csv->error()));
    std::printf("samples: %u\n", spool->written());
    printPeSummary(model, testMode ? -1 : options.rate, options.raw);
    std::printf("output: %s\n", options.output.c_str());
    if (csv)
        std::printf("csv: %s\n", options.csv.c_str());
    if (failed || !written || !csvWritten)
        return kExitFailed;
    return kExitDone;
}

// Standard output that could not be written (a full disk, a closed pipe) is a failure, not a success
// with lines missing.
int withOutputChecked(int result) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "astrelvo-cli: cannot write the output: %s\n", std::strerror(errno));
        if (result == kExitDone)
            return kExitFailed;
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    // Paths and ports in UTF-8 whatever the system's code page; the console shows UTF-8 too.
    Utf8CommandLine line(argc, argv);
    CliOptions options;
    std::string error = parseCliOptions(line.argc(), line.argv(), options);
    if (!error.empty()) {
        if (error == "help") {
            std::fputs(kCliUsage, stdout);
            return withOutputChecked(kExitDone);
        }
        std::fprintf(stderr, "astrelvo-cli: %s\n\n%s", error.c_str(), kCliUsage);
        return kExitUsage;
    }
    if (options.command == CliOptions::Command::Analyze)
        return withOutputChecked(runAnalyze(options));
    if (options.command == CliOptions::Command::Compare)
        return withOutputChecked(runCompare(options));

    installStopSignals();

    std::unique_ptr<Rz4Emulator> emulator;
    if (options.port == "virtual") {
        emulator = std::make_unique<Rz4Emulator>();
        if (!emulator->start()) {
            std::fprintf(stderr, "Cannot start the built-in emulator\n");
            return kExitFailed;
        }
    }

    int result;
    {
        ConsoleProgram session;
        switch (options.command) {
        case CliOptions::Command::Info:
            result = runInfo(session, options, emulator.get());
            break;
        case CliOptions::Command::Tune:
            result = runTune(session, options, emulator.get());
            break;
        case CliOptions::Command::Backup:
            result = runBackup(session, options, emulator.get());
            break;
        case CliOptions::Command::Restore:
            result = runRestore(session, options, emulator.get());
            break;
        default:
            result = runLog(session, options, emulator.get());
            break;
        }
    }
    if (emulator)
        emulator->stop();
    result = withOutputChecked(result);
    stopSignalsFinished();
    return result;
}
