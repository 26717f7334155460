// A misbehaving controller, a slow or absent user interface and shutdown under load, each run over the
// controller emulator's line (a pseudo-terminal, or on Windows an in-process loopback line). Every scenario
// must end in a clear status or keep logging, lose or repeat no whole record, leave no thread spinning and
// the port closed, and leave the program able to connect again. Fault tests drive the ticks themselves
// instead of waiting 250 ms each.

#include "tests/core/EngineRig.h"

#include "platform/LoopbackLine.h"
#include "platform/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace rig;

namespace {

// Ticks quick enough for a block cycle every few milliseconds.
constexpr int kFastTickUs = 1000;

std::vector<uint32_t> statusesFrom(const EngineRig& rig, std::size_t first) {
    const std::vector<uint32_t>& all = rig.statuses();
    return std::vector<uint32_t>(all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())),
                                 all.end());
}

// Sends count ticks and waits until the worker has taken them all.
void ticksTaken(EngineRig& rig, int count) {
    const int before = rig.ticksTaken();
    rig.ticks(count);
    ASSERT_TRUE(waitUntil([&] { return rig.ticksTaken() >= before + count; }, 10000));
    rig.pumpFor(50);
}

// Connects to the emulator and waits for the handshake to complete.
void connectAndWait(EngineRig& rig, const Rz4Emulator& emulator) {
    const std::size_t since = rig.statuses().size();
    rig.connect(emulator);
    ASSERT_TRUE(rig.waitStatusSince(StatusConnected, since, 10000)) << "last status " << rig.lastStatus();
}

// Ends the session from the user's side and checks it closes.
void disconnectAndWait(EngineRig& rig, const Rz4Emulator& emulator) {
    const std::size_t since = rig.statuses().size();
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatusSince(StatusConnectionClosed, since, 10000))
        << "last status " << rig.lastStatus();
    EXPECT_TRUE(waitUntil([&] { return portFree(emulator.slavePath()); }, 5000));
}

// A bare line whose device end the test writes by hand, for byte sequences the emulator does not
// produce: a pseudo-terminal where the platform has them, else an in-process loopback line.
class HandLine {
public:
    HandLine() {
        if (PseudoTerminal::supported() && pty_.open(true)) {
            line_ = pty_.masterLine();
            path_ = pty_.slavePath();
        } else {
            loopback_ = std::make_shared<LoopbackLine>();
            line_ = &loopback_->deviceEnd();
            path_ = LoopbackLine::publish(loopback_);
        }
    }
    ~HandLine() {
        if (loopback_)
            LoopbackLine::withdraw(path_);
    }
    const std::string& path() const { return path_; }

    void write(const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(line_ != nullptr && line_->writeAll(bytes.data(), bytes.size(), 1000));
    }
    // Waits for count bytes from the host.
    std::vector<uint8_t> read(std::size_t count, int timeoutMs) {
        std::vector<uint8_t> got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Event never;
        while (line_ != nullptr && got.size() < count && Clock::now() < deadline) {
            uint8_t byte = 0;
            const IoResult r = line_->readWait(&byte, 1, never, 50);
            if (r.status == IoStatus::Data)
                got.push_back(byte);
            else if (r.status == IoStatus::Broken)
                break;
        }
        return got;
    }

private:
    PseudoTerminal pty_;
    std::shared_ptr<LoopbackLine> loopback_;
    iSerialLine* line_ = nullptr;
    std::string path_;
};

} // namespace

// ---- handshake ----

TIMED_TEST(HandshakeFaults, SilenceInTheFirstThreeStepsTimesOutAfterFiftyTicks) {
    EngineRig rig;
    for (int step = 1; step <= 3; ++step) {
        SCOPED_TRACE(step);
        Rz4EmulatorConfig config;
        config.silentFromStep = step;
        auto emulator = startEmulator(config);
        const std::size_t first = rig.statuses().size();
        rig.connect(*emulator);
        // The request of this step has gone out, so its time-out runs from here.
        ASSERT_TRUE(waitUntil(
            [&] { return emulator->state().handshakeRequests >= static_cast<uint32_t>(step); }, 10000));

        ticksTaken(rig, 49);
        EXPECT_EQ(rig.lastStatus(), StatusConnecting);
        EXPECT_FALSE(portFree(emulator->slavePath()));

        rig.ticks(1);
        ASSERT_TRUE(rig.waitStatusSince(StatusTimeout, first, 5000));
        EXPECT_EQ(statusesFrom(rig, first),
                  (std::vector<uint32_t>{StatusOpeningPort, StatusConnecting, StatusTimeout}));
        EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
        // Ticks after the close change nothing.
        ticksTaken(rig, 60);
        EXPECT_EQ(rig.lastStatus(), StatusTimeout);
        if (step == 3)
            expectIdle("after a handshake time-out");
    }
    expectUsableAgain(rig);
}

TIMED_TEST(HandshakeFaults, SilenceFromTheFourthStepOnWaitsUntilTheUserDisconnects) {
    EngineRig rig;
    for (int step = 4; step <= 11; ++step) {
        SCOPED_TRACE(step);
        Rz4EmulatorConfig config;
        config.silentFromStep = step;
        auto emulator = startEmulator(config);
        rig.connect(*emulator);
        ASSERT_TRUE(waitUntil(
            [&] { return emulator->state().handshakeRequests >= static_cast<uint32_t>(step); }, 10000));
        ticksTaken(rig, 120); // well past the time-out of the first steps
        EXPECT_EQ(rig.lastStatus(), StatusConnecting);
        EXPECT_FALSE(portFree(emulator->slavePath()));
        if (step == 11)
            expectIdle("while the handshake waits for a silent controller");
        disconnectAndWait(rig, *emulator);
    }
    expectUsableAgain(rig);
}

TIMED_TEST(HandshakeFaults, AWrongIdentityIsRefusedAndThePortClosed) {
    EngineRig rig;
    struct Identity {
        uint8_t length;
        uint8_t code;
    };
    for (Identity identity : {Identity{4, 1}, Identity{5, 2}, Identity{6, 1}, Identity{0, 1}}) {
        SCOPED_TRACE(identity.length * 256 + identity.code);
        Rz4EmulatorConfig config;
        config.identityLength = identity.length;
        config.identityCode = identity.code;
        auto emulator = startEmulator(config);
        const std::size_t first = rig.statuses().size();
        rig.connect(*emulator);
        ASSERT_TRUE(rig.waitStatusSince(StatusNotSupportedDevice, first, 10000)) << rig.lastStatus();
        EXPECT_EQ(statusesFrom(rig, first),
                  (std::vector<uint32_t>{StatusOpeningPort, StatusConnecting, StatusNotSupportedDevice}));
        EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
        EXPECT_EQ(emulator->state().handshakeRequests, 1u); // nothing asked after the identity
    }
    expectIdle("after refusing a device");
    expectUsableAgain(rig);
}

// ---- noise on the line ----

TEST(LineFaults, NoiseBetweenFramesLosesNoRecord) {
    Rz4EmulatorConfig config;
    config.garbageBetweenFrames = 60; // never 'U' or 'R', so the parser skips it all
    config.fullSpeed = true;
    auto emulator = startEmulator(config);
    EngineRig rig;
    connectAndWait(rig, *emulator);
    EXPECT_EQ(rig.model().deviceInfo.hardwareVersion, config.hardwareVersion);
    EXPECT_EQ(rig.model().deviceInfo.auxSpeedLimit, config.auxSpeedLimit);
    {
        FastTicker ticker(rig.engine(), kFastTickUs);
        rig.engine().StartLog(1, 5);
        ASSERT_TRUE(rig.pumpUntil([&] { return rig.model().rawCount >= 2000; }, 20000))
            << rig.model().rawCount;
        rig.engine().StopLog();
        rig.pumpFor(300);
    }
    EXPECT_EQ(firstBreak(rig.model(), 0), rig.model().rawCount);
    EXPECT_EQ(rig.lastStatus(), StatusConnected);
    disconnectAndWait(rig, *emulator);
    expectUsableAgain(rig);
}

TIMED_TEST(LineFaults, NoiseThatLooksLikeFramesOrSitsInsideThemNeverWedgesTheEngine) {
    EngineRig rig;
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        Rz4EmulatorConfig config;
        config.fullSpeed = true;
        config.randomSeed = 1000 + variant;
        if (variant == 0) {
            config.garbageBetweenFrames = 40;
            config.garbageAnyBytes = true;
        } else {
            config.garbageInsideFrames = 5 * variant;
        }
        auto emulator = startEmulator(config);
        const std::size_t first = rig.statuses().size();
        rig.connect(*emulator);
        {
            FastTicker ticker(rig.engine(), kFastTickUs);
            // Whatever the noise does to the handshake: a refusal, a time-out, a stall or success.
            rig.pumpUntil([&] { return rig.statuses().size() >= first + 3; }, 3000);
            if (rig.lastStatus() == StatusConnected) {
                rig.engine().StartLog(1, 5);
                rig.pumpFor(1000);
                rig.engine().StopLog();
            }
            rig.pumpFor(200);
        }
        // The records that did arrive are whole slots of the store.
        EXPECT_LE(rig.model().rawCount, rig.model().rawCapacity);
        const uint32_t last = rig.lastStatus();
        if (last == StatusNotSupportedDevice || last == StatusTimeout) {
            EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
        } else {
            disconnectAndWait(rig, *emulator);
        }
    }
    expectIdle("after noisy sessions");
    expectUsableAgain(rig);
}

TEST(LineFaults, AFrameCutOffByADisconnectDoesNotSwallowTheNextHandshake) {
    HandLine line;
    ASSERT_FALSE(line.path().empty());
    EngineRig rig;
    ASSERT_TRUE(rig.engine().setPortPath(1, line.path().c_str()));
    rig.engine().Connect(1);
    ASSERT_EQ(line.read(3, 5000), (std::vector<uint8_t>{0xAA, 0x01, 0x01}));
    // Noise whose 'R' announces a long block, and then the line goes quiet.
    line.write({0x00, 0x13, 'R', 0x00, 0x08, 83, 1, 2, 3, 4, 5, 6, 7, 8});
    rig.pumpFor(200);
    EXPECT_EQ(rig.lastStatus(), StatusConnecting);
    const std::size_t since = rig.statuses().size();
    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatusSince(StatusConnectionClosed, since, 5000));
    // A good controller on the next connection is heard from its first reply on.
    expectUsableAgain(rig);
}

// ---- malformed blocks ----

TIMED_TEST(BlockFaults, BlocksDeclaringMoreThan2048BytesAreDroppedAndThePollingEndsWithAnError) {
    Rz4EmulatorConfig config;
    config.oversizeLength = 3000;
    auto emulator = startEmulator(config);
    EngineRig rig;
    connectAndWait(rig, *emulator);
    rig.engine().StartLog(1, 0);
    ASSERT_TRUE(emulator->waitForCommand(81, 5000));
    {
        FastTicker ticker(rig.engine(), kFastTickUs);
        ASSERT_TRUE(waitUntil([&] { return emulator->state().blocksSent >= 1; }, 10000));
        rig.pumpFor(500);
    }
    EXPECT_EQ(emulator->state().blocksSent, 1u); // no valid block came back, so nothing more is asked
    EXPECT_EQ(rig.model().rawCount, 0u);
    EXPECT_EQ(rig.lastStatus(), StatusCommunicationError); // the user learns why logging stopped
    expectIdle("while waiting for a valid block");

    // Commands still reach the controller.
    rig.engine().StopLog();
    EXPECT_TRUE(waitUntil([&] { return emulator->state().logMode == 0; }, 5000));
    disconnectAndWait(rig, *emulator);
    expectUsableAgain(rig);
}

TEST(BlockFaults, RecordLengthsThatCannotBeLoggedStoreNothingAndEndThePollingWithAnError) {
    EngineRig rig;
    struct Case {
        uint8_t recordLength;
        uint32_t blockRecords;
    };
    for (Case c : {Case{0, 0}, Case{64, 31}, Case{255, 7}}) {
        SCOPED_TRACE(c.recordLength);
        Rz4EmulatorConfig config;
        config.recordLength = c.recordLength;
        config.fullSpeed = true;
        auto emulator = startEmulator(config);
        connectAndWait(rig, *emulator);
        EXPECT_EQ(rig.model().deviceInfo.recordLength, c.recordLength);
        EXPECT_EQ(rig.model().deviceInfo.blockRecords, c.blockRecords);
        EXPECT_EQ(rig.model().recordLength, c.recordLength);
        rig.engine().StartLog(1, 5);
        {
            FastTicker ticker(rig.engine(), kFastTickUs);
            ASSERT_TRUE(waitUntil([&] { return emulator->state().blocksSent >= 1; }, 10000));
            rig.pumpFor(300);
        }
        EXPECT_EQ(emulator->state().blocksSent, 1u);
        EXPECT_EQ(rig.model().rawCount, 0u);
        EXPECT_EQ(rig.model().sampleCount, 0u);
        EXPECT_EQ(rig.lastStatus(), StatusCommunicationError);
        rig.engine().StopLog();
        disconnectAndWait(rig, *emulator);
    }
    expectUsableAgain(rig);
}

TIMED_TEST(BlockFaults, HangUpMidBlockReportsACommunicationErrorAndClosesThePort) {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    config.hangUpAtBlock = 3;
    auto emulator = startEmulator(config);
    const std::string path = emulator->slavePath();
    EngineRig rig;
    connectAndWait(rig, *emulator);
    {
        FastTicker ticker(rig.engine(), kFastTickUs);
        const int connectedThreads = threadCount();
        rig.engine().StartLog(1, 5);
        ASSERT_TRUE(rig.waitStatus(StatusCommunicationError, 10000)) << rig.lastStatus();
        EXPECT_TRUE(emulator->hungUp());
        // The port is closed: no descriptor of this process refers to the line any more, and the
        // serial reader has ended (the emulator's thread ended with the line).
        EXPECT_TRUE(waitUntil([&] { return descriptorsOn(path) == 0; }, 5000)) << descriptorsOn(path);
        EXPECT_TRUE(waitUntil([&] { return threadCount() == connectedThreads - 2; }, 5000)) << threadCount();
        rig.pumpFor(300); // ticks after the close change nothing
    }
    EXPECT_EQ(rig.lastStatus(), StatusCommunicationError);
    // The two whole blocks are stored once each; nothing of the cut-off one.
    EXPECT_EQ(rig.model().rawCount, 250u);
    EXPECT_EQ(firstBreak(rig.model(), 0), rig.model().rawCount);
    expectIdle("after the controller hung up");

    const std::size_t since = rig.statuses().size();
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatusSince(StatusNotConnectedYet, since, 5000));
    expectUsableAgain(rig);
}

// ---- more data than the user interface takes ----

TIMED_TEST(LoadFaults, AFloodOfUnaskedBlocksStallsTheHandshakeButDisconnectStillCloses) {
    Rz4EmulatorConfig config;
    config.flood = true;
    auto emulator = startEmulator(config);
    EngineRig rig;
    rig.connect(*emulator);
    // Block frames during the handshake stop it; it never completes (and without ticks it cannot time
    // out). The worker keeps taking the flood in, and the UI thread is not held up.
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.lastStatus() == StatusConnecting; }, 5000));
    rig.pumpFor(1500);
    EXPECT_EQ(rig.lastStatus(), StatusConnecting);

    const std::size_t since = rig.statuses().size();
    const auto start = Clock::now();
    rig.engine().Disconnect();
    EXPECT_TIMING_LT(msSince(start), 1000);
    EXPECT_TRUE(rig.waitStatusSince(StatusConnectionClosed, since, 10000)) << rig.lastStatus();
    EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
    expectIdle("after disconnecting from a flooding controller");
    emulator.reset();
    expectUsableAgain(rig);
}

TIMED_TEST(LoadFaults, AFullChannelPipeHoldsTheEngineBackWithoutLosingRecords) {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    auto emulator = startEmulator(config);
    EngineRig rig;
    connectAndWait(rig, *emulator);
    {
        FastTicker ticker(rig.engine(), kFastTickUs);
        rig.engine().StartLog(1, 5);
        ASSERT_TRUE(rig.pumpUntil([&] { return rig.model().rawCount >= 500; }, 10000));

        // The UI thread is busy: nobody drains the channel. The engine fills its pipe and waits, so
        // the controller is asked for nothing more.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const uint32_t blocksWhileBusy = emulator->state().blocksSent;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(emulator->state().blocksSent, blocksWhileBusy);
        // A command from the UI thread does not wait for the blocked engine.
        const auto start = Clock::now();
        rig.engine().ClosedLoop(1);
        EXPECT_TIMING_LT(msSince(start), 200);

        // Draining again lets everything through, in order.
        const uint32_t before = rig.model().rawCount;
        ASSERT_TRUE(rig.pumpUntil([&] { return rig.model().rawCount >= before + 2000; }, 20000));
        EXPECT_TRUE(waitUntil([&] { return emulator->state().closedLoop == 1; }, 5000));
        rig.engine().StopLog();
        rig.pumpFor(300);
    }
    const AppModel& model = rig.model();
    EXPECT_EQ(firstBreak(model, 0), model.rawCount);
    EXPECT_EQ(model.sampleCount, model.rawCount);
    EXPECT_LE(emulator->state().recordsSent - model.rawCount, 125u);
    EXPECT_EQ(rig.lastStatus(), StatusConnected);
    disconnectAndWait(rig, *emulator);
    expectUsableAgain(rig);
}

TEST(LoadFaults, AFullSampleStoreKeepsWhatFitsAndLoggingGoesOn) {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    auto emulator = startEmulator(config);
    EngineRig rig;
    connectAndWait(rig, *emulator);

    // A long night's store, nearly full (the earlier slots' contents do not matter here).
    AppModel& model = rig.model();
    const uint32_t prefilled = model.rawCapacity - 1 - 300;
    model.rawCount = prefilled;
    model.sampleCount = AppModel::kMaxSamples - 700;
    model.newStart = model.sampleCount;
    {
        FastTicker ticker(rig.engine(), kFastTickUs);
        rig.engine().StartLog(1, 5);
        ASSERT_TRUE(rig.pumpUntil([&] { return emulator->state().recordsSent >= 2000; }, 20000));
        const uint32_t blocks = emulator->state().blocksSent;
        ASSERT_TRUE(rig.pumpUntil([&] { return emulator->state().blocksSent >= blocks + 5; }, 10000))
            << "logging stopped with a full store";
        rig.engine().StopLog();
        rig.pumpFor(300);
    }
    EXPECT_EQ(model.rawCount, model.rawCapacity - 1);
    EXPECT_EQ(firstBreak(model, 0, prefilled), model.rawCount); // the 300 that fitted, from record 0
    EXPECT_EQ(model.sampleCount, AppModel::kMaxSamples);
    EXPECT_LE(rig.lastAvailable(), 1u);
    EXPECT_EQ(rig.lastStatus(), StatusConnected);
    disconnectAndWait(rig, *emulator);
    expectUsableAgain(rig);
}

TIMED_TEST(LoadFaults, ClosingTheProgramWhileLoggingAtFullRate) {
    Rz4EmulatorConfig config;
    config.fullSpeed = true;
    auto emulator = startEmulator(config);
    const int baseThreads = threadCount();
    auto rig = std::make_unique<EngineRig>();
    rig->startHeartbeat();
    connectAndWait(*rig, *emulator);
    {
        FastTicker ticker(rig->engine(), kFastTickUs);
        rig->engine().StartLog(1, 5);
        ASSERT_TRUE(rig->pumpUntil([&] { return rig->model().rawCount >= 1000; }, 10000));
        // The last moments before closing: the UI is busy and the channel fills up.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ticker.stop();
        const int64_t closeMs = rig->close();
        EXPECT_TIMING_LT(closeMs, 5000);
    }
    EXPECT_EQ(threadCount(), baseThreads);
    EXPECT_TRUE(portFree(emulator->slavePath()));
    EXPECT_EQ(firstBreak(rig->model(), 0), rig->model().rawCount);
    expectIdle("after closing");

    // The program starts again and connects.
    rig = std::make_unique<EngineRig>();
    expectUsableAgain(*rig);
}
