#include "engine/Session.h"
#include "engine/Simulator.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

namespace {

uint32_t word(const Bytes& record, int i) {
    return record[4 * i] | record[4 * i + 1] << 8 | record[4 * i + 2] << 16 |
           static_cast<uint32_t>(record[4 * i + 3]) << 24;
}

DeviceInfo testInfo() {
    DeviceInfo info{};
    applyTestModeValues(info);
    updateDerivedEncoderFields(info);
    return info;
}

TEST(SimulatorTest, SineTableFollowsItsFormula) {
    const auto& t = Simulator::sineTable();
    EXPECT_EQ(t[0], 3);
    EXPECT_EQ(t[255], 1023);
    EXPECT_EQ(t[256], 1023);
    EXPECT_EQ(t[511], 3);
    EXPECT_EQ(t[512], -3);
    EXPECT_EQ(t[767], -1023);
    EXPECT_EQ(t[768], -1023);
    EXPECT_EQ(t[1023], -3);
    for (int i = 0; i < 512; ++i) {
        EXPECT_EQ(t[i], -t[i + 512]) << i;
        EXPECT_EQ(t[i], t[511 - i]) << i;
    }
}

TEST(SimulatorTest, RandomDrawsAreReproducible) {
    Simulator s;
    EXPECT_EQ(s.nextRandom(), 41);
    EXPECT_EQ(s.nextRandom(), 18467);
    EXPECT_EQ(s.nextRandom(), 6334);
    EXPECT_EQ(s.nextRandom(), 26500);
    for (int i = 0; i < 10000; ++i) {
        const int r = s.nextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST(SimulatorTest, FirstBatchOfAFreshEngine) {
    Simulator s;
    FakeReport report;
    const DeviceInfo info = testInfo();
    s.resetSimulator();
    s.simulateBatch(info, report);
    // First draw 41: 41 & 7 = 1, so 11 records; the noise draws are 18467, 6334, 26500 (& 31: 3, 30, 4).
    ASSERT_EQ(report.records.size(), 11u);
    EXPECT_EQ(word(report.records[0].bytes, 1), 1999985u + 3);
    EXPECT_EQ(word(report.records[1].bytes, 1), 2000013u + 30);
    EXPECT_EQ(word(report.records[2].bytes, 1), 2000040u + 4);
    for (size_t i = 0; i < report.records.size(); ++i) {
        const Bytes& r = report.records[i].bytes;
        ASSERT_EQ(r.size(), 16u);
        EXPECT_EQ(word(r, 0), i);
        EXPECT_EQ(word(r, 2), word(r, 1) + 4000);
        EXPECT_EQ(word(r, 3), 0x02000400u);
        EXPECT_EQ(report.records[i].last, i + 1 == report.records.size());
    }
}

TEST(SimulatorTest, NumberingContinuesAndResetKeepsTheSlowComponentsPhase) {
    Simulator s;
    FakeReport report;
    const DeviceInfo info = testInfo();
    s.resetSimulator();
    s.simulateBatch(info, report);
    const size_t first = report.records.size();
    s.simulateBatch(info, report);
    ASSERT_GE(report.records.size(), first + 10);
    for (size_t i = 0; i < report.records.size(); ++i) {
        EXPECT_EQ(word(report.records[i].bytes, 0), i);
    }
    // The ramp has advanced about 24.34 counts per record.
    const uint32_t lastPosition = word(report.records.back().bytes, 1);
    EXPECT_NEAR(static_cast<double>(lastPosition), 1999984.0 + 24.339 * (report.records.size() - 1) + 16,
                60.0);

    uint32_t phases[6];
    for (int k = 0; k < 6; ++k) {
        phases[k] = s.phase(k);
    }
    s.resetSimulator();
    EXPECT_EQ(s.recordIndex(), 0u);
    EXPECT_EQ(s.ramp(), 0u);
    EXPECT_EQ(s.phase(0), 0u);
    EXPECT_EQ(s.phase(1), 0u);
    for (int k = 2; k < 6; ++k) {
        EXPECT_EQ(s.phase(k), phases[k]) << k;
    }
    report.records.clear();
    s.simulateBatch(info, report);
    EXPECT_EQ(word(report.records[0].bytes, 0), 0u);
    EXPECT_NEAR(static_cast<double>(word(report.records[0].bytes, 1)), 1999984.0 + 16, 60.0);
}

TEST(SimulatorTest, PositionsWrapToTheEncoderRange) {
    Simulator s;
    FakeReport report;
    DeviceInfo info = testInfo();
    info.encoderBits = 12;
    updateDerivedEncoderFields(info);
    s.resetSimulator();
    s.simulateBatch(info, report);
    for (const auto& r : report.records) {
        EXPECT_LT(word(r.bytes, 1), 4096u);
    }
    EXPECT_EQ(word(report.records[0].bytes, 1), (1999985u + 3) & 4095u);
}

TEST(SimulatorTest, RecordLengthLeftByAHandshakeNeverReadsPastTheRecord) {
    Simulator s;
    FakeReport report;
    DeviceInfo info = testInfo();
    s.resetSimulator();
    info.recordLength = 8;
    s.simulateBatch(info, report);
    ASSERT_FALSE(report.records.empty());
    EXPECT_EQ(report.records[0].bytes.size(), 8u);
    EXPECT_EQ(word(report.records[0].bytes, 0), 0u);

    report.records.clear();
    info.recordLength = 40;
    s.simulateBatch(info, report);
    ASSERT_FALSE(report.records.empty());
    const Bytes& padded = report.records[0].bytes;
    ASSERT_EQ(padded.size(), 40u);
    EXPECT_EQ(word(padded, 3), 0x02000400u);
    EXPECT_EQ(Bytes(padded.begin() + 16, padded.end()), Bytes(24, 0));

    report.records.clear();
    info.recordLength = 64;
    s.simulateBatch(info, report);
    info.recordLength = 0;
    s.simulateBatch(info, report);
    EXPECT_TRUE(report.records.empty());
}

struct TestModeFixture : ::testing::Test {
    FakeReport report;
    FakeHost host;
    Session session{&report, &host};
    void command(uint8_t code, const Bytes& args = {}) {
        const Bytes e = commandEvent(code, args);
        session.onEngineEvent(e.data());
    }
};

TEST_F(TestModeFixture, EnteringTestModeLoadsTheFixedValuesAndStartsTheSimulatorAfresh) {
    command(2, {0});
    ASSERT_EQ(report.infos.size(), 1u);
    const DeviceInfo& d = report.infos[0];
    EXPECT_EQ(d.recordLength, 16u);
    EXPECT_EQ(d.encoderBits, 25u);
    EXPECT_EQ(d.encoderMask, (1ULL << 25) - 1);
    EXPECT_EQ(d.encoderOffset, 22000u);
    EXPECT_EQ(d.hardwareVersion, 0u);
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{5}));

    command(7);
    const size_t first = report.records.size();
    ASSERT_GE(first, 10u);
    EXPECT_EQ(word(report.records[0].bytes, 1), 1999985u + 3);
    command(7);
    EXPECT_EQ(word(report.records[first].bytes, 0), first);

    command(5, {1, 0}); // StartLog in test mode: numbering restarts, no packet
    report.records.clear();
    command(7);
    EXPECT_EQ(word(report.records[0].bytes, 0), 0u);
    EXPECT_TRUE(host.writes.empty());

    command(2, {0}); // again: same values, status 5 again
    EXPECT_EQ(report.statuses, (std::vector<uint32_t>{5, 5}));
    EXPECT_EQ(report.infos.size(), 2u);
}

} // namespace
