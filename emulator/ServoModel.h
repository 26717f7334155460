#pragma once

#include <cstdint>

// How the emulated mount's closed loop answers its settings: a simple, documented model, not a
// simulation of a real drive. It scales the parts of the tracking signal (TrackingSignal) so that a
// change of P, I, D or the motor current shows on the curve:
//
//   p = P / 80, i = I / 40, d = D / 120, c = current / 800 mA   (1 at the emulator's own settings)
//   periodic error x  4 / (1 + 3 p)  x  (1 + 2 max(0, 1 - c)^2)
//                      falls as P rises; too little current raises it
//   noise          x  (1 + 2 max(0, 1 - c)^2)  x  (1 + 0.5 max(0, d - 1))
//                      more D than the reference amplifies the noise
//   drift          x  2 / (1 + i)              I pulls the slow drift in
//   ringing, a sinusoid of period 7.3 s with the amplitude
//                  4" max(0, (p + 0.25 i) / (0.5 + 0.5 d) - 1.5)^2  +  4" max(0, d - 2)^2
//                      too much P (and I) for the damping that D gives, or too much D itself,
//                      makes the loop ring; it grows past the optimum
//
// At the emulator's own settings (P 80, I 40, D 120, 800 mA) every factor is 1 and there is no ringing,
// so the signal is exactly the configured one. Stateless.
struct ServoResponse {
    double periodicScale = 1.0;
    double noiseScale = 1.0;
    double driftScale = 1.0;
    double ringArcsec = 0.0;
    bool operator==(const ServoResponse&) const = default;
};

class ServoModel {
public:
    static constexpr double kReferenceP = 80.0;
    static constexpr double kReferenceI = 40.0;
    static constexpr double kReferenceD = 120.0;
    static constexpr double kReferenceCurrentMa = 800.0;
    static constexpr double kRingPeriodS = 7.3;

    // The response to gains P, I, D (the first three PID values) and the motor current in mA.
    static ServoResponse respond(std::uint16_t p, std::uint16_t i, std::uint16_t d, std::uint16_t currentMa);

    // The model above as text for the emulator's --help, lines of at most 100 characters.
    static const char* description();
};
