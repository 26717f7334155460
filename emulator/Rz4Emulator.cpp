#include "emulator/Rz4Emulator.h"

#include "rz4/LittleEndian.h"
#include "rz4/Rz4Protocol.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

namespace reply = rz4::reply;

constexpr std::uint8_t kShortFrame = rz4::kShortFrame;
constexpr std::uint8_t kBlockFrame = rz4::kBlockFrame;
constexpr std::size_t kMaxBlockData = rz4::kMaxBlockData;
constexpr std::size_t kMaxDeclared = 65535;
constexpr int kMaxNoise = 1024;
// A packet whose bytes stop for this long is abandoned, so a cut-off packet cannot swallow the next.
constexpr auto kPacketGap = std::chrono::milliseconds(200);

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool isHandshakeQuery(std::uint8_t code) {
    switch (code) {
    case rz4::QueryIdentity:
    case rz4::QueryFirmware:
    case rz4::QueryLinkInfo:
    case rz4::QueryDriveInfo:
    case rz4::QueryCurrentInfo:
    case rz4::QueryEncoderBits:
    case rz4::QueryRecordFormat:
    case rz4::QueryPid:
    case rz4::QueryAux:
    case rz4::QueryEncoderConfig:
        return true;
    default:
        return false;
    }
}

// A short reply under construction, addressed by frame offsets (the frame marker is byte 0, the length
// byte 1).
class ShortReply {
public:
    explicit ShortReply(std::uint8_t code) { put8(2, code); }
    void put8(std::size_t offset, std::uint32_t v) {
        if (offset < bytes_.size()) {
            bytes_[offset] = static_cast<std::uint8_t>(v);
            end_ = std::max(end_, offset + 1);
        }
    }
    void put(std::size_t offset, std::uint32_t v, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            put8(offset + i, v >> (8 * i));
    }
    // Extends the payload with zeros up to this frame offset (exclusive).
    void padTo(std::size_t end) { end_ = std::max(end_, std::min(end, bytes_.size())); }
    const std::uint8_t* payload() const { return bytes_.data() + 2; }
    std::size_t payloadLength() const { return end_ - 2; }

private:
    std::array<std::uint8_t, 257> bytes_{};
    std::size_t end_ = 2;
};

} // namespace

Rz4Emulator::Rz4Emulator(const Rz4EmulatorConfig& config) : config_(config) {}

Rz4Emulator::~Rz4Emulator() {
    stop();
}

bool Rz4Emulator::configure(const Rz4EmulatorConfig& config) {
    if (thread_.running())
        return false;
    config_ = config;
    return true;
}

bool Rz4Emulator::start() {
    if (thread_.running())
        return false;
    stop();
    stopEvent_.reset();
    hungUp_ = false;

    ctl_ = Rz4ControllerState{};
    ctl_.motorCurrent = config_.motorCurrent;
    ctl_.param128 = config_.param128;
    ctl_.encoderFlags = config_.encoderFlags;
    ctl_.encoderOffset = config_.encoderOffset;
    ctl_.encoderCalibAux = config_.encoderCalibAux;
    ctl_.pid = config_.pid;
    ctl_.auxMode = config_.auxMode;
    ctl_.auxSkip = config_.auxSkip;
    ctl_.auxErrorLimit = config_.auxErrorLimit;
    ctl_.auxAccelLimit = config_.auxAccelLimit;
    ctl_.auxSpeedLimit = config_.auxSpeedLimit;
    signal_ = TrackingSignal(config_.signal, config_.encoderBits);
    signal_.resetResponse(ServoModel::respond(ctl_.pid[0], ctl_.pid[1], ctl_.pid[2], ctl_.motorCurrent));
    rng_.seed(config_.randomSeed);
    packetStored_ = 0;
    silent_ = false;
    hangUpPending_ = false;
    blockRequests_ = 0;
    logStart_ = Clock::now();
    nextRecord_ = 0;
    frame_.assign(3 + kMaxDeclared + kMaxNoise + 16, 0);
    out_.assign(2 * frame_.size() + 4096, 0);
    outHead_ = outTail_ = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        log_.clear();
        published_ = ctl_;
    }

    if (!openLine())
        return false;
    if (!thread_.start([this] { run(); })) {
        closeLine();
        return false;
    }
    return true;
}

void Rz4Emulator::stop() {
    stopEvent_.set();
    thread_.join(-1);
    closeLine();
}

bool Rz4Emulator::openLine() {
    const bool pty = config_.line == Rz4Line::PseudoTerminal ||
                     (config_.line == Rz4Line::Default && PseudoTerminal::supported());
    if (pty) {
        if (!pty_.open(true) || pty_.masterLine() == nullptr) {
            pty_.close();
            return false;
        }
        line_ = pty_.masterLine();
        slavePath_ = pty_.slavePath();
        return true;
    }
    loopback_ = std::make_shared<LoopbackLine>();
    slavePath_ = LoopbackLine::publish(loopback_);
    line_ = &loopback_->deviceEnd();
    return true;
}

void Rz4Emulator::closeLine() {
    line_ = nullptr;
    if (loopback_) {
        LoopbackLine::withdraw(slavePath_);
        loopback_->hangUp();
        loopback_.reset();
    }
    pty_.close();
}

void Rz4Emulator::run() {
    std::array<std::uint8_t, 512> in{};
    for (;;) {
        if (config_.flood && !silent_ && !hangUpPending_ && outHead_ == outTail_)
            queueFloodBlock();
        flushOutput();
        if (hangUpPending_ && outHead_ == outTail_) {
            // The flag goes first, so whoever sees the line drop also sees it.
            hungUp_ = true;
            closeLine();
            return;
        }
        const IoResult got = line_->readWait(in.data(), in.size(), stopEvent_, 100, outHead_ != outTail_);
        if (got.status == IoStatus::Stopped || stopEvent_.isSet())
            return;
        if (got.status == IoStatus::Data)
            onBytes(in.data(), static_cast<std::size_t>(got.count));
        else if (got.status == IoStatus::Broken && stopEvent_.wait(10) == WaitResult::Object0)
            return; // the line is in a state that reports no data; do not spin on it
    }
}

void Rz4Emulator::onBytes(const std::uint8_t* data, std::size_t count) {
    auto now = Clock::now();
    if (packetStored_ > 0 && now - lastByte_ > kPacketGap)
        packetStored_ = 0;
    lastByte_ = now;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t b = data[i];
        if (packetStored_ == 0) {
            if (b == rz4::kPacketStart)
                packet_[packetStored_++] = b;
        } else if (packetStored_ == 1) {
            if (b == 0 || b > kMaxPacket - 2) {
                // Not a length: resynchronise, and take a start byte as a new packet.
                packetStored_ = 0;
                if (b == rz4::kPacketStart)
                    packet_[packetStored_++] = b;
            } else {
                packet_[packetStored_++] = b;
            }
        } else {
            packet_[packetStored_++] = b;
            if (packetStored_ == static_cast<std::size_t>(packet_[1]) + 2) {
                onPacket(packet_.data(), packetStored_);
                packetStored_ = 0;
            }
        }
    }
}

void Rz4Emulator::onPacket(const std::uint8_t* packet, std::size_t size) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (log_.size() >= kLogLimit)
            log_.erase(log_.begin(), log_.begin() + static_cast<std::ptrdiff_t>(kLogLimit / 2));
        log_.push_back(Rz4ReceivedPacket{std::vector<std::uint8_t>(packet, packet + size)});
    }
    logChanged_.notify_all();

    const std::uint8_t* payload = packet + 2;
    std::size_t length = size - 2;
    if (length == 1 && isHandshakeQuery(payload[0]))
        handleHandshake(payload[0]);
    else
        handleCommand(payload, length);
    publishState();
}

void Rz4Emulator::handleHandshake(std::uint8_t code) {
    ++ctl_.handshakeRequests;
    if (config_.silentFromStep > 0 &&
        ctl_.handshakeRequests >= static_cast<std::uint32_t>(config_.silentFromStep))
        silent_ = true;
    if (config_.silentFromRequest > 0 && code == config_.silentFromRequest)
        silent_ = true;
    if (silent_)
        return;

    ShortReply r(code);
    switch (code) {
    case rz4::QueryIdentity:
        r.put8(reply::kIdentityCode, config_.identityCode);
        r.put(reply::kHardwareVersion, config_.hardwareVersion, 4);
        // The length byte is what the host checks; the payload follows it, cut or padded.
        r.padTo(static_cast<std::size_t>(config_.identityLength) + 2);
        queueShort(r.payload(), config_.identityLength);
        return;
    case rz4::QueryFirmware:
        r.put(reply::kFirmwareVersion, config_.firmwareVersion, 4);
        break;
    case rz4::QueryLinkInfo:
        r.put8(reply::kLogInfoByte, config_.logInfoByte);
        r.put(reply::kLogInfo1, config_.logInfo1, 4);
        r.put(reply::kLogInfo2, config_.logInfo2, 4);
        r.put(reply::kLogInfo3, config_.logInfo3, 4);
        r.put(reply::kMaxBlockBytes, config_.maxBlockBytes, 4);
        break;
    case rz4::QueryDriveInfo:
        r.put(reply::kGearRatio, config_.gearRatio, 4);
        r.put(reply::kFullResolution, config_.fullResolution, 4);
        r.put(reply::kSiderealSpeed, config_.siderealSpeed, 4);
        break;
    case rz4::QueryCurrentInfo:
        r.put(reply::kMaxCurrent, config_.maxCurrent, 2);
        r.put(reply::kMotorCurrent, ctl_.motorCurrent, 2);
        r.put8(reply::kParam128, static_cast<std::uint8_t>(ctl_.param128));
        break;
    case rz4::QueryEncoderBits:
        r.put8(reply::kEncoderBits, config_.encoderBits);
        r.padTo(8);
        break;
    case rz4::QueryEncoderConfig:
        r.put8(reply::kEncoderFlags, ctl_.encoderFlags);
        r.put(reply::kEncoderOffset, ctl_.encoderOffset, 4);
        r.put(reply::kEncoderCalibAux, ctl_.encoderCalibAux, 4);
        break;
    case rz4::QueryRecordFormat:
        r.put8(reply::kRecordLength, config_.recordLength);
        r.put8(reply::kRecordInfo, config_.recordInfo);
        r.put(reply::kRecordInfo2, config_.recordInfo2, 4);
        break;
    case rz4::QueryPid:
        for (std::size_t i = 0; i < ctl_.pid.size(); ++i)
            r.put(reply::kPidValues + 2 * i, ctl_.pid[i], 2);
        break;
    case rz4::QueryAux:
        r.put8(reply::kAuxMode, ctl_.auxMode);
        r.put(reply::kAuxSkip, ctl_.auxSkip, 2);
        r.put(reply::kAuxErrorLimit, ctl_.auxErrorLimit, 4);
        r.put(reply::kAuxAccelLimit, ctl_.auxAccelLimit, 4);
        r.put(reply::kAuxSpeedLimit, ctl_.auxSpeedLimit, 4);
        break;
    default:
        return;
    }
    queueShort(r.payload(), r.payloadLength());
}

void Rz4Emulator::handleCommand(const std::uint8_t* payload, std::size_t length) {
    std::uint8_t code = payload[0];
    if (config_.ignoredCommand != 0 && code == config_.ignoredCommand)
        return;
    bool ack = false;
    switch (code) {
    case rz4::CommandStoreSettings:
        ++ctl_.storeCount;
        ack = true;
        break;
    case rz4::CommandWriteParam16: // 0, index, value
        if (length >= 5 && payload[2] == rz4::kParamMotorCurrent) {
            ctl_.motorCurrent = get16(payload + 3);
            updateServo();
        }
        break;
    case rz4::CommandWriteParam8: // 0, index, value
        if (length >= 4 && payload[2] == rz4::kParam128)
            ctl_.param128 = static_cast<std::int8_t>(payload[3]);
        break;
    case rz4::CommandClosedLoop: // 1, 1, on/off
        if (length >= 4) {
            ctl_.closedLoop = payload[3];
            ack = true;
        }
        break;
    case rz4::CommandLog: // 1, 1, mode[, rate]
        if (length >= 4) {
            ctl_.logMode = payload[3];
            if (length >= 5)
                ctl_.logRate = payload[4];
            if (ctl_.logMode != 0) {
                logStart_ = Clock::now();
                nextRecord_ = 0;
                signal_.resetResponse(
                    ServoModel::respond(ctl_.pid[0], ctl_.pid[1], ctl_.pid[2], ctl_.motorCurrent));
                ack = true;
            }
        }
        break;
    case rz4::CommandBlockRequest: // 1, record count
        if (length >= 4)
            answerBlock(get16(payload + 2));
        break;
    case rz4::CommandPid: // 1, ten 16-bit values
        if (length >= 22) {
            for (std::size_t i = 0; i < ctl_.pid.size(); ++i)
                ctl_.pid[i] = get16(payload + 2 + 2 * i);
            updateServo();
            ack = true;
        }
        break;
    case rz4::CommandAux: // 1, mode, byte, skip, word, six 32-bit values
        if (length >= 20) {
            ctl_.auxMode = payload[2];
            ctl_.auxSkip = get16(payload + 4);
            ctl_.auxErrorLimit = get32(payload + 8);
            ctl_.auxAccelLimit = get32(payload + 12);
            ctl_.auxSpeedLimit = get32(payload + 16);
        }
        break;
    case rz4::CommandEncoderCalibration: // 1, flags, offset, third value
        if (length >= 11) {
            ctl_.encoderFlags = payload[2];
            ctl_.encoderOffset = get32(payload + 3);
            ctl_.encoderCalibAux = get32(payload + 7);
        }
        break;
    default:
        break;
    }
    if (ack && !silent_)
        queueShort(&code, 1);
}

double Rz4Emulator::recordRateHz() const {
    const int n = rz4::kLogRateCount;
    return rz4::kLogRatesHz[ctl_.logRate < n ? ctl_.logRate : n - 1];
}

void Rz4Emulator::answerBlock(std::uint16_t requested) {
    ++blockRequests_;
    if (silent_)
        return;
    std::uint32_t recordLength = config_.recordLength;
    std::uint32_t fit = recordLength > 0 ? static_cast<std::uint32_t>((kMaxBlockData - 1) / recordLength) : 0;
    std::uint32_t count = std::min<std::uint32_t>(requested, fit);
    if (!config_.fullSpeed) {
        if (ctl_.logMode == 0) {
            count = 0;
        } else {
            double elapsed = std::chrono::duration<double>(Clock::now() - logStart_).count();
            // The first record is taken the moment logging starts.
            auto due = static_cast<std::uint64_t>(std::floor(elapsed * recordRateHz())) + 1;
            if (due > nextRecord_ + config_.backlogLimit)
                nextRecord_ = due - config_.backlogLimit; // the controller's buffer overflowed
            count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(count, due - std::min(due, nextRecord_)));
        }
    }
    std::uint32_t declared = 1 + count * recordLength;
    if (config_.oversizeLength > kMaxBlockData)
        declared = static_cast<std::uint32_t>(std::min<std::size_t>(config_.oversizeLength, kMaxDeclared));
    std::size_t size = buildBlock(count, declared);
    ++ctl_.blocksSent;
    ctl_.recordsSent += count;

    if (config_.hangUpAtBlock > 0 && blockRequests_ == static_cast<std::uint32_t>(config_.hangUpAtBlock)) {
        // Send the first half of the frame, then drop the line.
        std::size_t part = std::max<std::size_t>(1, size / 2);
        if (outTail_ + part <= out_.size()) {
            std::memcpy(out_.data() + outTail_, frame_.data(), part);
            outTail_ += part;
        }
        hangUpPending_ = true;
        return;
    }
    queueFrame(size);
}

void Rz4Emulator::queueFloodBlock() {
    std::uint32_t recordLength = config_.recordLength;
    std::uint32_t count =
        recordLength > 0 ? static_cast<std::uint32_t>((kMaxBlockData - 1) / recordLength) : 0;
    std::size_t size = buildBlock(count, 1 + count * recordLength);
    ++ctl_.blocksSent;
    ctl_.recordsSent += count;
    queueFrame(size);
}

std::size_t Rz4Emulator::buildBlock(std::uint32_t records, std::uint32_t declared) {
    std::size_t size = 3 + static_cast<std::size_t>(declared);
    std::size_t recordLength = config_.recordLength;
    std::fill(frame_.begin(), frame_.begin() + static_cast<std::ptrdiff_t>(size), 0);
    frame_[0] = kBlockFrame;
    frame_[1] = static_cast<std::uint8_t>(declared);
    frame_[2] = static_cast<std::uint8_t>(declared >> 8);
    if (declared == 0)
        return size;
    frame_[reply::kBlockMarker] = rz4::CommandBlockRequest;
    for (std::uint32_t i = 0; i < records; ++i) {
        std::size_t at = reply::kBlockRecords + i * recordLength;
        if (at + recordLength > size)
            break;
        fillRecord(frame_.data() + at, nextRecord_++);
    }
    return size;
}

void Rz4Emulator::updateServo() {
    // Records already due were taken before the change; the new response holds from now on.
    const double now =
        ctl_.logMode != 0 ? std::chrono::duration<double>(Clock::now() - logStart_).count() : 0.0;
    signal_.setResponse(ServoModel::respond(ctl_.pid[0], ctl_.pid[1], ctl_.pid[2], ctl_.motorCurrent), now);
}

std::uint32_t Rz4Emulator::calibrated(std::uint32_t raw) const {
    // The shaft reading is such that the configured calibration reports the raw signal: the configured
    // offset comes off, the current direction and offset go on, wrapped to the encoder's width.
    const std::uint32_t shaft = raw - config_.encoderOffset;
    std::uint32_t reading = ((ctl_.encoderFlags & 1u) != 0 ? 0u - shaft : shaft) + ctl_.encoderOffset;
    if (config_.encoderBits < 32)
        reading &= (std::uint32_t{1} << config_.encoderBits) - 1u;
    return reading;
}

void Rz4Emulator::fillRecord(std::uint8_t* out, std::uint64_t index) {
    double t = static_cast<double>(index) / recordRateHz();
    std::uint32_t position;
    if ((ctl_.logMode & 2) != 0) {
        // The tracking error is a difference of positions: the offset cancels, the direction does not.
        const auto error = static_cast<std::uint32_t>(signal_.errorCounts(t));
        position = (ctl_.encoderFlags & 1u) != 0 ? 0u - error : error;
    } else {
        position = calibrated(signal_.absoluteCounts(t));
    }
    std::array<std::uint8_t, 256> words{};
    putLe32(words.data() + rz4::kRecordTimestampOffset, static_cast<std::uint32_t>(index));
    putLe32(words.data() + rz4::kRecordPositionOffset, position);
    putLe32(words.data() + 8, position + 4000u);
    putLe32(words.data() + 12, 0x02000400u);
    std::memcpy(out, words.data(), std::min<std::size_t>(config_.recordLength, words.size()));
}

void Rz4Emulator::queueShort(const std::uint8_t* payload, std::size_t length) {
    length = std::min<std::size_t>(length, 255);
    frame_[0] = kShortFrame;
    frame_[1] = static_cast<std::uint8_t>(length);
    std::memcpy(frame_.data() + 2, payload, length);
    queueFrame(2 + length);
}

void Rz4Emulator::queueNoise(int maxCount) {
    int n = std::uniform_int_distribution<int>(1, std::clamp(maxCount, 1, kMaxNoise))(rng_);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < n && outTail_ < out_.size(); ++i) {
        auto b = static_cast<std::uint8_t>(byte(rng_));
        while (!config_.garbageAnyBytes && (b == kShortFrame || b == kBlockFrame))
            b = static_cast<std::uint8_t>(byte(rng_));
        out_[outTail_++] = b;
    }
}

void Rz4Emulator::queueFrame(std::size_t size) {
    std::size_t inside = config_.garbageInsideFrames > 0
                             ? static_cast<std::size_t>(std::min(config_.garbageInsideFrames, kMaxNoise))
                             : 0;
    std::size_t need = size + inside + (config_.garbageBetweenFrames > 0 ? kMaxNoise : 0);
    if (outTail_ + need > out_.size() && outHead_ > 0) {
        std::memmove(out_.data(), out_.data() + outHead_, outTail_ - outHead_);
        outTail_ -= outHead_;
        outHead_ = 0;
    }
    if (outTail_ + need > out_.size())
        return; // the host does not read: drop the frame as a full output buffer would
    if (config_.garbageBetweenFrames > 0)
        queueNoise(config_.garbageBetweenFrames);
    std::size_t cut = size;
    if (inside > 0 && size >= 2)
        cut = std::uniform_int_distribution<std::size_t>(1, size - 1)(rng_);
    std::memcpy(out_.data() + outTail_, frame_.data(), cut);
    outTail_ += cut;
    if (cut < size) {
        std::uniform_int_distribution<int> byte(0, 255);
        for (std::size_t i = 0; i < inside; ++i)
            out_[outTail_++] = static_cast<std::uint8_t>(byte(rng_));
        std::memcpy(out_.data() + outTail_, frame_.data() + cut, size - cut);
        outTail_ += size - cut;
    }
}

bool Rz4Emulator::flushOutput() {
    while (outHead_ < outTail_) {
        const long n =
            line_ != nullptr ? line_->writeSome(out_.data() + outHead_, outTail_ - outHead_, 0) : -1;
        if (n > 0) {
            outHead_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            return false;
        outHead_ = outTail_; // the line failed: what was queued is lost, as on a dead wire
    }
    outHead_ = outTail_ = 0;
    return true;
}

void Rz4Emulator::publishState() {
    std::lock_guard<std::mutex> guard(lock_);
    published_ = ctl_;
}

std::vector<Rz4ReceivedPacket> Rz4Emulator::receivedPackets() const {
    std::lock_guard<std::mutex> guard(lock_);
    return log_;
}

void Rz4Emulator::clearReceived() {
    std::lock_guard<std::mutex> guard(lock_);
    log_.clear();
}

bool Rz4Emulator::waitForCommand(std::uint8_t command, int timeoutMs) const {
    std::unique_lock<std::mutex> guard(lock_);
    return logChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        return std::any_of(log_.begin(), log_.end(),
                           [command](const Rz4ReceivedPacket& p) { return p.command() == command; });
    });
}

Rz4ControllerState Rz4Emulator::state() const {
    std::lock_guard<std::mutex> guard(lock_);
    return published_;
}
