#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A regular file read through the memory map, one window at a time, so that a file of any size is parsed
// in place (no copy into a buffer) while only the current window counts towards the program's memory.
// The path is UTF-8 on every system. Owned and used by one thread.
class MappedFile {
public:
    MappedFile();
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens a regular file for reading; false (errorNumber() says why, as errno) when it cannot be opened
    // or is not a regular file (a directory, a pipe, a device), which a caller then reads otherwise.
    bool open(const char* utf8Path);
    uint64_t size() const { return size_; }
    // The bytes [offset, offset + length), cut at the end of the file, mapped in place of the window
    // before (whose views become invalid); null when offset is at or past the end or mapping fails
    // (errorNumber() then says why). available is set to the bytes the view holds.
    const char* view(uint64_t offset, std::size_t length, std::size_t& available);
    int errorNumber() const { return errorNumber_; }

private:
    struct System; // the descriptor or handles and the current mapping
    std::unique_ptr<System> system_;
    uint64_t size_ = 0;
    int errorNumber_ = 0;
};
