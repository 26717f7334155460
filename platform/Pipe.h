#pragma once

#include "platform/Event.h"
#include "platform/IoResult.h"

#include <cstddef>
#include <memory>

// A one-way pipe private to the process: POSIX an anonymous pipe, Windows a named pipe whose server
// end is read with overlapped reads and whose client end is written synchronously. Writes of up to
// 512 bytes are never split between writers that serialise themselves. The read end is read by one
// thread, the write end may be shared by writers that serialise themselves.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Creates both ends. bufferSize asks the OS for that capacity where it can be set; 0 keeps the
    // default. name (Windows, e.g. "\\.\Pipe\x") names the pipe; without one the pipe gets a unique
    // name of its own. POSIX ignores the name. Returns false when the pipe cannot be created.
    bool create(std::size_t bufferSize = 0, const char* name = nullptr);
    bool valid() const;

    // Writes all bytes, blocking while the pipe is full. Returns false on error.
    bool write(const void* data, std::size_t count);
    // Reads up to count bytes; blocks until at least one is there. Returns the count, 0 at end of
    // file, -1 on error.
    long read(void* data, std::size_t count);
    // Reads what is there without blocking: the count (0 when nothing waits), -1 on error.
    long readAvailable(void* data, std::size_t count);
    // Waits up to timeoutMs (negative: without limit) for bytes or for stop (which wins): Data with
    // the count read, Stopped, Timeout, or Broken when the pipe failed.
    IoResult readWait(void* data, std::size_t count, Event& stop, int timeoutMs);
    // Bytes waiting in the pipe, without removing them (0 on error).
    std::size_t bytesAvailable() const;
    // The capacity the OS gave the pipe, where it can tell (else 0).
    std::size_t capacity() const;

    void close();

private:
    struct State;
    std::unique_ptr<State> state_;
};
