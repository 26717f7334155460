#pragma once

#include "app/iHeartBeatListener.h"
#include "engine/iEngineCommands.h"
#include "engine/iSessionHost.h"
#include "engine/Session.h"

#include <cstdint>

class iEngineReport;

// The communication engine. Every input (commands from the UI thread, ticks from the heartbeat
// thread, bytes from the serial reader thread) is written as one event into a private pipe under
// writeLock; the worker thread alone reads the pipe, assembles events and hands each to the session
// logic, so all session state is owned by the worker thread.
class CommControl : public iHeartBeatListener, public iEngineCommands, private iSessionHost {
public:
    explicit CommControl(iEngineReport* report); // DataTransfer in the program
    ~CommControl() override; // calls shutdown()

    void OnHeartBeat() override;

    void Connect(uint32_t port) override;
    void Disconnect() override;
    void StoreParameters() override;
    void StartLog(uint32_t mode, uint32_t rate) override;
    void StopLog() override;
    void FetchLog() override;
    void SetEncoderCalibration(uint32_t reverse, uint32_t offset) override;
    void Tracking(uint32_t on) override;
    void TrackingRate(uint32_t rate, uint32_t flag) override;
    void TrackingSpecial(uint32_t selector, uint32_t flag) override;
    void WriteParam16(uint32_t index, uint32_t value) override;
    void WriteParam8(uint32_t index, uint32_t value) override;
    void ClosedLoop(uint32_t value) override;
    void SendPid(const uint16_t values[10]) override;
    void SendAux(uint32_t auxMode, uint32_t auxReserved, uint32_t auxSkip, uint32_t auxSkip2, uint32_t errorLimit,
                 uint32_t accelLimit, uint32_t speedLimit, uint32_t errorLimit2, uint32_t accelLimit2,
                 uint32_t speedLimit2) override;
    void Device40(uint32_t value) override;
    void Device41() override;
    void Device42() override;
    void Device43() override;
    bool setPortPath(uint32_t port, const char* path) override;

    // Stops the worker thread and a running serial reader and closes the port. Idempotent; called by
    // start-up's shutdown after the heartbeat has stopped, and by the destructor.
    void shutdown();

    // The OS error (errno) of the last failed port open, 0 if none; readable from any thread.
    int lastOpenError() const;

    // For tests: called on the worker thread with every assembled event (header at event[0]) before
    // the session sees it. Set before the first event is written.
    using EventTap = void (*)(void* context, const uint8_t* event, int length);
    void setEventTap(EventTap tap, void* context);

    // (private members: see CommControl.cpp's owner)
};
