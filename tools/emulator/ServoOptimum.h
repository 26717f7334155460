#pragma once

#include "emulator/TrackingSignal.h"

#include <array>
#include <cstdint>
#include <string>

// The closed loop's best gains for the emulated signal, worked out from the model alone (no samples):
// the figure is the RMS about the drift line that a step over whole worm turns measures, that is the
// root of the sum of the mean squares of the scaled harmonics, the ringing and the noise. Stateless.
class ServoOptimum {
public:
    using Gains = std::array<std::uint16_t, 3>;

    static double rmsArcsec(const TrackingSignal::Params& signal, const Gains& gains,
                            std::uint16_t currentMa);
    // The value of gain (0 P, 1 I, 2 D) in lo..hi with the lowest figure, the other gains as given.
    static std::uint16_t bestGain(const TrackingSignal::Params& signal, const Gains& gains, int gain,
                                  std::uint16_t lo, std::uint16_t hi, std::uint16_t currentMa);
    // The best gains of a search of the given gains in order, each within a quarter to four times its
    // value when its turn comes.
    static Gains bestInOrder(const TrackingSignal::Params& signal, Gains gains, const char* order,
                             std::uint16_t currentMa);
    // A table for --help: for a few starts, the best P alone and the best P, I, D in that order.
    static std::string table(const TrackingSignal::Params& signal, std::uint16_t currentMa);
};
