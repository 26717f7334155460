#include "platform/Event.h"

#include "platform/win32/WinHandle.h"

namespace {

DWORD waitMs(int timeoutMs) {
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

} // namespace

// A kernel event, unnamed.
struct Event::State {
    WinHandle handle;
    Reset mode = Reset::Manual;
};

Event::Event(Reset mode, bool initiallySet) : state_(std::make_unique<State>()) {
    state_->mode = mode;
    state_->handle.reset(
        ::CreateEventA(nullptr, mode == Reset::Manual ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr));
}

Event::~Event() = default;

bool Event::valid() const {
    return state_->handle.valid();
}

std::intptr_t Event::nativeHandle() const {
    return reinterpret_cast<std::intptr_t>(state_->handle.get());
}

void Event::set() {
    if (valid())
        ::SetEvent(state_->handle.get());
}

void Event::reset() {
    if (valid())
        ::ResetEvent(state_->handle.get());
}

bool Event::isSet() const {
    if (!valid() || ::WaitForSingleObject(state_->handle.get(), 0) != WAIT_OBJECT_0)
        return false;
    // Looking took the signal of an auto-reset event: give it back.
    if (state_->mode == Reset::Auto)
        ::SetEvent(state_->handle.get());
    return true;
}

bool Event::consumeIfSignalled() {
    return valid() && ::WaitForSingleObject(state_->handle.get(), 0) == WAIT_OBJECT_0;
}

WaitResult Event::wait(int timeoutMs) {
    if (!valid())
        return WaitResult::Failed;
    switch (::WaitForSingleObject(state_->handle.get(), waitMs(timeoutMs))) {
    case WAIT_OBJECT_0:
        return WaitResult::Object0;
    case WAIT_TIMEOUT:
        return WaitResult::Timeout;
    default:
        return WaitResult::Failed;
    }
}

int waitForAny(Event* const* events, int count, int timeoutMs) {
    if (count < 0 || count > kMaxWaitEvents)
        return kWaitFailed;
    HANDLE handles[kMaxWaitEvents];
    int index[kMaxWaitEvents];
    DWORD used = 0;
    for (int i = 0; i < count; ++i) {
        if (events[i] == nullptr)
            continue;
        if (!events[i]->valid())
            return kWaitFailed;
        handles[used] = reinterpret_cast<HANDLE>(events[i]->nativeHandle());
        index[used++] = i;
    }
    if (used == 0) {
        if (timeoutMs < 0)
            return kWaitFailed; // nothing could ever end the wait
        ::Sleep(static_cast<DWORD>(timeoutMs));
        return kWaitTimeout;
    }
    // The lowest index among the signalled handles is reported, and only that one is taken.
    const DWORD r = ::WaitForMultipleObjects(used, handles, FALSE, waitMs(timeoutMs));
    if (r < WAIT_OBJECT_0 + used)
        return index[r - WAIT_OBJECT_0];
    if (r == WAIT_TIMEOUT)
        return kWaitTimeout;
    return kWaitFailed;
}

void sleepMs(int ms) {
    ::Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}
