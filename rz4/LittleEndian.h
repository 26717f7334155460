#pragma once

#include <cstdint>

// Stores values little-endian, as every multi-byte value travels on the event pipe, the serial link and
// in records. A 16-bit store takes the low 16 bits of its argument.
inline void putLe16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

inline void putLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}
