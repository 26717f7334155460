#include "platform/Event.h"

#include "platform/posix/FileHandle.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

// A self-pipe: its read end holds one byte while the event is signalled.
struct Event::State {
    Reset mode;
    std::mutex lock;
    bool signalled = false;
    FileHandle readEnd;
    FileHandle writeEnd;
};

Event::Event(Reset mode, bool initiallySet) : state_(std::make_unique<State>()) {
    state_->mode = mode;
    int fds[2];
    if (::pipe(fds) == 0) {
        state_->readEnd.reset(fds[0]);
        state_->writeEnd.reset(fds[1]);
        for (int fd : fds) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    if (initiallySet)
        set();
}

Event::~Event() = default;

bool Event::valid() const {
    return state_->readEnd.valid();
}

std::intptr_t Event::nativeHandle() const {
    return state_->readEnd.get();
}

void Event::set() {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (state_->signalled || !state_->writeEnd.valid())
        return;
    char b = 1;
    if (::write(state_->writeEnd.get(), &b, 1) == 1)
        state_->signalled = true;
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->signalled)
        return;
    char b;
    while (::read(state_->readEnd.get(), &b, 1) == 1) {
    }
    state_->signalled = false;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->signalled;
}

bool Event::consumeIfSignalled() {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->signalled)
        return false;
    if (state_->mode == Reset::Auto) {
        char b;
        while (::read(state_->readEnd.get(), &b, 1) == 1) {
        }
        state_->signalled = false;
    }
    return true;
}

WaitResult Event::wait(int timeoutMs) {
    Event* self = this;
    switch (waitForAny(&self, 1, timeoutMs)) {
    case 0:
        return WaitResult::Object0;
    case kWaitTimeout:
        return WaitResult::Timeout;
    default:
        return WaitResult::Failed;
    }
}

int waitForAny(Event* const* events, int count, int timeoutMs) {
    if (count < 0 || count > kMaxWaitEvents)
        return kWaitFailed;
    pollfd fds[kMaxWaitEvents];
    int index[kMaxWaitEvents];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        if (events[i] == nullptr)
            continue;
        if (!events[i]->valid())
            return kWaitFailed;
        fds[used] = {static_cast<int>(events[i]->nativeHandle()), POLLIN, 0};
        index[used++] = i;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int r = ::poll(fds, static_cast<nfds_t>(used), timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return kWaitFailed;
        }
        for (int k = 0; r > 0 && k < used; ++k) {
            // Another waiter may have taken an auto-reset signal between the poll and here.
            if ((fds[k].revents & POLLIN) && events[index[k]]->consumeIfSignalled())
                return index[k];
        }
        if (timeoutMs >= 0 && remainingMs(deadline) == 0)
            return kWaitTimeout;
    }
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
