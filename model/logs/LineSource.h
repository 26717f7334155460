#pragma once

#include "platform/MappedFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

// Whether text holds a NUL or another control byte other than tab and CR: no log line does.
bool hasControlBytes(std::string_view text);

// Hands out the lines of a text file (read in bounded chunks, or parsed in place through a memory map a
// window at a time, so a file of any size needs little memory) or of a block of memory, without their line
// ends (LF or CR LF), counting line numbers. A line longer than kMaxLineBytes is handed out cut to that
// length, with lineTooLong() set, and its rest skipped. Owned and used by one thread.
class LineSource {
public:
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaxLineBytes = 65536;
    static constexpr std::size_t kWindowBytes = std::size_t{8} << 20; // of a mapped file

    // Memory: data must stay valid while the source is used.
    LineSource(const char* data, std::size_t size);
    // An open file, read from its current position; not closed here.
    explicit LineSource(std::FILE* file);
    // An open mapped file, from its start, windowBytes (at least 2 x kMaxLineBytes) mapped at a time; not
    // closed here.
    explicit LineSource(MappedFile& file, std::size_t windowBytes = kWindowBytes);
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    // The first bytes (up to kChunkBytes), without consuming them; call before the first next().
    std::string_view head();
    // The next line; false at the end or after a read error. The view stays valid until the next call.
    bool next(std::string_view& line);

    uint64_t lineNumber() const { return lineNumber_; } // of the line last handed out
    // Bytes after the line last handed out, when known (a mapped file); 0 otherwise.
    uint64_t bytesLeft() const;
    bool lineTooLong() const { return lineTooLong_; }           // the line last handed out was cut
    bool lastLineUnterminated() const { return unterminated_; } // the data ended without a line end
    // The line last handed out holds a NUL or another control byte (not tab or CR): a damaged line.
    bool lineHasControlBytes() const { return controlBytes_; }
    // When the data end in NUL bytes (what a crash or power loss leaves at the end of a file that was
    // being written): the line they start in, which is not handed out, even where it starts with text;
    // 0 otherwise. Known once next() has returned false.
    uint64_t nulPaddingLine() const { return nulPaddingLine_; }
    bool failed() const { return errorNumber_ != 0; }
    int errorNumber() const { return errorNumber_; }

private:
    bool fill(); // reads more into the buffer; false when nothing more comes
    void handOut(const char* begin, std::size_t length, std::string_view& line);
    // Whether every byte from here to the end of the data is NUL; consumes what it reads. Used only where
    // the rest of the data is the current line's anyway (no line end before a non-NUL byte).
    bool restIsNul();

    std::FILE* file_ = nullptr;
    MappedFile* mapped_ = nullptr;
    uint64_t windowStart_ = 0; // mapped mode: the file offset of data_[0]
    std::size_t windowBytes_ = kWindowBytes;
    std::vector<char> buffer_; // file mode only
    const char* data_ = nullptr;
    std::size_t begin_ = 0; // unread data is data_[begin_, end_)
    std::size_t end_ = 0;
    bool eof_ = false;
    bool skipping_ = false; // discarding the rest of an over-long line
    bool lineTooLong_ = false;
    bool unterminated_ = false;
    bool controlBytes_ = false;
    uint64_t nulPaddingLine_ = 0;
    std::vector<char> cut_; // an over-long line's start, kept while its rest is looked at
    int errorNumber_ = 0;
    uint64_t lineNumber_ = 0;
};
