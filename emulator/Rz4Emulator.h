#pragma once

#include "emulator/TrackingSignal.h"
#include "platform/Event.h"
#include "platform/LoopbackLine.h"
#include "platform/PseudoTerminal.h"
#include "platform/Thread.h"
#include "rz4/Rz4Protocol.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

// The line the emulated controller sits on.
enum class Rz4Line {
    Default,        // a pseudo-terminal where the platform has them, else a loopback line
    PseudoTerminal, // the host opens the slave's device path
    Loopback,       // an in-process line the host opens by its name ("loopback:N")
};

// How the emulated controller identifies itself and behaves. Set before start().
struct Rz4EmulatorConfig {
    Rz4Line line = Rz4Line::Default;

    // Identity reply to request 1: 'U', identityLength, identityCode, then the version bytes. A
    // genuine controller answers with length 5 and code 1.
    std::uint8_t identityLength = 5;
    std::uint8_t identityCode = 1;
    std::uint32_t hardwareVersion = 0x02010000;
    std::uint32_t firmwareVersion = 0x01050300;

    // Link information (request 3).
    std::uint8_t logInfoByte = 7;
    std::uint32_t logInfo1 = 0x11111111;
    std::uint32_t logInfo2 = 0x22222222;
    std::uint32_t logInfo3 = 0x33333333;
    std::uint32_t maxBlockBytes = 2000;

    // Drive (request 20), currents (request 21), encoder (requests 23 and 123).
    std::uint32_t gearRatio = 172800;
    std::uint32_t fullResolution = 5529600;
    std::uint32_t siderealSpeed = 300;
    std::uint16_t maxCurrent = 2500;
    std::uint16_t motorCurrent = 800;
    std::int8_t param128 = -3;
    std::uint8_t encoderBits = 25;
    std::uint8_t encoderFlags = 0;
    std::uint32_t encoderOffset = 22000;
    std::uint32_t encoderCalibAux = 24000;

    // Record format (request 82).
    std::uint8_t recordLength = 16;
    std::uint8_t recordInfo = 4;
    std::uint32_t recordInfo2 = 1024;

    // Closed-loop parameters (requests 84 and 86).
    std::array<std::uint16_t, 10> pid = {80, 40, 120, 80, 40, 120, 20, 30, 0, 0};
    std::uint8_t auxMode = 1;
    std::uint16_t auxSkip = 4;
    std::uint32_t auxErrorLimit = 1000;
    std::uint32_t auxAccelLimit = 4000;
    std::uint32_t auxSpeedLimit = 20000;

    TrackingSignal::Params signal;

    // Every block request gets the full requested count (bounded by the frame size), however little
    // time has passed: for soak tests and benchmarks.
    bool fullSpeed = false;
    // Records not fetched pile up to this many; older ones are dropped (their numbers are skipped).
    std::uint32_t backlogLimit = 8192;

    // Misbehaviour.
    int silentFromStep = 0;       // 1-based count of handshake requests: from that one on, answer nothing
    int silentFromRequest = 0;    // request code: from the first such handshake request on, answer nothing
    int garbageBetweenFrames = 0; // up to this many noise bytes before every frame
    bool garbageAnyBytes = false; // noise may contain 'U' and 'R' (else it never looks like a frame start)
    int garbageInsideFrames = 0;  // this many noise bytes inserted at a random place inside every frame
    std::uint32_t oversizeLength = 0; // above 2048: block replies declare (and send) this many data bytes
    int hangUpAtBlock = 0; // 1-based: the reply to that block request is cut off and the line closed
    bool flood = false;    // send block frames unasked, as fast as the line takes them

    // A controller that does not take packets with this command number (e.g. 51, the 16-bit parameter
    // write): they are logged and then ignored, without effect and without an answer. 0: none.
    std::uint8_t ignoredCommand = 0;

    std::uint32_t randomSeed = 4242;
};

// One packet the emulator received from the host, whole: 0xAA, length, command, fields.
struct Rz4ReceivedPacket {
    std::vector<std::uint8_t> bytes;
    std::uint8_t command() const { return bytes.size() > 2 ? bytes[2] : 0; }
    std::uint8_t length() const { return bytes.size() > 1 ? bytes[1] : 0; }
};

// The emulated controller's settings and counters as changed by the host's commands.
struct Rz4ControllerState {
    std::uint16_t motorCurrent = 0;
    std::int8_t param128 = 0;
    std::uint8_t encoderFlags = 0;
    std::uint32_t encoderOffset = 0;
    std::uint32_t encoderCalibAux = 0;
    std::array<std::uint16_t, 10> pid{};
    std::uint8_t auxMode = 0;
    std::uint16_t auxSkip = 0;
    std::uint32_t auxErrorLimit = 0;
    std::uint32_t auxAccelLimit = 0;
    std::uint32_t auxSpeedLimit = 0;
    std::uint8_t closedLoop = 0;
    std::uint8_t logMode = 0; // 0 stopped; bit 1 set: tracking error, else absolute position
    std::uint8_t logRate = 0; // index: 1/4, 1, 4, 16, 64, 128 Hz
    std::uint32_t storeCount = 0;
    std::uint32_t handshakeRequests = 0;
    std::uint32_t blocksSent = 0;
    std::uint64_t recordsSent = 0;
};

// An RZ4 controller on the master side of a pseudo-terminal or on the device end of an in-process
// loopback line: the host opens slavePath() like a serial port. The controller's state is owned by the
// emulator's own thread; the received-packet log and the published state copy are guarded by a mutex.
class Rz4Emulator {
public:
    explicit Rz4Emulator(const Rz4EmulatorConfig& config = {});
    ~Rz4Emulator();
    Rz4Emulator(const Rz4Emulator&) = delete;
    Rz4Emulator& operator=(const Rz4Emulator&) = delete;

    // Replaces the configuration; refused (false) while running.
    bool configure(const Rz4EmulatorConfig& config);
    const Rz4EmulatorConfig& config() const { return config_; }

    // Creates the line (a raw pseudo-terminal or a loopback line) and starts the emulator thread.
    // False when either fails or it already runs.
    bool start();
    // Ends the thread promptly and closes the line. Harmless when not running.
    void stop();
    bool running() const { return thread_.running(); }
    // What the host opens: the pseudo-terminal's device path (e.g. /dev/pts/7) or the loopback line's
    // name (e.g. loopback:1); empty before start().
    const std::string& slavePath() const { return slavePath_; }
    // True once the emulator has closed the line on purpose (hangUpAtBlock).
    bool hungUp() const { return hungUp_.load(); }

    // Every packet received since start() or the last clearReceived(), oldest first.
    std::vector<Rz4ReceivedPacket> receivedPackets() const;
    void clearReceived();
    // Waits until a packet with this command number is in the log. False on time-out.
    bool waitForCommand(std::uint8_t command, int timeoutMs) const;
    // A copy of the controller's state as of the last packet handled.
    Rz4ControllerState state() const;

private:
    static constexpr std::size_t kMaxPacket = rz4::kMaxPacketBytes;
    static constexpr std::size_t kLogLimit = 100000;

    void run();
    bool openLine();
    void closeLine();
    void onBytes(const std::uint8_t* data, std::size_t count);
    void onPacket(const std::uint8_t* packet, std::size_t size);
    void handleHandshake(std::uint8_t code);
    void handleCommand(const std::uint8_t* payload, std::size_t length);
    void answerBlock(std::uint16_t requested);
    void queueFloodBlock();
    std::size_t buildBlock(std::uint32_t records, std::uint32_t declared);
    void fillRecord(std::uint8_t* out, std::uint64_t index);
    // The closed loop's response to the current PID and motor current, from now on.
    void updateServo();
    // An absolute reading with the current encoder calibration applied.
    std::uint32_t calibrated(std::uint32_t raw) const;
    void queueShort(const std::uint8_t* payload, std::size_t length);
    void queueFrame(std::size_t size);
    void queueNoise(int maxCount);
    bool flushOutput();
    void publishState();
    double recordRateHz() const;

    Rz4EmulatorConfig config_;
    std::string slavePath_;
    PseudoTerminal pty_; // its slave end stays open: no hang-up while no host has the line
    std::shared_ptr<LoopbackLine> loopback_;
    iSerialLine* line_ = nullptr; // the emulator's end of whichever line is open
    Thread thread_;
    Event stopEvent_{Event::Reset::Manual, false};
    std::atomic<bool> hungUp_{false};

    // Owned by the emulator thread while it runs.
    Rz4ControllerState ctl_;
    TrackingSignal signal_{TrackingSignal::Params{}, 25};
    std::mt19937 rng_;
    std::array<std::uint8_t, kMaxPacket> packet_{};
    std::size_t packetStored_ = 0;
    std::chrono::steady_clock::time_point lastByte_{};
    bool silent_ = false;
    bool hangUpPending_ = false;
    std::uint32_t blockRequests_ = 0;
    std::chrono::steady_clock::time_point logStart_{};
    std::uint64_t nextRecord_ = 0;    // index of the next record to send since logging started
    std::vector<std::uint8_t> frame_; // one frame being built
    std::vector<std::uint8_t> out_;   // bytes waiting for the line: out_[outHead_, outTail_)
    std::size_t outHead_ = 0;
    std::size_t outTail_ = 0;

    // Shared with other threads.
    mutable std::mutex lock_;
    mutable std::condition_variable logChanged_;
    std::vector<Rz4ReceivedPacket> log_;
    Rz4ControllerState published_;
};
