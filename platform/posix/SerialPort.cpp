#include "platform/SerialPort.h"

#include "platform/posix/DescriptorLine.h"
#include "platform/posix/FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

const int kSerialErrorNotFound = ENOENT;
const int kSerialErrorBusy = EBUSY;
const int kSerialErrorNoThread = EAGAIN;

struct SerialPort::State {
    FileHandle fd;
};

SerialPort::SerialPort() : state_(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
    close();
}

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
    state_->fd = std::move(handle);
    return 0;
}

void SerialPort::close() {
    if (!state_->fd.valid())
        return;
    ::tcflush(state_->fd.get(), TCIOFLUSH);
    ::flock(state_->fd.get(), LOCK_UN);
    state_->fd.reset();
}

bool SerialPort::isOpen() const {
    return state_->fd.valid();
}

IoResult SerialPort::readWait(void* data, std::size_t count, Event& stop, int timeoutMs,
                              bool wakeOnWritable) {
    return DescriptorLine::readWaitOn(state_->fd.get(), data, count, stop, timeoutMs, wakeOnWritable);
}

long SerialPort::writeSome(const void* data, std::size_t count, int timeoutMs) {
    return DescriptorLine::writeSomeOn(state_->fd.get(), data, count, timeoutMs);
}
