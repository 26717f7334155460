#include "platform/Pipe.h"

#include "platform/posix/DescriptorLine.h"
#include "platform/posix/FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

struct Pipe::State {
    FileHandle readEnd;
    FileHandle writeEnd;
};

Pipe::Pipe() : state_(std::make_unique<State>()) {}

Pipe::~Pipe() = default;

bool Pipe::create(std::size_t bufferSize, const char* name) {
    (void)name; // an anonymous pipe is private without one
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    state_->readEnd.reset(fds[0]);
    state_->writeEnd.reset(fds[1]);
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#ifdef F_SETPIPE_SZ
    if (bufferSize > 0)
        ::fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(bufferSize));
#else
    (void)bufferSize;
#endif
    return true;
}

bool Pipe::valid() const {
    return state_->readEnd.valid() && state_->writeEnd.valid();
}

bool Pipe::write(const void* data, std::size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = ::write(state_->writeEnd.get(), p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

long Pipe::read(void* data, std::size_t count) {
    for (;;) {
        ssize_t n = ::read(state_->readEnd.get(), data, count);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

long Pipe::readAvailable(void* data, std::size_t count) {
    pollfd pfd{state_->readEnd.get(), POLLIN, 0};
    int r = ::poll(&pfd, 1, 0);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (r == 0 || !(pfd.revents & (POLLIN | POLLHUP)))
        return 0;
    return read(data, count);
}

IoResult Pipe::readWait(void* data, std::size_t count, Event& stop, int timeoutMs) {
    return DescriptorLine::readWaitOn(state_->readEnd.get(), data, count, stop, timeoutMs, false);
}

std::size_t Pipe::bytesAvailable() const {
    int n = 0;
    if (::ioctl(state_->readEnd.get(), FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<std::size_t>(n);
}

std::size_t Pipe::capacity() const {
#ifdef F_GETPIPE_SZ
    int n = ::fcntl(state_->writeEnd.get(), F_GETPIPE_SZ);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
#else
    return 0;
#endif
}

void Pipe::close() {
    state_->readEnd.reset();
    state_->writeEnd.reset();
}
