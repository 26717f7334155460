#include "platform/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

namespace {

std::string readFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// An on-board 8250/16550 port exists only when the kernel found a UART behind it.
bool onBoardPortPresent(const std::string& devPath) {
    int fd = ::open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EBUSY; // exists, just not ours now
    termios tio{};
    bool ok = ::tcgetattr(fd, &tio) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::vector<SerialDeviceEntry> listSerialDevices() {
    std::vector<SerialDeviceEntry> out;
    DIR* dir = ::opendir("/sys/class/tty");
    if (dir == nullptr)
        return out;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        bool usb = startsWith(name, "ttyUSB") || startsWith(name, "ttyACM");
        bool onBoard = startsWith(name, "ttyS") || startsWith(name, "ttyAMA") || startsWith(name, "ttymxc");
        if (!usb && !onBoard)
            continue;
        std::string sys = "/sys/class/tty/" + name;
        struct stat st {};
        if (::stat((sys + "/device").c_str(), &st) != 0)
            continue; // virtual console or other tty without hardware
        std::string dev = "/dev/" + name;
        if (::stat(dev.c_str(), &st) != 0)
            continue;
        if (onBoard && !onBoardPortPresent(dev))
            continue;
        std::string product = readFirstLine(sys + "/device/../product");
        if (product.empty())
            product = readFirstLine(sys + "/device/../../product");
        std::string label = name;
        if (!product.empty())
            label += " (" + product + ")";
        out.push_back({dev, label});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const SerialDeviceEntry& a, const SerialDeviceEntry& b) { return a.path < b.path; });
    return out;
}

std::string serialOpenErrorText(int error) {
    std::string text = std::strerror(error);
    if (error == EACCES || error == EPERM)
        text += " (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)";
    else if (error == EBUSY)
        text += " (another program is using the port)";
    else if (error == ENOENT)
        text += " (the device is not there; is the adapter plugged in?)";
    return text;
}
