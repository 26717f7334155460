#pragma once

#include "emulator/ServoModel.h"

#include <cstdint>
#include <random>

// Generates the encoder readings of a mount that tracks a star: a periodic error of the worm with a
// few harmonics, a slow drift and a little noise, on top of the sidereal motion, each scaled by the
// closed loop's response to its settings (ServoModel), plus the loop's ringing. Time is in seconds
// since logging started. Owned by the emulator thread (the noise source has state).
class TrackingSignal {
public:
    struct Params {
        double wormPeriodS = 480.0;
        // Amplitudes (arc-seconds) and phases (radians) of the worm's fundamental and the harmonics
        // 2 and 3.
        double amplitudeArcsec[3] = {5.0, 1.5, 0.8};
        double phaseRad[3] = {0.0, 1.1, 2.3};
        double driftArcsecPerS = 0.002;
        double noiseArcsec = 0.15; // standard deviation
        std::uint32_t seed = 12345;
    };

    // The sidereal rate: one turn per sidereal day, in arc-seconds per second.
    static constexpr double kSiderealArcsecPerS = 1296000.0 / 86164.0905;

    TrackingSignal(const Params& params, unsigned encoderBits);

    // Encoder counts per arc-second for an encoder of 2^bits counts per turn.
    static double countsPerArcsec(unsigned encoderBits);

    // The response for the whole run (logging starts).
    void resetResponse(const ServoResponse& response);
    // The settings changed at time from: later times follow response, earlier ones the one before.
    void setResponse(const ServoResponse& response, double from);
    const ServoResponse& responseAt(double t) const { return t < changeAt_ ? before_ : after_; }

    // The tracking error without noise, arc-seconds.
    double modelArcsec(double t) const;
    // The tracking error with noise, arc-seconds (draws from the noise source).
    double errorArcsec(double t);

    // The tracking error in counts, around 0, clamped to the signed 32-bit range.
    std::int32_t errorCounts(double t);
    // The absolute encoder reading: a start position advancing at the sidereal rate plus the
    // tracking error, wrapped to the encoder's width (low 32 bits for encoders of 32 bits or more).
    std::uint32_t absoluteCounts(double t);

    unsigned encoderBits() const { return bits_; }

private:
    Params params_;
    unsigned bits_;
    double countsPerArcsec_;
    double wrap_; // 2^min(bits, 32)
    std::mt19937 rng_;
    std::normal_distribution<double> noise_{0.0, 1.0};
    ServoResponse before_;
    ServoResponse after_;
    double changeAt_ = 0.0;
};
