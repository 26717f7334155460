// Changes to the controller while it logs, through the whole program against the emulator over a
// pseudo-terminal: each waits for the next data block, goes out in the order issued without ending the
// polling, and leaves a marker at the first sample logged after it took effect.
#include "tests/core/EngineRig.h"

#include "engine/EngineEvent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace rig;

namespace {

// Commands the emulator received, by controller command number, oldest first.
std::vector<uint8_t> commandsOf(const Rz4Emulator& emulator) {
    std::vector<uint8_t> commands;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets())
        commands.push_back(p.command());
    return commands;
}

int count(const std::vector<uint8_t>& commands, uint8_t command) {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

// A logging run with the heartbeat in the test's hand: every block request is one more third tick, and
// the emulator answers each with a full block (fullSpeed), so what happens between blocks is fixed.
struct ChangesWhileLogging : ::testing::Test {
    void SetUp() override {
        config.fullSpeed = true;
        config.signal.noiseArcsec = 0.0; // every position follows from its record number
        emulator = startEmulator(config);
        rig.connect(*emulator);
        ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000)) << rig.lastStatus();
        emulator->clearReceived();
        rig.engine().StartLog(3, 3); // tracking error, 16 Hz
        ASSERT_TRUE(tickUntil([&] { return rig.model().sampleCount > 0; }, 20));
    }

    // One heartbeat at a time, handling what comes back, until done() or the ticks run out.
    bool tickUntil(const std::function<bool()>& done, int maxTicks) {
        for (int i = 0; i < maxTicks && !done(); ++i) {
            rig.ticks(1);
            rig.pumpUntil(done, 40);
        }
        return done();
    }
    // Until the emulator has answered `blocks` more block requests.
    bool moreBlocks(int blocks) {
        const uint32_t target = emulator->state().blocksSent + static_cast<uint32_t>(blocks);
        return tickUntil([&] { return emulator->state().blocksSent >= target; }, 6 * blocks + 6);
    }
    void sendPid(uint16_t p, uint16_t i, uint16_t d) {
        const uint16_t values[10] = {p, i, d, 0, 0, 0, 20, 30, 0, 0};
        rig.engine().SendPid(values);
    }

    Rz4EmulatorConfig config;
    std::unique_ptr<Rz4Emulator> emulator;
    EngineRig rig;
};

TEST_F(ChangesWhileLogging, APidChangeIsMarkedAtTheFirstSampleLoggedWithIt) {
    sendPid(0, 40, 120);
    rig.pumpFor(100);
    EXPECT_EQ(count(commandsOf(*emulator), 85), 0); // waits for the next block
    ASSERT_TRUE(tickUntil([&] { return rig.model().markerCount == 1; }, 20));
    ASSERT_TRUE(moreBlocks(2));
    rig.engine().StopLog();
    rig.pumpFor(200);

    const AppModel& model = rig.model();
    const Marker& marker = model.markers[0];
    EXPECT_EQ(marker.command, CmdSendPid);
    EXPECT_STREQ(marker.label, "PID 0/40/120");
    ASSERT_GT(marker.sample, 0u);
    ASSERT_GT(model.sampleCount, marker.sample + 100);

    // Every sample before the marker follows the loop as it was, every one from it on the new one.
    TrackingSignal before(config.signal, config.encoderBits);
    before.resetResponse(ServoModel::respond(80, 40, 120, config.motorCurrent));
    TrackingSignal after(config.signal, config.encoderBits);
    after.resetResponse(ServoModel::respond(0, 40, 120, config.motorCurrent));
    ASSERT_EQ(model.rawCount, model.sampleCount);
    for (uint32_t j = 0; j < model.sampleCount; ++j) {
        const double t = recordWord(model, j, 0) / 16.0;
        TrackingSignal& expected = j < marker.sample ? before : after;
        ASSERT_EQ(model.samples[j], expected.errorCounts(t)) << "sample " << j << " marker " << marker.sample;
    }
}

TEST_F(ChangesWhileLogging, DifferentKindsAreAllDeliveredOnePerBlockInOrderAndMarked) {
    sendPid(100, 40, 120);
    rig.engine().ClosedLoop(1);
    rig.engine().WriteParam16(129, 900);
    rig.engine().Tracking(1);
    ASSERT_TRUE(tickUntil([&] { return rig.model().markerCount == 4; }, 40));
    ASSERT_TRUE(moreBlocks(1));

    // In the order issued, each after a block of its own, and the polling went on.
    std::vector<uint8_t> order;
    const std::vector<uint8_t> commands = commandsOf(*emulator);
    int blocksBetween = 0;
    for (uint8_t c : commands) {
        if (c == 83) {
            ++blocksBetween;
        } else if (c == 85 || c == 80 || c == 51 || c == 36) {
            EXPECT_GE(blocksBetween, 1) << int(c);
            blocksBetween = 0;
            order.push_back(c);
        }
    }
    EXPECT_EQ(order, (std::vector<uint8_t>{85, 80, 51, 36}));
    EXPECT_GE(blocksBetween, 1);

    const AppModel& model = rig.model();
    const char* labels[] = {"PID 100/40/120", "Closed loop on", "Current 900 mA", "Tracking on"};
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_STREQ(model.markers[i].label, labels[i]) << i;
    for (uint32_t i = 1; i < 4; ++i)
        EXPECT_GT(model.markers[i].sample, model.markers[i - 1].sample) << i;
    const Rz4ControllerState state = emulator->state();
    EXPECT_EQ(state.pid[0], 100);
    EXPECT_EQ(state.closedLoop, 1);
    EXPECT_EQ(state.motorCurrent, 900);
    EXPECT_EQ(firstBreak(model, 0), model.rawCount); // nothing lost on the way
    EXPECT_FALSE(rig.sawStatus(StatusCommunicationError));
}

TEST_F(ChangesWhileLogging, ALaterChangeOfTheSameKindReplacesTheWaitingOneAndTheStatusSaysSo) {
    sendPid(100, 40, 120);
    sendPid(140, 40, 120);
    ASSERT_TRUE(rig.waitStatus(StatusReplacedPid, 2000));
    ASSERT_TRUE(tickUntil([&] { return rig.model().markerCount == 1; }, 20));
    ASSERT_TRUE(moreBlocks(2));
    EXPECT_EQ(count(commandsOf(*emulator), 85), 1);
    EXPECT_EQ(emulator->state().pid[0], 140);
    EXPECT_STREQ(rig.model().markers[0].label, "PID 140/40/120");
    EXPECT_EQ(rig.model().markerCount, 1u);
}

TEST_F(ChangesWhileLogging, DisconnectingBeforeTheNextBlockSaysTheWaitingChangeWasNotSent) {
    sendPid(100, 40, 120);
    rig.pumpFor(100);
    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusClosedChangesNotSent, 2000)) << rig.lastStatus();
    EXPECT_EQ(count(commandsOf(*emulator), 85), 0);
    EXPECT_EQ(rig.model().markerCount, 0u);
}

TEST_F(ChangesWhileLogging, AMotorCurrentChangeKeepsThePollingAndIsMarked) {
    const uint32_t samplesBefore = rig.model().sampleCount;
    rig.engine().WriteParam16(129, 400);
    ASSERT_TRUE(tickUntil([&] { return rig.model().markerCount == 1; }, 20));
    const uint32_t marked = rig.model().markers[0].sample;
    ASSERT_TRUE(moreBlocks(3));
    EXPECT_EQ(emulator->state().motorCurrent, 400);
    EXPECT_STREQ(rig.model().markers[0].label, "Current 400 mA");
    EXPECT_GE(marked, samplesBefore);
    EXPECT_GT(rig.model().sampleCount, marked); // samples kept coming after the change
    const std::vector<uint8_t> commands = commandsOf(*emulator);
    const auto write = std::find(commands.begin(), commands.end(), 51);
    ASSERT_NE(write, commands.end());
    EXPECT_GE(std::count(write, commands.end(), 83), 3);
}

} // namespace
