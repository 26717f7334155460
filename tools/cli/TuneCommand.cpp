#include "tools/cli/TuneCommand.h"

#include "engine/CommControl.h"
#include "engine/EngineEvent.h"
#include "model/analysis/PeAnalysis.h"
#include "model/analysis/PidSearch.h"
#include "model/analysis/TuneMeasurement.h"
#include "model/store/AppModel.h"
#include "rz4/Rz4Protocol.h"
#include "tools/cli/CliConnection.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/ConsoleProgram.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// The controller answers a PID within a block or two (a block every 750 ms); this is generous.
constexpr int kAnswerTimeoutMs = 15000;
// Beyond the step's own length, for the blocks to come in.
constexpr int kSampleSlackMs = 15000;

using Pid = std::array<uint16_t, 3>;

std::string joined(const uint16_t* values, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ',';
        text += std::to_string(values[i]);
    }
    return text;
}

// One tune run on the main thread: the steps, their figures and the PID to put back.
class Tuner {
public:
    Tuner(ConsoleProgram& session, const CliOptions& options) : session_(session), options_(options) {}
    int run(Rz4Emulator* emulator);

private:
    enum class Wait { Done, Interrupted, TimedOut, LinkLost };

    AppModel& model() { return session_.model(); }
    bool linkLost() const { return ConsoleProgram::isErrorStatus(session_.lastStatus()); }
    Wait waitFor(const std::function<bool()>& done, int timeoutMs, bool interruptible = true);
    // Waits for the marker of a PID with these values from marker `from` on; its sample is where the
    // controller took it.
    Wait waitForPidMarker(const uint16_t (&values)[10], uint32_t from, uint32_t& sample, bool interruptible);
    // Measures `needed_` samples from `start` on and prints the step's line; the figures go to figures.
    Wait measure(int step, const Pid& pid, uint32_t start, TuneMeasurement* figures = nullptr);
    void printBest() const;
    // The ten values a step with these gains sends: I and D samples as read at connect.
    void stepValues(const Pid& pid, uint16_t (&values)[10]) const;
    // Sends values and waits until the controller took them; the first sample after that in first.
    Wait send(const uint16_t (&values)[10], uint32_t& first, bool interruptible);
    // The gain search after step 0; returns how it ended and prints its lines.
    Wait search(int& step, const char*& failure);
    void printNotes(PidSearch& search) const;
    // Sends the PID read at connect and waits for the controller to take it; prints "restored:".
    bool restore(Rz4Emulator* emulator);
    // Sends the search's best gains and waits for the controller to take them; prints "kept:".
    bool keepBest();

    ConsoleProgram& session_;
    const CliOptions& options_;
    uint16_t original_[10] = {};
    uint32_t needed_ = 0;
    int bestStep_ = -1;
    double bestRms_ = 0.0;
    // A search's outcome.
    Pid searchBest_{};
    double baselineRms_ = 0.0;
};

Tuner::Wait Tuner::waitFor(const std::function<bool()>& done, int timeoutMs, bool interruptible) {
    session_.pumpUntil([&] { return done() || linkLost(); }, timeoutMs, interruptible);
    if (done())
        return Wait::Done;
    if (linkLost())
        return Wait::LinkLost;
    if (interruptible && ConsoleProgram::stopRequested())
        return Wait::Interrupted;
    return Wait::TimedOut;
}

Tuner::Wait Tuner::waitForPidMarker(const uint16_t (&values)[10], uint32_t from, uint32_t& sample,
                                    bool interruptible) {
    uint8_t arguments[20];
    for (int i = 0; i < 10; ++i) {
        arguments[2 * i] = static_cast<uint8_t>(values[i]);
        arguments[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
    }
    bool found = false;
    auto seen = [&] {
        const AppModel& m = model();
        for (uint32_t i = from; i < m.markerCount && !found; ++i) {
            const Marker& marker = m.markers[i];
            if (marker.command == CmdSendPid && marker.argumentCount >= 20 &&
                std::equal(arguments, arguments + 20, marker.arguments)) {
                found = true;
                sample = marker.sample;
            }
        }
        return found;
    };
    return waitFor(seen, kAnswerTimeoutMs, interruptible);
}

Tuner::Wait Tuner::measure(int step, const Pid& pid, uint32_t start, TuneMeasurement* figures) {
    const double hz = rz4::kLogRatesHz[options_.rate];
    const int timeoutMs = static_cast<int>(needed_ / hz * 1000.0) + kSampleSlackMs;
    const Wait wait = waitFor([&] { return model().sampleCount >= start + needed_; }, timeoutMs);
    if (wait != Wait::Done)
        return wait;
    const AppModel& m = model();
    const TuneMeasurement measured =
        TuneMeasurement::of(m.samples + start, needed_, m.deviceInfo.encoderBits, options_.rate);
    if (figures != nullptr)
        *figures = measured;
    const PeResult& pe = measured.pe;
    char line[256];
    if (pe.valid) {
        char period[32] = "--";
        if (pe.hasPeriod)
            std::snprintf(period, sizeof period, "%.2f", pe.dominantPeriodSamples);
        std::snprintf(line, sizeof line,
                      "step: %d pid=%u,%u,%u samples=%u pe_peak_to_peak_arcsec=%.3f pe_rms_arcsec=%.3f "
                      "dominant_period_samples=%s\n",
                      step, pid[0], pid[1], pid[2], needed_, pe.peakToPeakArcsec, pe.rmsArcsec, period);
        if (bestStep_ < 0 || pe.rmsArcsec < bestRms_) {
            bestStep_ = step;
            bestRms_ = pe.rmsArcsec;
        }
    } else {
        std::snprintf(line, sizeof line,
                      "step: %d pid=%u,%u,%u samples=%u pe_peak_to_peak_arcsec=-- pe_rms_arcsec=-- "
                      "dominant_period_samples=--\n",
                      step, pid[0], pid[1], pid[2], needed_);
    }
    std::fputs(line, stdout);
    std::fflush(stdout);
    return Wait::Done;
}

void Tuner::printBest() const {
    if (bestStep_ >= 0)
        std::printf("best: %d\n", bestStep_);
    else
        std::printf("best: --\n");
    if (options_.search && bestStep_ >= 0)
        std::printf("result: pid=%u,%u,%u pe_rms_arcsec=%.3f baseline_rms_arcsec=%.3f\n", searchBest_[0],
                    searchBest_[1], searchBest_[2], bestRms_, baselineRms_);
    std::fflush(stdout);
}

void Tuner::stepValues(const Pid& pid, uint16_t (&values)[10]) const {
    const uint16_t v[10] = {pid[0], pid[1], pid[2], 0, 0, 0, original_[6], original_[7], 0, 0};
    std::copy(v, v + 10, values);
}

Tuner::Wait Tuner::send(const uint16_t (&values)[10], uint32_t& first, bool interruptible) {
    // Each step has the store to itself, so a long run never fills it.
    model().clear();
    session_.engine().SendPid(values);
    return waitForPidMarker(values, 0, first, interruptible);
}

void Tuner::printNotes(PidSearch& search) const {
    for (const std::string& note : search.takeNotes())
        std::printf("note: %s\n", note.c_str());
    std::fflush(stdout);
}

Tuner::Wait Tuner::search(int& step, const char*& failure) {
    PidSearch search(Pid{original_[0], original_[1], original_[2]}, options_.searchSettings);
    Pid gains{};
    if (!search.next(gains))
        return Wait::Done;
    TuneMeasurement figures;
    Wait wait = measure(0, gains, 0, &figures);
    if (wait != Wait::Done)
        return wait;
    if (figures.pe.valid)
        search.report(figures.pe.rmsArcsec, figures.noiseArcsec);
    else
        search.reportFailure();
    printNotes(search);
    while (search.next(gains)) {
        printNotes(search);
        ++step;
        uint16_t values[10];
        stepValues(gains, values);
        uint32_t first = 0;
        wait = send(values, first, true);
        failure = "the controller did not take the PID of step";
        if (wait == Wait::Done) {
            wait = measure(step, gains, first, &figures);
            failure = "no samples came from the controller in step";
        }
        if (wait == Wait::Interrupted || wait == Wait::LinkLost)
            return wait;
        if (wait == Wait::Done && figures.pe.valid)
            search.report(figures.pe.rmsArcsec, figures.noiseArcsec);
        else
            search.reportFailure();
        printNotes(search);
        Pid back{};
        if (search.takeReturnToBest(back)) {
            // Straight back to the best gains so far; a controller that takes nothing ends the run.
            stepValues(back, values);
            if (back == Pid{original_[0], original_[1], original_[2]})
                std::copy(original_, original_ + 10, values);
            wait = send(values, first, true);
            if (wait != Wait::Done)
                return wait;
        }
    }
    printNotes(search);
    bestStep_ = search.bestStep();
    searchBest_ = search.bestGains();
    if (bestStep_ >= 0)
        bestRms_ = search.steps()[static_cast<std::size_t>(bestStep_)].rms;
    baselineRms_ = search.baselineRms();
    return Wait::Done;
}

bool Tuner::restore(Rz4Emulator* emulator) {
    const std::string values = joined(original_, 10);
    if (linkLost()) {
        std::fprintf(stderr, "astrelvo-cli: the link to the controller is lost; PID not restored (%s)\n",
                     values.c_str());
        return false;
    }
    uint32_t sample = 0;
    const uint32_t from = model().markerCount;
    session_.engine().SendPid(original_);
    Wait wait = waitForPidMarker(original_, from, sample, false);
    if (wait != Wait::Done && !linkLost()) {
        // No block came to take it out (the logging has stalled): stopping the log sends it at once,
        // and a new connection reads back what the controller holds.
        session_.engine().StopLog();
        disconnectController(session_, options_);
        if (connectController(session_, options_, emulator, false)) {
            bool same = true;
            for (int i = 0; i < 10; ++i)
                same = same && model().deviceInfo.pidParameters[i] == original_[i];
            wait = same ? Wait::Done : Wait::TimedOut;
        }
    }
    if (wait != Wait::Done) {
        std::fprintf(stderr, "astrelvo-cli: the controller did not take the restored PID (%s)\n",
                     values.c_str());
        return false;
    }
    std::printf("restored: %s\n", values.c_str());
    std::fflush(stdout);
    return true;
}

bool Tuner::keepBest() {
    uint16_t values[10];
    if (bestStep_ <= 0 || searchBest_ == Pid{original_[0], original_[1], original_[2]})
        std::copy(original_, original_ + 10, values);
    else
        stepValues(searchBest_, values);
    uint32_t first = 0;
    if (linkLost() || send(values, first, false) != Wait::Done) {
        std::fprintf(stderr, "astrelvo-cli: the controller did not take the best PID (%s)\n",
                     joined(values, 10).c_str());
        return false;
    }
    std::printf("kept: %s\n", joined(values, 10).c_str());
    std::fflush(stdout);
    return true;
}

int Tuner::run(Rz4Emulator* emulator) {
    if (!connectController(session_, options_, emulator)) {
        disconnectController(session_, options_);
        return CliExitFailed;
    }
    for (int i = 0; i < 10; ++i)
        original_[i] = static_cast<uint16_t>(model().deviceInfo.pidParameters[i]);
    needed_ = static_cast<uint32_t>(std::lround(options_.secondsPerStep * rz4::kLogRatesHz[options_.rate]));

    model().clear();
    session_.engine().StartLog(rz4::kLogTrackingError, static_cast<uint32_t>(options_.rate));
    int step = 0;
    const char* failure = "no samples came from the controller in step";
    Wait wait = options_.search ? search(step, failure)
                                : measure(0, Pid{original_[0], original_[1], original_[2]}, 0);
    for (const Pid& pid : options_.pids) {
        if (wait != Wait::Done)
            break;
        ++step;
        // Each step has the store to itself, so a long run never fills it.
        model().clear();
        const uint16_t values[10] = {pid[0], pid[1], pid[2], 0, 0, 0, original_[6], original_[7], 0, 0};
        session_.engine().SendPid(values);
        uint32_t first = 0;
        wait = waitForPidMarker(values, 0, first, true);
        failure = "the controller did not take the PID of step";
        if (wait != Wait::Done)
            break;
        wait = measure(step, pid, first);
        failure = "no samples came from the controller in step";
    }
    if (wait == Wait::TimedOut)
        std::fprintf(stderr, "astrelvo-cli: %s %d\n", failure, step);
    else if (wait == Wait::LinkLost)
        std::fprintf(stderr, "astrelvo-cli: the link to the controller was lost in step %d\n", step);
    else if (wait == Wait::Interrupted)
        std::fprintf(stderr, "astrelvo-cli: interrupted in step %d\n", step);
    else
        printBest();

    bool restored = true;
    if (options_.search && options_.keep && wait == Wait::Done)
        restored = keepBest();
    else if (!options_.keep || options_.search) // a failed search puts back the PID read at connect
        restored = restore(emulator);
    if (!linkLost())
        session_.engine().StopLog();
    disconnectController(session_, options_);
    return wait == Wait::Done && restored ? CliExitDone : CliExitFailed;
}

} // namespace

int runTune(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    Tuner tuner(session, options);
    return tuner.run(emulator);
}
