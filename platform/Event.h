#pragma once

#include "platform/FileHandle.h"

#include <mutex>

enum class WaitResult { Object0, Object1, Timeout, Failed };

// A manual- or auto-reset event that can be waited on with a time-out, alone or together with a file
// descriptor (see waitEventOrFd). Built on a self-pipe: its read end is readable while the event is
// signalled. Any thread may set, reset or wait.
class Event {
public:
    enum class Reset { Manual, Auto };

    explicit Event(Reset mode = Reset::Manual, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const { return readEnd_.valid(); }
    void set();
    void reset();
    bool isSet() const;

    // Waits up to timeoutMs (negative: without limit). Object0 when signalled (an auto-reset event
    // is then cleared again), Timeout, or Failed when the event could not be created.
    WaitResult wait(int timeoutMs);

    // For waitEventOrFd: readable while signalled.
    int pollFd() const { return readEnd_.get(); }
    // Completes a successful poll on an auto-reset event: true when this waiter took the signal.
    bool consumeIfSignalled();

private:
    Reset mode_;
    mutable std::mutex lock_;
    bool signalled_ = false;
    FileHandle readEnd_;
    FileHandle writeEnd_;
};

// Waits for the event (Object0) or for fd to become ready for fdEvents (Object1, also on error or
// hang-up of fd), at most timeoutMs (negative: without limit). The event comes first when both are
// ready. Failed when the wait itself fails.
WaitResult waitEventOrFd(Event& event, int fd, short fdEvents, int timeoutMs);

// Sleeps the calling thread.
void sleepMs(int ms);
