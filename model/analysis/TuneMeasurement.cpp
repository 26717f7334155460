#include "model/analysis/TuneMeasurement.h"

#include <cmath>

TuneMeasurement TuneMeasurement::of(const int32_t* samples, uint32_t count, uint32_t encoderBits,
                                    int logRateIndex) {
    TuneMeasurement m;
    PeAnalysis analysis;
    m.pe = analysis.analyse(samples, count, encoderBits, logRateIndex, 0);
    if (!m.pe.valid)
        return m;
    const uint32_t half = count / 2;
    const PeResult first = analysis.analyse(samples, half, encoderBits, logRateIndex, 0);
    const PeResult second = analysis.analyse(samples + half, count - half, encoderBits, logRateIndex, 0);
    // The difference of the halves' figures strays about twice as far as the whole's figure does.
    if (first.valid && second.valid)
        m.noiseArcsec = 0.5 * std::fabs(first.rmsArcsec - second.rmsArcsec);
    return m;
}
