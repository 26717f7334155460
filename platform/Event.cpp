#include "platform/Event.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
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

Event::Event(Reset mode, bool initiallySet) : mode_(mode) {
    int fds[2];
    if (::pipe(fds) == 0) {
        readEnd_.reset(fds[0]);
        writeEnd_.reset(fds[1]);
        for (int fd : fds) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    if (initiallySet)
        set();
}

void Event::set() {
    std::lock_guard<std::mutex> guard(lock_);
    if (signalled_ || !writeEnd_.valid())
        return;
    char b = 1;
    if (::write(writeEnd_.get(), &b, 1) == 1)
        signalled_ = true;
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!signalled_)
        return;
    char b;
    while (::read(readEnd_.get(), &b, 1) == 1) {
    }
    signalled_ = false;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> guard(lock_);
    return signalled_;
}

bool Event::consumeIfSignalled() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!signalled_)
        return false;
    if (mode_ == Reset::Auto) {
        char b;
        while (::read(readEnd_.get(), &b, 1) == 1) {
        }
        signalled_ = false;
    }
    return true;
}

WaitResult Event::wait(int timeoutMs) {
    if (!valid())
        return WaitResult::Failed;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd pfd{readEnd_.get(), POLLIN, 0};
        int r = ::poll(&pfd, 1, timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Failed;
        }
        if (r > 0 && consumeIfSignalled())
            return WaitResult::Object0;
        if (timeoutMs >= 0 && remainingMs(deadline) == 0)
            return WaitResult::Timeout;
    }
}

WaitResult waitEventOrFd(Event& event, int fd, short fdEvents, int timeoutMs) {
    if (!event.valid())
        return WaitResult::Failed;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd pfds[2] = {{event.pollFd(), POLLIN, 0}, {fd, fdEvents, 0}};
        int r = ::poll(pfds, fd >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Failed;
        }
        if (r > 0) {
            if ((pfds[0].revents & POLLIN) && event.consumeIfSignalled())
                return WaitResult::Object0;
            if (fd >= 0 && pfds[1].revents != 0)
                return WaitResult::Object1;
        }
        if (timeoutMs >= 0 && remainingMs(deadline) == 0)
            return WaitResult::Timeout;
    }
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
