#pragma once

#include <cmath>
#include <cstdint>

// cos and sin of (phase + step * i) for i = 0, 1, 2, ..., by rotation, re-seeded from std::cos/std::sin
// now and then so rounding cannot build up over long runs. A value type, used by one thread.
class Oscillator {
public:
    static constexpr uint32_t kResyncInterval = 512;

    Oscillator(double step, double phase)
        : step_(step), phase_(phase), rotC_(std::cos(step)), rotS_(std::sin(step)), c_(std::cos(phase)),
          s_(std::sin(phase)) {}
    double c() const { return c_; }
    double s() const { return s_; }
    void next() {
        ++index_;
        if (--untilResync_ == 0) {
            untilResync_ = kResyncInterval;
            const double angle = phase_ + step_ * static_cast<double>(index_);
            c_ = std::cos(angle);
            s_ = std::sin(angle);
            return;
        }
        const double c = c_ * rotC_ - s_ * rotS_;
        s_ = s_ * rotC_ + c_ * rotS_;
        c_ = c;
    }

private:
    double step_;
    double phase_;
    double rotC_;
    double rotS_;
    double c_;
    double s_;
    uint64_t index_ = 0;
    uint32_t untilResync_ = kResyncInterval;
};
