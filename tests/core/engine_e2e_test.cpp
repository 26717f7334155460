// The whole engine against the controller emulator over a real pseudo-terminal: connect, handshake,
// device record in the model, logging into the sample store, control commands, disconnect.

#include "tests/core/EngineRig.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace rig;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> packetsOf(const Rz4Emulator& emulator) {
    std::vector<Bytes> all;
    for (const Rz4ReceivedPacket& p : emulator.receivedPackets())
        all.push_back(p.bytes);
    return all;
}

int countCommand(const std::vector<Bytes>& packets, uint8_t command, std::size_t from = 0) {
    int n = 0;
    for (std::size_t i = from; i < packets.size(); ++i)
        n += packets[i].size() > 2 && packets[i][2] == command ? 1 : 0;
    return n;
}

} // namespace

TIMED_TEST(EngineEndToEnd, ConnectLogStopAndDisconnectOverAPseudoTerminal) {
    Rz4EmulatorConfig config;
    auto emulator = startEmulator(config);
    EngineRig rig;
    rig.startHeartbeat();
    const int baseThreads = threadCount();

    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000)) << "last status " << rig.lastStatus();
    EXPECT_EQ(rig.statuses(), (std::vector<uint32_t>{StatusOpeningPort, StatusConnecting, StatusConnected}));

    // The handshake asked the eleven questions in order, and the record reached the model whole.
    const std::vector<Bytes> handshake = packetsOf(*emulator);
    const uint8_t order[] = {1, 2, 3, 1, 20, 21, 23, 123, 82, 84, 86};
    ASSERT_EQ(handshake.size(), std::size(order));
    for (std::size_t i = 0; i < std::size(order); ++i)
        EXPECT_EQ(handshake[i], (Bytes{0xAA, 0x01, order[i]})) << i;

    const AppModel& model = rig.model();
    const DeviceInfo& info = model.deviceInfo;
    EXPECT_EQ(info.hardwareVersion, config.hardwareVersion);
    EXPECT_EQ(info.firmwareVersion, config.firmwareVersion);
    EXPECT_EQ(info.logInfoByte, config.logInfoByte);
    EXPECT_EQ(info.maxBlockBytes, config.maxBlockBytes);
    EXPECT_EQ(info.gearRatio, config.gearRatio);
    EXPECT_EQ(info.fullResolution, config.fullResolution);
    EXPECT_EQ(info.siderealSpeed, config.siderealSpeed);
    EXPECT_EQ(info.maxCurrent, config.maxCurrent);
    EXPECT_EQ(info.motorCurrent, config.motorCurrent);
    EXPECT_EQ(info.param128, config.param128);
    EXPECT_EQ(info.encoderBits, 25u);
    EXPECT_EQ(info.encoderResolution, uint64_t{1} << 25);
    EXPECT_EQ(info.encoderMask, (uint64_t{1} << 25) - 1);
    EXPECT_EQ(info.encoderOffset, config.encoderOffset);
    EXPECT_EQ(info.encoderCalibAux, config.encoderCalibAux);
    EXPECT_EQ(info.recordLength, 16u);
    EXPECT_EQ(info.recordInfo, config.recordInfo);
    EXPECT_EQ(info.recordInfo2, config.recordInfo2);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(info.pidParameters[i], config.pid[i]) << i;
    EXPECT_EQ(info.auxMode, config.auxMode);
    EXPECT_EQ(info.auxSkip, config.auxSkip);
    EXPECT_EQ(info.auxSpeedLimit, config.auxSpeedLimit);
    EXPECT_EQ(info.blockRecords, 125u); // 2000 bytes / 16
    EXPECT_EQ(model.recordLength, 16u);
    EXPECT_EQ(model.rawCapacity, AppModel::kRawBytes / 16);
    EXPECT_EQ(model.closedLoopSettings.pGain, config.pid[0]);
    EXPECT_EQ(model.closedLoopSettings.dSamples, config.pid[7]);
    EXPECT_EQ(model.closedLoopSettings.auxErrorLimit, config.auxErrorLimit);
    EXPECT_EQ(rig.encoderBits(), 25u);

    // Logging at 128 Hz with the real heartbeat: a block every third tick.
    emulator->clearReceived();
    rig.engine().StartLog(3, 5);
    ASSERT_TRUE(rig.pumpUntil([&] { return model.rawCount >= 200; }, 15000)) << model.rawCount;
    rig.engine().StopLog();
    ASSERT_TRUE(waitUntil([&] { return emulator->state().logMode == 0; }, 5000));
    rig.pumpFor(1000); // a block already on its way is discarded; nothing more is asked for

    const std::vector<Bytes> logging = packetsOf(*emulator);
    ASSERT_GE(logging.size(), 3u);
    EXPECT_EQ(logging.front(), (Bytes{0xAA, 0x05, 81, 0x01, 0x01, 3, 5}));
    EXPECT_EQ(logging[1], (Bytes{0xAA, 0x04, 83, 0x01, 125, 0}));
    EXPECT_EQ(logging.back(), (Bytes{0xAA, 0x04, 81, 0x01, 0x01, 0x00}));
    EXPECT_GE(countCommand(logging, 83), 2);

    // Every record arrived once, in order, and each one's position became a sample.
    const uint32_t stored = model.rawCount;
    const Rz4ControllerState controller = emulator->state();
    EXPECT_EQ(firstBreak(model, 0), stored);
    EXPECT_LE(stored, controller.recordsSent);
    EXPECT_LE(controller.recordsSent - stored, 125u); // at most the one block cut off by the stop
    ASSERT_EQ(model.sampleCount, stored);
    for (uint32_t i = 0; i < stored; ++i)
        ASSERT_EQ(model.samples[i], static_cast<int32_t>(recordWord(model, i, 1))) << i;
    EXPECT_GT(rig.newDataCalls(), 0u);

    // At rest while connected, with the heartbeat running: no spinning.
    expectIdle("while connected and not logging");

    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusConnectionClosed, 10000));
    EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return threadCount() == baseThreads; }, 5000)) << threadCount();

    // The same controller connects again.
    rig.connect(*emulator);
    EXPECT_TRUE(rig.waitStatus(StatusConnected, 10000)) << "last status " << rig.lastStatus();
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatus(StatusConnectionClosed, 10000));
}

TEST(EngineEndToEnd, ControlCommandsChangeTheControllerAndTheNextHandshakeReadsThemBack) {
    auto emulator = startEmulator();
    EngineRig rig;
    rig.startHeartbeat();
    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000));

    rig.engine().StoreParameters();
    EXPECT_TRUE(rig.waitStatus(StatusParametersStored, 5000));
    EXPECT_EQ(emulator->state().storeCount, 1u);

    rig.engine().SetEncoderCalibration(1, 123456);
    rig.engine().WriteParam16(129, 900);
    rig.engine().WriteParam8(128, 5);
    ASSERT_TRUE(waitUntil(
        [&] {
            Rz4ControllerState s = emulator->state();
            return s.encoderOffset == 123456 && s.motorCurrent == 900 && s.param128 == 5;
        },
        5000));
    EXPECT_EQ(emulator->state().encoderFlags & 1, 1);
    EXPECT_EQ(emulator->state().encoderCalibAux, 24000u); // sent back unchanged

    // ClosedLoop while logging is held back until a block has arrived, and the polling goes on after it.
    rig.engine().StartLog(1, 5);
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.model().rawCount > 0; }, 10000));
    emulator->clearReceived();
    rig.engine().ClosedLoop(1);
    // Held back: the command goes out after a block, and the polling goes on after its reply (two
    // more block requests mean a block was taken after the command).
    auto requestsAfterCommand = [&] {
        const std::vector<Bytes> packets = packetsOf(*emulator);
        std::size_t at = 0;
        while (at < packets.size() && packets[at][2] != 80)
            ++at;
        return at < packets.size() ? countCommand(packets, 83, at) : -1;
    };
    ASSERT_TRUE(rig.pumpUntil([&] { return requestsAfterCommand() >= 2; }, 10000)) << requestsAfterCommand();
    EXPECT_EQ(emulator->state().closedLoop, 1);
    const std::vector<Bytes> packets = packetsOf(*emulator);
    std::size_t at = 0;
    while (at < packets.size() && packets[at][2] != 80)
        ++at;
    ASSERT_LT(at + 1, packets.size());
    EXPECT_EQ(packets[at], (Bytes{0xAA, 0x04, 80, 0x01, 0x01, 0x01}));
    EXPECT_EQ(packets[at + 1][2], 83);
    rig.engine().StopLog();
    rig.pumpFor(300);
    EXPECT_EQ(firstBreak(rig.model(), 0), rig.model().rawCount);

    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusConnectionClosed, 10000));
    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000));
    EXPECT_EQ(rig.model().deviceInfo.encoderOffset, 123456u);
    EXPECT_EQ(rig.model().deviceInfo.encoderFlags & 1, 1);
    EXPECT_EQ(rig.model().deviceInfo.motorCurrent, 900);
    EXPECT_EQ(rig.model().deviceInfo.param128, 5);
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatus(StatusConnectionClosed, 10000));
}

TEST(EngineEndToEnd, ConnectionErrorsAndTestModeLeaveTheEngineUsable) {
    auto emulator = startEmulator();
    EngineRig rig;

    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusNotConnectedYet, 5000));
    rig.engine().StartLog(1, 2);
    rig.pumpFor(100);
    EXPECT_EQ(rig.statuses(), (std::vector<uint32_t>{StatusNotConnectedYet, StatusNotConnectedYet}));

    ASSERT_TRUE(rig.engine().setPortPath(7, "/dev/astrelvo-no-such-port"));
    rig.engine().Connect(7);
    ASSERT_TRUE(rig.waitStatus(StatusCannotOpenPort, 5000));
    rig.engine().Connect(9); // a number without a device
    rig.pumpFor(200);
    EXPECT_EQ(rig.lastStatus(), StatusCannotOpenPort);

    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000));
    rig.engine().Connect(1);
    ASSERT_TRUE(rig.waitStatus(StatusAlreadyConnected, 5000));
    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusConnectionClosed, 5000));

    // The simulator and back to the controller.
    rig.engine().Connect(0);
    ASSERT_TRUE(rig.waitStatus(StatusTestMode, 5000));
    rig.engine().Disconnect();
    ASSERT_TRUE(rig.waitStatus(StatusNotConnectedYet, 5000));
    rig.connect(*emulator);
    ASSERT_TRUE(rig.waitStatus(StatusConnected, 10000));
    EXPECT_EQ(rig.model().deviceInfo.hardwareVersion, emulator->config().hardwareVersion);
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatus(StatusConnectionClosed, 5000));
    EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
}
