#include "engine/CommandExecutor.h"
#include "engine/Session.h"
#include "engine/Simulator.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

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

TEST_F(ExecutorFixture, WhileLoggingOnlyClosedLoopAndSendPidAreHeldBack) {
    for (const Row& row : table()) {
        reset();
        fields.logActive = true;
        run(row.code, row.args);
        if (row.code == 14 || row.code == 15) {
            EXPECT_TRUE(host.writes.empty()) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, SessionState::Delay);
            EXPECT_EQ(fields.deferredCommand, row.code);
        } else {
            EXPECT_EQ(host.writes, (std::vector<Bytes>{row.packet})) << "code " << int(row.code);
            EXPECT_EQ(fields.sessionState, row.state) << "code " << int(row.code);
            EXPECT_EQ(fields.deferredCommand, 0u);
        }
    }
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
    EXPECT_EQ(fields.deferredCommand, 0u);
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

TEST_F(HoldBackFixture, ClosedLoopIsSentAfterTheNextBlockAndPollingResumesAfterItsReply) {
    command(14, {1});
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(session.fields().sessionState, SessionState::AwaitBlock);
    serial({'R', 9, 0, 83, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(report.records.size(), 1u);
    EXPECT_EQ(host.writes, (std::vector<Bytes>{{0xAA, 0x04, 0x50, 0x01, 0x01, 0x01}}));
    EXPECT_EQ(session.fields().sessionState, SessionState::AwaitDeferredAck);
    EXPECT_EQ(session.fields().deferredCommand, 0u);
    serial({'U', 0});
    EXPECT_EQ(host.writes.back(), blockRequest);
    EXPECT_EQ(session.fields().sessionState, SessionState::AwaitBlock);
}

TEST_F(HoldBackFixture, LaterHeldBackCommandReplacesTheEarlier) {
    command(14, {1});
    const Bytes pid = pidArgs();
    command(15, pid);
    serial({'R', 1, 0, 83});
    EXPECT_EQ(host.writes, (std::vector<Bytes>{cat({{0xAA, 0x16, 0x55, 0x01}, pid})}));

    serial({'U', 0});
    command(15, pid);
    command(14, {2});
    serial({'R', 1, 0, 83});
    EXPECT_EQ(host.writes.back(), (Bytes{0xAA, 0x04, 0x50, 0x01, 0x01, 0x02}));
}

TEST_F(HoldBackFixture, StopLogKeepsTheHeldBackCommandForTheNextRun) {
    command(14, {2});
    command(6);
    EXPECT_EQ(session.fields().deferredCommand, 14u);
    serial({'R', 1, 0, 83}); // after StopLog: discarded
    EXPECT_EQ(host.writes.size(), 1u);
    command(5, {1, 0});
    serial({'U', 0});
    tick(3);
    EXPECT_EQ(host.writes.back(), blockRequest);
    serial({'R', 1, 0, 83});
    EXPECT_EQ(host.writes.back(), (Bytes{0xAA, 0x04, 0x50, 0x01, 0x01, 0x02}));
}

TEST_F(HoldBackFixture, TrackingWhileLoggingStopsThePolling) {
    command(9, {1});
    EXPECT_EQ(host.writes.back(), (Bytes{0xAA, 0x03, 0x24, 0x01, 0x01}));
    EXPECT_EQ(session.fields().sessionState, SessionState::SessionIdle);
    serial({'R', 9, 0, 83, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_TRUE(report.records.empty());
    tick(10);
    EXPECT_EQ(host.writes.size(), 1u);
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
