#pragma once

#include "base/iHeartBeatListener.h"
#include "engine/EventAssembler.h"
#include "engine/SerialTransport.h"
#include "engine/Session.h"
#include "engine/iEngineCommands.h"
#include "engine/iEventWriter.h"
#include "engine/iSessionHost.h"
#include "platform/Event.h"
#include "platform/Pipe.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

class iEngineReport;

// The communication engine. Every input (commands from the UI thread, ticks from the heartbeat
// thread, bytes from the serial reader thread) is written as one event into a private pipe under
// writeLock; the worker thread alone reads the pipe, assembles events and hands each to the session
// logic, so all session state is owned by the worker thread.
class CommControl : public iHeartBeatListener,
                    public iEngineCommands,
                    private iSessionHost,
                    private iEventWriter {
public:
    explicit CommControl(iEngineReport* report); // DataTransfer in the program
    ~CommControl() override;                     // calls shutdown()

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
    void SendAux(uint32_t auxMode, uint32_t auxReserved, uint32_t auxSkip, uint32_t auxSkip2,
                 uint32_t errorLimit, uint32_t accelLimit, uint32_t speedLimit, uint32_t errorLimit2,
                 uint32_t accelLimit2, uint32_t speedLimit2) override;
    void Device40(uint32_t value) override;
    void Device41() override;
    void Device42() override;
    void Device43() override;
    bool setPortPath(uint32_t port, const char* path) override;

    // Stops the worker thread and a running serial reader and closes the port. Idempotent; called by
    // start-up's shutdown after the heartbeat has stopped, and by the destructor.
    void shutdown();

    // The OS error (errno) of the last failed port open, 0 if none; readable from any thread.
    int lastOpenError() const override;

    // For tests: called on the worker thread with every assembled event (header at event[0]) before
    // the session sees it. Set before the first event is written.
    using EventTap = void (*)(void* context, const uint8_t* event, int length);
    void setEventTap(EventTap tap, void* context);

    // The name that labels the event pipe: a fixed prefix and the process id.
    const char* pipeName() const { return pipeName_; }
    // Writes the pipe name for a process id (eight hex digits, least significant first) into buffer;
    // returns the terminating NUL's index.
    static int buildPipeName(char* buffer, int capacity, uint32_t processId);

    CommControl(const CommControl&) = delete;
    CommControl& operator=(const CommControl&) = delete;

private:
    friend class CommControlTestAccess;

    static constexpr int kPipeNameSize = 256;
    static constexpr int kWorkerReadSize = 20;
    static constexpr int kWorkerWaitMs = 300;
    static constexpr std::size_t kPipeCapacity = 65536;
    // Room in the event pipe that serial data never takes: while the worker waits for the UI (a full
    // record channel), a flood from the controller must not fill the pipe and block the UI thread's
    // next command, which would leave both waiting for each other.
    static constexpr std::size_t kCommandHeadroom = 8192;

    // iSessionHost: the serial transport, used by the session on the worker thread.
    bool openPort(uint32_t port, uint8_t generation) override;
    void closePort() override;
    bool writePort(const uint8_t* bytes, int count) override;
    void pause(int milliseconds) override;

    // iEventWriter: one whole event into the pipe under writeLock_.
    void writeEvent(const uint8_t* event, int length) override;
    bool roomForSerialData() const override;

    void workerLoop();
    static void onAssembledEvent(void* context, const uint8_t* event, int length);
    // Discards what waits in the pipe (shutdown only, after the worker has ended).
    void drainPipe();

    char pipeName_[kPipeNameSize] = {};
    std::mutex writeLock_;
    bool writesClosed_ = false; // guarded by writeLock_: set by shutdown, later writes are dropped
    Pipe pipe_;
    Event workerStopEvent_{Event::Reset::Manual, false};
    std::atomic<EventTap> eventTap_{nullptr};
    std::atomic<void*> eventTapContext_{nullptr};
    EventAssembler assembler_{&CommControl::onAssembledEvent, this};
    SerialTransport transport_{*this};
    Session session_;
    bool shutDown_ = false; // owned by the thread that calls shutdown (the UI thread)
    Thread worker_;         // last: stopped by shutdown before any other member goes
};
