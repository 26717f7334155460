// Drives the sample store (AppModel) with records of any length, geometry changes, clears and
// exports, and compares it with a plain model after every step (counts) and at the end (contents,
// notifications, export text).
//
// Input: a record-length selector, then operations, each an opcode byte and its operands:
//   0  append: length byte, then that many record bytes; opcode bit 4 = last, bit 5 = null record
//   1  many appends: count byte (1 + b, or 1024 * (b - 0xEF) from 0xF0 on), length byte, record
//      bytes; the copies differ in bytes 0..3. At most kAppendBudget records per input in all.
//   2  new geometry: record-length selector
//   3  clear
//   4  export through writeRecords: first-number long; the text is compared
//   5  exportData to /dev/null (must succeed) and to /dev/full (must fail unless the store is empty)
//   6  jump close to the limits: two bytes; the raw count grows to rawCapacity - 1 - (b1 % 4) and the
//      sample count to 200000 - (b2 % 4), as if that many zero records had been appended
// Exports write at most kExportBudget lines per input, so that a full store is exported now and then
// without slowing every input down.
#include "FuzzInput.h"
#include "ShadowStore.h"
#include "model/store/AppModel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxOperations = 512;
constexpr uint32_t kAppendBudget = 20000;
constexpr uint32_t kExportBudget = 140000;

// One store for the whole run (it is 1.3 MB); every input starts it afresh.
AppModel store;
ShadowStore shadow;

// Mostly the lengths a controller can report, sometimes any 32-bit value.
uint32_t recordLength(FuzzInput& in) {
    const uint8_t b = in.byte();
    if (b < 0xE0)
        return b % 72;
    if (b < 0xF8)
        return b;
    return in.u32();
}

std::vector<uint8_t> recordBytes(FuzzInput& in, uint32_t length) {
    std::vector<uint8_t> record(length);
    in.bytes(record.data(), record.size());
    return record;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    shadow.reset(store, recordLength(in));
    uint32_t budget = kAppendBudget;
    uint32_t exportBudget = kExportBudget;
    // Charges an export of the whole store to the budget; false when it does not fit any more.
    auto exportFits = [&](uint32_t exports) {
        const uint64_t lines = static_cast<uint64_t>(store.rawCount) * exports;
        if (lines > exportBudget)
            return false;
        exportBudget -= static_cast<uint32_t>(lines);
        return true;
    };

    for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
        const uint8_t opcode = in.byte();
        switch (opcode % 7) {
        case 0: {
            const bool last = (opcode & 0x10) != 0;
            const bool null = (opcode & 0x20) != 0;
            std::vector<uint8_t> record = recordBytes(in, in.byte());
            // An exact-size heap copy, so a read past the record's end is caught.
            const uint8_t* bytes = null ? nullptr : record.data();
            const uint32_t length =
                null ? static_cast<uint32_t>(record.size() % 2) : static_cast<uint32_t>(record.size());
            store.appendRecord(bytes, length, last);
            shadow.append(bytes, length, last);
            break;
        }
        case 1: {
            const uint32_t b = in.byte();
            uint32_t count = b < 0xF0 ? 1 + b : 1024 * (b - 0xEF);
            count = count < budget ? count : budget;
            budget -= count;
            std::vector<uint8_t> record = recordBytes(in, in.byte());
            for (uint32_t i = 0; i < count; ++i) {
                if (record.size() >= 4)
                    std::memcpy(record.data(), &i, sizeof i);
                store.appendRecord(record.data(), static_cast<uint32_t>(record.size()), i + 1 == count);
                shadow.append(record.data(), static_cast<uint32_t>(record.size()), i + 1 == count);
            }
            break;
        }
        case 2: {
            const uint32_t length = recordLength(in);
            store.deviceInfo.recordLength = length;
            store.updateGeometry();
            shadow.updateGeometry(length);
            break;
        }
        case 3:
            store.clear();
            shadow.clear();
            break;
        case 4: {
            const uint32_t firstNumber = in.u32();
            if (exportFits(2))
                shadow.checkExport(store, firstNumber);
            break;
        }
        case 5:
            if (exportFits(2)) {
                FUZZ_CHECK(store.exportData("/dev/null"));
                FUZZ_CHECK(store.exportData("/dev/full") == (store.rawCount == 0));
            }
            FUZZ_CHECK(!store.exportData(nullptr));
            break;
        default: {
            const uint32_t rawBack = 1 + in.byte() % 4;
            const uint32_t samplesBack = in.byte() % 4;
            // The records and samples skipped over read as zeros, so a run can be repeated exactly.
            if (store.rawCapacity >= rawBack && store.rawCapacity - rawBack > store.rawCount) {
                const std::size_t from = static_cast<std::size_t>(store.rawCount) * store.recordLength;
                store.rawCount = store.rawCapacity - rawBack;
                std::memset(store.rawRecords + from, 0,
                            static_cast<std::size_t>(store.rawCount) * store.recordLength - from);
            }
            const uint32_t samples = AppModel::kMaxSamples - samplesBack;
            if (samples > store.sampleCount) {
                std::fill(store.samples + store.sampleCount, store.samples + samples, 0);
                store.sampleCount = samples;
            }
            store.newStart = store.sampleCount;
            store.newCount = 0;
            shadow.adopt(store);
            break;
        }
        }
        shadow.checkCounts(store);
    }
    shadow.checkAll(store);
    return 0;
}
