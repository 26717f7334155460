#include "model/logs/CountUnwrap.h"

#include "model/logs/LogUnits.h"

#include <algorithm>

bool countsToArcsec(double* values, std::size_t n, uint32_t encoderBits) {
    const double scale = peArcsecPerCount(encoderBits);
    if (scale <= 0.0)
        return false;
    if (values == nullptr || n == 0)
        return true;
    const uint32_t wrapBits = std::min<uint32_t>(encoderBits, 32);
    const uint64_t mask = (uint64_t{1} << wrapBits) - 1;
    const int64_t halfRange = int64_t{1} << (wrapBits - 1);
    int64_t previous = static_cast<int64_t>(values[0]);
    int64_t position = previous;
    values[0] = static_cast<double>(position) * scale;
    for (std::size_t i = 1; i < n; ++i) {
        const int64_t count = static_cast<int64_t>(values[i]);
        int64_t step = static_cast<int64_t>(static_cast<uint64_t>(count - previous) & mask);
        if (step >= halfRange)
            step -= static_cast<int64_t>(mask) + 1;
        previous = count;
        position += step;
        values[i] = static_cast<double>(position) * scale;
    }
    return true;
}
