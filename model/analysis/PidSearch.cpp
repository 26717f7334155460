#include "model/analysis/PidSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kGolden = 0.6180339887498949;

std::string arcsecText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

PidSearch::PidSearch(const Gains& start, const Settings& settings) : settings_(settings), best_(start) {
    // Unknown and repeated gains are dropped; each gain is searched once.
    std::vector<int> order;
    for (int g : settings_.order)
        if (g >= 0 && g < 3 && std::find(order.begin(), order.end(), g) == order.end())
            order.push_back(g);
    settings_.order = order;
    settings_.maxSteps = std::max(settings_.maxSteps, 1);
}

PidSearch::Range PidSearch::defaultRange(uint16_t value) {
    if (value == 0)
        return {};
    const auto lo = static_cast<uint16_t>(std::max(1, (value + 2) / 4));
    const auto hi = static_cast<uint16_t>(std::min(65535, 4 * static_cast<int>(value)));
    return {lo, hi};
}

const char* PidSearch::gainName(int index) {
    static const char* const kNames[3] = {"P", "I", "D"};
    return index >= 0 && index < 3 ? kNames[index] : "?";
}

bool PidSearch::next(Gains& gains) {
    if (finished_)
        return false;
    if (pending_) { // the last step still waits for its outcome
        gains = steps_.back().gains;
        return true;
    }
    if (steps_.empty()) {
        gains = best_;
    } else {
        while (!plan(gains)) {
            endGain(false);
            if (finished_)
                return false;
        }
    }
    steps_.push_back(Step{gains, 0.0, 0.0, false, steps_.empty() ? -1 : gain_});
    pending_ = true;
    return true;
}

void PidSearch::report(double rmsArcsec, double noiseArcsec) {
    if (!pending_)
        return;
    pending_ = false;
    Step& step = steps_.back();
    step.rms = rmsArcsec;
    step.noise = std::max(noiseArcsec, kNoiseFloor * rmsArcsec);
    step.measured = true;
    if (steps_.size() == 1) {
        bestStep_ = 0;
        beginGain();
        return;
    }
    ++gainStepsUsed_;
    if (waiting_ != nullptr) {
        waiting_->f = rmsArcsec;
        waiting_->known = true;
        waiting_ = nullptr;
    }
    if (rmsArcsec > kAbortFactor * baselineRms()) {
        note("step " + std::to_string(steps_.size() - 1) + ": RMS " + arcsecText(rmsArcsec) +
             " arcsec is more than four times step 0's (" + arcsecText(baselineRms()) +
             "); back to the best values so far, the search of " + gainName(gain_) + " ends");
        endGain(true);
    }
}

void PidSearch::reportFailure() {
    if (!pending_)
        return;
    pending_ = false;
    waiting_ = nullptr;
    if (steps_.size() == 1) {
        note("step 0 brought no figure; nothing to compare with, the search ends");
        finished_ = true;
        return;
    }
    ++gainStepsUsed_;
    note("step " + std::to_string(steps_.size() - 1) +
         " brought no figure; back to the best values so far, the search of " + gainName(gain_) + " ends");
    endGain(true);
}

bool PidSearch::takeReturnToBest(Gains& gains) {
    if (!returnToBest_)
        return false;
    returnToBest_ = false;
    gains = best_;
    return true;
}

std::vector<std::string> PidSearch::takeNotes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

void PidSearch::beginGain() {
    while (gainPosition_ < settings_.order.size()) {
        gain_ = settings_.order[gainPosition_];
        const char* name = gainName(gain_);
        const uint16_t value = best_[static_cast<std::size_t>(gain_)];
        Range range = settings_.ranges[static_cast<std::size_t>(gain_)];
        if (range.lo == 0)
            range = defaultRange(value);
        const int remaining = settings_.maxSteps - static_cast<int>(steps_.size());
        if (range.lo == 0) {
            note(std::string(name) + " is 0, which gives its search no scale; --range " + name +
                 "=LO..HI sets its limits");
        } else if (remaining <= 0) {
            note("the step limit (" + std::to_string(settings_.maxSteps) + ") ended the search before " +
                 name + "; it stays at " + std::to_string(value));
        } else {
            lo_ = std::min(range.lo, range.hi);
            hi_ = std::max(range.lo, range.hi);
            a_ = std::log(static_cast<double>(lo_));
            b_ = std::log(static_cast<double>(hi_));
            p1_ = Probe{b_ - kGolden * (b_ - a_)};
            p2_ = Probe{a_ + kGolden * (b_ - a_)};
            const int gainsLeft = static_cast<int>(settings_.order.size() - gainPosition_);
            gainBudget_ = (remaining + gainsLeft - 1) / gainsLeft;
            gainStepsUsed_ = 0;
            endpoint_ = 0;
            phase_ = Phase::Bracket;
            return;
        }
        ++gainPosition_;
    }
    phase_ = Phase::Done;
    finished_ = true;
}

uint16_t PidSearch::valueAt(double x) const {
    const double v = std::round(std::exp(x));
    return static_cast<uint16_t>(std::clamp(v, static_cast<double>(lo_), static_cast<double>(hi_)));
}

PidSearch::Gains PidSearch::withGain(uint16_t value) const {
    Gains gains = best_;
    gains[static_cast<std::size_t>(gain_)] = value;
    return gains;
}

int PidSearch::findStep(const Gains& gains) const {
    for (std::size_t i = 0; i < steps_.size(); ++i)
        if (steps_[i].measured && steps_[i].gains == gains)
            return static_cast<int>(i);
    return -1;
}

bool PidSearch::lookUp(Probe& probe) {
    const int i = findStep(withGain(valueAt(probe.x)));
    if (i < 0)
        return false;
    probe.f = steps_[static_cast<std::size_t>(i)].rms;
    probe.known = true;
    return true;
}

bool PidSearch::plan(Gains& gains) {
    if (phase_ == Phase::Done || static_cast<int>(steps_.size()) >= settings_.maxSteps ||
        gainStepsUsed_ >= gainBudget_)
        return false;
    const double logLo = std::log(static_cast<double>(lo_));
    const double logHi = std::log(static_cast<double>(hi_));
    while (phase_ == Phase::Bracket) {
        for (Probe* probe : {&p1_, &p2_}) {
            if (!probe->known && !lookUp(*probe)) {
                gains = withGain(valueAt(probe->x));
                waiting_ = probe;
                return true;
            }
        }
        // With one step left and the bracket still at the limit on the better side, the limit itself is
        // worth more than another inner point.
        const bool lastStep =
            gainStepsUsed_ + 1 >= gainBudget_ || static_cast<int>(steps_.size()) + 1 >= settings_.maxSteps;
        const bool towardsLimit = (b_ == logHi && p2_.f <= p1_.f) || (a_ == logLo && p1_.f < p2_.f);
        if (std::exp(b_ - a_) < kBracketRatio || valueAt(p1_.x) == valueAt(p2_.x) ||
            (lastStep && towardsLimit)) {
            phase_ = Phase::Endpoints;
        } else if (p1_.f < p2_.f) {
            b_ = p2_.x;
            p2_ = p1_;
            p1_ = Probe{b_ - kGolden * (b_ - a_)};
        } else {
            a_ = p1_.x;
            p1_ = p2_;
            p2_ = Probe{a_ + kGolden * (b_ - a_)};
        }
    }
    if (phase_ != Phase::Endpoints || endpoint_ != 0)
        return false;
    // The bracket never left a limit: the best may lie there, so the limit itself is measured.
    const uint16_t low = valueAt(p1_.x);
    const uint16_t high = valueAt(p2_.x);
    uint16_t limit = 0;
    const bool touchesHi = b_ == logHi && high != hi_;
    const bool touchesLo = a_ == logLo && low != lo_;
    if (touchesHi && (p2_.f <= p1_.f || !touchesLo))
        limit = hi_;
    else if (touchesLo)
        limit = lo_;
    if (limit == 0 || findStep(withGain(limit)) >= 0)
        return false;
    endpoint_ = limit;
    gains = withGain(limit);
    waiting_ = nullptr;
    return true;
}

void PidSearch::endGain(bool early) {
    if (phase_ == Phase::Done)
        return;
    const std::size_t g = static_cast<std::size_t>(gain_);
    const char* name = gainName(gain_);
    const uint16_t start = best_[g];
    // This gain's figures: the steps that differ from the best gains in this gain only, but not one that
    // rang beyond the abort rule (it ended the search and says nothing about the others); the lowest wins.
    int chosen = bestStep_;
    int highestStep = bestStep_;
    int figures = 0;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const Step& s = steps_[i];
        Gains other = s.gains;
        other[g] = start;
        if (!s.measured || other != best_ || s.rms > kAbortFactor * baselineRms())
            continue;
        ++figures;
        if (s.rms > steps_[static_cast<std::size_t>(highestStep)].rms)
            highestStep = static_cast<int>(i);
        if (s.rms < steps_[static_cast<std::size_t>(chosen)].rms)
            chosen = static_cast<int>(i);
    }
    // The gain made a difference when its lowest and highest figures lie further apart than the noise of
    // those two.
    const Step& lowest = steps_[static_cast<std::size_t>(chosen)];
    const Step& highest = steps_[static_cast<std::size_t>(highestStep)];
    const double noise = std::max(lowest.noise, highest.noise);
    if (figures >= 2 && highest.rms - lowest.rms <= kNoiseFactor * noise) {
        note(std::string(name) + " made no difference beyond the measurement's noise (RMS " +
             arcsecText(lowest.rms) + " to " + arcsecText(highest.rms) + " arcsec, noise " +
             arcsecText(noise) + "); left at " + std::to_string(start));
        chosen = bestStep_;
    }
    const uint16_t value = steps_[static_cast<std::size_t>(chosen)].gains[g];
    if (!early && value == hi_ && b_ == std::log(static_cast<double>(hi_)) && chosen != bestStep_)
        note(std::string(name) + " ended at its upper limit " + std::to_string(hi_) +
             "; its best may lie beyond (--range " + name + "=LO..HI sets other limits)");
    else if (!early && value == lo_ && a_ == std::log(static_cast<double>(lo_)) && chosen != bestStep_)
        note(std::string(name) + " ended at its lower limit " + std::to_string(lo_) +
             "; its best may lie below (--range " + name + "=LO..HI sets other limits)");
    best_[g] = value;
    bestStep_ = chosen;
    returnToBest_ = early;
    phase_ = Phase::Done;
    ++gainPosition_;
    beginGain();
}
