#pragma once

#include "rz4/DeviceInfo.h"

#include <array>
#include <cstdint>

class iEngineReport;

// Stands in for the controller's data blocks in test mode: each batch is 10 to 17 records of four
// little-endian words (record number, encoder position p, p + 4000, 0x02000400), where p is a ramp plus
// six sine components plus a little noise. Its random draws come from a private linear congruential
// generator that starts from the same state in every engine, so runs are reproducible.
// Owned by the engine worker thread.
class Simulator {
public:
    static constexpr int kRecordBytes = 16;
    static constexpr uint64_t kRampStep = 0x1856CBE10FULL;
    static constexpr int kComponents = 6;

    // The sine table: entry i is 1023 * sin(2 pi (i + 0.5) / 1024), rounded.
    static const std::array<int32_t, 1024>& sineTable();

    // Restarts record numbers, the ramp and the first two components; components 2..5 keep their phase.
    void resetSimulator();

    // Writes one batch through report. Records are info.recordLength bytes long (the simulated 16
    // bytes, cut short or padded with zeros); a batch is skipped when that length is 0 or does not fit
    // a record frame (above 63). The positions wrap to the encoder's range when encoderBits < 32.
    void simulateBatch(const DeviceInfo& info, iEngineReport& report);

    // Next draw, 0..32767.
    int nextRandom();

    uint32_t recordIndex() const { return recordIndex_; }
    uint32_t phase(int component) const { return phase_[component]; }
    uint64_t ramp() const { return ramp_; }

private:
    uint32_t recordIndex_ = 0;
    uint32_t phase_[kComponents] = {};
    uint64_t ramp_ = 0;
    uint64_t rampStep_ = 0;
    uint32_t randomState_ = 1;
};
