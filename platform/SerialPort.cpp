#include "platform/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

int SerialPort::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0')
        return ENOENT;
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    FileHandle handle(fd);
    if (!::isatty(fd))
        return ENOTTY;
    // Exclusive access: the advisory lock keeps out other programs that honour it (and root, which
    // ignores TIOCEXCL); TIOCEXCL refuses further opens by non-root users.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? EBUSY : errno;
#ifdef TIOCEXCL
    ::ioctl(fd, TIOCEXCL);
#endif
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return errno;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    ::tcflush(fd, TCIOFLUSH);
    fd_ = std::move(handle);
    return 0;
}

void SerialPort::close() {
    if (!fd_.valid())
        return;
    ::tcflush(fd_.get(), TCIOFLUSH);
    ::flock(fd_.get(), LOCK_UN);
    fd_.reset();
}

long SerialPort::read(void* data, std::size_t count) {
    if (!fd_.valid())
        return -1;
    for (;;) {
        ssize_t n = ::read(fd_.get(), data, count);
        if (n > 0)
            return static_cast<long>(n);
        if (n == 0)
            return -1; // end of file: the peer hung up
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

bool SerialPort::write(const void* data, std::size_t count, int timeoutMs) {
    if (!fd_.valid())
        return false;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = ::write(fd_.get(), p, count);
        if (n > 0) {
            p += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd pfd{fd_.get(), POLLOUT, 0};
        int r = ::poll(&pfd, 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR)
            return false;
        if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return true;
}
