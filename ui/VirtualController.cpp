#include "ui/VirtualController.h"

#if __has_include("tools/emulator/Rz4Emulator.h")
#include "tools/emulator/Rz4Emulator.h"
#define ASTRELVO_HAS_EMULATOR 1
#else
#define ASTRELVO_HAS_EMULATOR 0
#endif

#include <cerrno>
#include <cstring>

#if !ASTRELVO_HAS_EMULATOR
// Without the emulator the pointer type stays incomplete; its deleter is never called with an object.
class Rz4Emulator {};
#endif

VirtualController::VirtualController() = default;

VirtualController::~VirtualController() {
    stop();
}

bool VirtualController::available() {
    return ASTRELVO_HAS_EMULATOR != 0;
}

bool VirtualController::ensureStarted() {
#if ASTRELVO_HAS_EMULATOR
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
#else
    lastError_ = "this build has no built-in emulator";
    return false;
#endif
}

bool VirtualController::running() const {
#if ASTRELVO_HAS_EMULATOR
    return emulator_ && emulator_->running();
#else
    return false;
#endif
}

std::string VirtualController::slavePath() const {
#if ASTRELVO_HAS_EMULATOR
    if (emulator_ && emulator_->running())
        return emulator_->slavePath();
#endif
    return {};
}

void VirtualController::stop() {
    stopped_ = true;
#if ASTRELVO_HAS_EMULATOR
    if (emulator_)
        emulator_->stop();
#endif
}
