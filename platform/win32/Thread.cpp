#include "platform/Thread.h"

#include "platform/win32/WinHandle.h"

#include <process.h>

// The thread's handle, which is signalled when it ends, and the body it runs.
struct Thread::State {
    WinHandle handle;
    std::function<void()> body;
};

namespace {

unsigned __stdcall threadEntry(void* state) {
    auto* body = static_cast<std::function<void()>*>(state);
    (*body)();
    return 0;
}

} // namespace

Thread::Thread() : state_(std::make_unique<State>()) {}

Thread::~Thread() {
    join(-1);
}

bool Thread::start(std::function<void()> body) {
    if (state_->handle.valid() && !join(0))
        return false;
    state_->body = std::move(body);
    // _beginthreadex rather than CreateThread: the C runtime sets itself up for the new thread.
    const uintptr_t handle = ::_beginthreadex(nullptr, 0, threadEntry, &state_->body, 0, nullptr);
    if (handle == 0) {
        state_->body = nullptr;
        return false;
    }
    state_->handle.reset(reinterpret_cast<HANDLE>(handle));
    return true;
}

bool Thread::join(int timeoutMs) {
    if (!state_->handle.valid())
        return true;
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (::WaitForSingleObject(state_->handle.get(), wait) != WAIT_OBJECT_0)
        return false;
    state_->handle.reset();
    state_->body = nullptr;
    return true;
}

bool Thread::running() const {
    return state_->handle.valid() && ::WaitForSingleObject(state_->handle.get(), 0) == WAIT_TIMEOUT;
}

bool Thread::started() const {
    return state_->handle.valid();
}
