#pragma once

#include "platform/FileHandle.h"

#include <cstddef>

// An anonymous pipe private to the process: nobody outside can write into it. Writes of up to
// PIPE_BUF bytes are atomic. The read end is read by one thread, the write end may be shared by
// writers that serialise themselves.
class Pipe {
public:
    // Creates both ends. bufferSize asks the OS for that capacity where it can be set (Linux);
    // 0 keeps the default. Returns false when the pipe cannot be created.
    bool create(std::size_t bufferSize = 0);
    bool valid() const { return readEnd_.valid() && writeEnd_.valid(); }

    int readFd() const { return readEnd_.get(); }
    int writeFd() const { return writeEnd_.get(); }

    // Writes all bytes, blocking while the pipe is full. Returns false on error.
    bool write(const void* data, std::size_t count);
    // Reads up to count bytes; blocks until at least one is there. Returns the count, 0 at end of
    // file, -1 on error.
    long read(void* data, std::size_t count);
    // Reads what is there without blocking: the count (0 when nothing waits), -1 on error.
    long readAvailable(void* data, std::size_t count);
    // Bytes waiting in the pipe, without removing them (0 on error).
    std::size_t bytesAvailable() const;
    // The capacity the OS gave the pipe, where it can tell (else 0).
    std::size_t capacity() const;

    void close();

private:
    FileHandle readEnd_;
    FileHandle writeEnd_;
};
