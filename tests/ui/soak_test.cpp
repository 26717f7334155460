// A long logging night compressed: the program's objects wired as at start-up with the real main dialog,
// logging from the emulated controller at full speed with the heartbeat replaced by a fast tick thread,
// until more records have arrived than the store holds. Checks that memory stays flat, that the UI
// thread keeps answering posted events, that the counter line, the store and the export are right, that
// the idle engine does not spin and that closing the dialog while logging ends cleanly.
//
// ASTRELVO_SOAK_RECORDS sets the number of records (default 240000, the short run of the test suite: just
// past the sample store's capacity).
#include "app/HeartBeatTimer.h"
#include "app/Program.h"
#include "app/ReportFilter.h"
#include "emulator/Rz4Emulator.h"
#include "emulator/TrackingSignal.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "rz4/StatusCode.h"
#include "rz4/iEngineReport.h"
#include "ui/main/DlgMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CurrentDirectory.h"
#include "DialogScript.h"
#include "LineText.h"
#include "UiTestMain.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kDefaultRecords = 240000;
constexpr int kFastTickMs = 2;
constexpr int kNormalTickMs = HeartBeatTimer::kPeriodMs;
constexpr int kProbePeriodMs = 50;
constexpr double kMaxLatencyMs = 100.0;
// Growth of the resident set allowed between warm-up and the end of the run.
constexpr long kMaxRssGrowthKb = 3 * 1024;
// Under a sanitizer freed blocks wait in its quarantine or shadow memory grows: the resident set says
// nothing about leaks there (the leak checker does).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ASTRELVO_SOAK_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(ASTRELVO_SOAK_UNDER_SANITIZER)
constexpr bool kRssIsMeaningful = false;
#else
constexpr bool kRssIsMeaningful = true;
#endif
// The rate the emulator stamps its records with for log rate index 2 ("4 Hz").
constexpr int kLogRateIndex = 2;
constexpr double kLogRateHz = 4.0;
constexpr uint32_t kRecordWord3 = 0x02000400u;

uint32_t soakRecords() {
    const char* text = std::getenv("ASTRELVO_SOAK_RECORDS");
    if (text == nullptr || *text == '\0')
        return kDefaultRecords;
    const unsigned long value = std::strtoul(text, nullptr, 10);
    return static_cast<uint32_t>(std::clamp<unsigned long>(value, 1000, 100000000));
}

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int32_t wordAt(const uint8_t* record, int index) {
    int32_t value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

// Counts the records the engine hands over to the channel. Called on the engine worker thread; the
// count is read from the UI thread.
class CountingReport : public ReportFilter {
public:
    void writeRecord(const uint8_t* bytes, uint32_t length, bool last) override {
        if (length != 0)
            records_.fetch_add(1, std::memory_order_relaxed);
        ReportFilter::writeRecord(bytes, length, last);
    }
    uint64_t records() const { return records_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> records_{0};
};

// Stands in for the heartbeat: calls the listener every period on a thread of its own; a period of 0
// pauses it. Period and stop are set from the UI thread.
class Ticker {
public:
    explicit Ticker(iHeartBeatListener& listener) : listener_(listener), thread_([this] { run(); }) {}
    ~Ticker() { stop(); }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

    void setPeriodMs(int ms) { periodMs_.store(ms); }
    void stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run() {
        std::unique_lock<std::mutex> guard(lock_);
        while (!stopping_) {
            const int period = periodMs_.load();
            if (period > 0) {
                guard.unlock();
                listener_.OnHeartBeat();
                guard.lock();
            }
            wake_.wait_for(guard, std::chrono::milliseconds(period > 0 ? period : 5),
                           [this] { return stopping_; });
        }
    }

    iHeartBeatListener& listener_;
    std::atomic<int> periodMs_{0};
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// Posts a call to the dialog every 50 ms from a thread of its own and records, on the UI thread, how
// long each waited until it ran. Only calls posted while measuring is on are counted.
class LatencyProbe {
public:
    explicit LatencyProbe(QObject& target) : target_(target) {
        latenciesMs_.reserve(1 << 16);
        thread_ = std::thread([this] { run(); });
    }
    ~LatencyProbe() { stop(); }
    LatencyProbe(const LatencyProbe&) = delete;
    LatencyProbe& operator=(const LatencyProbe&) = delete;

    // UI thread.
    void setMeasuring(bool on) {
        measuring_ = on;
        if (on)
            measuringSince_ = Clock::now();
    }
    void stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    size_t count() const { return latenciesMs_.size(); }
    double maxMs() const {
        return latenciesMs_.empty() ? 0.0 : *std::max_element(latenciesMs_.begin(), latenciesMs_.end());
    }
    double percentileMs(double p) const {
        if (latenciesMs_.empty())
            return 0.0;
        std::vector<double> sorted = latenciesMs_;
        std::sort(sorted.begin(), sorted.end());
        const auto index = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
        return sorted[std::min(index, sorted.size() - 1)];
    }

private:
    void run() {
        std::unique_lock<std::mutex> guard(lock_);
        while (!stopping_) {
            const Clock::time_point posted = Clock::now();
            QMetaObject::invokeMethod(
                &target_, [this, posted] { handled(posted); }, Qt::QueuedConnection);
            wake_.wait_for(guard, std::chrono::milliseconds(kProbePeriodMs), [this] { return stopping_; });
        }
    }
    void handled(Clock::time_point posted) {
        if (measuring_ && posted >= measuringSince_)
            latenciesMs_.push_back(msSince(posted));
    }

    QObject& target_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    // UI thread.
    bool measuring_ = false;
    Clock::time_point measuringSince_{};
    std::vector<double> latenciesMs_;
    std::thread thread_;
};

// The program's objects with the real main dialog attached and a counting report between engine and
// channel; the heartbeat is never started: the Ticker drives the engine instead. UI thread.
class SoakProgram {
public:
    SoakProgram() : program_(&report_) {
        // Touch the whole store once so that its pages filling up do not count as growth.
        std::memset(model().rawRecords, 0, sizeof model().rawRecords);
        std::memset(model().samples, 0, sizeof model().samples);
        dialog_ = std::make_unique<DlgMain>(&model(), &engine(), &program_.channel());
        program_.attach(dialog_.get(), dialog_->noticeSender());
    }
    ~SoakProgram() { shutdown(); }
    SoakProgram(const SoakProgram&) = delete;
    SoakProgram& operator=(const SoakProgram&) = delete;

    // The program's shutdown after the dialog has ended, the ticker stopped first. Returns how long
    // stopping took.
    double shutdown(Ticker* ticker = nullptr) {
        if (!dialog_)
            return 0.0;
        if (ticker != nullptr)
            ticker->stop();
        const Clock::time_point start = Clock::now();
        program_.stop();
        const double took = msSince(start);
        dialog_.reset();
        return took;
    }

    AppModel& model() { return program_.model(); }
    CommControl& engine() { return program_.engine(); }
    DlgMain& dialog() { return *dialog_; }
    uint64_t recordsHandedOver() const { return report_.records(); }

private:
    CountingReport report_;
    Program program_;
    std::unique_ptr<DlgMain> dialog_;
};

// The store as the emulator's records must have filled it: raw records numbered 0, 1, 2, ... as far as
// the raw area holds, each sample the position of the record of the same number.
void expectStoreMatchesEmulator(const AppModel& model, const TrackingSignal::Params& params,
                                unsigned encoderBits) {
    TrackingSignal signal(params, encoderBits);
    uint32_t firstBadSample = model.sampleCount;
    for (uint32_t i = 0; i < model.sampleCount; ++i) {
        const auto expected =
            static_cast<int32_t>(signal.absoluteCounts(static_cast<double>(i) / kLogRateHz));
        if (model.samples[i] != expected) {
            firstBadSample = i;
            break;
        }
    }
    EXPECT_EQ(firstBadSample, model.sampleCount)
        << "sample " << firstBadSample << " is not record " << firstBadSample;

    uint32_t firstBadRecord = model.rawCount;
    for (uint32_t i = 0; i < model.rawCount; ++i) {
        const uint8_t* record = model.rawRecords + static_cast<size_t>(i) * model.recordLength;
        if (wordAt(record, 0) != static_cast<int32_t>(i) || wordAt(record, 1) != model.samples[i] ||
            wordAt(record, 2) != static_cast<int32_t>(static_cast<uint32_t>(model.samples[i]) + 4000u) ||
            static_cast<uint32_t>(wordAt(record, 3)) != kRecordWord3) {
            firstBadRecord = i;
            break;
        }
    }
    EXPECT_EQ(firstBadRecord, model.rawCount) << "raw record " << firstBadRecord << " out of sequence";
}

// data.dat as written by the dialog's export command: one line per raw record, numbered from 0.
void expectExportMatchesStore(DlgMain& dialog, const AppModel& model) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        CurrentDirectory here(dir.path());
        ASSERT_TRUE(here.ok());
        EXPECT_TRUE(dialog.command(144));
    }

    std::ifstream file(dir.filePath(QStringLiteral("data.dat")).toStdString(), std::ios::binary);
    ASSERT_TRUE(file.good());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t at = 0;
    uint32_t lines = 0;
    uint32_t firstBad = model.rawCount;
    char expected[128];
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "data.dat ends without CR LF";
            break;
        }
        if (lines < model.rawCount && firstBad == model.rawCount) {
            const int32_t position = model.samples[lines];
            std::snprintf(expected, sizeof expected, "[N:%u TS:%u] %d %d %d", lines, lines, position,
                          static_cast<int32_t>(static_cast<uint32_t>(position) + 4000u),
                          static_cast<int32_t>(kRecordWord3));
            if (text.compare(at, end - at, expected) != 0)
                firstBad = lines;
        }
        ++lines;
        at = end + 2;
    }
    EXPECT_EQ(lines, model.rawCount);
    EXPECT_EQ(firstBad, model.rawCount)
        << "data.dat line " << firstBad << ": " << text.substr(0, std::min<size_t>(text.size(), 200));
}

TEST(SlowSoak, NightOfFullSpeedLoggingKeepsMemoryFlatUiResponsiveAndCountsRight) {
    const uint32_t target = soakRecords();
    const uint32_t warmUp = std::min<uint32_t>(20000, target / 4);

    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    config.signal.noiseArcsec = 0.0; // every position follows from its record number
    Rz4Emulator emulator(config);
    ASSERT_TRUE(emulator.start());

    auto program = std::make_unique<SoakProgram>();
    AppModel& model = program->model();
    DlgMain& dialog = program->dialog();
    Ticker ticker(program->engine());
    LatencyProbe probe(dialog);

    // Closing with unexported records asks whether to export them first: export into a directory of
    // the test's own.
    QTemporaryDir closeDir;
    ASSERT_TRUE(closeDir.isValid());
    const QString startDir = QDir::currentPath();
    uint32_t unexportedAtClose = 0;
    dialog.setExitQuestion([&](uint32_t unexported) {
        unexportedAtClose = unexported;
        return DlgMain::ExitAnswer::ExportAndQuit;
    });
    dialog.setMessageSink([](const QString& title, const QString& text, bool error) {
        if (error)
            ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
    });

    long rssStart = 0;
    long rssAtStoreFull = 0;
    long rssEnd = 0;
    double runMs = 0.0;
    double idleCpuPercent = -1.0;
    uint64_t recordsAtTarget = 0;
    uint64_t recordsBeforeClose = 0;
    bool finished = false;

    Clock::time_point phaseStart;
    uint64_t lastCount = 0;
    Clock::time_point lastChange;
    double cpuStart = 0.0;

    auto* runner = new DialogScript(
        dialog,
        {
            {"connect", 15000,
             [&] {
                 program->engine().setPortPath(1, emulator.slavePath().c_str());
                 program->engine().Connect(1);
                 return true;
             }},
            {"connected", 15000, [&] { return model.recordLength == config.recordLength; }},
            {"start logging", 1000,
             [&] {
                 model.logSettings.logProcessed = false; // absolute positions
                 model.logSettings.logRate = kLogRateIndex;
                 dialog.command(140);
                 ticker.setPeriodMs(kFastTickMs);
                 probe.setMeasuring(true);
                 phaseStart = Clock::now();
                 return true;
             }},
            {"warm-up", 120000,
             [&] {
                 if (program->recordsHandedOver() < warmUp)
                     return false;
                 emulator.clearReceived(); // the emulator's packet log is not the program's memory
                 rssStart = rssKb();
                 return true;
             }},
            {"log the night", 1800000,
             [&] {
                 if (rssAtStoreFull == 0 && model.sampleCount >= AppModel::kMaxSamples)
                     rssAtStoreFull = rssKb();
                 emulator.clearReceived();
                 if (program->recordsHandedOver() < target)
                     return false;
                 runMs = msSince(phaseStart);
                 ticker.setPeriodMs(0); // no further block requests
                 probe.setMeasuring(false);
                 lastCount = program->recordsHandedOver();
                 lastChange = Clock::now();
                 return true;
             }},
            {"quiet line", 10000,
             [&] {
                 const uint64_t count = program->recordsHandedOver();
                 if (count != lastCount) {
                     lastCount = count;
                     lastChange = Clock::now();
                     return false;
                 }
                 if (msSince(lastChange) < 300)
                     return false;
                 // Every NotifyData posted so far is handled before this returns: the pipe is drained.
                 QCoreApplication::sendPostedEvents(&dialog, 0);
                 return true;
             }},
            {"check store, counters and export", 60000,
             [&] {
                 rssEnd = rssKb();
                 recordsAtTarget = program->recordsHandedOver();
                 EXPECT_EQ(recordsAtTarget, emulator.state().recordsSent)
                     << "records sent by the controller and records handed to the channel differ";
                 const uint32_t expectedSamples =
                     static_cast<uint32_t>(std::min<uint64_t>(recordsAtTarget, AppModel::kMaxSamples));
                 EXPECT_EQ(model.sampleCount, expectedSamples);
                 EXPECT_EQ(model.newCount, 0u);
                 EXPECT_EQ(model.rawCount, model.rawCapacity - 1);
                 expectStoreMatchesEmulator(model, config.signal, config.encoderBits);

                 const QString counter = lineText(dialog, 143);
                 if (recordsAtTarget > AppModel::kMaxSamples) {
                     EXPECT_EQ(counter, QStringLiteral("Received:0  Total:200000  Available:1"));
                 } else {
                     EXPECT_TRUE(counter.startsWith(QStringLiteral("Received:"))) << counter.toStdString();
                     EXPECT_TRUE(
                         counter.endsWith(QStringLiteral("  Total:%1  Available:1").arg(model.sampleCount)))
                         << counter.toStdString();
                 }
                 expectExportMatchesStore(dialog, model);
                 EXPECT_EQ(dialog.unexportedRecords(), 0u);
                 return true;
             }},
            {"stop logging", 1000,
             [&] {
                 dialog.command(141);
                 ticker.setPeriodMs(kNormalTickMs);
                 phaseStart = Clock::now();
                 return true;
             }},
            {"idle", 10000,
             [&] {
                 if (cpuStart == 0.0) {
                     if (msSince(phaseStart) < 500)
                         return false;
                     cpuStart = processCpuSeconds();
                     phaseStart = Clock::now();
                     return false;
                 }
                 if (msSince(phaseStart) < 2000)
                     return false;
                 idleCpuPercent = 100.0 * (processCpuSeconds() - cpuStart) / (msSince(phaseStart) / 1000.0);
                 return true;
             }},
            {"log again", 1000,
             [&] {
                 dialog.command(140);
                 ticker.setPeriodMs(kFastTickMs);
                 probe.setMeasuring(true);
                 lastCount = program->recordsHandedOver();
                 phaseStart = Clock::now();
                 return true;
             }},
            {"close while logging", 30000,
             [&] {
                 if (msSince(phaseStart) < 1000 || program->recordsHandedOver() < lastCount + 1000)
                     return false;
                 recordsBeforeClose = program->recordsHandedOver();
                 finished = true;
                 QDir::setCurrent(closeDir.path());
                 dialog.command(2);
                 return true;
             }},
        });
    runner->setParent(&dialog);
    dialog.show();
    const int result = dialog.exec();
    const bool stepsDone = runner->finished();
    QDir::setCurrent(startDir);
    const uint32_t rawCountAtClose = model.rawCount;

    probe.stop();
    const double stopMs = program->shutdown(&ticker);
    program.reset();
    emulator.stop();

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(stepsDone);
    EXPECT_TRUE(finished);
    EXPECT_LT(stopMs, 5000.0) << "the engine took long to stop while logging";
    if (unexportedAtClose > 0) {
        // Exported while records kept arriving: the raw area as it stood, whole lines only.
        std::ifstream file(closeDir.filePath(QStringLiteral("data.dat")).toStdString(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        size_t lines = 0;
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
            ++lines;
        EXPECT_EQ(lines, rawCountAtClose);
        EXPECT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
        EXPECT_EQ(text.rfind("[N:0 TS:0] ", 0), 0u);
    }

    const double rate = runMs > 0 ? 1000.0 * static_cast<double>(recordsAtTarget) / runMs : 0.0;
    std::printf("soak: %llu records in %.1f s (%.0f records/s, %.1f h at 4 Hz), %llu more before closing\n",
                static_cast<unsigned long long>(recordsAtTarget), runMs / 1000.0, rate,
                static_cast<double>(recordsAtTarget) / 4.0 / 3600.0,
                static_cast<unsigned long long>(recordsBeforeClose - recordsAtTarget));
    std::printf("soak: VmRSS after warm-up %ld kB, store full %ld kB, end %ld kB (growth %ld kB)\n", rssStart,
                rssAtStoreFull, rssEnd, rssEnd - rssStart);
    std::printf("soak: UI latency of %zu probes: max %.1f ms, p99 %.1f ms, p50 %.1f ms\n", probe.count(),
                probe.maxMs(), probe.percentileMs(99.0), probe.percentileMs(50.0));
    std::printf(
        "soak: idle CPU %.2f %% of a core; engine stop while logging %.0f ms; %u unexported at close\n",
        idleCpuPercent, stopMs, unexportedAtClose);
    ::testing::Test::RecordProperty("records", std::to_string(recordsAtTarget));
    ::testing::Test::RecordProperty("rss_growth_kb", std::to_string(rssEnd - rssStart));

    EXPECT_GT(rssStart, 0);
    if (kRssIsMeaningful) {
        EXPECT_LT(rssEnd - rssStart, kMaxRssGrowthKb) << "memory grew during the run";
    }
    EXPECT_GT(probe.count(), 10u);
    EXPECT_LT(probe.maxMs(), kMaxLatencyMs) << "the UI thread stalled";
    EXPECT_LT(idleCpuPercent, 10.0) << "the idle program keeps a core busy";
}

} // namespace
