#pragma once

#include <cstdint>

// The engine's command senders, as the user interface sees them. Each writes one command event into
// the engine's event pipe and returns at once; called on the UI thread. CommControl implements it;
// tests of the dialogs use a recording double.
class iEngineCommands {
public:
    virtual void Connect(uint32_t port) = 0;
    virtual void Disconnect() = 0;
    virtual void StoreParameters() = 0;
    virtual void StartLog(uint32_t mode, uint32_t rate) = 0;
    virtual void StopLog() = 0;
    virtual void FetchLog() = 0;
    virtual void SetEncoderCalibration(uint32_t reverse, uint32_t offset) = 0;
    virtual void Tracking(uint32_t on) = 0;
    virtual void TrackingRate(uint32_t rate, uint32_t flag) = 0;
    virtual void TrackingSpecial(uint32_t selector, uint32_t flag) = 0;
    virtual void WriteParam16(uint32_t index, uint32_t value) = 0;
    virtual void WriteParam8(uint32_t index, uint32_t value) = 0;
    virtual void ClosedLoop(uint32_t value) = 0;
    // Ten 16-bit values in the order of pidParameters.
    virtual void SendPid(const uint16_t values[10]) = 0;
    virtual void SendAux(uint32_t auxMode, uint32_t auxReserved, uint32_t auxSkip, uint32_t auxSkip2,
                         uint32_t errorLimit, uint32_t accelLimit, uint32_t speedLimit, uint32_t errorLimit2,
                         uint32_t accelLimit2, uint32_t speedLimit2) = 0;
    virtual void Device40(uint32_t value) = 0;
    virtual void Device41() = 0;
    virtual void Device42() = 0;
    virtual void Device43() = 0;

    // Where the port numbers 1..255 of Connect lead: the caller (the UI) fills this table with device
    // paths before it sends Connect. Returns false for a number outside 1..255.
    virtual bool setPortPath(uint32_t port, const char* path) = 0;

    // The OS error (errno) of the last failed port open, 0 when there is none or it is not known.
    // Readable from any thread.
    virtual int lastOpenError() const { return 0; }

    virtual ~iEngineCommands() = default;
};
