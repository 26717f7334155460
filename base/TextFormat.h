#pragma once

#include <cstdint>

// Bounded text helpers: each writes at buffer[position], never past index capacity - 1, always
// terminates with NUL and returns the index of that NUL (the new position), so calls chain.
// A call with position >= capacity - 1 writes only the terminator at position (when position is
// inside the buffer) and returns position. A null buffer or capacity below 1 writes nothing.
int appendText(char* buffer, int capacity, int position, const char* text);
// Eight upper-case hex digits, least significant nibble first.
int appendHexReversed(char* buffer, int capacity, int position, uint32_t value);
// Signed decimal; a null buffer returns 0.
int appendDecimal(char* buffer, int capacity, int position, int32_t value);
// Four decimal bytes joined by dots, most significant first.
int appendDottedQuad(char* buffer, int capacity, int position, uint32_t value);
// Signed degrees, minutes and seconds of an angle in arc-seconds: 0, +5", +1'40", +1d, +1d0'5", -2d.
int appendAngle(char* buffer, int capacity, int position, int32_t arcseconds);
