#pragma once

#include "platform/iSerialLine.h"

// A serial line over a non-blocking descriptor that the caller owns (a tty, a pseudo-terminal's
// master). The static helpers serve the other descriptor-based objects of the POSIX backend.
// Used by one reading and one writing thread, like the descriptor's owner says.
class DescriptorLine : public iSerialLine {
public:
    static constexpr int kBackOffMs = 20; // rest when a descriptor reports ready without data

    explicit DescriptorLine(int fd = -1) : fd_(fd) {}
    void setDescriptor(int fd) { fd_ = fd; }

    IoResult readWait(void* data, std::size_t count, Event& stop, int timeoutMs,
                      bool wakeOnWritable = false) override {
        return readWaitOn(fd_, data, count, stop, timeoutMs, wakeOnWritable);
    }
    long writeSome(const void* data, std::size_t count, int timeoutMs) override {
        return writeSomeOn(fd_, data, count, timeoutMs);
    }
    void close() override { fd_ = -1; } // the owner closes the descriptor
    bool isOpen() const override { return fd_ >= 0; }

    // readWait on any readable descriptor; end of file and read errors are Broken.
    static IoResult readWaitOn(int fd, void* data, std::size_t count, Event& stop, int timeoutMs,
                               bool wakeOnWritable);
    // writeSome on a non-blocking descriptor.
    static long writeSomeOn(int fd, const void* data, std::size_t count, int timeoutMs);

private:
    int fd_;
};
