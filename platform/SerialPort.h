#pragma once

#include "platform/SerialDeviceList.h"
#include "platform/iSerialLine.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A serial device opened for exclusive use and set to 115200 baud, 8 data bits, no parity, 1 stop
// bit, with no CR/LF translation. POSIX: any tty (a pseudo-terminal too), raw, no flow control, read
// non-blocking. Windows: a COM port ("COM7", "\\.\COM12") with overlapped reads and writes, 8192-byte
// queues and a 1 ms read interval time-out, binary, no flow control of any kind, DTR and RTS on.
// Owned by the engine worker thread; the serial reader thread only calls readWait.
class SerialPort : public iSerialLine {
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures the device. Returns 0 on success, else the OS error of the failing step
    // (errno on POSIX, the Win32 error code on Windows; kSerialErrorBusy when another program holds
    // the port).
    int open(const char* path);

    IoResult readWait(void* data, std::size_t count, Event& stop, int timeoutMs,
                      bool wakeOnWritable = false) override;
    long writeSome(const void* data, std::size_t count, int timeoutMs) override;
    // Discards what is queued in both directions (aborting a pending read), then closes.
    void close() override;
    bool isOpen() const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// OS error numbers in the backend's own numbering, for the cases the engine reports itself.
extern const int kSerialErrorNotFound; // no such device (no path for the port number)
extern const int kSerialErrorBusy;     // another user holds the port
extern const int kSerialErrorNoThread; // the reader thread cannot be started
