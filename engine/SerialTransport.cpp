#include "engine/SerialTransport.h"

#include "engine/EngineEvent.h"
#include "engine/iEventWriter.h"
#include "platform/SerialLines.h"
#include "platform/SerialPort.h"

SerialTransport::~SerialTransport() {
    readerStopEvent_.set();
    reader_.join(-1);
    if (line_)
        line_->close();
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
        lastOpenError_ = kSerialErrorBusy;
        return false;
    }
    std::string path;
    lookUpPath(port, path);
    int error = 0;
    line_ = openSerialLine(path, error);
    lastOpenError_ = error;
    if (!line_)
        return false;
    readerStopEvent_.reset();
    if (!reader_.start([this, generation]() { readerLoop(generation); })) {
        line_->close();
        line_.reset();
        lastOpenError_ = kSerialErrorNoThread;
        return false;
    }
    return true;
}

void SerialTransport::closePort() {
    readerStopEvent_.set();
    if (!reader_.join(kReaderEndWaitMs))
        return;
    if (line_) {
        line_->close();
        line_.reset();
    }
}

bool SerialTransport::writePort(const uint8_t* bytes, int count) {
    if (!line_ || count < 0 || (bytes == nullptr && count > 0))
        return false;
    if (count == 0)
        return true;
    return line_->writeAll(bytes, static_cast<std::size_t>(count), kWriteWaitMs);
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
        const IoResult got = line_->readWait(buffer, sizeof buffer, readerStopEvent_, kReaderWaitMs);
        if (got.status == IoStatus::Stopped)
            return;
        if (got.status == IoStatus::Data) {
            forwardSerialBytes(buffer, got.count);
        } else if (got.status == IoStatus::Broken) {
            // Read error, end of file or hang-up: the port is gone and would report the same at
            // once again, so the reader ends here; the session closes the port on the notice.
            if (!readerStopEvent_.isSet()) {
                const uint8_t notice[2] = {kSerialFaultHeader, generation};
                writer_.writeEvent(notice, 2);
            }
            return;
        }
    }
}
