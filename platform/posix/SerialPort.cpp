#include "platform/SerialPort.h"

#include "platform/posix/DescriptorLine.h"
#include "platform/posix/FileHandle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
