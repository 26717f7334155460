#include "emulator/Rz4Emulator.h"
#include "emulator/ServoModel.h"
#include "emulator/TrackingSignal.h"
#include "platform/SerialLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::uint32_t le(const Bytes& b, std::size_t at, std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width && at + i < b.size(); ++i)
        v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return v;
}

// The host's end of the line: writes packets and cuts the replies into frames.
class Host {
public:
    explicit Host(const Rz4Emulator& emulator) {
        int error = 0;
        line_ = openSerialLine(emulator.slavePath(), error);
    }
    bool opened() const { return line_ != nullptr; }

    void send(const Bytes& packet) {
        ASSERT_TRUE(line_ && line_->writeAll(packet.data(), packet.size(), 1000));
    }
    void query(std::uint8_t code) { send({0xAA, 0x01, code}); }
    void requestBlock(std::uint16_t count) {
        send({0xAA, 0x04, 83, 0x01, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)});
    }
    void startLog(std::uint8_t mode, std::uint8_t rate) { send({0xAA, 0x05, 81, 0x01, 0x01, mode, rate}); }

    // Next byte within the time left; -1 on time-out, -2 when the line is gone.
    int byte(Clock::time_point deadline) {
        while (pos_ == buf_.size()) {
            buf_.clear();
            pos_ = 0;
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return -1;
            std::uint8_t tmp[4096];
            const IoResult got = line_->readWait(tmp, sizeof tmp, never_, static_cast<int>(left));
            if (got.status == IoStatus::Broken)
                return -2;
            if (got.status == IoStatus::Data)
                buf_.assign(tmp, tmp + got.count);
        }
        return buf_[pos_++];
    }

    // The next frame from its 'U' or 'R' on (bytes before it are skipped); empty on time-out.
    Bytes frame(int timeoutMs = 2000) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Bytes f;
        int b;
        do {
            b = byte(deadline);
            if (b < 0)
                return {};
        } while (b != 'U' && b != 'R');
        f.push_back(static_cast<std::uint8_t>(b));
        std::size_t header = b == 'U' ? 2 : 3;
        while (f.size() < header) {
            if ((b = byte(deadline)) < 0)
                return {};
            f.push_back(static_cast<std::uint8_t>(b));
        }
        std::size_t length = f[0] == 'U' ? f[1] : le(f, 1, 2);
        while (f.size() < header + length) {
            if ((b = byte(deadline)) < 0)
                return {};
            f.push_back(static_cast<std::uint8_t>(b));
        }
        return f;
    }

    // All bytes until the line is gone or the time is up; gone tells which.
    Bytes drain(int timeoutMs, bool& gone) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        Bytes all;
        for (;;) {
            int b = byte(deadline);
            gone = b == -2;
            if (b < 0)
                return all;
            all.push_back(static_cast<std::uint8_t>(b));
        }
    }

private:
    std::unique_ptr<iSerialLine> line_;
    Event never_;
    Bytes buf_;
    std::size_t pos_ = 0;
};

struct Block {
    std::size_t records = 0;
    std::vector<std::int32_t> seq, pos, pos2, word3;
};

Block cutBlock(const Bytes& f, std::size_t recordLength) {
    Block b;
    if (f.size() < 4 || recordLength == 0)
        return b;
    std::size_t n = (le(f, 1, 2) - 1) / recordLength;
    b.records = n;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t at = 4 + i * recordLength;
        b.seq.push_back(static_cast<std::int32_t>(le(f, at, 4)));
        b.pos.push_back(static_cast<std::int32_t>(le(f, at + 4, 4)));
        b.pos2.push_back(static_cast<std::int32_t>(le(f, at + 8, 4)));
        b.word3.push_back(static_cast<std::int32_t>(le(f, at + 12, 4)));
    }
    return b;
}

TEST(EmulatorHandshake, RepliesCarryTheConfiguredFieldsAtTheHostsOffsets) {
    Rz4EmulatorConfig c;
    c.hardwareVersion = 0x04030201;
    c.firmwareVersion = 0x0A0B0C0D;
    c.logInfoByte = 0x5A;
    c.logInfo1 = 0x11223344;
    c.logInfo2 = 0x55667788;
    c.logInfo3 = 0x99AABBCC;
    c.maxBlockBytes = 20000;
    c.gearRatio = 172800;
    c.fullResolution = 5529600;
    c.siderealSpeed = 300;
    c.maxCurrent = 3000;
    c.motorCurrent = 1234;
    c.param128 = -7;
    c.encoderBits = 27;
    c.encoderFlags = 0xFE;
    c.encoderOffset = 0xDEADBEEF;
    c.encoderCalibAux = 24000;
    c.recordLength = 16;
    c.recordInfo = 4;
    c.recordInfo2 = 1024;
    c.pid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xFFEE};
    c.auxMode = 6;
    c.auxSkip = 0x1234;
    c.auxErrorLimit = 1000;
    c.auxAccelLimit = 4000;
    c.auxSpeedLimit = 0x01020304;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());

    host.query(1);
    Bytes f = host.frame();
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0], 'U');
    EXPECT_EQ(f[1], 5);
    EXPECT_EQ(f[2], 1);
    EXPECT_EQ(le(f, 3, 4), 0x04030201u);

    host.query(2);
    f = host.frame();
    EXPECT_EQ(le(f, 3, 4), 0x0A0B0C0Du);

    host.query(3);
    f = host.frame();
    ASSERT_GE(f.size(), 20u);
    EXPECT_EQ(f[3], 0x5A);
    EXPECT_EQ(le(f, 4, 4), 0x11223344u);
    EXPECT_EQ(le(f, 8, 4), 0x55667788u);
    EXPECT_EQ(le(f, 12, 4), 0x99AABBCCu);
    EXPECT_EQ(le(f, 16, 4), 20000u);

    host.query(20);
    f = host.frame();
    ASSERT_GE(f.size(), 17u);
    EXPECT_EQ(le(f, 5, 4), 172800u);
    EXPECT_EQ(le(f, 9, 4), 5529600u);
    EXPECT_EQ(le(f, 13, 4), 300u);

    host.query(21);
    f = host.frame();
    ASSERT_GE(f.size(), 21u);
    EXPECT_EQ(le(f, 9, 2), 3000u);
    EXPECT_EQ(le(f, 13, 2), 1234u);
    EXPECT_EQ(static_cast<std::int8_t>(f[20]), -7);

    host.query(23);
    f = host.frame();
    ASSERT_GE(f.size(), 6u);
    EXPECT_EQ(f[5], 27);

    host.query(123);
    f = host.frame();
    ASSERT_GE(f.size(), 12u);
    EXPECT_EQ(f[3], 0xFE);
    EXPECT_EQ(le(f, 4, 4), 0xDEADBEEFu);
    EXPECT_EQ(le(f, 8, 4), 24000u);

    host.query(82);
    f = host.frame();
    ASSERT_GE(f.size(), 9u);
    EXPECT_EQ(f[3], 16);
    EXPECT_EQ(f[4], 4);
    EXPECT_EQ(le(f, 5, 4), 1024u);

    host.query(84);
    f = host.frame();
    ASSERT_GE(f.size(), 23u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(le(f, 3 + 2 * i, 2), c.pid[i]) << "PID value " << i;

    host.query(86);
    f = host.frame();
    ASSERT_GE(f.size(), 21u);
    EXPECT_EQ(f[3], 6);
    EXPECT_EQ(le(f, 5, 2), 0x1234u);
    EXPECT_EQ(le(f, 9, 4), 1000u);
    EXPECT_EQ(le(f, 13, 4), 4000u);
    EXPECT_EQ(le(f, 17, 4), 0x01020304u);

    // Every reply's length byte matches what was sent, so nothing is left over on the line.
    EXPECT_TRUE(host.frame(150).empty());
    EXPECT_EQ(emu.state().handshakeRequests, 10u);
}

TEST(EmulatorCommands, AwaitedCommandsAreAcknowledgedAndSettingsTakeEffect) {
    Rz4Emulator emu;
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());

    host.send({0xAA, 0x02, 13, 0x01}); // store
    Bytes f = host.frame();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0], 'U');
    host.startLog(3, 1);
    EXPECT_EQ(host.frame().size() > 0, true);
    host.send({0xAA, 0x04, 80, 0x01, 0x01, 0x01}); // closed loop on
    EXPECT_FALSE(host.frame().empty());
    Bytes pid = {0xAA, 0x16, 85, 0x01};
    for (int i = 0; i < 10; ++i) {
        pid.push_back(static_cast<std::uint8_t>(10 + i));
        pid.push_back(0x01);
    }
    host.send(pid);
    EXPECT_FALSE(host.frame().empty());

    host.send({0xAA, 0x05, 51, 0x00, 129, 0x20, 0x03});                           // motor current 800
    host.send({0xAA, 0x04, 59, 0x00, 128, 0xF6});                                 // param128 -10
    host.send({0xAA, 0x0B, 124, 0x01, 0x01, 0x10, 0x27, 0, 0, 0xC0, 0x5D, 0, 0}); // reversed, 10000, 24000
    Bytes aux = {0xAA, 0x20, 87, 0x01, 5, 0, 9, 0, 0, 0};
    for (std::uint32_t v : {111u, 222u, 333u, 0u, 0u, 0u})
        for (int i = 0; i < 4; ++i)
            aux.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    host.send(aux);
    host.send({0xAA, 0x04, 81, 0x01, 0x01, 0x00}); // stop logging: not awaited
    ASSERT_TRUE(emu.waitForCommand(81, 1000));
    // None of the last five is answered.
    EXPECT_TRUE(host.frame(200).empty());

    Rz4ControllerState s = emu.state();
    EXPECT_EQ(s.storeCount, 1u);
    EXPECT_EQ(s.closedLoop, 1);
    EXPECT_EQ(s.pid[0], 266);
    EXPECT_EQ(s.pid[9], 275);
    EXPECT_EQ(s.motorCurrent, 800);
    EXPECT_EQ(s.param128, -10);
    EXPECT_EQ(s.encoderFlags, 1);
    EXPECT_EQ(s.encoderOffset, 10000u);
    EXPECT_EQ(s.encoderCalibAux, 24000u);
    EXPECT_EQ(s.auxMode, 5);
    EXPECT_EQ(s.auxSkip, 9);
    EXPECT_EQ(s.auxErrorLimit, 111u);
    EXPECT_EQ(s.auxSpeedLimit, 333u);
    EXPECT_EQ(s.logMode, 0);

    // The handshake then reports the new settings.
    host.query(21);
    f = host.frame();
    EXPECT_EQ(le(f, 13, 2), 800u);
    EXPECT_EQ(static_cast<std::int8_t>(f.size() > 20 ? f[20] : 0), -10);
}

TEST(EmulatorCommands, PacketLogKeepsEveryPacketAndResynchronisesAfterNoise) {
    Rz4Emulator emu;
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    // Noise, a start byte with an impossible length, then two packets back to back.
    host.send({0x00, 0x13, 0x55, 0xAA, 0x00, 0x7F, 0xAA, 0xAA, 0x01, 0x02, 0xAA, 0x02, 0x0D, 0x01});
    ASSERT_TRUE(emu.waitForCommand(13, 1000));
    auto log = emu.receivedPackets();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].bytes, (Bytes{0xAA, 0x01, 0x02}));
    EXPECT_EQ(log[1].bytes, (Bytes{0xAA, 0x02, 0x0D, 0x01}));
    EXPECT_EQ(log[1].command(), 13);
    EXPECT_FALSE(host.frame().empty()); // firmware reply
    EXPECT_FALSE(host.frame().empty()); // store acknowledgement
    emu.clearReceived();
    EXPECT_TRUE(emu.receivedPackets().empty());
}

TEST(EmulatorBlocks, BlocksHoldOnlyDueRecordsWithTrackingErrorOrAbsolutePosition) {
    Rz4EmulatorConfig c;
    c.encoderBits = 25;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    const double perArcsec = TrackingSignal::countsPerArcsec(25);

    host.startLog(3, 5); // tracking error at 128 Hz
    ASSERT_FALSE(host.frame().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    host.requestBlock(500);
    Bytes f = host.frame();
    ASSERT_GE(f.size(), 4u);
    ASSERT_EQ(f[0], 'R');
    EXPECT_EQ(f[3], 83);
    std::size_t declared = le(f, 1, 2);
    ASSERT_EQ((declared - 1) % 16, 0u);
    Block b = cutBlock(f, 16);
    EXPECT_GE(b.records, 10u);  // at least 120 ms worth
    EXPECT_LE(b.records, 127u); // bounded by the frame, not by the 500 asked for
    for (std::size_t i = 0; i < b.records; ++i) {
        EXPECT_EQ(b.seq[i], static_cast<std::int32_t>(i));
        EXPECT_LT(std::abs(b.pos[i]), 20 * perArcsec);
        EXPECT_EQ(b.pos2[i], b.pos[i] + 4000);
        EXPECT_EQ(b.word3[i], 0x02000400);
    }
    host.requestBlock(2);
    Block next = cutBlock(host.frame(), 16);
    ASSERT_LE(next.records, 2u);
    if (next.records > 0) {
        EXPECT_EQ(next.seq[0], static_cast<std::int32_t>(b.records));
    }

    // Absolute positions at a quarter hertz: one record is due at once, the next only after 4 s.
    host.startLog(1, 0);
    ASSERT_FALSE(host.frame().empty());
    host.requestBlock(100);
    b = cutBlock(host.frame(), 16);
    ASSERT_EQ(b.records, 1u);
    EXPECT_GT(b.pos[0], 1 << 22);
    EXPECT_LT(b.pos[0], 1 << 25);
    host.requestBlock(100);
    f = host.frame();
    EXPECT_EQ(f, (Bytes{'R', 1, 0, 83}));
}

TEST(EmulatorBlocks, FullSpeedWormPeriodShowsPlausiblePeriodicError) {
    Rz4EmulatorConfig c;
    c.fullSpeed = true;
    c.encoderBits = 25;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.startLog(3, 0); // one record every 4 s: 125 records span more than one 480 s worm turn
    ASSERT_FALSE(host.frame().empty());
    host.requestBlock(125);
    Block b = cutBlock(host.frame(), 16);
    ASSERT_EQ(b.records, 125u);
    auto [lo, hi] = std::minmax_element(b.pos.begin(), b.pos.end());
    double peakToPeak = (*hi - *lo) / TrackingSignal::countsPerArcsec(25);
    EXPECT_GT(peakToPeak, 4.0);
    EXPECT_LT(peakToPeak, 40.0);

    // Without the sidereal motion the absolute mode advances ~15 arc-seconds a second.
    host.startLog(1, 0);
    ASSERT_FALSE(host.frame().empty());
    host.requestBlock(2);
    b = cutBlock(host.frame(), 16);
    ASSERT_EQ(b.records, 2u);
    double step = (b.pos[1] - b.pos[0]) / TrackingSignal::countsPerArcsec(25);
    EXPECT_NEAR(step, 4 * TrackingSignal::kSiderealArcsecPerS, 5.0);
}

TEST(EmulatorBlocks, RecordLengthsFromZeroTo255KeepFramesWithin2048Bytes) {
    for (std::uint8_t length : {0, 64, 255}) {
        Rz4EmulatorConfig c;
        c.fullSpeed = true;
        c.recordLength = length;
        Rz4Emulator emu(c);
        ASSERT_TRUE(emu.start());
        Host host(emu);
        ASSERT_TRUE(host.opened());
        host.requestBlock(1000);
        Bytes f = host.frame();
        ASSERT_GE(f.size(), 4u) << int(length);
        std::size_t declared = le(f, 1, 2);
        EXPECT_LE(declared, 2048u);
        EXPECT_EQ(f.size(), declared + 3);
        std::size_t expected = length == 0 ? 1 : 1 + (2047 / length) * length;
        EXPECT_EQ(declared, expected);
    }
}

TEST(EmulatorMisbehaviour, SilenceFromAGivenHandshakeStep) {
    Rz4EmulatorConfig c;
    c.silentFromStep = 3;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.query(1);
    EXPECT_FALSE(host.frame().empty());
    host.query(2);
    EXPECT_FALSE(host.frame().empty());
    host.query(3);
    EXPECT_TRUE(host.frame(250).empty());
    host.send({0xAA, 0x02, 13, 0x01});
    EXPECT_TRUE(host.frame(150).empty());

    // The same by request code: request 20 is the fifth step of a handshake.
    Rz4EmulatorConfig byCode;
    byCode.silentFromRequest = 20;
    Rz4Emulator quiet(byCode);
    ASSERT_TRUE(quiet.start());
    Host other(quiet);
    ASSERT_TRUE(other.opened());
    for (std::uint8_t code : {1, 2, 3, 1}) {
        other.query(code);
        EXPECT_FALSE(other.frame().empty()) << int(code);
    }
    other.query(20);
    EXPECT_TRUE(other.frame(150).empty());
}

TEST(EmulatorMisbehaviour, WrongIdentityAndNoiseAroundFrames) {
    Rz4EmulatorConfig c;
    c.identityLength = 4;
    c.garbageBetweenFrames = 40;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.query(1);
    Bytes f = host.frame(); // the noise never contains a frame start, so the frame is found intact
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[1], 4);
    EXPECT_EQ(f[2], 1);
    host.query(2);
    f = host.frame();
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(le(f, 3, 4), c.firmwareVersion);

    // Noise inside a frame lengthens it on the wire by exactly that many bytes, after the 'U'.
    Rz4EmulatorConfig inside;
    inside.garbageInsideFrames = 3;
    Rz4Emulator noisy(inside);
    ASSERT_TRUE(noisy.start());
    Host other(noisy);
    ASSERT_TRUE(other.opened());
    other.query(1);
    bool gone = false;
    Bytes wire = other.drain(300, gone);
    ASSERT_EQ(wire.size(), 7u + 3);
    EXPECT_EQ(wire[0], 'U');
}

TEST(EmulatorMisbehaviour, OversizeDeclarationAndFlood) {
    Rz4EmulatorConfig c;
    c.oversizeLength = 3000;
    c.fullSpeed = true;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.requestBlock(10);
    Bytes f = host.frame();
    ASSERT_EQ(f.size(), 3003u);
    EXPECT_EQ(le(f, 1, 2), 3000u);

    Rz4EmulatorConfig fc;
    fc.flood = true;
    Rz4Emulator flood(fc);
    ASSERT_TRUE(flood.start());
    Host victim(flood);
    ASSERT_TRUE(victim.opened());
    for (int i = 0; i < 5; ++i) {
        f = victim.frame();
        ASSERT_FALSE(f.empty());
        EXPECT_EQ(f[0], 'R');
    }
    auto t0 = Clock::now();
    flood.stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1));
}

TEST(EmulatorMisbehaviour, HangUpInTheMiddleOfABlock) {
    Rz4EmulatorConfig c;
    c.fullSpeed = true;
    c.hangUpAtBlock = 2;
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.requestBlock(100);
    Bytes f = host.frame();
    ASSERT_EQ(f.size(), 3u + 1 + 100 * 16);
    host.requestBlock(100);
    bool gone = false;
    Bytes rest = host.drain(2000, gone);
    EXPECT_TRUE(gone);
    EXPECT_LT(rest.size(), f.size());
    EXPECT_TRUE(emu.hungUp());
}

TEST(EmulatorLifecycle, StopIsPromptAndTheEmulatorCanRestart) {
    Rz4Emulator emu;
    ASSERT_TRUE(emu.start());
    EXPECT_FALSE(emu.start());
    EXPECT_FALSE(emu.configure(Rz4EmulatorConfig{}));
    std::string first = emu.slavePath();
    auto t0 = Clock::now();
    emu.stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_FALSE(emu.running());
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    host.query(1);
    EXPECT_FALSE(host.frame().empty());
}

// ---- the closed loop's answer to its settings, and the encoder calibration ----

// RMS of the tracking error about its mean over one worm turn, noise left out.
double rmsOverWormTurn(const ServoResponse& response) {
    TrackingSignal::Params params;
    TrackingSignal signal(params, 25);
    signal.resetResponse(response);
    double sum = 0.0, sumSquares = 0.0;
    const int n = 960;
    for (int k = 0; k < n; ++k) {
        const double e = signal.modelArcsec(k * params.wormPeriodS / n);
        sum += e;
        sumSquares += e * e;
    }
    const double mean = sum / n;
    return std::sqrt(sumSquares / n - mean * mean);
}

TEST(EmulatorServo, ErrorFallsAsPRisesUntilTheLoopRings) {
    std::vector<double> rms;
    for (std::uint16_t p = 40; p <= 240; p += 20)
        rms.push_back(rmsOverWormTurn(ServoModel::respond(p, 40, 120, 800)));
    const auto best = std::min_element(rms.begin(), rms.end());
    // An optimum inside the range: falling before it, rising after it.
    ASSERT_NE(best, rms.begin());
    ASSERT_NE(best, rms.end() - 1);
    EXPECT_TRUE(std::is_sorted(rms.begin(), best + 1, std::greater<double>()));
    EXPECT_TRUE(std::is_sorted(best, rms.end()));
    EXPECT_GT(rms.back(), rms.front());
    // More D damps the ringing of a high P.
    EXPECT_LT(rmsOverWormTurn(ServoModel::respond(200, 40, 240, 800)),
              rmsOverWormTurn(ServoModel::respond(200, 40, 120, 800)));
    // Too little current raises the error.
    EXPECT_GT(rmsOverWormTurn(ServoModel::respond(80, 40, 120, 300)),
              rmsOverWormTurn(ServoModel::respond(80, 40, 120, 800)));
}

TEST(EmulatorServo, TheEmulatorsOwnSettingsGiveExactlyThePlainSignal) {
    TrackingSignal plain(TrackingSignal::Params{}, 25);
    TrackingSignal answered(TrackingSignal::Params{}, 25);
    answered.resetResponse(ServoModel::respond(80, 40, 120, 800));
    for (int k = 0; k < 2000; ++k) {
        const double t = k * 0.37;
        ASSERT_EQ(plain.absoluteCounts(t), answered.absoluteCounts(t)) << k;
        ASSERT_EQ(plain.errorCounts(t), answered.errorCounts(t)) << k;
    }
    // A change holds from its time on; earlier times keep the response before it.
    answered.setResponse(ServoModel::respond(0, 40, 120, 800), 100.0);
    EXPECT_EQ(answered.responseAt(99.9), ServoModel::respond(80, 40, 120, 800));
    EXPECT_EQ(answered.responseAt(100.0), ServoModel::respond(0, 40, 120, 800));
}

TEST(EmulatorServo, TheEncoderCalibrationAppliesToThePositions) {
    Rz4EmulatorConfig c;
    c.fullSpeed = true;
    c.encoderBits = 25;
    c.signal.noiseArcsec = 0.0; // every position follows from its record number
    Rz4Emulator emu(c);
    ASSERT_TRUE(emu.start());
    Host host(emu);
    ASSERT_TRUE(host.opened());
    auto positions = [&](std::uint8_t mode) {
        host.startLog(mode, 3);
        EXPECT_FALSE(host.frame().empty());
        host.requestBlock(4);
        return cutBlock(host.frame(), 16).pos;
    };
    const std::vector<std::int32_t> absolute = positions(1);
    const std::vector<std::int32_t> error = positions(3);
    ASSERT_EQ(absolute.size(), 4u);
    ASSERT_EQ(error.size(), 4u);

    // Reversed, with an offset 1000 counts above the configured one.
    const std::uint32_t offset = c.encoderOffset + 1000;
    Bytes calibration = {0xAA, 0x0B, 124, 0x01, 0x01};
    for (std::uint32_t v : {offset, c.encoderCalibAux})
        for (int i = 0; i < 4; ++i)
            calibration.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    host.send(calibration);
    ASSERT_TRUE(emu.waitForCommand(124, 1000));
    const std::vector<std::int32_t> reversed = positions(1);
    const std::vector<std::int32_t> reversedError = positions(3);
    ASSERT_EQ(reversed.size(), 4u);
    ASSERT_EQ(reversedError.size(), 4u);
    const std::uint32_t mask = (1u << 25) - 1;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::uint32_t shaft = static_cast<std::uint32_t>(absolute[k]) - c.encoderOffset;
        EXPECT_EQ(static_cast<std::uint32_t>(reversed[k]), ((0u - shaft) + offset) & mask) << k;
        EXPECT_EQ(reversedError[k], -error[k]) << k;
    }
}

} // namespace
