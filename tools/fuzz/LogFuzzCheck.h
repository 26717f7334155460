#pragma once

// Shared by the log reader fuzzers: the options taken from the first input bytes, the invariants every
// read must keep, and a short analysis of what was read (spectrum and folding must stay finite and in
// range whatever the values are).
#include "FuzzInput.h"
#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"
#include "model/logs/LineSource.h"
#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

// Logs longer than this are read but not analysed, so that every input stays fast.
inline constexpr std::size_t kFuzzAnalyseLimit = 4096;

// Input: encoder-bits byte (0..65), section byte (0..4), sample-period byte (0 unknown, else b / 16 s),
// then the file's bytes.
inline LogReadOptions fuzzLogOptions(FuzzInput& in) {
    LogReadOptions options;
    options.encoderBits = in.byte() % 66;
    options.section = in.byte() % 5;
    const uint8_t period = in.byte();
    options.sampleSeconds = period / 16.0;
    return options;
}

inline void checkLogRead(bool ok, const LineSource& lines, const LoadedLog& log, const LogReadReport& report,
                         LogFormat format) {
    FUZZ_CHECK(ok == report.ok());
    FUZZ_CHECK(report.issues().size() <= LogReadReport::kMaxKeptIssues);
    FUZZ_CHECK(report.malformedCount() >= report.issues().size());
    for (const LogIssue& issue : report.issues())
        FUZZ_CHECK(issue.line >= 1 && issue.line <= lines.lineNumber());
    FUZZ_CHECK(log.format == format);
    if (!ok) {
        FUZZ_CHECK(report.error() != LogReadError::None);
        return;
    }
    FUZZ_CHECK(!log.values.empty() && log.values.size() <= LoadedLog::kMaxSamples);
    for (double v : log.values)
        FUZZ_CHECK(std::isfinite(v));
    FUZZ_CHECK(log.times.empty() || log.times.size() == log.values.size());
    for (std::size_t i = 0; i < log.times.size(); ++i)
        FUZZ_CHECK(std::isfinite(log.times[i]) && (i == 0 || log.times[i] > log.times[i - 1]));
    FUZZ_CHECK(std::isfinite(log.sampleSeconds) && log.sampleSeconds >= 0.0);
    for (const LogMarker& m : log.markers)
        FUZZ_CHECK(m.sample <= log.values.size());
    std::size_t covered = 0;
    for (const auto& [first, last] : log.segments()) {
        FUZZ_CHECK(first < last && last <= log.values.size());
        covered += last - first;
    }
    FUZZ_CHECK(covered == log.values.size());
    if (format == LogFormat::Phd2)
        FUZZ_CHECK(log.section >= 1 && log.section <= log.sectionCount);
}

inline void checkAnalysis(const LoadedLog& log) {
    if (log.values.size() > kFuzzAnalyseLimit)
        return;
    static PeSpectrum spectrum; // keeps its plan between inputs, as a program would
    PeSpectrumResult r;
    const bool valid = spectrum.analyse(log, 0, log.size(), r);
    FUZZ_CHECK(valid == r.valid);
    FUZZ_CHECK(r.first == 0 && r.last == log.size());
    if (!valid)
        return;
    FUZZ_CHECK(r.detrended.size() == r.points && r.points >= PeSpectrum::kMinPoints);
    FUZZ_CHECK(std::isfinite(r.peakToPeakArcsec) && r.peakToPeakArcsec >= 0.0);
    FUZZ_CHECK(std::isfinite(r.rmsArcsec) && std::isfinite(r.driftArcsecPerSample) &&
               std::isfinite(r.driftStartArcsec) && std::isfinite(r.driftArcsecPerSecond));
    FUZZ_CHECK(r.spectrumPeriod.size() == r.spectrumAmplitude.size());
    FUZZ_CHECK(r.spectrumPeriod.size() <= PeSpectrum::kMaxPlotPoints);
    for (std::size_t i = 0; i < r.spectrumPeriod.size(); ++i) {
        FUZZ_CHECK(std::isfinite(r.spectrumAmplitude[i]) && r.spectrumAmplitude[i] >= 0.0);
        FUZZ_CHECK(i == 0 || r.spectrumPeriod[i] > r.spectrumPeriod[i - 1]);
    }
    FUZZ_CHECK(r.components.size() <= PeSpectrum::kMaxComponents);
    for (std::size_t k = 0; k < r.components.size(); ++k) {
        const PeComponent& c = r.components[k];
        FUZZ_CHECK(c.periodSamples >= 2.0 && c.periodSamples * 2.0 <= static_cast<double>(r.points) + 1e-6);
        FUZZ_CHECK(std::isfinite(c.amplitudeArcsec) && c.amplitudeArcsec >= 0.0);
        FUZZ_CHECK(c.phaseDeg >= 0.0 && c.phaseDeg < 360.0);
        FUZZ_CHECK(k == 0 || c.amplitudeArcsec <= r.components[k - 1].amplitudeArcsec);
    }
    if (r.hasPeriod()) {
        const PeFoldResult f =
            foldCurve(r.detrended.data(), r.detrended.size(), r.components[0].periodSamples);
        FUZZ_CHECK(f.valid && f.cycles >= 1 && f.mean.size() == f.bins);
        FUZZ_CHECK(f.curves.size() == f.curveCycle.size() * f.bins);
        FUZZ_CHECK(std::isfinite(f.meanPeakToPeakArcsec) && f.meanPeakToPeakArcsec >= 0.0);
    }
}
