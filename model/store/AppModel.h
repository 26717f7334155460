#pragma once

#include "model/store/ControllerPid.h"
#include "model/store/Marker.h"
#include "model/store/Settings.h"
#include "rz4/DeviceInfo.h"

#include <cstdint>
#include <cstdio>

class iMainDlgCallback;

// The sample store, the UI's copy of the device record and the user settings. Owned by start-up,
// allocated once on the heap (about 1.3 MB); lives on the UI thread only.
class AppModel {
public:
    static constexpr uint32_t kRawBytes = 524288;
    static constexpr uint32_t kMaxSamples = 200000;
    static constexpr uint32_t kMaxMarkers = 1024;

    AppModel();
    virtual ~AppModel() = default;
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // Empties raw records, samples and markers; device record, geometry and settings stay.
    void clear();
    // Takes recordLength from deviceInfo, recomputes rawCapacity and empties the raw area.
    void updateGeometry();
    // One reassembled record (or record == nullptr / length 0 for an empty end-of-batch marker).
    void appendRecord(const uint8_t* record, uint32_t length, bool last);
    // A command that changed the controller took effect here (code, then arguments): kept as a marker at
    // the next sample to come (sampleCount), and the listener is told. Once kMaxMarkers are kept, later
    // ones are counted in markersDropped only. A PID's values become controllerPid's; the notice of a PID
    // sent while not logging (kPidSentNotice) does only that and is no marker.
    void appendMarker(const uint8_t* command, uint32_t length);
    // Writes the raw records as text, CR LF line ends, replacing the file (a UTF-8 path). Returns false when
    // the file cannot be written completely.
    bool exportData(const char* path) const;
    // Writes the stored raw records to an open file in the export format, numbering them from
    // firstNumber (so a long run can be written out in parts). False when a write fails.
    bool writeRecords(std::FILE* file, uint32_t firstNumber) const;

    iMainDlgCallback* listener = nullptr;

    // Raw records stored and not yet written by an export (short records included).
    uint32_t unexportedRaw() const { return rawCount - (rawExported < rawCount ? rawExported : rawCount); }
    // After a successful export of the whole raw area.
    void markExported() { rawExported = rawCount; }

    uint32_t recordLength = 0;
    uint32_t rawCapacity = 0;
    uint32_t rawCount = 0;
    uint32_t rawExported = 0;     // the first rawExported raw records have been exported
    uint32_t rawRefused = 0;      // records that came while the raw area was full: not stored raw
    uint32_t rawRefusedShown = 0; // of those, the ones whose sample the graph still keeps
    uint8_t rawRecords[kRawBytes];
    uint32_t sampleCount = 0;
    int32_t samples[kMaxSamples];
    uint32_t newStart = 0;
    uint32_t newCount = 0;
    uint32_t markerCount = 0;
    uint32_t markersDropped = 0;
    Marker markers[kMaxMarkers];

    DeviceInfo deviceInfo;
    ControllerPid controllerPid; // what the controller holds: not emptied by clear()
    DisplaySettings displaySettings;
    LogSettings logSettings;
    ClosedLoopSettings closedLoopSettings;
};
