#include "engine/Session.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

namespace {

struct Controller {
    uint32_t hardware = 0x01020304, firmware = 0x0A0B0C0D;
    uint8_t logInfoByte = 0x77;
    uint32_t logInfo1 = 111, logInfo2 = 222, logInfo3 = 333, maxBlockBytes = 2000;
    uint32_t gear = 172800, full = 5529600, sidereal = 300;
    uint16_t maxCurrent = 1500, motorCurrent = 700;
    uint8_t param128 = 0xF6; // -10
    uint8_t encoderBits = 24;
    uint8_t encoderFlags = 0x81;
    uint32_t encoderOffset = 0xFFFFFF9C, encoderCalibAux = 1234;
    uint8_t recordLength = 16, recordInfo = 4;
    uint32_t recordInfo2 = 1024;
    uint16_t pid[10] = {80, 40, 120, 81, 41, 121, 20, 30, 65535, 7};
    uint8_t auxMode = 3;
    uint16_t auxSkip = 9;
    uint32_t errorLimit = 1000, accelLimit = 4000, speedLimit = 0x80000000;

    // The replies in handshake order; bytes the session must ignore are 0xEE.
    std::vector<Bytes> replies() const {
        Bytes pidReply{'U', 21, 84};
        for (uint16_t v : pid) {
            pidReply = cat({pidReply, le16(v)});
        }
        return {
            cat({{'U', 5, 1}, le32(hardware)}),
            cat({{'U', 5, 2}, le32(firmware)}),
            cat({{'U', 18, 3, logInfoByte},
                 le32(logInfo1),
                 le32(logInfo2),
                 le32(logInfo3),
                 le32(maxBlockBytes)}),
            {'U', 5, 1, 0xEE, 0xEE, 0xEE, 0xEE},
            cat({{'U', 15, 20, 0xEE, 0xEE}, le32(gear), le32(full), le32(sidereal)}),
            cat({{'U', 19, 21},
                 Bytes(6, 0xEE),
                 le16(maxCurrent),
                 {0xEE, 0xEE},
                 le16(motorCurrent),
                 Bytes(5, 0xEE),
                 {param128}}),
            {'U', 5, 23, 0xEE, 0xEE, encoderBits, 0xEE},
            cat({{'U', 10, 123, encoderFlags}, le32(encoderOffset), le32(encoderCalibAux)}),
            cat({{'U', 7, 82, recordLength, recordInfo}, le32(recordInfo2)}),
            pidReply,
            cat({{'U', 19, 86, auxMode, 0xEE},
                 le16(auxSkip),
                 {0xEE, 0xEE},
                 le32(errorLimit),
                 le32(accelLimit),
                 le32(speedLimit)}),
        };
    }
};

const uint8_t kRequests[] = {2, 3, 1, 20, 21, 23, 123, 82, 84, 86};

struct SessionFixture : ::testing::Test {
    FakeReport report;
    FakeHost host;
    Session session{&report, &host};

    const SessionFields& f() const { return session.fields(); }
    void event(const Bytes& e) {
        Bytes buffer = e;
        buffer.resize(32, 0xEE);
        session.onEngineEvent(buffer.data());
    }
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            event({0xA0, 0x00});
        }
    }
    void serial(const Bytes& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 31) {
            const size_t n = std::min<size_t>(31, bytes.size() - at);
            Bytes e{static_cast<uint8_t>(0xE0 | n)};
            e.insert(e.end(), bytes.begin() + static_cast<long>(at),
                     bytes.begin() + static_cast<long>(at + n));
            event(e);
        }
    }
    void command(uint8_t code, const Bytes& args = {}) { event(commandEvent(code, args)); }
    void connect(uint8_t port) { command(2, {port}); }
    Bytes lastWrite() const { return host.writes.empty() ? Bytes{} : host.writes.back(); }

    void handshake(const Controller& c) {
        connect(3);
        for (const Bytes& reply : c.replies()) {
            serial(reply);
        }
    }
    // A connected session with StartLog answered, polling for blocks.
    void startLogging(const Controller& c = Controller{}) {
        handshake(c);
        command(5, {1, 2});
        serial({'U', 0});
        tick(3);
        ASSERT_EQ(f().sessionState, SessionState::AwaitBlock);
    }
    static Bytes block(const Bytes& data) {
        return cat({{'R', static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)}, data});
    }
};

TEST_F(SessionFixture, ConnectOpensThePortPausesAndSendsTheIdentityRequest) {
    connect(3);
    EXPECT_EQ(host.openedPorts, (std::vector<uint32_t>{3}));
    EXPECT_EQ(host.generations, (std::vector<uint8_t>{1}));
    EXPECT_EQ(host.pauses, (std::vector<int>{500}));
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(host.writes, (std::vector<Bytes>{{0xAA, 0x01, 0x01}}));
    EXPECT_TRUE(f().portOpen);
    EXPECT_TRUE(f().sessionActive);
    EXPECT_EQ(f().sessionState, SessionState::AwaitIdentity);
    EXPECT_EQ(f().replyTimeout, 50);
}

TEST_F(SessionFixture, HandshakeRequestsInOrderAndStoresEveryField) {
    // Test mode first, so the fields the handshake must zero hold something.
    connect(0);
    const Controller c;
    connect(3);
    const auto replies = c.replies();
    for (size_t i = 0; i < replies.size(); ++i) {
        host.writes.clear();
        serial(replies[i]);
        if (i < std::size(kRequests)) {
            EXPECT_EQ(host.writes, (std::vector<Bytes>{{0xAA, 0x01, kRequests[i]}})) << "after reply " << i;
        } else {
            EXPECT_TRUE(host.writes.empty());
        }
    }
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    ASSERT_EQ(report.infos.size(), 2u);
    ASSERT_GE(report.calls.size(), 2u);
    EXPECT_EQ(report.calls[report.calls.size() - 2], "info");
    EXPECT_EQ(report.calls.back(), "status 3");

    const DeviceInfo& d = report.infos.back();
    EXPECT_EQ(d.hardwareVersion, c.hardware);
    EXPECT_EQ(d.firmwareVersion, c.firmware);
    EXPECT_EQ(d.logInfoByte, c.logInfoByte);
    EXPECT_EQ(d.logInfo1, c.logInfo1);
    EXPECT_EQ(d.logInfo2, c.logInfo2);
    EXPECT_EQ(d.logInfo3, c.logInfo3);
    EXPECT_EQ(d.maxBlockBytes, c.maxBlockBytes);
    EXPECT_EQ(d.gearRatio, c.gear);
    EXPECT_EQ(d.fullResolution, c.full);
    EXPECT_EQ(d.siderealSpeed, c.sidereal);
    EXPECT_EQ(d.maxCurrent, c.maxCurrent);
    EXPECT_EQ(d.motorCurrent, c.motorCurrent);
    EXPECT_EQ(d.param128, -10);
    EXPECT_EQ(d.encoderBits, 24u);
    EXPECT_EQ(d.encoderResolution, 1ULL << 24);
    EXPECT_EQ(d.encoderMask, (1ULL << 24) - 1);
    EXPECT_EQ(d.encoderFlags, 0x81);
    EXPECT_EQ(d.encoderOffset, c.encoderOffset);
    EXPECT_EQ(d.encoderCalibAux, c.encoderCalibAux);
    EXPECT_EQ(d.recordLength, 16u);
    EXPECT_EQ(d.recordInfo, 4u);
    EXPECT_EQ(d.recordInfo2, 1024u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(d.pidParameters[i], c.pid[i]) << i;
    }
    EXPECT_EQ(d.auxMode, 3);
    EXPECT_EQ(d.auxReserved, 0);
    EXPECT_EQ(d.auxSkip, 9u);
    EXPECT_EQ(d.auxSkip2, 0u);
    EXPECT_EQ(d.auxErrorLimit, 1000u);
    EXPECT_EQ(d.auxAccelLimit, 4000u);
    EXPECT_EQ(d.auxSpeedLimit, 0x80000000u);
    EXPECT_EQ(d.auxErrorLimit2, 0u);
    EXPECT_EQ(d.auxAccelLimit2, 0u);
    EXPECT_EQ(d.auxSpeedLimit2, 0u);
    EXPECT_EQ(d.blockRecords, 125u);
    EXPECT_EQ(d.encoderBits2, 25u); // not touched by the handshake
    EXPECT_TRUE(f().sessionActive);
    EXPECT_TRUE(f().portOpen);
}

TEST_F(SessionFixture, BlockRecordsIsBoundedByTheReceiveBuffer) {
    Controller c;
    c.maxBlockBytes = 20000;
    handshake(c);
    EXPECT_EQ(f().deviceInfo.blockRecords, 500u);
}

TEST_F(SessionFixture, ShortRepliesReadMissingBytesAsZeroNotLeftOvers) {
    handshake(Controller{});
    command(3);
    connect(3);
    serial({'U', 5, 1, 1, 0, 0, 0});
    for (int i = 0; i < 10; ++i) {
        serial({'U', 2, 0x42, 0x42});
    }
    EXPECT_EQ(report.calls.back(), "status 3");
    const DeviceInfo& d = f().deviceInfo;
    EXPECT_EQ(d.hardwareVersion, 1u);
    EXPECT_EQ(d.firmwareVersion, 0x42u); // byte 3 is there, bytes 4..6 are not
    EXPECT_EQ(d.logInfo1, 0u);
    EXPECT_EQ(d.maxBlockBytes, 0u);
    EXPECT_EQ(d.gearRatio, 0u);
    EXPECT_EQ(d.siderealSpeed, 0u);
    EXPECT_EQ(d.maxCurrent, 0u);
    EXPECT_EQ(d.param128, 0);
    EXPECT_EQ(d.encoderBits, 0u);
    EXPECT_EQ(d.encoderOffset, 0u);
    EXPECT_EQ(d.recordLength, 0x42u); // byte 3 is there
    EXPECT_EQ(d.recordInfo2, 0u);
    EXPECT_EQ(d.pidParameters[0], 0x42u); // byte 4 is missing: high byte 0
    EXPECT_EQ(d.pidParameters[9], 0u);
    EXPECT_EQ(d.auxSpeedLimit, 0u);
    EXPECT_EQ(d.blockRecords, 0u);
}

TEST_F(SessionFixture, TimeOutAfterFiftyTicksInTheFirstThreeSteps) {
    connect(3);
    tick(49);
    EXPECT_EQ(host.closes, 0);
    tick();
    EXPECT_EQ(report.statuses.back(), 7u);
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(f().portOpen);
    EXPECT_FALSE(f().sessionActive);
    EXPECT_EQ(f().sessionState, SessionState::AwaitIdentity);
    tick(60);
    EXPECT_EQ(host.closes, 1);

    // Each of the first two replies re-arms the time-out; the third disarms it.
    connect(3);
    tick(30);
    serial({'U', 5, 1, 0, 0, 0, 0});
    tick(49);
    serial({'U', 5, 2, 0, 0, 0, 0});
    tick(49);
    EXPECT_EQ(host.closes, 1);
    tick();
    EXPECT_EQ(host.closes, 2);
    EXPECT_EQ(f().sessionState, SessionState::AwaitLinkInfo);

    connect(3);
    serial({'U', 5, 1, 0, 0, 0, 0});
    serial({'U', 0});
    serial({'U', 0});
    tick(200);
    EXPECT_EQ(host.closes, 2);
    EXPECT_EQ(f().sessionState, SessionState::AwaitReidentify);
    EXPECT_TRUE(f().portOpen);
}

TEST_F(SessionFixture, WrongIdentityReplyClosesWithNotSupportedDevice) {
    connect(3);
    serial({'U', 4, 1, 9, 9, 9});
    EXPECT_EQ(report.statuses.back(), 9u);
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(f().portOpen);
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    EXPECT_EQ(f().deviceInfo.hardwareVersion, 0u);
    EXPECT_EQ(f().replyTimeout, 0);

    connect(3);
    serial({'U', 5, 2, 9, 9, 9, 9});
    EXPECT_EQ(report.statuses.back(), 9u);
    EXPECT_EQ(host.closes, 2);

    // The failing reply is followed by another frame in the same chunk: the close still happens.
    connect(3);
    serial({'U', 0, 'U', 1, 7});
    EXPECT_EQ(report.statuses.back(), 9u);
    EXPECT_EQ(host.closes, 3);
    EXPECT_FALSE(f().portOpen);
}

TEST_F(SessionFixture, BlockFramesAreCutIntoRecords) {
    startLogging();
    Bytes records = {83};
    for (int i = 0; i < 37; ++i) {
        records.push_back(static_cast<uint8_t>(i));
    }
    serial(block(records)); // L - 1 = 2 * 16 + 5
    ASSERT_EQ(report.records.size(), 2u);
    EXPECT_EQ(report.records[0].bytes, Bytes(records.begin() + 1, records.begin() + 17));
    EXPECT_FALSE(report.records[0].last);
    EXPECT_EQ(report.records[1].bytes, Bytes(records.begin() + 17, records.begin() + 33));
    EXPECT_TRUE(report.records[1].last);
    EXPECT_EQ(f().sessionState, SessionState::Delay);

    tick(3);
    serial(block({83})); // L = 1: one empty record, flagged last
    ASSERT_EQ(report.records.size(), 3u);
    EXPECT_TRUE(report.records[2].bytes.empty());
    EXPECT_TRUE(report.records[2].last);

    tick(3);
    serial({'R', 0, 0}); // no data at all: an empty block as well
    ASSERT_EQ(report.records.size(), 4u);
    EXPECT_TRUE(report.records[3].last);
    EXPECT_EQ(f().sessionState, SessionState::Delay);

    tick(3);
    serial(block(cat({{83}, Bytes(15, 1)}))); // shorter than one record: nothing, polling goes on
    EXPECT_EQ(report.records.size(), 4u);
    EXPECT_EQ(f().sessionState, SessionState::Delay);

    tick(3);
    serial(block(cat({{84}, Bytes(32, 1)}))); // wrong marker: discarded, still waiting
    EXPECT_EQ(report.records.size(), 4u);
    EXPECT_EQ(f().sessionState, SessionState::AwaitBlock);
}

TEST_F(SessionFixture, BlockRequestOnEveryThirdTickAfterABlock) {
    handshake(Controller{});
    host.writes.clear();
    command(5, {1, 2});
    EXPECT_EQ(lastWrite(), (Bytes{0xAA, 0x05, 0x51, 0x01, 0x01, 0x01, 0x02}));
    EXPECT_TRUE(f().logActive);
    serial({'U', 0});
    const Bytes request{0xAA, 0x04, 0x53, 0x01, 125, 0};
    for (int round = 0; round < 3; ++round) {
        host.writes.clear();
        tick(2);
        EXPECT_TRUE(host.writes.empty()) << round;
        tick();
        EXPECT_EQ(host.writes, (std::vector<Bytes>{request})) << round;
        tick(5); // no block yet: nothing more is requested
        EXPECT_EQ(host.writes.size(), 1u);
        serial(block(cat({{83}, Bytes(16, 0)})));
    }
    command(6); // StopLog ends the polling
    serial(block({83}));
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    host.writes.clear();
    tick(10);
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(SessionFixture, BlockFrameDuringHandshakeStallsItWithoutTimeOut) {
    connect(3);
    serial({'U', 5, 1, 0, 0, 0, 0});
    serial({'R', 1, 0, 83});
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    tick(100);
    EXPECT_EQ(host.closes, 0);
    EXPECT_TRUE(f().portOpen);
    EXPECT_TRUE(report.records.empty());
}

TEST_F(SessionFixture, RecordLengthAbove63CompletesButBlocksAreDiscarded) {
    Controller c;
    c.recordLength = 64;
    c.maxBlockBytes = 2048;
    handshake(c);
    EXPECT_EQ(report.statuses.back(), 3u);
    EXPECT_EQ(f().deviceInfo.blockRecords, 32u);
    command(7);
    serial(block(cat({{83}, Bytes(128, 5)})));
    EXPECT_TRUE(report.records.empty());
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    EXPECT_EQ(report.statuses.back(), 10u); // "Error: Communication error": logging does not stop silently
}

TEST_F(SessionFixture, OversizeBlockEndsThePollingWithAnError) {
    handshake(Controller{});
    command(7);
    EXPECT_EQ(f().sessionState, SessionState::AwaitBlock);
    serial({'R', 0x01, 0x08, 83, 1, 2}); // declares 2049 bytes: dropped unread
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    EXPECT_EQ(report.statuses.back(), 10u);
    EXPECT_TRUE(report.records.empty());
    const size_t statuses = report.statuses.size();
    serial({'R', 0x00, 0x09}); // outside the polling a dropped frame says nothing
    EXPECT_EQ(report.statuses.size(), statuses);
}

TEST_F(SessionFixture, ConnectAndDisconnectFailures) {
    command(3);
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{12}));
    command(7);
    command(20);
    command(2, {}); // Connect without its port byte is handed on like a command
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{12, 12, 12, 12}));
    EXPECT_TRUE(host.writes.empty());

    report.statuses.clear();
    host.openResult = false;
    connect(4);
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{1, 6}));
    EXPECT_FALSE(f().portOpen);
    EXPECT_FALSE(f().sessionActive);
    EXPECT_TRUE(host.writes.empty());

    report.statuses.clear();
    host.openResult = true;
    connect(4);
    EXPECT_EQ(host.generations.back(), 1); // a failed open does not use up a generation
    connect(0);                            // test mode on top of the open port
    EXPECT_TRUE(f().testMode);
    connect(5);
    EXPECT_EQ(report.statuses.back(), 11u);
    EXPECT_FALSE(f().testMode);
    EXPECT_TRUE(f().portOpen);
    EXPECT_EQ(host.openedPorts.size(), 2u);

    command(3);
    EXPECT_EQ(report.statuses.back(), 4u);
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(f().portOpen);
    EXPECT_FALSE(f().sessionActive);

    const size_t before = report.statuses.size();
    command(1);
    command(21);
    event({0x80, 0x07});
    EXPECT_EQ(report.statuses.size(), before);
}

TEST_F(SessionFixture, TicksAndBytesWithoutAPortChangeNothing) {
    serial({'U'}); // must not reach the parser
    tick(100);
    EXPECT_TRUE(host.writes.empty());
    connect(3);
    serial({5, 1, 0, 0, 0, 0}); // would complete a frame only if the 'U' above had been taken
    EXPECT_EQ(f().sessionState, SessionState::AwaitIdentity);
    serial({'U', 5, 1, 0, 0, 0, 0});
    EXPECT_EQ(f().sessionState, SessionState::AwaitFirmware);
}

TEST_F(SessionFixture, SerialFaultOfTheCurrentPortClosesTheSession) {
    event({0xC1, 1}); // no port open
    EXPECT_TRUE(report.statuses.empty());
    connect(3);
    report.statuses.clear();
    event({0xC1, 0}); // stale generation
    event({0xC2, 1}); // another internal event
    EXPECT_TRUE(f().portOpen);
    event({0xC1, 1});
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{10}));
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(f().portOpen);
    EXPECT_FALSE(f().sessionActive);

    connect(3);
    EXPECT_EQ(host.generations.back(), 2);
    event({0xC1, 1}); // the earlier reader's late notice
    EXPECT_TRUE(f().portOpen);
    event({0xC1, 2});
    EXPECT_FALSE(f().portOpen);
    EXPECT_EQ(host.closes, 2);
}

TEST_F(SessionFixture, GenerationWrapsAfter255Opens) {
    for (int i = 0; i < 256; ++i) {
        connect(3);
        command(3);
    }
    EXPECT_EQ(host.generations.back(), 0);
    connect(3);
    EXPECT_EQ(host.generations.back(), 1);
}

TEST_F(SessionFixture, TestModeReportsAndSurvivesDisconnect) {
    connect(0);
    EXPECT_EQ(report.calls, (std::vector<std::string>{"info", "status 5"}));
    EXPECT_TRUE(f().testMode);
    EXPECT_TRUE(f().sessionActive);
    EXPECT_FALSE(f().portOpen);
    EXPECT_TRUE(host.openedPorts.empty());
    EXPECT_EQ(report.infos[0].recordLength, 16u);
    EXPECT_EQ(report.infos[0].encoderMask, (1ULL << 25) - 1);

    command(3);
    EXPECT_EQ(report.statuses.back(), 12u);
    EXPECT_TRUE(f().testMode);
    EXPECT_EQ(host.closes, 0);

    command(7);
    ASSERT_GE(report.records.size(), 10u);
    ASSERT_LE(report.records.size(), 17u);
    EXPECT_TRUE(report.records.back().last);
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(SessionFixture, StoreParametersIsAnsweredByAnyShortFrame) {
    handshake(Controller{});
    command(4);
    EXPECT_EQ(lastWrite(), (Bytes{0xAA, 0x02, 0x0D, 0x01}));
    serial({'U', 3, 9, 9, 9});
    EXPECT_EQ(report.statuses.back(), 14u);
    EXPECT_EQ(f().sessionState, SessionState::SessionIdle);
    serial({'U', 0}); // idle: ignored
    EXPECT_EQ(report.statuses.back(), 14u);
    EXPECT_EQ(report.statuses.size(), 4u);
}

} // namespace
