#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif

bool PseudoTerminal::open() {
    close();
    termios tio{};
    ::cfmakeraw(&tio);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    int m = -1;
    int s = -1;
    if (::openpty(&m, &s, nullptr, &tio, nullptr) != 0)
        return false;
    master_.reset(m);
    slave_.reset(s);
    ::fcntl(m, F_SETFD, FD_CLOEXEC);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
    ::tcsetattr(m, TCSANOW, &tio);
    char name[256] = {};
    if (::ttyname_r(s, name, sizeof name) != 0) {
        close();
        return false;
    }
    slavePath_ = name;
    return true;
}

void PseudoTerminal::close() {
    master_.reset();
    slave_.reset();
    slavePath_.clear();
}
