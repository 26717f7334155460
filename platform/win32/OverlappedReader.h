#pragma once

#include "platform/IoResult.h"
#include "platform/win32/WinHandle.h"

#include <cstddef>
#include <cstdint>

// Overlapped reads from one handle (a pipe's server end, a COM port) into a buffer of its own, with a
// manual-reset completion event. A read that has not completed when a wait ends stays pending for the
// next call, and its bytes are handed out in order; finish() ends it before the handle is closed.
// Used by the one thread that reads the handle.
class OverlappedReader {
public:
    static constexpr std::size_t kBufferBytes = 512;
    static constexpr DWORD kBackOffMs = 20; // rest after a read that completed without data

    OverlappedReader();
    OverlappedReader(const OverlappedReader&) = delete;
    OverlappedReader& operator=(const OverlappedReader&) = delete;

    void attach(HANDLE handle);
    // Waits up to timeoutMs (INFINITE: without limit) for bytes or for stop (may be null), which wins
    // over bytes already there. Asks the OS for at most count bytes at a time.
    IoResult readWait(void* data, std::size_t count, HANDLE stop, DWORD timeoutMs);
    // Hands out bytes that have arrived, without waiting and without starting a read: the count,
    // 0 when none, -1 when the handle failed.
    long readNow(void* data, std::size_t count);
    bool pending() const { return pending_; }
    // Ends a pending read (cancelling it unless the caller aborted it already), waits until the OS is
    // done with the buffer, and drops undelivered bytes.
    void finish();

private:
    bool startRead(std::size_t size);
    // Collects a completed pending read: false while it still runs.
    bool collect();
    long take(void* data, std::size_t count);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    WinHandle event_;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    bool broken_ = false;
    bool empty_ = false; // the last read completed with no bytes
    std::uint8_t buffer_[kBufferBytes];
    std::size_t got_ = 0;
    std::size_t taken_ = 0;
};
