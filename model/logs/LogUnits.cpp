#include "model/logs/LogUnits.h"

#include "rz4/Rz4Protocol.h"

#include <cmath>

namespace {

constexpr double kArcsecPerRevolution = 1296000.0;

} // namespace

double peLogRateHz(int logRateIndex) {
    if (logRateIndex < 0 || logRateIndex >= rz4::kLogRateCount)
        return 0.0;
    return rz4::kLogRatesHz[logRateIndex];
}

double peArcsecPerCount(uint32_t encoderBits) {
    if (encoderBits == 0 || encoderBits > 64)
        return 0.0;
    return std::ldexp(kArcsecPerRevolution, -static_cast<int>(encoderBits));
}
