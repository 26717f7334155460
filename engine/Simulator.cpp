#include "engine/Simulator.h"

#include "rz4/LittleEndian.h"
#include "rz4/Rz4Protocol.h"
#include "rz4/iEngineReport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr uint32_t kPhaseStep[6] = {8000, 6500, 5000, 4000, 1000, 450};
constexpr int32_t kDivisor[6] = {160, 180, 128, 180, 80, 120};
constexpr uint32_t kPositionBase = 1999984;
constexpr uint32_t kSecondChannelOffset = 4000;
constexpr uint32_t kRecordTrailer = 0x02000400;
constexpr uint32_t kMaxRecordBytes = iEngineReport::kMaxRecordLength;

} // namespace

const std::array<int32_t, 1024>& Simulator::sineTable() {
    static const std::array<int32_t, 1024> table = [] {
        std::array<int32_t, 1024> values{};
        for (int i = 0; i < 1024; ++i) {
            const double angle = 2.0 * std::numbers::pi * (i + 0.5) / 1024.0;
            values[i] = static_cast<int32_t>(std::lround(1023.0 * std::sin(angle)));
        }
        return values;
    }();
    return table;
}

int Simulator::nextRandom() {
    randomState_ = randomState_ * 214013u + 2531011u;
    return static_cast<int>((randomState_ >> 16) & 0x7FFF);
}

void Simulator::resetSimulator() {
    recordIndex_ = 0;
    phase_[0] = 0;
    phase_[1] = 0;
    ramp_ = 0;
    rampStep_ = kRampStep;
}

void Simulator::simulateBatch(const DeviceInfo& info, iEngineReport& report) {
    const uint32_t length = info.recordLength;
    if (length == 0 || length > kMaxRecordBytes) {
        return;
    }
    const auto& sine = sineTable();
    const int count = (nextRandom() & 7) + 10;
    for (int j = 0; j < count; ++j) {
        const uint32_t rampCounts = static_cast<uint32_t>(ramp_ >> 32);
        ramp_ += rampStep_;
        const uint32_t noise = static_cast<uint32_t>(nextRandom() & 31);
        int32_t periodic = 0;
        for (int k = 0; k < kComponents; ++k) {
            phase_[k] += kPhaseStep[k];
            periodic += sine[(phase_[k] >> 8) & 1023] / kDivisor[k];
        }
        uint32_t position = rampCounts + noise + kPositionBase + static_cast<uint32_t>(periodic);
        if (info.encoderBits < 32) {
            position &= static_cast<uint32_t>(info.encoderMask);
        }

        // The simulated record is 16 bytes; a different recordLength is met by cutting it short or
        // padding with zeros, never by reading past it.
        uint8_t record[kMaxRecordBytes] = {};
        uint8_t simulated[kRecordBytes];
        putLe32(simulated + rz4::kRecordTimestampOffset, recordIndex_);
        putLe32(simulated + rz4::kRecordPositionOffset, position);
        putLe32(simulated + 8, position + kSecondChannelOffset);
        putLe32(simulated + 12, kRecordTrailer);
        std::memcpy(record, simulated, std::min<uint32_t>(length, kRecordBytes));
        ++recordIndex_;
        report.writeRecord(record, length, j == count - 1);
    }
}
