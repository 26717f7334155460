#include "platform/posix/DescriptorLine.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Rests on the stop event instead of polling a condition that would report ready again at once.
IoResult backOff(Event& stop) {
    return stop.wait(DescriptorLine::kBackOffMs) == WaitResult::Object0 ? IoResult{IoStatus::Stopped, 0}
                                                                        : IoResult{IoStatus::Timeout, 0};
}

} // namespace

IoResult DescriptorLine::readWaitOn(int fd, void* data, std::size_t count, Event& stop, int timeoutMs,
                                    bool wakeOnWritable) {
    if (fd < 0 || !stop.valid())
        return {IoStatus::Broken, 0};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd fds[2] = {{static_cast<int>(stop.nativeHandle()), POLLIN, 0},
                         {fd, static_cast<short>(POLLIN | (wakeOnWritable ? POLLOUT : 0)), 0}};
        const int r = ::poll(fds, 2, timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return backOff(stop); // the wait itself broke: do not spin, keep honouring stop
        }
        if ((fds[0].revents & POLLIN) && stop.consumeIfSignalled())
            return {IoStatus::Stopped, 0};
        const short ready = fds[1].revents;
        if (ready & POLLNVAL)
            return {IoStatus::Broken, 0};
        if (ready & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::read(fd, data, count);
            if (n > 0)
                return {IoStatus::Data, static_cast<long>(n)};
            if (n == 0)
                return {IoStatus::Broken, 0}; // end of file: the peer hung up
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return {IoStatus::Broken, 0};
            if (ready & (POLLHUP | POLLERR))
                return backOff(stop); // an error condition without data
        }
        if (wakeOnWritable && (ready & POLLOUT))
            return {IoStatus::Writable, 0};
        if (timeoutMs >= 0 && remainingMs(deadline) == 0)
            return {IoStatus::Timeout, 0};
    }
}

long DescriptorLine::writeSomeOn(int fd, const void* data, std::size_t count, int timeoutMs) {
    if (fd < 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const char* p = static_cast<const char*>(data);
    long written = 0;
    while (count > 0) {
        ssize_t n = ::write(fd, p, count);
        if (n > 0) {
            p += n;
            written += static_cast<long>(n);
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return written > 0 ? written : -1;
        const int left = remainingMs(deadline);
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno != EINTR)
            return written > 0 ? written : -1;
        if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return written > 0 ? written : -1;
    }
    return written;
}
