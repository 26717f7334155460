#include "model/analysis/LogAnalyser.h"

#include "model/analysis/CurveDecimation.h"

#include <algorithm>
#include <cmath>

namespace {

// The position of sample `sample` of the log on the curve that `analysed` describes (in its points): a
// log with time stamps was interpolated onto even steps from its first analysed frame.
double pointOf(const LoadedLog& log, const PeSpectrumResult& analysed, std::size_t sample) {
    if (analysed.resampled && analysed.sampleSeconds > 0.0 && !log.times.empty()) {
        const std::size_t last = log.times.size() - 1;
        // A mark after the last frame lies one step after it.
        const double seconds = sample <= last ? log.times[sample] : log.times[last] + analysed.sampleSeconds;
        return (seconds - analysed.startSeconds) / analysed.sampleSeconds;
    }
    return static_cast<double>(sample) - static_cast<double>(analysed.first);
}

// Worm period in points of a curve with this spacing (0 when it cannot be one).
double wormPoints(double wormPeriod, const PeSpectrumResult& analysed) {
    if (!(wormPeriod > 0.0) || !std::isfinite(wormPeriod))
        return 0.0;
    return analysed.hasTime ? wormPeriod / analysed.sampleSeconds : wormPeriod;
}

// Change of `now` against `before`: difference, and percent of before when before is not 0.
void change(double now, double before, double& difference, double& percent, bool& hasPercent) {
    difference = now - before;
    hasPercent = hasPercent && before > 0.0;
    percent = before > 0.0 ? 100.0 * difference / before : 0.0;
}

} // namespace

void LogAnalyser::analyse(const LoadedLog& log, const LogAnalysisOptions& options,
                          LogAnalysisReport& report) {
    const uint64_t serial = report.serial;
    report = LogAnalysisReport{};
    report.serial = serial;
    report.format = log.format;
    report.samples = log.size();

    spectrum_.analyse(log, 0, log.size(), whole_);
    report.whole.valid = whole_.valid;
    decimateMinMax(whole_.detrended.data(), whole_.detrended.size(), options.curveBuckets, report.curveX,
                   report.curveY);
    // The report carries everything but the full curve.
    std::vector<double> detrended = std::move(whole_.detrended);
    report.whole = whole_;
    whole_.detrended = std::move(detrended);

    for (const LogMarker& m : log.markers)
        report.marks.push_back({pointOf(log, whole_, std::min(m.sample, log.size())), m.label});

    double worm = options.wormPeriod;
    if (!(worm > 0.0) && whole_.hasPeriod()) {
        report.wormFromDominant = true;
        const PeComponent& dominant = whole_.components.front();
        worm = whole_.hasTime ? dominant.periodSeconds : dominant.periodSamples;
    }
    report.wormPeriod = worm > 0.0 && std::isfinite(worm) ? worm : 0.0;
    const double points = wormPoints(report.wormPeriod, whole_);
    if (whole_.valid && points > 0.0)
        report.fold =
            foldCurve(whole_.detrended.data(), whole_.detrended.size(), points, 512, options.maxFoldCurves);

    analyseSegments(log, report);
    compare(log, options.compareA, report.wormPeriod, report, report.compared[0]);
    compare(log, options.compareB, report.wormPeriod, report, report.compared[1]);
}

void LogAnalyser::analyseSegments(const LoadedLog& log, LogAnalysisReport& report) {
    // A stretch is named after the marker it starts at; the first one has none unless a marker lies at 0.
    const auto ranges = log.segments();
    report.segments.reserve(ranges.size());
    for (const auto& [first, last] : ranges) {
        SegmentFigures s;
        s.first = first;
        s.last = last;
        s.fromPoint = pointOf(log, whole_, first);
        s.toPoint = pointOf(log, whole_, last);
        for (const LogMarker& m : log.markers) {
            if (std::min(m.sample, log.size()) == first)
                s.label = m.label; // the last of several marks at one sample names it
        }
        // A log without markers is one stretch: the whole log's figures are its own.
        const bool whole = first == 0 && last == log.size();
        const PeSpectrumResult& figures = whole ? whole_ : part_;
        if (whole ? whole_.valid : spectrum_.analyse(log, first, last, part_)) {
            s.valid = true;
            s.peakToPeakArcsec = figures.peakToPeakArcsec;
            s.rmsArcsec = figures.rmsArcsec;
            if (figures.hasPeriod()) {
                s.hasPeriod = true;
                s.dominantPeriodSamples = figures.components.front().periodSamples;
                s.dominantPeriodSeconds = figures.components.front().periodSeconds;
            }
        }
        if (!report.segments.empty() && report.segments.back().valid && s.valid) {
            const SegmentFigures& before = report.segments.back();
            s.hasChange = true;
            s.hasPercent = true;
            change(s.peakToPeakArcsec, before.peakToPeakArcsec, s.peakToPeakChange, s.peakToPeakChangePercent,
                   s.hasPercent);
            change(s.rmsArcsec, before.rmsArcsec, s.rmsChange, s.rmsChangePercent, s.hasPercent);
        }
        report.segments.push_back(std::move(s));
    }
}

void LogAnalyser::compare(const LoadedLog& log, int index, double wormPeriod, const LogAnalysisReport& report,
                          SegmentCurves& out) {
    out = SegmentCurves{};
    if (index < 0 || static_cast<std::size_t>(index) >= report.segments.size())
        return;
    out.segment = index;
    const SegmentFigures& s = report.segments[static_cast<std::size_t>(index)];
    if (!spectrum_.analyse(log, s.first, s.last, part_))
        return;
    out.valid = true;
    out.spectrumPeriod = part_.spectrumPeriod;
    out.spectrumAmplitude = part_.spectrumAmplitude;
    const double points = wormPoints(wormPeriod, part_);
    if (!(points > 0.0))
        return;
    out.fold = foldCurve(part_.detrended.data(), part_.detrended.size(), points, 512, 0);
    // The stretch starts somewhere in a worm cycle: its mean cycle is turned so that each bin lies at
    // the same worm phase as in the whole log's folding, and two stretches can be compared bin by bin.
    const std::size_t bins = out.fold.bins;
    if (!out.fold.valid || bins == 0)
        return;
    const double phase = std::fmod(std::max(0.0, s.fromPoint), points) / points;
    const std::size_t shift =
        static_cast<std::size_t>(std::llround(phase * static_cast<double>(bins))) % bins;
    std::rotate(out.fold.mean.begin(), out.fold.mean.end() - static_cast<std::ptrdiff_t>(shift),
                out.fold.mean.end());
}
