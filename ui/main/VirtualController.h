#pragma once

#include <memory>
#include <string>

class Rz4Emulator;

// The built-in RZ4 emulator behind the port list's "virtual" entry. It runs on the master side of a
// pseudo-terminal with its own thread; the engine opens the slave side like any serial device. It is
// started on first use and kept until stop(), which start-up calls after the engine has stopped. Owned
// and called by the UI thread.
class VirtualController {
public:
    static constexpr const char* kLabel = "Virtual RZ4 (built-in emulator)";

    VirtualController();
    ~VirtualController(); // stops
    VirtualController(const VirtualController&) = delete;
    VirtualController& operator=(const VirtualController&) = delete;

    // Starts the emulator unless it already runs. False when it cannot run (no
    // pseudo-terminal, or it was stopped for good); lastError() then says why.
    bool ensureStarted();
    bool running() const;
    // The device path to open, e.g. /dev/pts/4; empty while not running.
    std::string slavePath() const;
    // Ends the emulator for good; later ensureStarted calls fail.
    void stop();
    const std::string& lastError() const { return lastError_; }

private:
    std::unique_ptr<Rz4Emulator> emulator_;
    bool stopped_ = false;
    std::string lastError_;
};
