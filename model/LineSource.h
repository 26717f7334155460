#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

// Hands out the lines of a text file (read in bounded chunks, so a file of any size needs little memory)
// or of a block of memory, without their line ends (LF or CR LF), counting line numbers. A line longer
// than kMaxLineBytes is handed out cut to that length, with lineTooLong() set, and its rest skipped.
// Owned and used by one thread.
class LineSource {
public:
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaxLineBytes = 65536;

    // Memory: data must stay valid while the source is used.
    LineSource(const char* data, std::size_t size);
    // An open file, read from its current position; not closed here.
    explicit LineSource(std::FILE* file);
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    // The first bytes (up to kChunkBytes), without consuming them; call before the first next().
    std::string_view head();
    // The next line; false at the end or after a read error. The view stays valid until the next call.
    bool next(std::string_view& line);

    uint64_t lineNumber() const { return lineNumber_; }         // of the line last handed out
    bool lineTooLong() const { return lineTooLong_; }           // the line last handed out was cut
    bool lastLineUnterminated() const { return unterminated_; } // the data ended without a line end
    bool failed() const { return errorNumber_ != 0; }
    int errorNumber() const { return errorNumber_; }

private:
    bool fill(); // reads more into the buffer; false when nothing more comes
    void handOut(const char* begin, std::size_t length, std::string_view& line);

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_; // file mode only
    const char* data_ = nullptr;
    std::size_t begin_ = 0; // unread data is data_[begin_, end_)
    std::size_t end_ = 0;
    bool eof_ = false;
    bool skipping_ = false; // discarding the rest of an over-long line
    bool lineTooLong_ = false;
    bool unterminated_ = false;
    int errorNumber_ = 0;
    uint64_t lineNumber_ = 0;
};
