#include "platform/PseudoTerminal.h"

#include "platform/posix/DescriptorLine.h"
#include "platform/posix/FileHandle.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif

struct PseudoTerminal::State {
    FileHandle master;
    FileHandle slave; // kept open so that the line does not hang up while no host has it open
    DescriptorLine masterLine;
};

PseudoTerminal::PseudoTerminal() : state_(std::make_unique<State>()) {}

PseudoTerminal::~PseudoTerminal() = default;

bool PseudoTerminal::supported() {
    return true;
}

bool PseudoTerminal::open(bool nonBlockingMaster) {
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
    state_->master.reset(m);
    state_->slave.reset(s);
    ::fcntl(m, F_SETFD, FD_CLOEXEC);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
    if (nonBlockingMaster)
        ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    ::tcsetattr(m, TCSANOW, &tio);
    char name[256] = {};
    if (::ttyname_r(s, name, sizeof name) != 0) {
        close();
        return false;
    }
    slavePath_ = name;
    state_->masterLine.setDescriptor(m);
    return true;
}

void PseudoTerminal::close() {
    state_->masterLine.close();
    state_->master.reset();
    state_->slave.reset();
    slavePath_.clear();
}

int PseudoTerminal::master() const {
    return state_->master.get();
}

iSerialLine* PseudoTerminal::masterLine() {
    return state_->master.valid() ? &state_->masterLine : nullptr;
}
