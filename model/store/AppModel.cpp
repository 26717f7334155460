#include "model/store/AppModel.h"

#include "engine/EngineEvent.h"
#include "model/store/iMainDlgCallback.h"
#include "platform/FileOpen.h"
#include "rz4/Rz4Protocol.h"

#include <cstdio>
#include <cstring>

namespace {

// The little-endian signed 32-bit value at offset of a record of length bytes; 0 where the record
// ends before the value does.
int32_t valueAt(const uint8_t* record, uint32_t length, uint32_t offset) {
    if (offset > length || length - offset < 4)
        return 0;
    int32_t value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

} // namespace

AppModel::AppModel() : deviceInfo(defaultDeviceInfo()) {}

void AppModel::clear() {
    rawCount = 0;
    rawExported = 0;
    rawRefused = 0;
    rawRefusedShown = 0;
    sampleCount = 0;
    newStart = 0;
    newCount = 0;
    markerCount = 0;
    markersDropped = 0;
}

void AppModel::appendMarker(const uint8_t* command, uint32_t length) {
    if (command == nullptr || length == 0)
        return;
    if (command[0] == CmdSendPid || command[0] == kPidSentNotice)
        controllerPid.confirm(command + 1, length - 1, sampleCount);
    if (command[0] == kPidSentNotice)
        return;
    if (markerCount >= kMaxMarkers) {
        ++markersDropped;
        return;
    }
    markers[markerCount] = makeMarker(sampleCount, command, length);
    const uint32_t index = markerCount++;
    if (listener != nullptr)
        listener->OnMarker(index);
}

void AppModel::updateGeometry() {
    rawCount = 0;
    rawExported = 0;
    rawRefused = 0;
    rawRefusedShown = 0;
    recordLength = deviceInfo.recordLength;
    rawCapacity = recordLength == 0 ? 0 : kRawBytes / recordLength;
}

void AppModel::appendRecord(const uint8_t* record, uint32_t length, bool last) {
    if (record != nullptr && length != 0) {
        // The raw area keeps one slot free: it holds at most rawCapacity - 1 records.
        const bool stored = rawCount + 1 < rawCapacity;
        if (stored) {
            // The record as received may be shorter or longer than the store's record length: copy
            // only the bytes that arrived, at most one slot, and zero the rest of the slot, so that
            // neither the record nor the neighbouring slot is overrun.
            uint8_t* slot = rawRecords + static_cast<std::size_t>(rawCount) * recordLength;
            const uint32_t copied = length < recordLength ? length : recordLength;
            std::memcpy(slot, record, copied);
            std::memset(slot + copied, 0, recordLength - copied);
            ++rawCount;
        } else if (rawRefused != UINT32_MAX) {
            ++rawRefused;
        }
        // A record too short to reach the position carries no sample.
        if (length >= rz4::kMinSampleRecordLength && sampleCount < kMaxSamples) {
            samples[sampleCount] = valueAt(record, length, rz4::kRecordPositionOffset);
            ++sampleCount;
            ++newCount;
            if (!stored && rawRefusedShown != UINT32_MAX)
                ++rawRefusedShown;
        }
    }
    if (last) {
        const uint32_t available = rawCount < rawCapacity ? rawCapacity - rawCount : 0;
        if (listener != nullptr)
            listener->OnNewData(newStart, newCount, available);
        newStart = sampleCount;
        newCount = 0;
    }
}

bool AppModel::exportData(const char* path) const {
    if (path == nullptr)
        return false;
    // A large stdio buffer keeps the number of write calls small for a full store. It is declared
    // before the file so that it outlives it on every path.
    static constexpr std::size_t kBufferBytes = 65536;
    char buffer[kBufferBytes];
    UniqueFile out = openUniqueFile(path, "wb");
    if (!out)
        return false;
    std::setvbuf(out.get(), buffer, _IOFBF, kBufferBytes);

    const bool ok = writeRecords(out.get(), 0);
    // Closed here: false when anything written could not reach the file.
    const bool closed = std::fclose(out.release()) == 0;
    return ok && closed;
}

bool AppModel::writeRecords(std::FILE* file, uint32_t firstNumber) const {
    if (file == nullptr)
        return false;
    bool ok = true;
    char line[96]; // "[N:" + 4 signed 32-bit values, separators and CR LF fit easily
    for (uint32_t i = 0; i < rawCount && ok; ++i) {
        const uint8_t* record = rawRecords + static_cast<std::size_t>(i) * recordLength;
        // Values beyond a short record's end are written as 0 instead of being read from the
        // neighbouring slot (or past the area).
        const int32_t first = valueAt(record, recordLength, 0);
        const int32_t second = valueAt(record, recordLength, 4);
        int n;
        if (recordLength == 16) {
            n = std::snprintf(line, sizeof line, "[N:%d TS:%d] %d %d %d\r\n",
                              static_cast<int>(firstNumber + i), first, second,
                              valueAt(record, recordLength, 8), valueAt(record, recordLength, 12));
        } else {
            n = std::snprintf(line, sizeof line, "[N:%d TS:%d] %d\r\n", static_cast<int>(firstNumber + i),
                              first, second);
        }
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof line)
            ok = false;
        else if (std::fwrite(line, 1, static_cast<std::size_t>(n), file) != static_cast<std::size_t>(n))
            ok = false;
    }
    return ok;
}
