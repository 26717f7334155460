#include "engine/CommandExecutor.h"
#include "engine/Session.h"
#include "engine/Simulator.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Row {
    uint8_t code;
    Bytes args;
    Bytes packet;
    SessionState state;
    bool skippedInTestMode;
};

const uint32_t kLongs[6] = {0x11223344, 0xFFFFFFFF, 0, 0x80000001, 7, 0x01020304};

Bytes auxArgs() {
    Bytes args{3, 0};
    args = cat({args, le16(0x1234), le16(0)});
    for (uint32_t v : kLongs) {
        args = cat({args, le32(v)});
    }
    return args;
}

Bytes pidArgs() {
    Bytes args;
    for (int i = 0; i < 10; ++i) {
        args = cat({args, le16(static_cast<uint32_t>(0x0100 * i + 0x80 + i))});
    }
    return args;
}

// The controller packet of every command, with blockRecords 500, encoderFlags 0xFE, calibration aux
// 0x0A0B0C0D.
std::vector<Row> table() {
    using S = SessionState;
    return {
        {4, {}, {0xAA, 0x02, 0x0D, 0x01}, S::AwaitStoreAck, false},
        {5, {2, 7}, {0xAA, 0x05, 0x51, 0x01, 0x01, 0x03, 0x07}, S::AwaitLogStartAck, false},
        {6, {}, {0xAA, 0x04, 0x51, 0x01, 0x01, 0x00}, S::SessionIdle, false},
        {7, {}, {0xAA, 0x04, 0x53, 0x01, 0xF4, 0x01}, S::AwaitBlock, false},
        {8,
         cat({{1}, le32(0xFFFFFFFF)}),
         {0xAA, 0x0B, 0x7C, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D, 0x0C, 0x0B, 0x0A},
         S::SessionIdle,
         false},
        {9, {1}, {0xAA, 0x03, 0x24, 0x01, 0x01}, S::SessionIdle, true},
        {10, {200, 1}, {0xAA, 0x05, 0x24, 0x01, 0x05, 200, 0x01}, S::SessionIdle, true},
        {11, {2, 0}, {0xAA, 0x05, 0x24, 0x01, 0x06, 0x02, 0x00}, S::SessionIdle, true},
        {12, cat({{129}, le16(0x1234)}), {0xAA, 0x05, 0x33, 0x00, 129, 0x34, 0x12}, S::SessionIdle, true},
        {13, {128, 0xF6}, {0xAA, 0x04, 0x3B, 0x00, 128, 0xF6}, S::SessionIdle, true},
        {14, {2}, {0xAA, 0x04, 0x50, 0x01, 0x01, 0x02}, S::SessionIdle, false},
        {15, pidArgs(), cat({{0xAA, 0x16, 0x55, 0x01}, pidArgs()}), S::SessionIdle, true},
        {16, auxArgs(), cat({{0xAA, 0x20, 0x57, 0x01}, auxArgs()}), S::SessionIdle, true},
        {17, {9}, {0xAA, 0x03, 0x28, 0x01, 0x09}, S::SessionIdle, false},
        {18, {}, {0xAA, 0x02, 0x29, 0x01}, S::SessionIdle, false},
        {19, {}, {0xAA, 0x03, 0x2A, 0x01, 0x00}, S::SessionIdle, false},
        {20, {}, {0xAA, 0x02, 0x2B, 0x01}, S::SessionIdle, false},
    };
}

struct ExecutorFixture : ::testing::Test {
    FakeReport report;
    FakeHost host;
    SessionFields fields;
    Simulator simulator;
    CommandExecutor executor{fields, simulator, &report, &host};

    void SetUp() override { reset(); }
    void reset() {
        fields = SessionFields{};
        fields.sessionActive = true;
        fields.sessionState = SessionState::Delay;
        fields.deviceInfo.blockRecords = 500;
        fields.deviceInfo.encoderFlags = 0xFE;
        fields.deviceInfo.encoderCalibAux = 0x0A0B0C0D;
        fields.deviceInfo.recordLength = 16;
        fields.deviceInfo.encoderBits = 25;
        fields.deviceInfo.encoderMask = (1u << 25) - 1;
        host.writes.clear();
        report = FakeReport{};
    }
    void run(uint8_t code, const Bytes& args = {}) {
        const Bytes event = commandEvent(code, args);
        executor.executeCommand(event.data());
    }
};

TEST_F(ExecutorFixture, EveryCommandSendsItsPacketAndSetsItsState) {
    for (const Row& row : table()) {
        reset();
        run(row.code, row.args);
        EXPECT_EQ(host.writes, (std::vector<Bytes>{row.packet})) << "code " << int(row.code);
        EXPECT_EQ(fields.sessionState, row.state) << "code " << int(row.code);
        EXPECT_TRUE(report.statuses.empty());
    }
}

TEST_F(ExecutorFixture, WhileTheLoggingCycleRunsEveryChangeIsHeldBack) {
    const Bytes heldCodes{4, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    for (const Row& row : table()) {
        reset();
        fields.logActive = true;
        run(row.code, row.args);
        const bool held = std::find(heldCodes.begin(), heldCodes.end(), row.code) != heldCodes.end();
        if (held) {
            EXPECT_TRUE(host.writes.empty()) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, SessionState::Delay);
            EXPECT_EQ(fields.heldCommands.count(), 1) << "code " << int(row.code);
            EXPECT_EQ(fields.heldCommands.codeAt(0), row.code);
            EXPECT_TRUE(report.markers.empty());
        } else {
            EXPECT_EQ(host.writes, (std::vector<Bytes>{row.packet})) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, row.state) << "code " << int(row.code);
            EXPECT_TRUE(fields.heldCommands.empty());
        }
    }
}

TEST_F(ExecutorFixture, OutsideTheCycleChangesGoOutAtOnceAndAreMarkedWhileLogging) {
    // Logging, but the cycle has ended (a store waits for its answer): sent at once, and marked.
    fields.logActive = true;
    fields.sessionState = SessionState::AwaitStoreAck;
    run(12, cat({{129}, le16(900)}));
    EXPECT_EQ(host.writes.size(), 1u);
    EXPECT_EQ(report.markers, (std::vector<Bytes>{cat({{12, 129}, le16(900)})}));
    // Not logging: sent at once without a marker.
    reset();
    run(14, {1});
    EXPECT_EQ(host.writes.size(), 1u);
    EXPECT_TRUE(report.markers.empty());
}

TEST_F(ExecutorFixture, TestModeSkipsDriveCommandsAndSimulatesLogging) {
    for (const Row& row : table()) {
        reset();
        fields.testMode = true;
        run(row.code, row.args);
        if (row.skippedInTestMode) {
            EXPECT_TRUE(host.writes.empty()) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, SessionState::Delay) << "code " << int(row.code);
        } else if (row.code == 5) {
            EXPECT_TRUE(host.writes.empty());
            EXPECT_EQ(fields.sessionState, SessionState::SessionIdle);
            EXPECT_FALSE(fields.logActive);
        } else if (row.code == 7) {
            EXPECT_TRUE(host.writes.empty());
            EXPECT_EQ(fields.sessionState, SessionState::Delay);
            EXPECT_GE(report.records.size(), 10u);
        } else {
            EXPECT_EQ(host.writes, (std::vector<Bytes>{row.packet})) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, row.state) << "code " << int(row.code);
        }
    }
    // SendPid in test mode is skipped even while logging, and the slot stays empty.
    reset();
    fields.testMode = true;
    fields.logActive = true;
    run(15, pidArgs());
    EXPECT_TRUE(fields.heldCommands.empty());
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(ExecutorFixture, StartLogForcesBitZeroOfTheMode) {
    const uint8_t modes[] = {0, 1, 2, 3};
    const uint8_t sent[] = {1, 1, 3, 3};
    for (int i = 0; i < 4; ++i) {
        reset();
        run(5, {modes[i], 4});
        ASSERT_EQ(host.writes.size(), 1u);
        EXPECT_EQ(host.writes[0][5], sent[i]);
        EXPECT_EQ(host.writes[0][6], 4);
        EXPECT_TRUE(fields.logActive);
    }
    run(6);
    EXPECT_FALSE(fields.logActive);
}

TEST_F(ExecutorFixture, CalibrationChangesOnlyBitZeroOfTheFlags) {
    run(8, cat({{2}, le32(22000)}));
    EXPECT_EQ(fields.deviceInfo.encoderFlags, 0xFE);
    EXPECT_EQ(fields.deviceInfo.encoderOffset, 22000u);
    EXPECT_EQ(host.writes.back()[4], 0xFE);
    run(8, cat({{1}, le32(5)}));
    EXPECT_EQ(fields.deviceInfo.encoderFlags, 0xFF);
    EXPECT_EQ(host.writes.back()[4], 0xFF);
    run(8, cat({{0}, le32(5)}));
    EXPECT_EQ(fields.deviceInfo.encoderFlags, 0xFE);
    EXPECT_TRUE(report.infos.empty());
}

TEST_F(ExecutorFixture, GuardsAndMissingArguments) {
    fields.sessionActive = false;
    run(4);
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{12}));
    EXPECT_TRUE(host.writes.empty());

    fields.sessionActive = true;
    const Bytes empty{0x80, 4};
    executor.executeCommand(empty.data());
    run(2, {3});
    run(21);
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(fields.sessionState, SessionState::Delay);

    // Arguments the event does not carry read as 0, never as what follows it in the buffer.
    run(12, {129});
    EXPECT_EQ(host.writes.back(), (Bytes{0xAA, 0x05, 0x33, 0x00, 129, 0x00, 0x00}));
    run(16);
    EXPECT_EQ(host.writes.back(), cat({{0xAA, 0x20, 0x57, 0x01}, Bytes(30, 0)}));
}

// The hold-back slot through the whole session: blocks, acknowledgements and the next request.
struct HoldBackFixture : ::testing::Test {
    FakeReport report;
    FakeHost host;
    Session session{&report, &host};

    void event(Bytes e) {
        e.resize(32, 0xEE);
        session.onEngineEvent(e.data());
    }
    void serial(const Bytes& bytes) {
        Bytes e{static_cast<uint8_t>(0xE0 | bytes.size())};
        e.insert(e.end(), bytes.begin(), bytes.end());
        event(e);
    }
    void tick(int n) {
        for (int i = 0; i < n; ++i) {
            event({0xA0, 0});
        }
    }
    void command(uint8_t code, const Bytes& args = {}) { event(commandEvent(code, args)); }

    // Connected with recordLength 8 and blockRecords 10, logging, a block request outstanding.
    void SetUp() override {
        command(2, {3});
        serial({'U', 5, 1, 0, 0, 0, 0});
        serial({'U', 0});
        serial(cat({{'U', 18, 3, 0}, Bytes(12, 0), le32(80)}));
        for (int i = 0; i < 5; ++i) {
            serial({'U', 0});
        }
        serial({'U', 2, 82, 8});
        serial({'U', 0});
        serial({'U', 0});
        ASSERT_EQ(report.statuses.back(), 3u);
        command(5, {1, 0});
        serial({'U', 0});
        tick(3);
        ASSERT_EQ(session.fields().sessionState, SessionState::AwaitBlock);
        host.writes.clear();
    }
    const Bytes blockRequest{0xAA, 0x04, 0x53, 0x01, 10, 0};
};

// Every command that changes the controller, held back while logging: sent after the next block; one
// the controller answers is waited for and marked at its answer, any other is marked when sent; then
// the polling goes on.
TEST_F(HoldBackFixture, EachHeldBackCommandIsSentAfterTheNextBlockAndMarked) {
    struct HeldRow {
        uint8_t code;
        Bytes args;
        uint8_t packetCommand;
        bool answered;
    };
    const HeldRow rows[] = {
        {4, {}, 0x0D, true},
        {8, cat({{1}, le32(22000)}), 0x7C, false},
        {9, {0}, 0x24, false},
        {10, {8, 0}, 0x24, false},
        {11, {2, 1}, 0x24, false},
        {12, cat({{129}, le16(900)}), 0x33, false},
        {13, {128, 0xFD}, 0x3B, false},
        {14, {1}, 0x50, true},
        {15, pidArgs(), 0x55, true},
        {16, auxArgs(), 0x57, false},
        {17, {1}, 0x28, false},
    };
    for (const HeldRow& row : rows) {
        SCOPED_TRACE(int(row.code));
        host.writes.clear();
        report.markers.clear();
        report.statuses.clear();
        command(row.code, row.args);
        EXPECT_TRUE(host.writes.empty());
        serial({'R', 9, 0, 83, 1, 2, 3, 4, 5, 6, 7, 8});
        ASSERT_EQ(host.writes.size(), 1u);
        EXPECT_EQ(host.writes[0][2], row.packetCommand);
        const Bytes marker = cat({{row.code}, row.args});
        if (row.answered) {
            EXPECT_EQ(session.fields().sessionState, SessionState::AwaitDeferredAck);
            EXPECT_TRUE(report.markers.empty()); // not before the controller took it
            serial({'U', 0});
            EXPECT_EQ(host.writes.back(), blockRequest);
        } else {
            EXPECT_EQ(session.fields().sessionState, SessionState::Delay);
            tick(3);
            EXPECT_EQ(host.writes.back(), blockRequest);
        }
        EXPECT_EQ(report.markers, (std::vector<Bytes>{marker}));
        // The store's answer still confirms the store.
        EXPECT_EQ(report.statuses, row.code == 4 ? (std::vector<uint32_t>{14}) : (std::vector<uint32_t>{}));
        EXPECT_EQ(session.fields().sessionState, SessionState::AwaitBlock);
    }
}

TEST_F(HoldBackFixture, ALaterCommandOfTheSameKindReplacesTheWaitingOneAndSaysSo) {
    struct ReplaceRow {
        Bytes first, second; // code and arguments
        uint32_t status;
    };
    const ReplaceRow rows[] = {
        {{14, 1}, {14, 2}, 15},
        {cat({{15}, pidArgs()}), cat({{15}, Bytes(20, 1)}), 16},
        {cat({{12, 129}, le16(500)}), cat({{12, 129}, le16(900)}), 18},
        {{13, 128, 1}, {13, 128, 2}, 19},
        {{9, 1}, {10, 8, 0}, 20}, // start, then a rate: both are tracking
        {{4}, {4}, 22},
    };
    for (const ReplaceRow& row : rows) {
        SCOPED_TRACE(int(row.first[0]));
        report.statuses.clear();
        host.writes.clear();
        command(row.first[0], Bytes(row.first.begin() + 1, row.first.end()));
        command(17, {1}); // another kind in between
        command(row.second[0], Bytes(row.second.begin() + 1, row.second.end()));
        EXPECT_EQ(report.statuses, (std::vector<uint32_t>{row.status}));
        // Two wait: the other kind first, then the replacement (it moved to the end).
        ASSERT_EQ(session.fields().heldCommands.count(), 2);
        EXPECT_EQ(session.fields().heldCommands.codeAt(session.fields().heldCommands.count() - 1),
                  row.second[0]);
        // Empty the queue before the next row.
        while (!session.fields().heldCommands.empty()) {
            serial({'R', 1, 0, 83});
            serial({'U', 0});
            tick(3);
        }
    }
    // Different parameter indices and the two parameter writes are different kinds.
    report.statuses.clear();
    command(12, cat({{129}, le16(1)}));
    command(12, cat({{7}, le16(1)}));
    command(13, {129, 1});
    EXPECT_TRUE(report.statuses.empty());
    EXPECT_EQ(session.fields().heldCommands.count(), 3);
}

TEST_F(HoldBackFixture, StopLogSendsWhatWaitsAtOnce) {
    command(14, {2});
    command(9, {0});
    command(6);
    EXPECT_TRUE(session.fields().heldCommands.empty());
    ASSERT_EQ(host.writes.size(), 3u);
    EXPECT_EQ(host.writes[0], (Bytes{0xAA, 0x04, 0x51, 0x01, 0x01, 0x00}));
    EXPECT_EQ(host.writes[1], (Bytes{0xAA, 0x04, 0x50, 0x01, 0x01, 0x02}));
    EXPECT_EQ(host.writes[2], (Bytes{0xAA, 0x03, 0x24, 0x01, 0x00}));
    EXPECT_TRUE(report.markers.empty()); // logging has ended: nothing to mark
    serial({'R', 1, 0, 83});             // after StopLog: discarded
    EXPECT_EQ(host.writes.size(), 3u);
}

TEST_F(HoldBackFixture, StopLogWhileAStoreAwaitsItsAnswerKeepsTheConfirmation) {
    command(4);
    serial({'R', 1, 0, 83});
    ASSERT_EQ(session.fields().sessionState, SessionState::AwaitDeferredAck);
    command(6);
    serial({'U', 0});
    EXPECT_EQ(report.statuses.back(), 14u);
}

TEST_F(HoldBackFixture, ANewConnectionForgetsWhatWaited) {
    command(14, {1});
    command(3);
    command(2, {3});
    EXPECT_TRUE(session.fields().heldCommands.empty());
}

TEST_F(HoldBackFixture, FetchLogRequestsABlockAndPollingGoesOnFromThere) {
    command(6);
    command(7);
    EXPECT_EQ(host.writes.back(), blockRequest);
    serial({'R', 1, 0, 83});
    host.writes.clear();
    tick(3);
    EXPECT_EQ(host.writes, (std::vector<Bytes>{blockRequest}));
}

} // namespace
