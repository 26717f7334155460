#include "emulator/ServoModel.h"

#include <algorithm>

namespace {

double square(double v) {
    return v * v;
}

} // namespace

ServoResponse ServoModel::respond(std::uint16_t pGain, std::uint16_t iGain, std::uint16_t dGain,
                                  std::uint16_t currentMa) {
    const double p = pGain / kReferenceP;
    const double i = iGain / kReferenceI;
    const double d = dGain / kReferenceD;
    const double c = currentMa / kReferenceCurrentMa;

    const double weakDrive = 1.0 + 2.0 * square(std::max(0.0, 1.0 - c));
    const double damping = 0.5 + 0.5 * d;
    ServoResponse r;
    r.periodicScale = 4.0 / (1.0 + 3.0 * p) * weakDrive;
    r.noiseScale = weakDrive * (1.0 + 0.5 * std::max(0.0, d - 1.0));
    r.driftScale = 2.0 / (1.0 + i);
    r.ringArcsec =
        4.0 * square(std::max(0.0, (p + 0.25 * i) / damping - 1.5)) + 4.0 * square(std::max(0.0, d - 2.0));
    return r;
}

const char* ServoModel::description() {
    return "The emulated closed loop answers P, I, D (the first three PID values) and the motor current:\n"
           "  p = P/80, i = I/40, d = D/120, c = current/800 mA (1 at the emulator's own settings)\n"
           "  periodic error x 4/(1+3p) x (1 + 2 max(0,1-c)^2)   falls as P rises; too little current\n"
           "                                                     raises it\n"
           "  noise          x (1 + 2 max(0,1-c)^2) x (1 + 0.5 max(0,d-1))\n"
           "  drift          x 2/(1+i)\n"
           "  ringing at a period of 7.3 s, amplitude\n"
           "     4\" max(0, (p+0.25i)/(0.5+0.5d) - 1.5)^2 + 4\" max(0, d-2)^2\n"
           "     too much P or I for the damping D gives, or too much D, makes the loop ring\n"
           "  At P 80, I 40, D 120 and 800 mA the signal is the configured one. A change takes effect\n"
           "  from the moment the controller receives it.\n"
           "The encoder calibration applies to the positions: bit 0 of the encoder flags reverses them\n"
           "(absolute positions and tracking error change sign), and an offset other than the configured\n"
           "one shifts the absolute positions by the difference.\n";
}
