// The tuning run through the whole engine against the controller emulator: what it does when the link
// goes, a command is held back, the store is nearly full, or a dialog's fields and a loaded file changed
// what the controller holds before Start; and the window's default search on the Virtual RZ4 against
// the servo model's own best P.
#include "tests/core/EngineRig.h"

#include "engine/EngineEvent.h"
#include "model/analysis/TuningRun.h"
#include "model/store/ControllerSettings.h"
#include "tools/emulator/ServoOptimum.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace rig;

namespace {

// The host and listener of a run on the test's thread: logging through the engine, the link from the
// last status, and what the run said.
struct RigTuning : iTuningHost, iTuningListener {
    explicit RigTuning(EngineRig& r) : rig(r) {}

    bool logging() const override { return logging_ && !linkLost(); }
    void startLogging() override {
        rig.engine().StartLog(rz4::kLogTrackingError, rate);
        logging_ = true;
    }
    void stopLogging() override {
        rig.engine().StopLog();
        logging_ = false;
    }
    bool linkLost() const override {
        const uint32_t s = rig.lastStatus();
        return s >= StatusCannotOpenPort && s <= StatusNotConnectedYet;
    }
    void stepEnded(const TuningStep& step) override { steps.push_back(step); }
    void note(const std::string&) override {}
    void progress(const std::string&) override {}
    void stepsFinished() override {}
    void stopped(const std::string& why) override { stops.push_back(why); }
    void ended(const TuningEnd&) override {}

    EngineRig& rig;
    uint32_t rate = 0;
    bool logging_ = false;
    std::vector<TuningStep> steps;
    std::vector<std::string> stops;
};

std::vector<rz4::PidValues> pidsReceived(const Rz4Emulator& emulator) {
    std::vector<rz4::PidValues> pids;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets())
        if (p.command() == rz4::CommandPid && p.bytes.size() >= 24) {
            rz4::PidValues v{};
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = static_cast<uint16_t>(p.bytes[4 + 2 * i] | p.bytes[5 + 2 * i] << 8);
            pids.push_back(v);
        }
    return pids;
}

// A search of P at a quarter hertz, 250 samples (two blocks) a step, against an emulator that answers
// every block request with a full block; the heartbeat and the run's clock in the test's hand.
struct Bench {
    void begin(const Rz4EmulatorConfig& emulatorConfig) {
        config = emulatorConfig;
        config.fullSpeed = true;
        emulator = startEmulator(config);
        rig.connect(*emulator);
        ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000)) << rig.lastStatus();
        settings.search.order = {0};
        settings.search.maxSteps = 6;
        settings.secondsPerStep = 1000;
        settings.rateIndex = 0;
    }
    // One heartbeat (when ticking) and 250 ms on the run's clock.
    void tick(bool heartbeat = true) {
        if (heartbeat)
            rig.ticks(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        rig.pump();
        now += 250;
        run.poll(now);
    }
    bool tickUntil(const std::function<bool()>& done, int maxTicks, bool heartbeat = true) {
        for (int i = 0; i < maxTicks && !done(); ++i)
            tick(heartbeat);
        return done();
    }

    Rz4EmulatorConfig config;
    std::unique_ptr<Rz4Emulator> emulator;
    EngineRig rig;
    RigTuning side{rig};
    TuningRun run{rig.model(), rig.engine(), side, side};
    TuningRun::Settings settings;
    int64_t now = 0;
};

TEST(TuningFailures, EachEndsWithTheValuesOfStartBackOrSaysWhatTheControllerHolds) {
    // When: before Start, or once step 1's gains are being measured.
    struct Row {
        const char* name;
        std::function<void(Bench&)> beforeStart;
        std::function<void(Bench&)> inStep1; // null: the run goes to its end and restores
        bool keepTicking;
        TuningEnd::Kind expected;
    };
    const rz4::PidValues fileValues = {111, 22, 133, 4, 5, 6, 17, 18, 9, 10};
    const Row rows[] = {
        {"link lost during a step", nullptr, [](Bench& t) { t.emulator->stop(); }, true,
         TuningEnd::Kind::NotRestored},
        {"link lost during the restore", nullptr,
         [](Bench& t) {
             t.run.stop("interrupted", t.now); // held back for the next block, which never comes
             t.emulator->stop();
         },
         true, TuningEnd::Kind::NotRestored},
        {"the restore held back while no block comes", nullptr,
         [](Bench& t) { t.run.stop("interrupted", t.now); }, false, TuningEnd::Kind::Restored},
        {"the dialog's fields changed by Ok, never sent",
         [](Bench& t) {
             t.rig.model().closedLoopSettings.setPidFields({999, 1, 2, 3, 4});
         },
         [](Bench& t) { t.run.stop("stopped", t.now); }, true, TuningEnd::Kind::Restored},
        {"a settings file loaded while not logging",
         [&](Bench& t) {
             ControllerSettings file = ControllerSettings::of(t.rig.model().deviceInfo);
             std::copy(fileValues.begin(), fileValues.end(), file.pidParameters);
             file.apply(t.rig.engine(), t.rig.model().deviceInfo);
             ASSERT_TRUE(
                 t.rig.pumpUntil([&] { return t.rig.model().controllerPid.values == fileValues; }, 5000));
             ASSERT_TRUE(waitUntil([&] { return t.emulator->state().pid == fileValues; }, 5000));
         },
         nullptr, true, TuningEnd::Kind::Restored},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // A fresh program and controller for each row.
        Bench t;
        t.begin({});
        if (row.beforeStart)
            row.beforeStart(t);
        const rz4::PidValues before = t.emulator->state().pid;
        t.emulator->clearReceived();
        EXPECT_EQ(t.rig.model().controllerPid.values, before);
        std::string refusal;
        ASSERT_TRUE(t.run.start(t.settings, t.now, refusal)) << refusal;
        EXPECT_EQ(t.run.original(), before);
        if (row.inStep1) {
            ASSERT_TRUE(t.tickUntil(
                [&] { return t.run.step() == 1 && t.run.state() == TuningRun::State::Measuring; }, 200));
            row.inStep1(t);
        }
        t.tickUntil([&] { return t.run.choosing() || t.run.ended(); }, 400, row.keepTicking);
        if (t.run.choosing())
            t.run.restore(t.now);
        ASSERT_TRUE(t.tickUntil([&] { return t.run.ended(); }, 200, row.keepTicking));
        EXPECT_EQ(t.run.end().kind, row.expected) << t.run.end().text;

        // Every value sent kept the seven that are not P, I and D as the controller held them.
        for (const rz4::PidValues& sent : pidsReceived(*t.emulator))
            EXPECT_TRUE(std::equal(sent.begin() + 3, sent.end(), before.begin() + 3))
                << TuningRun::valuesText(sent);
        const rz4::PidValues holds = t.emulator->state().pid;
        if (t.run.end().confirmed()) {
            EXPECT_EQ(holds, before) << TuningRun::valuesText(holds);
        } else {
            EXPECT_NE(t.run.end().text.find("holds"), std::string::npos);
            EXPECT_NE(t.run.end().text.find(TuningRun::valuesText(holds)), std::string::npos)
                << t.run.end().text << "\nit holds " << TuningRun::valuesText(holds);
        }
    }
}

TEST(TuningFailures, ASearchTheStoreCannotHoldSendsNothing) {
    Bench t;
    t.begin({});
    t.settings.clearEachStep = false; // the window's way: the steps stay on the graph
    t.rig.model().sampleCount = AppModel::kMaxSamples - 1000;
    std::string refusal;
    EXPECT_FALSE(t.run.start(t.settings, t.now, refusal));
    // 6 steps of 250 samples and 2 more each while the controller takes the values.
    EXPECT_NE(refusal.find("6 steps of 1000 s at 1/4 Hz take about 1512 samples and 1000 are free; steps of "
                           "at most 658 s fit"),
              std::string::npos)
        << refusal;
    t.rig.pumpFor(100);
    EXPECT_TRUE(pidsReceived(*t.emulator).empty());
    EXPECT_FALSE(t.side.logging_);
}

// The tuning window's default search (P, its default seconds per step and steps, the default log rate)
// on the Virtual RZ4 at full speed ends within 15 % of the best P the servo model gives. A few seconds.
TEST(SlowTuningDefaults, TheWindowsDefaultSearchFindsTheServoModelsBestP) {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    auto emulator = startEmulator(config);
    EngineRig rig;
    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000)) << rig.lastStatus();
    RigTuning side(rig);
    side.rate = static_cast<uint32_t>(LogSettings{}.logRate);
    TuningRun run(rig.model(), rig.engine(), side, side);
    TuningRun::Settings settings;
    settings.search.order = {0};
    settings.search.maxSteps = TuningRun::kDefaultMaxSteps;
    settings.secondsPerStep = TuningRun::kDefaultSeconds;
    settings.rateIndex = LogSettings{}.logRate;
    std::string refusal;
    ASSERT_TRUE(run.start(settings, 0, refusal)) << refusal;
    {
        FastTicker ticker(rig.engine(), 2000);
        const auto start = Clock::now();
        while (!run.choosing() && !run.ended() && msSince(start) < 120000) {
            rig.pumpFor(5);
            run.poll(msSince(start));
        }
    }
    ASSERT_TRUE(run.choosing()) << run.end().text;
    const rz4::PidGains startGains = rz4::pidGainsOf(config.pid);
    const PidSearch::Range limits = PidSearch::defaultRange(startGains[0]);
    const double best = ServoOptimum::bestGain(config.signal, {startGains[0], startGains[1], startGains[2]},
                                               0, limits.lo, limits.hi, config.motorCurrent);
    EXPECT_NEAR(run.bestGains()[0], best, 0.15 * best);
    EXPECT_LE(static_cast<int>(side.steps.size()), TuningRun::kDefaultMaxSteps);
}

} // namespace
