#pragma once

#include <cstdint>

// Reads little-endian values by byte position from bytes received from outside (a controller frame, an
// engine event). Positions beyond the bytes really there read as 0, so a short message never yields
// left-overs of an earlier one and nothing is read past its end.
class ByteReader {
public:
    ByteReader(const uint8_t* bytes, int length) : bytes_(bytes), length_(length) {}
    uint32_t byte(int i) const { return i >= 0 && i < length_ ? bytes_[i] : 0u; }
    uint32_t word(int i) const { return byte(i) | byte(i + 1) << 8; }
    uint32_t longAt(int i) const { return word(i) | word(i + 2) << 16; }

private:
    const uint8_t* bytes_;
    int length_;
};
