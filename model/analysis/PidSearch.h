#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Searches the closed loop's gains P, I and D (the first three PID values) for the lowest measured RMS
// of the tracking error, one gain after another in the order given. Step 0 measures the gains as they
// are; then each gain is searched between its limits by golden-section search on a logarithmic scale
// (the others held at the best found so far), ending when the bracket is narrower than a fifth of its
// value, when the gain's share of the steps is used, or at once when a step's RMS exceeds four times
// step 0's or brings no figure. A gain whose lowest and highest figures do not differ beyond the noise
// of those two (a step that rang beyond the abort rule left out) is left as it was. No value outside the
// limits is ever proposed. The caller measures: next() gives the gains of a step, report() or reportFailure()
// its outcome. Notes for the user collect in notes(). Owned by one thread.
class PidSearch {
public:
    using Gains = std::array<uint16_t, 3>;
    // Limits of one gain; lo 0 means the default: a quarter to four times the value at the gain's start.
    struct Range {
        uint16_t lo = 0;
        uint16_t hi = 0;
    };
    struct Settings {
        std::vector<int> order; // gain indices (0 P, 1 I, 2 D) in the order searched
        std::array<Range, 3> ranges{};
        int maxSteps = 16; // steps in all, step 0 included
    };
    struct Step {
        Gains gains{};
        double rms = 0.0;
        double noise = 0.0;
        bool measured = false; // false: the step brought no figure
        int gain = -1;         // the gain whose search the step belongs to; -1 for step 0
    };

    static constexpr double kAbortFactor = 4.0;
    // The bracket ends when its upper end is less than this factor above its lower end.
    static constexpr double kBracketRatio = 1.2;
    // Two figures differ beyond the noise when they are this many noise figures apart.
    static constexpr double kNoiseFactor = 3.0;
    // The noise of a figure is taken as at least this fraction of it.
    static constexpr double kNoiseFloor = 0.01;

    PidSearch(const Gains& start, const Settings& settings);

    // The gains the next step measures (step 0: the start); false once the search has ended.
    bool next(Gains& gains);
    // The outcome of the step next() gave: its RMS (arc-seconds) and the noise of that figure.
    void report(double rmsArcsec, double noiseArcsec);
    // The step next() gave brought no figure (the controller did not take the gains or sent nothing).
    void reportFailure();

    // After a step that ended its gain's search early: the gains to put back at once (the best so
    // far); true only once per such step.
    bool takeReturnToBest(Gains& gains);
    // Notes for the user since the last call, oldest first.
    std::vector<std::string> takeNotes();

    const std::vector<Step>& steps() const { return steps_; }
    // The step with the best gains so far; -1 before step 0 brought a figure.
    int bestStep() const { return bestStep_; }
    Gains bestGains() const { return best_; }
    double baselineRms() const { return steps_.empty() ? 0.0 : steps_[0].rms; }
    bool finished() const { return finished_; }

    // The default limits for a gain that starts at value (1..65535; 0 for a start of 0).
    static Range defaultRange(uint16_t value);
    static const char* gainName(int index);

private:
    enum class Phase { Start, Bracket, Endpoints, Done };
    struct Probe {
        double x = 0.0; // log of the value
        double f = 0.0;
        bool known = false;
    };

    void beginGain();
    void endGain(bool early);
    // Fills in a probe from an earlier step with the same gains; true when one had them.
    bool lookUp(Probe& probe);
    uint16_t valueAt(double x) const;
    Gains withGain(uint16_t value) const;
    int findStep(const Gains& gains) const;
    // The gains of the step the search needs next, or false when the current gain is done.
    bool plan(Gains& gains);
    void note(const std::string& text) { notes_.push_back(text); }

    Settings settings_;
    std::vector<Step> steps_;
    std::vector<std::string> notes_;
    Gains best_{};
    int bestStep_ = -1;
    bool finished_ = false;
    bool pending_ = false; // next() gave gains that have no outcome yet
    bool returnToBest_ = false;

    // The gain being searched.
    std::size_t gainPosition_ = 0;
    int gain_ = 0;
    Phase phase_ = Phase::Start;
    uint16_t lo_ = 0, hi_ = 0;
    double a_ = 0.0, b_ = 0.0; // the bracket, logs of values
    Probe p1_, p2_;            // its two inner points
    Probe* waiting_ = nullptr; // the probe the pending step measures
    int gainStepsUsed_ = 0;
    int gainBudget_ = 0;
    uint16_t endpoint_ = 0; // Endpoints phase: the limit being measured
};
