#pragma once

#include "platform/Pipe.h"
#include "rz4/DeviceInfo.h"
#include "rz4/iEngineReport.h"

#include <cstdint>
#include <mutex>

class AppModel;
class iMainDlgCallback;
class iWMUserSender;

// The only road from the engine's worker thread to the UI thread. postStatus, writeRecord and
// setDeviceInfo run on the worker thread; onUserMessage runs on the UI thread. The lock guards only
// deviceInfo; the pipe has one writer thread and one reader thread.
class DataTransfer : public iEngineReport {
public:
    static constexpr int kPipeBytes = 4096;

    explicit DataTransfer(AppModel* model);
    ~DataTransfer() override = default;
    DataTransfer(const DataTransfer&) = delete;
    DataTransfer& operator=(const DataTransfer&) = delete;

    // Worker thread.
    void postStatus(uint32_t code) override;
    // length <= 63; blocks while the pipe is full. Posts NotifyData after every record.
    void writeRecord(const uint8_t* bytes, uint32_t length, bool last) override;
    void setDeviceInfo(const DeviceInfo& info) override;
    // The marker header (0x80: length 0 without the last flag, never a record of its own), then the
    // command framed as a record: the UI hands it to AppModel::appendMarker. Posts NotifyData.
    void writeMarker(const uint8_t* command, uint32_t length) override;
    // Goes the marker's way as the notice kPidSentNotice, so that it keeps its place among the records.
    void pidSentAtOnce(const uint8_t* arguments, uint32_t length) override;

    // UI thread: every posted (code, argument) comes back here.
    void onUserMessage(uint32_t code, intptr_t argument);

    // Wiring, done by start-up on the UI thread before the threads run (callback also at shutdown).
    void setSender(iWMUserSender* sender) { sender_ = sender; }
    void setCallback(iMainDlgCallback* callback) { callback_ = callback; }

private:
    friend class DataTransferProbe; // tests: direct access to the pipe's bytes

    void takeDeviceInfo();
    void drainPipe();
    void reassemble(uint8_t byte);

    std::mutex lock_;
    Pipe pipe_;
    int reassemblyState_ = 0;
    int expectedLength_ = 0;
    int header_ = 0;
    bool markerNext_ = false; // a marker header came: the next record is a marker's command
    DeviceInfo deviceInfo_{};
    AppModel* model_;
    iWMUserSender* sender_ = nullptr;
    iMainDlgCallback* callback_ = nullptr;

    int fillPosition_ = 0;
    int receivedCount_ = 0;
    uint8_t recordBuffer_[200];
    uint8_t readBuffer_[200];
    uint8_t writeBuffer_[64];
};
