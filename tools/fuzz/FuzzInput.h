#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Stops the run with a message when an invariant of the code under test does not hold; libFuzzer
// then saves the input that got there.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition);           \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// Reads a fuzz input front to back as a stream of small numbers and byte runs. Reads past the end
// yield zeros, so every decoder sees a well-defined (if short) operation.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }

    uint32_t u32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(byte()) << (8 * i);
        return value;
    }

    // Copies count bytes into out; what the input no longer holds is filled with zeros.
    void bytes(uint8_t* out, std::size_t count) {
        const std::size_t available = position_ < size_ ? size_ - position_ : 0;
        const std::size_t taken = count < available ? count : available;
        if (taken != 0)
            std::memcpy(out, data_ + position_, taken);
        if (taken < count)
            std::memset(out + taken, 0, count - taken);
        position_ += taken;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};
