#include "ui/main/VirtualController.h"

#include "emulator/Rz4Emulator.h"

#include <cerrno>
#include <cstring>

VirtualController::VirtualController() = default;

VirtualController::~VirtualController() {
    stop();
}

bool VirtualController::ensureStarted() {
    if (emulator_ && emulator_->running())
        return true;
    if (stopped_) {
        lastError_ = "the built-in emulator has been shut down";
        return false;
    }
    if (!emulator_)
        emulator_ = std::make_unique<Rz4Emulator>();
    errno = 0;
    if (!emulator_->start()) {
        const int error = errno;
        lastError_ = "the built-in emulator could not start";
        if (error != 0) {
            lastError_ += ": ";
            lastError_ += std::strerror(error);
        }
        return false;
    }
    lastError_.clear();
    return true;
}

bool VirtualController::running() const {
    return emulator_ && emulator_->running();
}

std::string VirtualController::slavePath() const {
    if (emulator_ && emulator_->running())
        return emulator_->slavePath();
    return {};
}

void VirtualController::stop() {
    stopped_ = true;
    if (emulator_)
        emulator_->stop();
}
