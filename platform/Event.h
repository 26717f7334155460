#pragma once

#include <cstdint>
#include <memory>

enum class WaitResult { Object0, Object1, Timeout, Failed };

// A manual- or auto-reset event that can be waited on with a time-out, alone or together with other
// events (waitForAny) or with a line's data (iSerialLine::readWait). POSIX: a self-pipe that is readable
// while the event is signalled; Windows: a kernel event. Any thread may set, reset or wait.
class Event {
public:
    enum class Reset { Manual, Auto };

    explicit Event(Reset mode = Reset::Manual, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const;
    void set();
    void reset();
    // Whether the event is signalled now; does not take the signal of an auto-reset event.
    bool isSet() const;

    // Waits up to timeoutMs (negative: without limit). Object0 when signalled (an auto-reset event
    // is then cleared again), Timeout, or Failed when the event could not be created.
    WaitResult wait(int timeoutMs);

    // For the platform backends: the OS object that a wait watches (POSIX: a descriptor that is
    // readable while the event is signalled; Windows: the event's HANDLE).
    std::intptr_t nativeHandle() const;
    // For the POSIX backend: completes a poll that found nativeHandle() readable. True when this
    // waiter took the signal (an auto-reset event is then clear again).
    bool consumeIfSignalled();

private:
    struct State;
    std::unique_ptr<State> state_;
};

constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;
constexpr int kMaxWaitEvents = 4;

// Waits up to timeoutMs (negative: without limit) until one of count events (at most kMaxWaitEvents;
// null entries are skipped) is signalled. Returns the index of the first signalled one (an auto-reset
// event is cleared for this waiter; earlier entries win when several are set), kWaitTimeout, or
// kWaitFailed when an event is invalid or the wait itself fails.
int waitForAny(Event* const* events, int count, int timeoutMs);

// Sleeps the calling thread.
void sleepMs(int ms);
