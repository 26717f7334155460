#include "model/LineSource.h"

#include <cerrno>
#include <cstring>

LineSource::LineSource(const char* data, std::size_t size)
    : data_(data == nullptr ? "" : data), end_(data == nullptr ? 0 : size), eof_(true) {}

LineSource::LineSource(std::FILE* file) : file_(file), buffer_(kChunkBytes), data_(buffer_.data()) {
    if (file_ == nullptr) {
        eof_ = true;
        errorNumber_ = EBADF;
    }
}

bool LineSource::fill() {
    if (eof_)
        return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::size_t room = buffer_.size() - end_;
    if (room == 0)
        return false;
    errno = 0;
    const std::size_t got = std::fread(buffer_.data() + end_, 1, room, file_);
    end_ += got;
    if (got < room) {
        eof_ = true;
        if (std::ferror(file_) != 0)
            errorNumber_ = errno != 0 ? errno : EIO;
    }
    return got > 0;
}

std::string_view LineSource::head() {
    while (file_ != nullptr && !eof_ && end_ < buffer_.size() && fill()) {
    }
    return std::string_view(data_ + begin_, end_ - begin_);
}

void LineSource::handOut(const char* begin, std::size_t length, std::string_view& line) {
    ++lineNumber_;
    // A UTF-8 byte order mark before the first line is not part of it.
    if (lineNumber_ == 1 && length >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
        begin += 3;
        length -= 3;
    }
    lineTooLong_ = length > kMaxLineBytes;
    if (lineTooLong_)
        length = kMaxLineBytes;
    else if (length > 0 && begin[length - 1] == '\r')
        --length;
    line = std::string_view(begin, length);
}

bool LineSource::next(std::string_view& line) {
    if (errorNumber_ != 0)
        return false;
    for (;;) {
        const char* start = data_ + begin_;
        const std::size_t available = end_ - begin_;
        const void* found = available == 0 ? nullptr : std::memchr(start, '\n', available);
        if (skipping_) {
            if (found != nullptr) {
                begin_ += static_cast<std::size_t>(static_cast<const char*>(found) - start) + 1;
                skipping_ = false;
                continue;
            }
            begin_ = end_;
            if (!fill())
                return false;
            continue;
        }
        if (found != nullptr) {
            const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(found) - start);
            begin_ += length + 1;
            handOut(start, length, line);
            return errorNumber_ == 0;
        }
        if (available > kMaxLineBytes) {
            // Hand out the start of the line now and drop the rest up to its end.
            begin_ = end_;
            skipping_ = true;
            handOut(start, available, line);
            return errorNumber_ == 0;
        }
        if (!eof_ && fill())
            continue;
        if (errorNumber_ != 0 || end_ == begin_)
            return false;
        begin_ = end_;
        unterminated_ = true;
        handOut(start, available, line);
        return true;
    }
}
