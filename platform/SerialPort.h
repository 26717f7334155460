#pragma once

#include "platform/FileHandle.h"
#include "platform/SerialDeviceList.h"

#include <cstddef>

// A serial device opened for exclusive use and set to 115200 baud, 8 data bits, no parity, 1 stop bit,
// raw (no echo, no line editing, no CR/LF translation, no flow control). Works with any tty, including
// a pseudo-terminal. The descriptor is non-blocking: reads return what has arrived.
// Owned by the engine worker thread; the serial reader thread only reads through fd().
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures the device. Returns 0 on success, else the errno of the failing step
    // (EBUSY when another program holds the port).
    int open(const char* path);
    // Discards what is queued in both directions, then closes. Harmless when nothing is open.
    void close();
    bool isOpen() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }

    // Reads what has arrived, up to count bytes: the count, 0 when nothing waits, -1 when the port
    // failed or the peer hung up.
    long read(void* data, std::size_t count);
    // Writes all bytes within timeoutMs. False when the port is closed, fails or the time runs out.
    bool write(const void* data, std::size_t count, int timeoutMs);

private:
    FileHandle fd_;
};
