#include "emulator/TrackingSignal.h"

#include <cmath>
#include <numbers>

TrackingSignal::TrackingSignal(const Params& params, unsigned encoderBits)
    : params_(params), bits_(encoderBits), countsPerArcsec_(countsPerArcsec(encoderBits)),
      wrap_(std::ldexp(1.0, static_cast<int>(encoderBits < 32 ? encoderBits : 32))), rng_(params.seed) {}

double TrackingSignal::countsPerArcsec(unsigned encoderBits) {
    // Widths above 64 make no sense for an encoder; keep the arithmetic finite.
    unsigned bits = encoderBits < 64 ? encoderBits : 64;
    return std::ldexp(1.0, static_cast<int>(bits)) / 1296000.0;
}

void TrackingSignal::resetResponse(const ServoResponse& response) {
    before_ = response;
    after_ = response;
    changeAt_ = 0.0;
}

void TrackingSignal::setResponse(const ServoResponse& response, double from) {
    before_ = responseAt(from);
    after_ = response;
    changeAt_ = from;
}

double TrackingSignal::modelArcsec(double t) const {
    // Each part is scaled before it is added, so that a response of 1 gives exactly the plain signal.
    const ServoResponse& r = responseAt(t);
    double w = 2.0 * std::numbers::pi * t / (params_.wormPeriodS > 0.0 ? params_.wormPeriodS : 1.0);
    double e = (params_.driftArcsecPerS * r.driftScale) * t;
    for (int k = 0; k < 3; ++k)
        e += (params_.amplitudeArcsec[k] * r.periodicScale) * std::sin((k + 1) * w + params_.phaseRad[k]);
    e += r.ringArcsec * std::sin(2.0 * std::numbers::pi * t / ServoModel::kRingPeriodS + 0.4);
    return e;
}

double TrackingSignal::errorArcsec(double t) {
    const double scale = responseAt(t).noiseScale;
    return modelArcsec(t) + (params_.noiseArcsec * scale) * noise_(rng_);
}

std::int32_t TrackingSignal::errorCounts(double t) {
    double c = std::round(errorArcsec(t) * countsPerArcsec_);
    if (c > 2147483647.0)
        return 2147483647;
    if (c < -2147483648.0)
        return static_cast<std::int32_t>(-2147483647 - 1);
    return static_cast<std::int32_t>(c);
}

std::uint32_t TrackingSignal::absoluteCounts(double t) {
    // Start somewhere a third of a turn in, so the reading is a large number.
    double arcsec = 432000.0 + kSiderealArcsecPerS * t + errorArcsec(t);
    double counts = std::fmod(std::floor(arcsec * countsPerArcsec_), wrap_);
    if (counts < 0.0)
        counts += wrap_;
    if (!(counts >= 0.0 && counts < 4294967296.0))
        counts = 0.0; // not reached for sane widths; guards the conversion
    return static_cast<std::uint32_t>(counts);
}
