#include "tools/cli/AnalyzeCommand.h"

#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"
#include "model/logs/LogFileReader.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

// A value that prints as zero at the given decimals, printed without a minus sign.
double tidy(double value, int decimals) {
    return std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value;
}

void usageError(const std::string& message) {
    std::fprintf(stderr, "astrelvo-cli: %s\n\n%s", message.c_str(), kCliUsage);
}

// "FILE:LINE: text", or "FILE: text" without a line.
void fileMessage(const std::string& file, uint64_t line, const std::string& text) {
    if (line != 0)
        std::fprintf(stderr, "astrelvo-cli: %s:%llu: %s\n", file.c_str(),
                     static_cast<unsigned long long>(line), text.c_str());
    else
        std::fprintf(stderr, "astrelvo-cli: %s: %s\n", file.c_str(), text.c_str());
}

// Reports a failed read; returns the exit code it calls for.
int readFailure(const CliOptions& options, const LogReadReport& report) {
    switch (report.error()) {
    case LogReadError::NeedsEncoderBits:
        usageError(options.file + " is a data.dat export: give its encoder width with --encoder-bits N");
        return kExitUsage;
    case LogReadError::NoSuchSection:
        usageError("--section " + std::to_string(options.section) + ": " + report.errorText());
        return kExitUsage;
    case LogReadError::CannotOpen:
    case LogReadError::ReadFailed:
        fileMessage(options.file, report.errorLine(),
                    report.errorText() + ": " + std::strerror(report.errorNumber()));
        return kExitFailed;
    default:
        fileMessage(options.file, report.errorLine(), report.errorText());
        return kExitFailed;
    }
}

void printSkippedLines(const CliOptions& options, const LogReadReport& report) {
    for (const LogIssue& issue : report.issues())
        fileMessage(options.file, issue.line, "skipped: " + issue.text);
    if (report.malformedCount() > report.issues().size())
        fileMessage(options.file, 0,
                    std::to_string(report.malformedCount() - report.issues().size()) + " more lines skipped");
}

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
    LogReadReport report;
    if (!readLogFile(options.file.c_str(), readOptions, log, report)) {
        // The lines skipped on the way often say why nothing usable was left.
        printSkippedLines(options, report);
        return readFailure(options, report);
    }
    printSkippedLines(options, report);
    if (options.section != 0 && log.format != LogFormat::Phd2) {
        usageError("--section applies to PHD2 guide logs only");
        return kExitUsage;
    }

    PeSpectrum spectrum;
    PeSpectrumResult result;
    if (!spectrum.analyse(log, 0, log.size(), result)) {
        fileMessage(options.file, 0,
                    std::to_string(log.size()) + " usable samples, too few to analyse (at least " +
                        std::to_string(PeSpectrum::kMinPoints) + " are needed)");
        return kExitFailed;
    }
    double foldPoints = 0.0;
    if (options.wormPeriodSeconds > 0.0) {
        if (!result.hasTime) {
            usageError("--worm-period-seconds needs the log's sample period: give --sample-seconds");
            return kExitUsage;
        }
        foldPoints = options.wormPeriodSeconds / result.sampleSeconds;
    } else if (result.hasPeriod()) {
        foldPoints = result.components.front().periodSamples;
    }
    const PeFoldResult fold = foldPoints > 0.0
                                  ? foldCurve(result.detrended.data(), result.detrended.size(), foldPoints)
                                  : PeFoldResult{};
    if (options.wormPeriodSeconds > 0.0 && !fold.valid)
        fileMessage(options.file, 0, "the worm period is longer than the log: nothing to fold");
    if (!result.hasPeriod())
        fileMessage(options.file, 0,
                    "no periodic component stands out: a period needs at least two whole cycles in the log "
                    "and must rise above the noise");

    std::printf("format: %s\n", logFormatName(log.format));
    if (log.format == LogFormat::Phd2)
        std::printf("section: %u of %u\n", log.section, log.sectionCount);
    for (const std::string& note : log.notes)
        std::printf("note: %s\n", note.c_str());
    std::printf("samples: %zu\n", log.size());
    if (result.hasTime)
        std::printf("sample_seconds: %.9g\n", result.sampleSeconds); // exact for the log rates (1/128 s)
    std::printf("pe_peak_to_peak_arcsec: %.3f\n", result.peakToPeakArcsec);
    std::printf("pe_rms_arcsec: %.3f\n", result.rmsArcsec);
    if (result.hasPeriod()) {
        std::printf("dominant_period_samples: %.2f\n", result.components.front().periodSamples);
        if (result.hasTime)
            std::printf("dominant_period_seconds: %.2f\n", result.components.front().periodSeconds);
    }
    std::printf("drift_arcsec_per_sample: %.6f\n", tidy(result.driftArcsecPerSample, 6));
    for (const PeComponent& c : result.components)
        printComponent(c, result.hasTime);
    if (fold.valid) {
        std::printf("worm_cycles: %zu\n", fold.cycles);
        std::printf("worm_folded_peak_to_peak_arcsec: %.3f\n", fold.meanPeakToPeakArcsec);
    }
    return kExitDone;
}
