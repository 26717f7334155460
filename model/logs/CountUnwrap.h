#pragma once

#include <cstddef>
#include <cstdint>

// Turns encoder positions in raw counts (whole numbers held exactly in doubles: signed 32-bit samples, or
// their differences from one of them) into arc-seconds, in place. The one unwrap of logged positions.
// Positions wrap at the encoder's range and at the 32-bit width of a stored sample, so every step is taken
// modulo that range, the shortest way round, starting from the first position as logged: a tracking error
// that never wraps keeps its values, counts x arc-seconds per count. encoderBits 1..64; with any other width
// the values are left as they are and false returned.
bool countsToArcsec(double* values, std::size_t n, uint32_t encoderBits);
