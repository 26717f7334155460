#pragma once

#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/iSerialLine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class iEventWriter;

// The engine's serial port: opens and closes it, writes packets, and runs the reader thread that
// pushes every received byte into the event pipe as SerialData events (at most 31 bytes each).
// When the port fails or the peer hangs up, the reader writes the serial-fault event (its header,
// then the generation given to openPort) and ends.
// Threads: openPort, closePort and writePort run on the engine worker thread, which owns the port;
// the reader thread only reads the port; the path table is filled from the UI thread under its lock.
class SerialTransport {
public:
    static constexpr int kReadSize = 128;
    static constexpr int kReaderWaitMs = 200;
    static constexpr int kBackOffMs = 20; // pause when the port or the engine cannot take bytes now
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kReaderEndWaitMs = 10000;
    static constexpr uint32_t kMaxPortNumber = 255;

    explicit SerialTransport(iEventWriter& writer) : writer_(writer) {}
    ~SerialTransport(); // stops the reader (without limit) and closes the port
    SerialTransport(const SerialTransport&) = delete;
    SerialTransport& operator=(const SerialTransport&) = delete;

    // Port numbers 1..255 lead to device paths; a null or empty path removes the entry. False for a
    // number outside 1..255.
    bool setPortPath(uint32_t port, const char* path);

    // Closes what is open, opens the port's line (a serial device, exclusive, 115200 8N1 raw, or an
    // in-process loopback line) and starts the reader. False when the number has no path
    // (kSerialErrorNotFound) or the open fails; lastOpenError() tells why.
    bool openPort(uint32_t port, uint8_t generation);
    // Stops the reader, waiting at most kReaderEndWaitMs, then discards both queues and closes the
    // port. Harmless when nothing is open. A reader that does not end in time keeps the port open
    // (closing a descriptor that another thread still polls is unsafe); the next close ends it.
    void closePort();
    // Writes the whole packet within kWriteWaitMs. False at once when no port is open.
    bool writePort(const uint8_t* bytes, int count);

    // Cuts bytes into SerialData events of at most 31 bytes and writes each one. Called on the
    // reader thread.
    void forwardSerialBytes(const uint8_t* bytes, long count);

    // The two halves of closePort, for a shutdown that must keep draining the event pipe while the
    // reader ends: signal the reader, then wait for it (true when no reader runs any more).
    void signalReaderStop() { readerStopEvent_.set(); }
    bool waitReaderEnd(int timeoutMs) { return reader_.join(timeoutMs); }

    bool isOpen() const { return line_ != nullptr; }
    bool readerRunning() const { return reader_.running(); }
    // OS error of the last failed open (errno, or the Win32 code on Windows), 0 after a success.
    int lastOpenError() const { return lastOpenError_.load(); }

private:
    void readerLoop(uint8_t generation);
    // Copies the path of a port number into out (empty when there is none).
    void lookUpPath(uint32_t port, std::string& out);

    iEventWriter& writer_;
    std::unique_ptr<iSerialLine> line_; // set and reset on the worker thread while no reader runs
    Event readerStopEvent_{Event::Reset::Manual, false};
    std::atomic<int> lastOpenError_{0};

    std::mutex pathLock_;
    std::string portPaths_[kMaxPortNumber + 1]; // index 0 unused

    Thread reader_; // last: joined before the members it uses go
};
