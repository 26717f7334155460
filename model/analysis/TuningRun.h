#pragma once

#include "model/analysis/PidSearch.h"
#include "model/analysis/TuneMeasurement.h"
#include "rz4/PidValues.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AppModel;
class iEngineCommands;

// What a tuning run needs from the side that shows it (the tuning window, astrelvo-cli tune).
class iTuningHost {
public:
    // Whether the controller logs now (the run starts the logging when it does not).
    virtual bool logging() const = 0;
    virtual void startLogging() = 0;
    // Ends the logging, so that the engine sends at once what it holds back for the next data block.
    virtual void stopLogging() = 0;
    // The connection has failed: nothing sent reaches the controller any more.
    virtual bool linkLost() const = 0;
    virtual ~iTuningHost() = default;
};

// One step of a run as it ended: measured (measurement.pe.valid says whether its samples gave figures),
// or not (failure says why).
struct TuningStep {
    int number = 0;
    rz4::PidGains gains{};
    bool measured = false;
    TuneMeasurement measurement;
    uint32_t samples = 0;
    std::string failure;
};

// How a run ended: the values restored, kept or stored once the controller confirmed them, or what it
// may hold when it did not. text says it in words, starting in lower case (e.g. "restored P 80, I 40, D
// 120: ...").
struct TuningEnd {
    enum class Kind { Restored, Kept, Stored, LeftAsIs, NotRestored, NotKept, NotStored };
    Kind kind = Kind::Restored;
    rz4::PidValues values{};
    std::string text;
    bool confirmed() const { return kind == Kind::Restored || kind == Kind::Kept || kind == Kind::Stored; }
};

// What a run tells the side that shows it, as it happens. Texts start in lower case, without a full
// stop: the window makes sentences of them, the command line prints them after its name.
class iTuningListener {
public:
    virtual void stepEnded(const TuningStep& step) = 0;
    // A note of the search (PidSearch's notes), in the order they come.
    virtual void note(const std::string& text) = 0;
    // What the run does now.
    virtual void progress(const std::string& text) = 0;
    // The steps are over; the run's bestStep() and the figures say which was best. A choice follows
    // (keep, keepAndStore, restore, leaveAsIs) unless no step brought a figure: then the values of Start
    // go back by themselves.
    virtual void stepsFinished() = 0;
    // The steps end early; why names the step ("interrupted in step 2"). The values of Start go back.
    virtual void stopped(const std::string& why) = 0;
    virtual void ended(const TuningEnd& end) = 0;
    virtual ~iTuningListener() = default;
};

// One tuning run, for the tuning window and astrelvo-cli tune alike: step 0 measures the controller's
// PID as it is, each further step sends new gains (a search of PidSearch, or fixed gains), waits until
// the model shows the controller took them (AppModel::controllerPid), measures the step's seconds of
// samples from there and decides. Every step, restore, keep and store starts from the ten values the
// controller held at Start and changes only P, I and D. At the end the values of Start go back, or the
// best are kept (and stored in EEPROM), each said done only once the controller confirmed them; when it
// does not, the run says what the controller may hold. Stop, a lost link, the end of logging and
// failures end the steps early and restore. Driven by poll() with a steady clock in milliseconds (the
// window's timer, the command line's loop); model, engine, host and listener outlive the run. UI
// thread (the command line's main thread).
class TuningRun {
public:
    struct Settings {
        PidSearch::Settings search;            // the gains searched after step 0, limits, steps in all
        std::vector<rz4::PidGains> fixedSteps; // instead of a search: these gains after step 0
        int secondsPerStep = kDefaultSeconds;
        int rateIndex = 2;          // the log rate's index, 0..5
        bool clearEachStep = false; // each step has the sample store to itself
    };
    // What a run with some settings asks of the store and the night.
    struct Plan {
        int steps = 0;       // step 0 included
        bool atMost = false; // a search: it may end before
        int secondsPerStep = 0;
        uint32_t samplesPerStep = 0;
        uint64_t samplesNeeded = 0; // in the store at once, the waits between steps included
        uint32_t samplesFree = 0;
        double seconds = 0.0;          // about, the waits for the controller included
        int largestFittingSeconds = 0; // when the store is too small: the longest step that fits
        std::string problem;           // why the run may not start; empty when it may
        // E.g. "at most 16 steps of 960 s: about 4 h 16 min".
        std::string summary() const;
    };
    enum class State { Idle, Measuring, Taking, Returning, Choosing, Restoring, Keeping, Storing, Ended };

    // Two turns of the usual worm of 480 s: a step over less compares different parts of the worm's
    // cycle.
    static constexpr int kDefaultSeconds = 960;
    static constexpr int kDefaultMaxSteps = 16;
    static constexpr uint32_t kMinStepSamples = 8;
    static constexpr uint32_t kMaxStepSamples = 190000;
    // Waiting for the controller to take values, and for a step's samples beyond its own length.
    static constexpr int kAnswerTimeoutMs = 15000;
    static constexpr int kSampleSlackMs = 15000;
    // After the logging was stopped so that held-back values go at once.
    static constexpr int kSentAtOnceTimeoutMs = 5000;
    // Samples logged between two steps while the controller takes the values, as the store allows for.
    static constexpr double kTakeSeconds = 5.0;
    // The usual wait for the controller to take a step's values (about a data block), for the time.
    static constexpr double kTypicalTakeSeconds = 2.0;

    TuningRun(AppModel& model, iEngineCommands& engine, iTuningHost& host, iTuningListener& listener);
    ~TuningRun();
    TuningRun(const TuningRun&) = delete;
    TuningRun& operator=(const TuningRun&) = delete;

    static Plan plan(const Settings& settings, const AppModel& model);

    // Starts a run: false, with the reason, when the plan has a problem or a run is under way.
    bool start(const Settings& settings, int64_t nowMs, std::string& refusal);
    void poll(int64_t nowMs);
    // Stop, Close or a signal: the steps end and the values of Start go back (why: "stopped",
    // "interrupted"). Before a choice it restores; while the run restores, keeps or stores it does
    // nothing.
    void stop(const std::string& why, int64_t nowMs);
    // The choice after the steps.
    void keep(int64_t nowMs);
    void keepAndStore(int64_t nowMs);
    void restore(int64_t nowMs);
    // Leaves the last step's values in the controller (astrelvo-cli tune --pid ... --keep).
    void leaveAsIs();

    State state() const { return state_; }
    bool stepping() const {
        return state_ == State::Measuring || state_ == State::Taking || state_ == State::Returning;
    }
    bool choosing() const { return state_ == State::Choosing; }
    bool ending() const {
        return state_ == State::Restoring || state_ == State::Keeping || state_ == State::Storing;
    }
    bool ended() const { return state_ == State::Ended; }
    // The steps ran to their end (no stop, loss or failure).
    bool completed() const { return completed_; }
    const TuningEnd& end() const { return end_; }

    // The search of a run that searches (null otherwise).
    const PidSearch* search() const { return search_.get(); }
    // The step with the lowest RMS (-1: none brought a figure), its gains and figures.
    int bestStep() const;
    rz4::PidGains bestGains() const;
    double bestRms() const;
    double baselineRms() const { return baselineRms_; }
    int step() const { return step_; }
    // The ten values the controller held at Start, and those a step or the choice with these gains sends.
    const rz4::PidValues& original() const { return original_; }
    rz4::PidValues valuesWith(const rz4::PidGains& gains) const {
        return rz4::pidValuesWithGains(gains, original_);
    }

    // "P 80, I 40, D 120" and "80,40,120,80,40,120,20,30,0,0".
    static std::string gainsText(const rz4::PidGains& gains);
    static std::string valuesText(const rz4::PidValues& values);

private:
    bool isTaken(uint32_t& sample) const;
    void send(const rz4::PidValues& values, State next, int64_t nowMs);
    void beginMeasuring(uint32_t from, int64_t nowMs);
    void measure(int64_t nowMs);
    void failStep(const std::string& why, int64_t nowMs);
    void advance(int64_t nowMs);
    void finishSteps(int64_t nowMs);
    void stopSteps(const std::string& why, int64_t nowMs);
    void sendEnd(State state, const rz4::PidValues& values, int64_t nowMs);
    void answerTimedOut(int64_t nowMs);
    void taken(uint32_t sample, int64_t nowMs);
    void finish(TuningEnd::Kind kind, const std::string& text);
    // The values meant did not reach the controller, or it did not confirm them: the end says what it holds.
    void fail(bool linkLost);
    void passNotes();
    std::string describe(const rz4::PidValues& values) const;
    // What the controller holds as last confirmed ("those" when it is meant), and what it may hold instead.
    std::string holdsText(const rz4::PidValues& meant) const;
    int64_t stepMs() const;

    AppModel& model_;
    iEngineCommands& engine_;
    iTuningHost& host_;
    iTuningListener& listener_;

    Settings settings_;
    std::unique_ptr<PidSearch> search_;
    State state_ = State::Idle;
    bool completed_ = false;
    TuningEnd end_;

    rz4::PidValues original_{};
    rz4::PidValues sent_{};
    rz4::PidGains stepGains_{};
    std::vector<rz4::PidValues> stepValues_; // what each step sent, by step number
    struct Sent {
        rz4::PidValues values;
        uint32_t confirmationsBefore; // the model's count of confirmations when they were sent
    };
    std::vector<Sent> sends_;
    uint32_t confirmationsAtSend_ = 0;
    bool sentAtOnce_ = false; // the logging was stopped to send the last values at once
    uint32_t needed_ = 0;     // samples a step measures
    uint32_t stepFrom_ = 0;   // the step measures from this sample on
    int64_t deadline_ = 0;    // the present wait ends in failure then
    int step_ = 0;
    std::size_t nextFixed_ = 0;
    // The fixed steps' best (a search keeps its own).
    int fixedBest_ = -1;
    double fixedBestRms_ = 0.0;
    rz4::PidGains fixedBestGains_{};
    double baselineRms_ = 0.0;
};
