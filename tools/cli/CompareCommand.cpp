#include "tools/cli/CompareCommand.h"

#include "model/analysis/LogComparer.h"
#include "tools/cli/CliLogRead.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Reads one of the two logs; its notes (dithers added back, outliers) go to stderr.
int readOne(const std::string& file, const CliOptions& options, uint32_t section, const char* sectionOption,
            LoadedLog& log) {
    LogReadOptions readOptions;
    readOptions.encoderBits = options.encoderBits;
    readOptions.sampleSeconds = options.sampleSeconds;
    readOptions.section = section;
    const int read = cliReadLog(file, readOptions, sectionOption, log);
    if (read == kCliLogDone) {
        for (const std::string& note : log.notes)
            cliFileMessage(file, 0, "note: " + note);
    }
    return read;
}

// A percent change with one decimal, never "-0.0".
double percent(double value) {
    return cliTidy(value, 1);
}

} // namespace

int runCompare(const CliOptions& options) {
    LoadedLog before;
    LoadedLog after;
    if (const int failed = readOne(options.file, options, options.section, "--section-before", before);
        failed != kCliLogDone)
        return failed;
    if (const int failed =
            readOne(options.fileAfter, options, options.sectionAfter, "--section-after", after);
        failed != kCliLogDone)
        return failed;

    LogComparer comparer;
    LogComparison c;
    comparer.compare(before, after, options.wormPeriodSeconds, 0, c);
    switch (c.problem) {
    case CompareProblem::BeforeTooShort:
    case CompareProblem::AfterTooShort: {
        const bool first = c.problem == CompareProblem::BeforeTooShort;
        cliFileMessage(first ? options.file : options.fileAfter, 0,
                       std::to_string((first ? before : after).size()) +
                           " usable samples, too few to analyse (at least " +
                           std::to_string(PeSpectrum::kMinPoints) + " are needed)");
        return kCliLogFailed;
    }
    case CompareProblem::NoTimeBase:
        cliUsageError("compare needs each log's sample period: give --sample-seconds");
        return kCliLogUsage;
    case CompareProblem::None:
        break;
    }
    if (c.wormPeriodSeconds > 0.0 && !(c.beforeFold.valid && c.afterFold.valid))
        cliFileMessage(c.beforeFold.valid ? options.fileAfter : options.file, 0,
                       "the worm period is longer than the log: nothing to fold");
    if (!c.before.hasPeriod())
        cliFileMessage(
            options.file, 0,
            "no periodic component stands out: a period needs at least two whole cycles in the log "
            "and must rise above the noise");

    std::printf("before_pe_peak_to_peak_arcsec: %.3f\n", c.before.peakToPeakArcsec);
    std::printf("after_pe_peak_to_peak_arcsec: %.3f\n", c.after.peakToPeakArcsec);
    std::printf("change_pe_peak_to_peak_percent: %.1f\n", percent(c.changePeakToPeakPercent));
    std::printf("before_pe_rms_arcsec: %.3f\n", c.before.rmsArcsec);
    std::printf("after_pe_rms_arcsec: %.3f\n", c.after.rmsArcsec);
    std::printf("change_pe_rms_percent: %.1f\n", percent(c.changeRmsPercent));
    if (c.wormPeriodSeconds > 0.0)
        std::printf("worm_period_seconds: %.2f\n", c.wormPeriodSeconds);
    for (const ComparedHarmonic& h : c.harmonics)
        std::printf("harmonic: period_seconds=%.2f before_arcsec=%.3f after_arcsec=%.3f\n", h.periodSeconds,
                    h.beforeArcsec, h.afterArcsec);
    if (c.beforeFold.valid && c.afterFold.valid) {
        std::printf("before_folded_peak_to_peak_arcsec: %.3f\n", c.beforeFold.meanPeakToPeakArcsec);
        std::printf("after_folded_peak_to_peak_arcsec: %.3f\n", c.afterFold.meanPeakToPeakArcsec);
    }
    return kCliLogDone;
}
