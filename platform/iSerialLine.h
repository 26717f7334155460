#pragma once

#include "platform/Event.h"
#include "platform/IoResult.h"

#include <chrono>
#include <cstddef>

// One end of a byte line to a serial peer: a COM port or tty, a pseudo-terminal's master, or an
// in-process loopback line. Used by one reading thread and one writing thread at a time.
class iSerialLine {
public:
    virtual ~iSerialLine() = default;

    // Waits up to timeoutMs (negative: without limit) for received bytes, for stop, and when
    // wakeOnWritable also for room to write. Data carries the bytes read (at most count). The stop
    // event wins over waiting data. A line that reports ready without data is not polled again at
    // once: the call then rests briefly on the stop event.
    virtual IoResult readWait(void* data, std::size_t count, Event& stop, int timeoutMs,
                              bool wakeOnWritable = false) = 0;
    // Writes what can be written within timeoutMs (0: only what fits now). Returns the count taken
    // (0 when nothing fitted in time), -1 when the line failed. A write that does not finish in time
    // is cancelled; nothing of it stays pending after the return.
    virtual long writeSome(const void* data, std::size_t count, int timeoutMs) = 0;
    // Discards what is queued in both directions and closes. Harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes all bytes within timeoutMs. False when the line fails or the time runs out.
    bool writeAll(const void* data, std::size_t count, int timeoutMs) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            const long n = writeSome(p, count, left.count() > 0 ? static_cast<int>(left.count()) : 0);
            if (n < 0 || (n == 0 && left.count() <= 0))
                return false;
            p += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
};
