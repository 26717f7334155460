#include "tools/emulator/ServoOptimum.h"

#include "emulator/ServoModel.h"
#include "model/analysis/PidSearch.h"

#include <cmath>
#include <cstdio>

double ServoOptimum::rmsArcsec(const TrackingSignal::Params& signal, const Gains& gains,
                               std::uint16_t currentMa) {
    const ServoResponse r = ServoModel::respond(gains[0], gains[1], gains[2], currentMa);
    double meanSquare = 0.0;
    for (double amplitude : signal.amplitudeArcsec)
        meanSquare += 0.5 * (amplitude * r.periodicScale) * (amplitude * r.periodicScale);
    meanSquare += 0.5 * r.ringArcsec * r.ringArcsec;
    meanSquare += (signal.noiseArcsec * r.noiseScale) * (signal.noiseArcsec * r.noiseScale);
    return std::sqrt(meanSquare);
}

std::uint16_t ServoOptimum::bestGain(const TrackingSignal::Params& signal, const Gains& gains, int gain,
                                     std::uint16_t lo, std::uint16_t hi, std::uint16_t currentMa) {
    Gains g = gains;
    std::uint16_t best = lo;
    double lowest = 0.0;
    for (std::uint32_t v = lo; v <= hi; ++v) {
        g[static_cast<std::size_t>(gain)] = static_cast<std::uint16_t>(v);
        const double rms = rmsArcsec(signal, g, currentMa);
        if (v == lo || rms < lowest) {
            lowest = rms;
            best = static_cast<std::uint16_t>(v);
        }
    }
    return best;
}

ServoOptimum::Gains ServoOptimum::bestInOrder(const TrackingSignal::Params& signal, Gains gains,
                                              const char* order, std::uint16_t currentMa) {
    for (const char* c = order; *c != '\0'; ++c) {
        const int gain = *c == 'P' ? 0 : *c == 'I' ? 1 : *c == 'D' ? 2 : -1;
        if (gain < 0)
            continue;
        const PidSearch::Range range = PidSearch::defaultRange(gains[static_cast<std::size_t>(gain)]);
        if (range.lo != 0)
            gains[static_cast<std::size_t>(gain)] =
                bestGain(signal, gains, gain, range.lo, range.hi, currentMa);
    }
    return gains;
}

std::string ServoOptimum::table(const TrackingSignal::Params& signal, std::uint16_t currentMa) {
    static const Gains kStarts[] = {{80, 40, 120}, {20, 11, 12}, {200, 40, 120}, {40, 80, 60}};
    std::string text =
        "The model's best gains for the default signal at 800 mA (RMS about the drift line over\n"
        "whole worm turns; each gain within a quarter to four times its value at its turn):\n"
        "  start P,I,D   RMS      --search P   RMS      --search P,I,D   RMS\n";
    std::string footnote;
    for (const Gains& start : kStarts) {
        const Gains p = bestInOrder(signal, start, "P", currentMa);
        const std::uint16_t unlimited = bestGain(signal, start, 0, 1, 65535, currentMa);
        if (unlimited != p[0] && footnote.empty())
            footnote = "  * at the limit: the best P without limits is " + std::to_string(unlimited) +
                       " (--range P=LO..HI)\n";
        const Gains pid = bestInOrder(signal, start, "PID", currentMa);
        char line[160];
        std::snprintf(line, sizeof line,
                      "  %3u,%3u,%3u   %5.2f\"   P %-5u%c     %5.2f\"   %3u,%3u,%3u      %5.2f\"\n", start[0],
                      start[1], start[2], rmsArcsec(signal, start, currentMa), p[0],
                      unlimited != p[0] ? '*' : ' ', rmsArcsec(signal, p, currentMa), pid[0], pid[1], pid[2],
                      rmsArcsec(signal, pid, currentMa));
        text += line;
    }
    return text + footnote;
}
