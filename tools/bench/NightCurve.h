#pragma once

// The tracking error of a whole night at 128 Hz for the offline-log benchmarks: drift, a 480 s worm error
// with two harmonics, a 15.3 s motor component and noise, arc-seconds. Deterministic (fixed seed).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>

namespace bench {

inline constexpr std::size_t kNightSamples = 4000000;
inline constexpr double kNightSampleSeconds = 1.0 / 128.0; // 8.7 hours
inline constexpr uint32_t kNightBits = 24;

class NightCurve {
public:
    double at(std::size_t i) {
        const double t = static_cast<double>(i) * kNightSampleSeconds;
        const double worm = 2.0 * std::numbers::pi * t / 480.0;
        return 0.0004 * t + 7.0 * std::sin(worm) + 2.0 * std::sin(2.0 * worm + 1.0) +
               0.8 * std::sin(3.0 * worm + 2.0) + 0.5 * std::sin(2.0 * std::numbers::pi * t / 15.3) +
               noise_(rng_);
    }

private:
    std::mt19937 rng_{1};
    std::normal_distribution<double> noise_{0.0, 0.3};
};

} // namespace bench
