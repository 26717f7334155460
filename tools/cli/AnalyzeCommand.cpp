#include "tools/cli/AnalyzeCommand.h"

#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"
#include "tools/cli/CliLogRead.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace {

void printComponent(const PeComponent& c, bool hasTime) {
    double phase = std::round(c.phaseDeg * 10.0) / 10.0;
    if (phase >= 360.0)
        phase -= 360.0;
    if (hasTime)
        std::printf("harmonic: period_seconds=%.2f amplitude_arcsec=%.3f phase_deg=%.1f\n", c.periodSeconds,
                    c.amplitudeArcsec, phase);
    else
        std::printf("harmonic: period_samples=%.2f amplitude_arcsec=%.3f phase_deg=%.1f\n", c.periodSamples,
                    c.amplitudeArcsec, phase);
}

} // namespace

int runAnalyze(const CliOptions& options) {
    LogReadOptions readOptions;
    readOptions.encoderBits = options.encoderBits;
    readOptions.sampleSeconds = options.sampleSeconds;
    readOptions.section = options.section;
    LoadedLog log;
    if (const int failed = cliReadLog(options.file, readOptions, "--section", log); failed != kCliLogDone)
        return failed;

    PeSpectrum spectrum;
    PeSpectrumResult result;
    // A log without time stamps is analysed in its own array (a whole night is held once); a guide log's
    // frames are interpolated onto even steps first.
    const std::size_t samples = log.size();
    const bool analysed = log.times.empty()
                              ? spectrum.analyse(std::move(log.values), log.sampleSeconds, result)
                              : spectrum.analyse(log, 0, samples, result);
    if (!analysed) {
        cliFileMessage(options.file, 0,
                       std::to_string(samples) + " usable samples, too few to analyse (at least " +
                           std::to_string(PeSpectrum::kMinPoints) + " are needed)");
        return kCliLogFailed;
    }
    double foldPoints = 0.0;
    if (options.wormPeriodSeconds > 0.0) {
        if (!result.hasTime) {
            cliUsageError("--worm-period-seconds needs the log's sample period: give --sample-seconds");
            return kCliLogUsage;
        }
        foldPoints = options.wormPeriodSeconds / result.sampleSeconds;
    } else if (result.hasPeriod()) {
        foldPoints = result.components.front().periodSamples;
    }
    const PeFoldResult fold = foldPoints > 0.0
                                  ? foldCurve(result.detrended.data(), result.detrended.size(), foldPoints)
                                  : PeFoldResult{};
    if (options.wormPeriodSeconds > 0.0 && !fold.valid)
        cliFileMessage(options.file, 0, "the worm period is longer than the log: nothing to fold");
    if (!result.hasPeriod())
        cliFileMessage(
            options.file, 0,
            "no periodic component stands out: a period needs at least two whole cycles in the log "
            "and must rise above the noise");

    std::printf("format: %s\n", logFormatName(log.format));
    if (log.format == LogFormat::Phd2)
        std::printf("section: %u of %u\n", log.section, log.sectionCount);
    for (const std::string& note : log.notes)
        std::printf("note: %s\n", note.c_str());
    std::printf("samples: %zu\n", samples);
    if (result.hasTime)
        std::printf("sample_seconds: %.9g\n", result.sampleSeconds); // exact for the log rates (1/128 s)
    std::printf("pe_peak_to_peak_arcsec: %.3f\n", result.peakToPeakArcsec);
    std::printf("pe_rms_arcsec: %.3f\n", result.rmsArcsec);
    if (result.hasPeriod()) {
        std::printf("dominant_period_samples: %.2f\n", result.components.front().periodSamples);
        if (result.hasTime)
            std::printf("dominant_period_seconds: %.2f\n", result.components.front().periodSeconds);
    }
    std::printf("drift_arcsec_per_sample: %.6f\n", cliTidy(result.driftArcsecPerSample, 6));
    for (const PeComponent& c : result.components)
        printComponent(c, result.hasTime);
    if (fold.valid) {
        std::printf("worm_cycles: %zu\n", fold.cycles);
        std::printf("worm_folded_peak_to_peak_arcsec: %.3f\n", fold.meanPeakToPeakArcsec);
    }
    return kCliLogDone;
}
