#include "model/logs/LineSource.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

namespace {

bool controlByteIn(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto u = static_cast<unsigned char>(p[i]);
        if ((u < 0x20 && u != '\t' && u != '\r') || u == 0x7F)
            return true;
    }
    return false;
}

} // namespace

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighs = 0x8080808080808080u;

// The first line end in [p, p + n), or null: eight bytes at a time, since memchr's set-up costs more than
// a whole short line.
const char* findLineEnd(const char* p, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        for (; n >= 8; p += 8, n -= 8) {
            uint64_t x = 0;
            std::memcpy(&x, p, 8);
            const uint64_t y = x ^ (kOnes * '\n');
            // The lowest flagged byte is the first line end (only bytes above a true one can be flagged).
            const uint64_t found = (y - kOnes) & ~y & kHighs;
            if (found != 0)
                return p + (std::countr_zero(found) >> 3);
        }
    }
    return static_cast<const char*>(n == 0 ? nullptr : std::memchr(p, '\n', n));
}

} // namespace

bool hasControlBytes(std::string_view text) {
    // Eight bytes at a time: a word with no byte below 0x20 and none equal to 0x7F needs no closer look
    // (the test may flag a clean word, never miss one); tab and CR send a word to the byte loop.
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t x = 0;
        std::memcpy(&x, p, 8);
        const uint64_t y = x ^ (kOnes * 0x7F);
        if ((((x - kOnes * 0x20) & ~x) | ((y - kOnes) & ~y)) & kHighs) {
            if (controlByteIn(p, 8))
                return true;
        }
    }
    return controlByteIn(p, n);
}

namespace {

// From the first NUL of text on, only NUL bytes; false when text has no NUL.
bool endsInNulPadding(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul != std::string_view::npos && text.find_first_not_of('\0', nul) == std::string_view::npos;
}

} // namespace

LineSource::LineSource(const char* data, std::size_t size)
    : data_(data == nullptr ? "" : data), end_(data == nullptr ? 0 : size), eof_(true) {}

LineSource::LineSource(std::FILE* file) : file_(file), buffer_(kChunkBytes), data_(buffer_.data()) {
    if (file_ == nullptr) {
        eof_ = true;
        errorNumber_ = EBADF;
    }
}

LineSource::LineSource(MappedFile& file, std::size_t windowBytes)
    : mapped_(&file), windowBytes_(std::max(windowBytes, 2 * kMaxLineBytes)), data_("") {}

uint64_t LineSource::bytesLeft() const {
    return mapped_ != nullptr ? mapped_->size() - std::min(mapped_->size(), windowStart_ + begin_) : 0;
}

bool LineSource::fill() {
    if (eof_)
        return false;
    if (mapped_ != nullptr) {
        // The next window starts at the first unread byte, so a line is never split between two.
        const uint64_t from = windowStart_ + begin_;
        const uint64_t oldEnd = windowStart_ + end_;
        std::size_t available = 0;
        const char* view = mapped_->view(from, windowBytes_, available);
        if (view == nullptr) {
            eof_ = true;
            if (from < mapped_->size())
                errorNumber_ = mapped_->errorNumber() != 0 ? mapped_->errorNumber() : EIO;
            data_ = "";
            windowStart_ = from;
            begin_ = end_ = 0;
            return false;
        }
        data_ = view;
        windowStart_ = from;
        begin_ = 0;
        end_ = available;
        eof_ = from + available >= mapped_->size();
        return from + available > oldEnd;
    }
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
    if (mapped_ != nullptr && end_ == 0)
        fill();
    while (file_ != nullptr && !eof_ && end_ < buffer_.size() && fill()) {
    }
    return std::string_view(data_ + begin_, std::min(end_ - begin_, kChunkBytes));
}

void LineSource::handOut(const char* begin, std::size_t length, std::string_view& line) {
    ++lineNumber_;
    // A UTF-8 byte order mark before the first line is not part of it.
    if (lineNumber_ == 1 && length >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
        begin += 3;
        length -= 3;
    }
    lineTooLong_ = length > kMaxLineBytes;
    controlBytes_ = hasControlBytes(std::string_view(begin, std::min(length, kMaxLineBytes)));
    if (lineTooLong_)
        length = kMaxLineBytes;
    else if (length > 0 && begin[length - 1] == '\r')
        --length;
    line = std::string_view(begin, length);
}

bool LineSource::restIsNul() {
    for (;;) {
        const std::string_view rest(data_ + begin_, end_ - begin_);
        if (rest.find_first_not_of('\0') != std::string_view::npos)
            return false;
        begin_ = end_;
        if (!fill())
            return errorNumber_ == 0;
    }
}

bool LineSource::next(std::string_view& line) {
    if (errorNumber_ != 0)
        return false;
    for (;;) {
        const char* start = data_ + begin_;
        const std::size_t available = end_ - begin_;
        const char* found = findLineEnd(start, available);
        if (skipping_) {
            if (found != nullptr) {
                begin_ += static_cast<std::size_t>(found - start) + 1;
                skipping_ = false;
                continue;
            }
            begin_ = end_;
            if (!fill())
                return false;
            continue;
        }
        if (found != nullptr) {
            const std::size_t length = static_cast<std::size_t>(found - start);
            begin_ += length + 1;
            handOut(start, length, line);
            return errorNumber_ == 0;
        }
        if (available > kMaxLineBytes) {
            // Hand out the start of the line now and drop the rest up to its end. A line that turns into
            // NUL bytes may be the padding at the end of the data: then it is not handed out at all.
            if (endsInNulPadding(std::string_view(start, available))) {
                cut_.assign(start, start + kMaxLineBytes);
                begin_ = end_;
                if (restIsNul()) {
                    nulPaddingLine_ = lineNumber_ + 1;
                    return false;
                }
                skipping_ = true;
                handOut(cut_.data(), cut_.size(), line);
                lineTooLong_ = true;
                return errorNumber_ == 0;
            }
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
        if (endsInNulPadding(std::string_view(start, available))) {
            nulPaddingLine_ = lineNumber_ + 1;
            return false;
        }
        unterminated_ = true;
        handOut(start, available, line);
        return true;
    }
}
