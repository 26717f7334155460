#include "engine/SerialTransport.h"

#include "engine/EngineEvent.h"
#include "engine/iEventWriter.h"

#include <cerrno>
#include <poll.h>

SerialTransport::~SerialTransport() {
    readerStopEvent_.set();
    reader_.join(-1);
    port_.close();
}

bool SerialTransport::setPortPath(uint32_t port, const char* path) {
    if (port < 1 || port > kMaxPortNumber)
        return false;
    std::lock_guard<std::mutex> guard(pathLock_);
    if (path == nullptr)
        portPaths_[port].clear();
    else
        portPaths_[port] = path;
    return true;
}

void SerialTransport::lookUpPath(uint32_t port, std::string& out) {
    out.clear();
    if (port < 1 || port > kMaxPortNumber)
        return;
    std::lock_guard<std::mutex> guard(pathLock_);
    out = portPaths_[port];
}

bool SerialTransport::openPort(uint32_t port, uint8_t generation) {
    closePort();
    if (reader_.running()) {
        // The previous reader is stuck and still holds the port.
        lastOpenError_ = EBUSY;
        return false;
    }
    std::string path;
    lookUpPath(port, path);
    if (path.empty()) {
        lastOpenError_ = ENOENT;
        return false;
    }
    int error = port_.open(path.c_str());
    lastOpenError_ = error;
    if (error != 0)
        return false;
    readerStopEvent_.reset();
    if (!reader_.start([this, generation]() { readerLoop(generation); })) {
        port_.close();
        lastOpenError_ = EAGAIN;
        return false;
    }
    return true;
}

void SerialTransport::closePort() {
    readerStopEvent_.set();
    if (!reader_.join(kReaderEndWaitMs))
        return;
    port_.close();
}

bool SerialTransport::writePort(const uint8_t* bytes, int count) {
    if (!port_.isOpen() || count < 0 || (bytes == nullptr && count > 0))
        return false;
    if (count == 0)
        return true;
    return port_.write(bytes, static_cast<std::size_t>(count), kWriteWaitMs);
}

void SerialTransport::forwardSerialBytes(const uint8_t* bytes, long count) {
    if (bytes == nullptr || count < 1)
        return;
    uint8_t event[kMaxEventBytes];
    long done = 0;
    while (done < count) {
        long left = count - done;
        int chunk = left < kMaxSerialChunk ? static_cast<int>(left) : kMaxSerialChunk;
        event[0] = eventHeader(EventSerialData, chunk);
        for (int i = 0; i < chunk; ++i)
            event[1 + i] = bytes[done + i];
        writer_.writeEvent(event, chunk + 1);
        done += chunk;
    }
}

void SerialTransport::readerLoop(uint8_t generation) {
    uint8_t buffer[kReadSize];
    for (;;) {
        if (!writer_.roomForSerialData()) {
            // The engine is behind: leave the bytes in the port's queue until it catches up.
            if (readerStopEvent_.wait(kBackOffMs) == WaitResult::Object0)
                return;
            continue;
        }
        WaitResult ready = waitEventOrFd(readerStopEvent_, port_.fd(), POLLIN, kReaderWaitMs);
        if (ready == WaitResult::Object0)
            return;
        if (ready == WaitResult::Timeout)
            continue;
        if (ready == WaitResult::Failed) {
            // The wait itself broke: do not spin, keep honouring the stop event.
            if (readerStopEvent_.wait(kReaderWaitMs) == WaitResult::Object0)
                return;
            continue;
        }
        long n = port_.read(buffer, sizeof buffer);
        if (n > 0) {
            forwardSerialBytes(buffer, n);
        } else if (n < 0) {
            // Read error, end of file or hang-up: the port is gone. The descriptor would stay ready
            // forever, so the reader ends here; the session closes the port on the notice.
            if (!readerStopEvent_.isSet()) {
                const uint8_t notice[2] = {kSerialFaultHeader, generation};
                writer_.writeEvent(notice, 2);
            }
            return;
        } else {
            // Reported ready but nothing to read (an error condition without data): pause instead
            // of polling the same condition again at once.
            if (readerStopEvent_.wait(kBackOffMs) == WaitResult::Object0)
                return;
        }
    }
}
