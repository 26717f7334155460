#include "model/analysis/TuningRun.h"

#include "engine/iEngineCommands.h"
#include "model/logs/LogUnits.h"
#include "model/store/AppModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string rateText(double hz) {
    return hz > 0.0 && hz < 1.0 ? "1/" + number(1.0 / hz) + " Hz" : number(hz) + " Hz";
}

// "about 40 s", "about 12 min", "about 4 h 16 min".
std::string durationText(double seconds) {
    const long s = std::lround(seconds);
    if (s < 90)
        return "about " + std::to_string(s) + " s";
    const long minutes = (s + 30) / 60;
    if (minutes < 60)
        return "about " + std::to_string(minutes) + " min";
    return "about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string stepText(int step) {
    return "step " + std::to_string(step);
}

} // namespace

TuningRun::TuningRun(AppModel& model, iEngineCommands& engine, iTuningHost& host, iTuningListener& listener)
    : model_(model), engine_(engine), host_(host), listener_(listener) {}

TuningRun::~TuningRun() = default;

std::string TuningRun::gainsText(const rz4::PidGains& g) {
    return "P " + std::to_string(g[0]) + ", I " + std::to_string(g[1]) + ", D " + std::to_string(g[2]);
}

std::string TuningRun::valuesText(const rz4::PidValues& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i > 0 ? "," : "") + std::to_string(values[i]);
    return text;
}

std::string TuningRun::Plan::summary() const {
    return (atMost ? "at most " : "") + std::to_string(steps) + " steps of " +
           std::to_string(secondsPerStep) + " s: " + durationText(seconds);
}

TuningRun::Plan TuningRun::plan(const Settings& s, const AppModel& model) {
    Plan p;
    const double hz = peLogRateHz(s.rateIndex);
    p.steps =
        s.fixedSteps.empty() ? std::max(s.search.maxSteps, 1) : 1 + static_cast<int>(s.fixedSteps.size());
    p.atMost = s.fixedSteps.empty();
    p.secondsPerStep = s.secondsPerStep;
    const double perStep = s.secondsPerStep * hz;
    p.samplesPerStep = static_cast<uint32_t>(std::lround(std::clamp(perStep, 0.0, 4e9)));
    p.seconds = p.steps * (s.secondsPerStep + kTypicalTakeSeconds);
    // The samples logged while the controller takes a step's values stay in the store as well.
    const uint32_t between = static_cast<uint32_t>(std::ceil(kTakeSeconds * hz));
    const int inStore = s.clearEachStep ? 1 : p.steps;
    p.samplesNeeded = static_cast<uint64_t>(inStore) * (p.samplesPerStep + between);
    p.samplesFree = AppModel::kMaxSamples - std::min(model.sampleCount, AppModel::kMaxSamples);
    if (!model.controllerPid.known) {
        p.problem = "what the controller holds is not known: connect to it first";
    } else if (s.fixedSteps.empty() && s.search.order.empty()) {
        p.problem = "tick at least one gain to search";
    } else if (hz <= 0.0 || s.secondsPerStep < 1 || p.samplesPerStep < kMinStepSamples ||
               p.samplesPerStep > kMaxStepSamples) {
        p.problem = "a step of " + std::to_string(s.secondsPerStep) + " s at " + rateText(hz) + " holds " +
                    std::to_string(p.samplesPerStep) + " samples; a step needs " +
                    std::to_string(kMinStepSamples) + " to " + std::to_string(kMaxStepSamples);
    } else if (p.samplesNeeded > p.samplesFree) {
        const double perStepFree = static_cast<double>(p.samplesFree) / inStore - between;
        p.largestFittingSeconds = perStepFree > 0.0 ? static_cast<int>(std::floor(perStepFree / hz)) : 0;
        if (p.largestFittingSeconds * hz < kMinStepSamples) {
            p.largestFittingSeconds = 0;
            p.problem = "the sample store has no room for a search (" + std::to_string(p.samplesFree) +
                        " samples free): export and clear it first";
        } else {
            p.problem = "the search does not fit the sample store: " + std::to_string(p.steps) +
                        " steps of " + std::to_string(s.secondsPerStep) + " s at " + rateText(hz) +
                        " take about " + std::to_string(p.samplesNeeded) + " samples and " +
                        std::to_string(p.samplesFree) + " are free; steps of at most " +
                        std::to_string(p.largestFittingSeconds) +
                        " s fit (or export and clear the store, or choose a lower log rate)";
        }
    }
    return p;
}

int64_t TuningRun::stepMs() const {
    return static_cast<int64_t>(needed_ / peLogRateHz(settings_.rateIndex) * 1000.0);
}

bool TuningRun::start(const Settings& settings, int64_t nowMs, std::string& refusal) {
    if (stepping() || choosing() || ending()) {
        refusal = "a run is under way";
        return false;
    }
    const Plan p = plan(settings, model_);
    if (!p.problem.empty()) {
        refusal = p.problem;
        return false;
    }
    settings_ = settings;
    completed_ = false;
    end_ = TuningEnd{};
    step_ = 0;
    nextFixed_ = 0;
    fixedBest_ = -1;
    fixedBestRms_ = 0.0;
    baselineRms_ = 0.0;
    needed_ = p.samplesPerStep;
    // Every value sent from now on starts from what the controller is known to hold, not from what a
    // dialog shows.
    original_ = model_.controllerPid.values;
    sent_ = original_;
    sends_.clear();
    stepGains_ = rz4::pidGainsOf(original_);
    stepValues_.assign(1, original_);
    search_.reset();
    if (settings_.fixedSteps.empty()) {
        search_ = std::make_unique<PidSearch>(stepGains_, settings_.search);
        rz4::PidGains start{};
        search_->next(start);
    }
    if (settings_.clearEachStep)
        model_.clear();
    if (!host_.logging())
        host_.startLogging();
    beginMeasuring(model_.sampleCount, nowMs);
    listener_.progress("step 0: measuring " + gainsText(stepGains_) + " as they are (" +
                       std::to_string(settings_.secondsPerStep) + " s)");
    return true;
}

void TuningRun::beginMeasuring(uint32_t from, int64_t nowMs) {
    state_ = State::Measuring;
    stepFrom_ = from;
    deadline_ = nowMs + stepMs() + kSampleSlackMs;
}

bool TuningRun::isTaken(uint32_t& sample) const {
    const ControllerPid& held = model_.controllerPid;
    if (held.confirmations == confirmationsAtSend_ || held.values != sent_)
        return false;
    sample = held.sample;
    return true;
}

void TuningRun::send(const rz4::PidValues& values, State next, int64_t nowMs) {
    if (settings_.clearEachStep && (next == State::Taking || next == State::Returning))
        model_.clear(); // each step has the store to itself, so a long run never fills it
    sent_ = values;
    confirmationsAtSend_ = model_.controllerPid.confirmations;
    sends_.push_back({values, confirmationsAtSend_});
    engine_.SendPid(values.data());
    state_ = next;
    deadline_ = nowMs + kAnswerTimeoutMs;
}

void TuningRun::poll(int64_t nowMs) {
    if (!stepping() && !ending())
        return;
    // The store was emptied under the run (the main window's Clear): the step measures what comes now.
    if (model_.sampleCount < stepFrom_)
        stepFrom_ = model_.sampleCount;
    // Values the controller confirmed count, even when the link went right after.
    uint32_t sample = 0;
    if (state_ != State::Measuring && isTaken(sample)) {
        taken(sample, nowMs);
        return;
    }
    if (host_.linkLost()) {
        if (stepping())
            listener_.stopped("the link to the controller was lost in " + stepText(step_));
        fail(true);
        return;
    }
    if (stepping() && !host_.logging()) {
        stopSteps("logging stopped in " + stepText(step_), nowMs);
        return;
    }
    if (state_ == State::Measuring) {
        if (model_.sampleCount >= stepFrom_ + needed_)
            measure(nowMs);
        else if (model_.sampleCount >= AppModel::kMaxSamples)
            stopSteps("the sample store filled up in " + stepText(step_), nowMs);
        else if (nowMs > deadline_)
            failStep("no samples came from the controller", nowMs);
        return;
    }
    if (nowMs > deadline_)
        answerTimedOut(nowMs);
}

void TuningRun::taken(uint32_t sample, int64_t nowMs) {
    switch (state_) {
    case State::Taking:
        listener_.progress(stepText(step_) + ": the controller took " + gainsText(stepGains_) +
                           "; measuring (" + std::to_string(settings_.secondsPerStep) + " s)");
        beginMeasuring(sample, nowMs);
        if (model_.sampleCount >= stepFrom_ + needed_)
            measure(nowMs);
        return;
    case State::Returning:
        advance(nowMs);
        return;
    case State::Restoring:
        finish(TuningEnd::Kind::Restored,
               "restored " + gainsText(rz4::pidGainsOf(sent_)) +
                   ": the controller confirmed all ten values it held at the start (" + valuesText(sent_) +
                   ")");
        return;
    case State::Keeping:
    case State::Storing: {
        // The dialog's settings follow what the controller now holds, as after its own Send PID.
        model_.closedLoopSettings.setPidFields(rz4::pidFieldsOf(sent_));
        if (state_ == State::Keeping) {
            finish(TuningEnd::Kind::Kept, "kept " + gainsText(rz4::pidGainsOf(sent_)) +
                                              ": the controller confirmed all ten values (" +
                                              valuesText(sent_) + "); they are not stored in EEPROM");
        } else {
            engine_.StoreParameters();
            finish(TuningEnd::Kind::Stored, "kept " + gainsText(rz4::pidGainsOf(sent_)) +
                                                " and, once the controller confirmed all ten values (" +
                                                valuesText(sent_) + "), asked it to store them in EEPROM");
        }
        return;
    }
    default:
        return;
    }
}

void TuningRun::answerTimedOut(int64_t nowMs) {
    switch (state_) {
    case State::Taking:
        failStep("the controller did not take the gains", nowMs);
        return;
    case State::Returning:
        stopSteps("the controller did not take the best values so far after " + stepText(step_), nowMs);
        return;
    default:
        break;
    }
    if (!sentAtOnce_ && host_.logging()) {
        // No data block took the values out (the logging stalled): without logging the engine sends them
        // at once.
        sentAtOnce_ = true;
        host_.stopLogging();
        const rz4::PidValues values = sent_;
        send(values, state_, nowMs);
        deadline_ = nowMs + kSentAtOnceTimeoutMs;
        listener_.progress("no data block took the values out: logging stopped, and the values sent again at "
                           "once");
        return;
    }
    fail(false);
}

void TuningRun::measure(int64_t nowMs) {
    TuningStep step;
    step.number = step_;
    step.gains = stepGains_;
    step.measured = true;
    step.samples = needed_;
    step.measurement = TuneMeasurement::of(model_.samples + stepFrom_, needed_, model_.deviceInfo.encoderBits,
                                           settings_.rateIndex);
    const PeResult& pe = step.measurement.pe;
    listener_.stepEnded(step);
    if (step_ == 0)
        baselineRms_ = pe.valid ? pe.rmsArcsec : 0.0;
    if (search_) {
        if (pe.valid)
            search_->report(pe.rmsArcsec, step.measurement.noiseArcsec);
        else
            search_->reportFailure();
        passNotes();
    } else if (pe.valid && (fixedBest_ < 0 || pe.rmsArcsec < fixedBestRms_)) {
        fixedBest_ = step_;
        fixedBestRms_ = pe.rmsArcsec;
        fixedBestGains_ = stepGains_;
    }
    advance(nowMs);
}

void TuningRun::failStep(const std::string& why, int64_t nowMs) {
    // Without step 0 nothing can be compared, and fixed steps are meant to be measured each.
    if (step_ == 0 || !search_) {
        stopSteps(why + " in " + stepText(step_), nowMs);
        return;
    }
    TuningStep step;
    step.number = step_;
    step.gains = stepGains_;
    step.failure = why;
    listener_.stepEnded(step);
    search_->reportFailure();
    passNotes();
    advance(nowMs);
}

void TuningRun::advance(int64_t nowMs) {
    rz4::PidGains gains{};
    if (search_) {
        if (search_->takeReturnToBest(gains)) {
            listener_.progress("back to the best values so far: " + gainsText(gains));
            send(valuesWith(gains), State::Returning, nowMs);
            return;
        }
        const bool more = search_->next(gains);
        passNotes();
        if (!more) {
            finishSteps(nowMs);
            return;
        }
    } else {
        if (nextFixed_ >= settings_.fixedSteps.size()) {
            finishSteps(nowMs);
            return;
        }
        gains = settings_.fixedSteps[nextFixed_++];
    }
    ++step_;
    stepGains_ = gains;
    stepValues_.push_back(valuesWith(gains));
    const int steps = search_ ? settings_.search.maxSteps - 1 : static_cast<int>(settings_.fixedSteps.size());
    listener_.progress(stepText(step_) + " of " + (search_ ? "at most " : "") + std::to_string(steps) +
                       ": sent " + gainsText(gains) + ", waiting for the controller to take them");
    send(stepValues_.back(), State::Taking, nowMs);
}

void TuningRun::finishSteps(int64_t nowMs) {
    completed_ = true;
    state_ = State::Choosing;
    listener_.stepsFinished();
    if (search_ && bestStep() < 0 && state_ == State::Choosing) {
        listener_.progress("no step brought a figure: the values held at the start go back");
        sendEnd(State::Restoring, original_, nowMs);
    }
}

void TuningRun::stopSteps(const std::string& why, int64_t nowMs) {
    listener_.stopped(why);
    sendEnd(State::Restoring, original_, nowMs);
}

void TuningRun::sendEnd(State state, const rz4::PidValues& values, int64_t nowMs) {
    sentAtOnce_ = false;
    const char* what = state == State::Restoring ? "restoring the values held at the start, "
                       : state == State::Keeping ? "keeping "
                                                 : "keeping and storing ";
    listener_.progress(what + gainsText(rz4::pidGainsOf(values)) +
                       ": waiting for the controller to confirm all ten values");
    send(values, state, nowMs);
}

void TuningRun::stop(const std::string& why, int64_t nowMs) {
    if (stepping())
        stopSteps(why + " in " + stepText(step_), nowMs);
    else if (choosing())
        restore(nowMs);
}

void TuningRun::keep(int64_t nowMs) {
    if (choosing())
        sendEnd(State::Keeping, valuesWith(bestGains()), nowMs);
}

void TuningRun::keepAndStore(int64_t nowMs) {
    if (choosing())
        sendEnd(State::Storing, valuesWith(bestGains()), nowMs);
}

void TuningRun::restore(int64_t nowMs) {
    if (choosing())
        sendEnd(State::Restoring, original_, nowMs);
}

void TuningRun::leaveAsIs() {
    if (choosing())
        finish(TuningEnd::Kind::LeftAsIs, "left " + describe(sent_) + " in the controller");
}

void TuningRun::finish(TuningEnd::Kind kind, const std::string& text) {
    state_ = State::Ended;
    end_.kind = kind;
    end_.values = sent_;
    end_.text = text;
    listener_.ended(end_);
}

void TuningRun::fail(bool linkLost) {
    TuningEnd::Kind kind = TuningEnd::Kind::NotRestored;
    std::string what = "the values held at the start (" + valuesText(original_) + ")";
    if (state_ == State::Keeping) {
        kind = TuningEnd::Kind::NotKept;
        what = "the kept values (" + valuesText(sent_) + ")";
    } else if (state_ == State::Storing) {
        kind = TuningEnd::Kind::NotStored;
        what = "the values to keep and store (" + valuesText(sent_) + ")";
    }
    std::string text;
    if (!linkLost)
        text = "the controller did not confirm " + what;
    else if (stepping())
        text = "the link to the controller is lost: " + what + " were not sent back";
    else
        text = "the link to the controller is lost: " + what + " may not have reached it";
    if (kind == TuningEnd::Kind::NotStored)
        text += ", so nothing was stored in EEPROM";
    const rz4::PidValues meant = kind == TuningEnd::Kind::NotRestored ? original_ : sent_;
    const std::string holds = holdsText(meant);
    sent_ = meant;
    finish(kind, text + "; " + holds);
}

void TuningRun::passNotes() {
    for (const std::string& note : search_->takeNotes())
        listener_.note(note);
}

int TuningRun::bestStep() const {
    return search_ ? search_->bestStep() : fixedBest_;
}

rz4::PidGains TuningRun::bestGains() const {
    return search_ ? search_->bestGains() : fixedBest_ >= 0 ? fixedBestGains_ : rz4::pidGainsOf(original_);
}

double TuningRun::bestRms() const {
    if (!search_)
        return fixedBestRms_;
    const int best = search_->bestStep();
    return best >= 0 ? search_->steps()[static_cast<std::size_t>(best)].rms : 0.0;
}

std::string TuningRun::describe(const rz4::PidValues& values) const {
    if (values == original_)
        return "the values held at the start (" + valuesText(values) + ")";
    for (std::size_t i = stepValues_.size(); i-- > 0;)
        if (stepValues_[i] == values)
            return stepText(static_cast<int>(i)) + "'s " + gainsText(rz4::pidGainsOf(values)) + " (" +
                   valuesText(values) + ")";
    return gainsText(rz4::pidGainsOf(values)) + " (" + valuesText(values) + ")";
}

std::string TuningRun::holdsText(const rz4::PidValues& meant) const {
    // What it was last confirmed to hold, and what was sent after that and may have reached it.
    const ControllerPid& held = model_.controllerPid;
    std::string text = "as last confirmed, the controller holds " +
                       (held.values == meant ? std::string("those") : describe(held.values));
    std::vector<rz4::PidValues> maybe;
    for (const Sent& s : sends_)
        if (s.confirmationsBefore == held.confirmations && s.values != held.values &&
            std::find(maybe.begin(), maybe.end(), s.values) == maybe.end())
            maybe.push_back(s.values);
    for (std::size_t i = 0; i < maybe.size(); ++i)
        text += (i == 0 ? ", or " : " or ") + describe(maybe[i]);
    if (!maybe.empty())
        text += maybe.size() == 1 ? " if they reached it" : " if one of those reached it";
    return text;
}
