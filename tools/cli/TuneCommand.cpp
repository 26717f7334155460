#include "tools/cli/TuneCommand.h"

#include "engine/CommControl.h"
#include "model/analysis/TuningRun.h"
#include "model/store/AppModel.h"
#include "rz4/Rz4Protocol.h"
#include "tools/cli/CliConnection.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/ConsoleProgram.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// How often the run looks at the model between notices.
constexpr int kPollMs = 100;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The console's side of a tune run: the logging through the engine, the link from the last status, and
// the run's reports as the lines of tune (step:, note:, best:, result:, restored: or kept:) on standard
// output and its failures on standard error. Main thread.
class ConsoleTuning : public iTuningHost, public iTuningListener {
public:
    ConsoleTuning(ConsoleProgram& session, const CliOptions& options)
        : session_(session), options_(options) {}

    void attach(const TuningRun* run) { run_ = run; }

    bool logging() const override { return logging_ && !linkLost(); }
    void startLogging() override {
        session_.engine().StartLog(rz4::kLogTrackingError, static_cast<uint32_t>(options_.rate));
        logging_ = true;
    }
    void stopLogging() override {
        session_.engine().StopLog();
        logging_ = false;
    }
    bool linkLost() const override { return ConsoleProgram::isErrorStatus(session_.lastStatus()); }

    void stepEnded(const TuningStep& step) override {
        if (!step.measured)
            return; // the search's note says what became of it
        const PeResult& pe = step.measurement.pe;
        char line[256];
        if (pe.valid) {
            char period[32] = "--";
            if (pe.hasPeriod)
                std::snprintf(period, sizeof period, "%.2f", pe.dominantPeriodSamples);
            std::snprintf(line, sizeof line,
                          "step: %d pid=%u,%u,%u samples=%u pe_peak_to_peak_arcsec=%.3f pe_rms_arcsec=%.3f "
                          "dominant_period_samples=%s\n",
                          step.number, step.gains[0], step.gains[1], step.gains[2], step.samples,
                          pe.peakToPeakArcsec, pe.rmsArcsec, period);
        } else {
            std::snprintf(line, sizeof line,
                          "step: %d pid=%u,%u,%u samples=%u pe_peak_to_peak_arcsec=-- pe_rms_arcsec=-- "
                          "dominant_period_samples=--\n",
                          step.number, step.gains[0], step.gains[1], step.gains[2], step.samples);
        }
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    void note(const std::string& text) override {
        std::printf("note: %s\n", text.c_str());
        std::fflush(stdout);
    }
    void progress(const std::string&) override {}
    void stepsFinished() override {
        const int best = run_->bestStep();
        if (best >= 0)
            std::printf("best: %d\n", best);
        else
            std::printf("best: --\n");
        if (options_.search && best >= 0) {
            const rz4::PidGains g = run_->bestGains();
            std::printf("result: pid=%u,%u,%u pe_rms_arcsec=%.3f baseline_rms_arcsec=%.3f\n", g[0], g[1],
                        g[2], run_->bestRms(), run_->baselineRms());
        }
        std::fflush(stdout);
    }
    void stopped(const std::string& why) override { std::fprintf(stderr, "astrelvo-cli: %s\n", why.c_str()); }
    void ended(const TuningEnd& end) override {
        switch (end.kind) {
        case TuningEnd::Kind::Restored:
            std::printf("restored: %s\n", TuningRun::valuesText(end.values).c_str());
            break;
        case TuningEnd::Kind::Kept:
            std::printf("kept: %s\n", TuningRun::valuesText(end.values).c_str());
            break;
        case TuningEnd::Kind::LeftAsIs:
        case TuningEnd::Kind::Stored: // never asked for here
            break;
        default:
            std::fprintf(stderr, "astrelvo-cli: %s\n", end.text.c_str());
            break;
        }
        std::fflush(stdout);
    }

private:
    ConsoleProgram& session_;
    const CliOptions& options_;
    const TuningRun* run_ = nullptr;
    bool logging_ = false;
};

} // namespace

int runTune(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    if (!connectController(session, options, emulator)) {
        disconnectController(session, options);
        return CliExitFailed;
    }
    ConsoleTuning console(session, options);
    TuningRun run(session.model(), session.engine(), console, console);
    console.attach(&run);

    TuningRun::Settings settings;
    settings.search = options.searchSettings;
    if (!options.search)
        settings.fixedSteps.assign(options.pids.begin(), options.pids.end());
    settings.secondsPerStep = options.secondsPerStep;
    settings.rateIndex = options.rate;
    settings.clearEachStep = true; // the store holds one step at a time: a long run never fills it
    std::string refusal;
    std::fprintf(stderr, "astrelvo-cli: tune: %s\n",
                 TuningRun::plan(settings, session.model()).summary().c_str());
    if (!run.start(settings, steadyMs(), refusal)) {
        std::fprintf(stderr, "astrelvo-cli: %s\n", refusal.c_str());
        disconnectController(session, options);
        return CliExitFailed;
    }
    // A signal ends the steps and the run restores; further signals while it restores change nothing.
    bool stopPassed = false;
    while (!run.ended()) {
        session.pumpUntil([&] { return ConsoleProgram::stopRequested() && !stopPassed; }, kPollMs, false);
        if (ConsoleProgram::stopRequested() && !stopPassed) {
            stopPassed = true;
            run.stop("interrupted", steadyMs());
        }
        run.poll(steadyMs());
        if (run.choosing()) {
            if (options.keep && options.search)
                run.keep(steadyMs());
            else if (options.keep)
                run.leaveAsIs();
            else
                run.restore(steadyMs());
        }
    }
    if (!console.linkLost())
        session.engine().StopLog();
    disconnectController(session, options);
    const TuningEnd::Kind kind = run.end().kind;
    const bool settled = run.end().confirmed() || kind == TuningEnd::Kind::LeftAsIs;
    return run.completed() && settled ? CliExitDone : CliExitFailed;
}
