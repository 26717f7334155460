#include "platform/win32/OverlappedReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

DWORD remainingMs(Clock::time_point deadline, DWORD timeoutMs) {
    if (timeoutMs == INFINITE)
        return INFINITE;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

} // namespace

OverlappedReader::OverlappedReader() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

void OverlappedReader::attach(HANDLE handle) {
    finish();
    handle_ = handle;
    broken_ = false;
}

long OverlappedReader::take(void* data, std::size_t count) {
    const std::size_t n = std::min(count, got_ - taken_);
    std::memcpy(data, buffer_ + taken_, n);
    taken_ += n;
    return static_cast<long>(n);
}

bool OverlappedReader::startRead(std::size_t size) {
    ::ResetEvent(event_.get());
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.get();
    got_ = taken_ = 0;
    empty_ = false;
    if (::ReadFile(handle_, buffer_, static_cast<DWORD>(size), nullptr, &overlapped_)) {
        DWORD n = 0;
        ::GetOverlappedResult(handle_, &overlapped_, &n, FALSE);
        got_ = n;
        empty_ = n == 0;
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) {
        pending_ = true;
        return true;
    }
    broken_ = true;
    return false;
}

bool OverlappedReader::collect() {
    DWORD n = 0;
    if (::GetOverlappedResult(handle_, &overlapped_, &n, FALSE)) {
        pending_ = false;
        got_ = n;
        taken_ = 0;
        empty_ = n == 0;
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_INCOMPLETE)
        return false;
    pending_ = false;
    got_ = taken_ = 0;
    // A read cancelled on purpose (its thread ended, or finish()) lost nothing: the next read takes
    // the bytes it would have taken. Any other failure is the handle's.
    broken_ = error != ERROR_OPERATION_ABORTED;
    return true;
}

IoResult OverlappedReader::readWait(void* data, std::size_t count, HANDLE stop, DWORD timeoutMs) {
    if (!event_.valid() || handle_ == INVALID_HANDLE_VALUE)
        return {IoStatus::Broken, 0};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs == INFINITE ? 0 : timeoutMs);
    for (;;) {
        if (stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return {IoStatus::Stopped, 0};
        if (taken_ < got_ && count > 0)
            return {IoStatus::Data, take(data, count)};
        if (broken_)
            return {IoStatus::Broken, 0};
        if (empty_) {
            // A read that completes without data (a line in a state that reports nothing) would
            // complete the same way at once again: rest instead of spinning on it.
            empty_ = false;
            if (stop != nullptr && ::WaitForSingleObject(stop, kBackOffMs) == WAIT_OBJECT_0)
                return {IoStatus::Stopped, 0};
            if (stop == nullptr)
                ::Sleep(kBackOffMs);
            if (remainingMs(deadline, timeoutMs) == 0)
                return {IoStatus::Timeout, 0};
            continue;
        }
        if (!pending_) {
            startRead(std::min(std::max<std::size_t>(count, 1), kBufferBytes));
            continue;
        }
        HANDLE handles[2];
        DWORD used = 0;
        if (stop != nullptr)
            handles[used++] = stop;
        handles[used++] = event_.get();
        const DWORD r = ::WaitForMultipleObjects(used, handles, FALSE, remainingMs(deadline, timeoutMs));
        if (stop != nullptr && r == WAIT_OBJECT_0)
            return {IoStatus::Stopped, 0};
        if (r == WAIT_OBJECT_0 + used - 1) {
            collect();
            continue;
        }
        if (r == WAIT_TIMEOUT)
            return {IoStatus::Timeout, 0};
        // The wait itself failed: do not spin on it.
        ::Sleep(kBackOffMs);
        return {IoStatus::Timeout, 0};
    }
}

long OverlappedReader::readNow(void* data, std::size_t count) {
    if (taken_ < got_)
        return take(data, count);
    if (broken_)
        return -1;
    if (pending_ && HasOverlappedIoCompleted(&overlapped_)) {
        collect();
        if (broken_)
            return -1;
        return take(data, count);
    }
    return 0;
}

void OverlappedReader::finish() {
    if (pending_) {
        ::CancelIoEx(handle_, &overlapped_);
        DWORD n = 0;
        ::GetOverlappedResult(handle_, &overlapped_, &n, TRUE);
        pending_ = false;
    }
    got_ = taken_ = 0;
    empty_ = false;
}
