#pragma once

#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"
#include "model/logs/LoadedLog.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Figures of one stretch of a log between two markers, and how they changed against the stretch before.
// Positions are in points of the analysed curve (see LogAnalysisReport). A value type.
struct SegmentFigures {
    std::size_t first = 0; // the log's samples [first, last)
    std::size_t last = 0;
    double fromPoint = 0.0; // where the stretch lies on the analysed curve
    double toPoint = 0.0;
    std::string label;  // the marker it starts at; empty for the stretch before the first marker
    bool valid = false; // enough samples for figures
    double peakToPeakArcsec = 0.0;
    double rmsArcsec = 0.0;
    bool hasPeriod = false;
    double dominantPeriodSamples = 0.0;
    double dominantPeriodSeconds = 0.0; // 0 without a time base
    // Against the stretch before, when both have figures: difference (this minus before) and that
    // difference in percent of the value before (hasPercent: the value before is not 0).
    bool hasChange = false;
    double peakToPeakChange = 0.0;
    double rmsChange = 0.0;
    bool hasPercent = false;
    double peakToPeakChangePercent = 0.0;
    double rmsChangePercent = 0.0;
};

// The spectrum and the folded mean of one stretch, for laying two stretches over each other.
struct SegmentCurves {
    int segment = -1; // index into LogAnalysisReport::segments; -1 when none was asked for
    bool valid = false;
    std::vector<double> spectrumPeriod; // as PeSpectrumResult's
    std::vector<double> spectrumAmplitude;
    // On the same worm period as the whole log, its single cycles left out; the mean cycle is turned so
    // that bin b lies at the worm phase of bin b of the whole log's folding.
    PeFoldResult fold;
};

// A labelled position on the analysed curve.
struct ReportMark {
    double point = 0.0;
    std::string label;
};

// Everything the analysis window shows of a log: the whole log's spectrum and components, its drift-removed
// curve cut down for drawing, the curve folded on the worm period, the figures of the stretches between
// markers and, when two were picked, their spectra and folded means. The analysed curve has evenly spaced
// points (a guide log's frames are interpolated onto even steps); point i lies i x whole.sampleSeconds
// seconds after the first sample when the time base is known. Made on the analysing thread, then handed
// whole to the UI thread and only read there.
struct LogAnalysisReport {
    uint64_t serial = 0; // of the request it answers
    LogFormat format = LogFormat::Live;
    std::size_t samples = 0; // of the log
    // Spectrum, components, drift and figures of the whole log; its `detrended` is left empty (the curve
    // is in curveX / curveY).
    PeSpectrumResult whole;
    // The drift-removed curve for drawing (decimateMinMax): point positions and values in arc-seconds.
    // The curve as logged is each value plus the drift line at its point.
    std::vector<double> curveX;
    std::vector<double> curveY;
    std::vector<ReportMark> marks;

    // Folding on the worm period: the period entered, or the dominant one when none was.
    bool wormFromDominant = false;
    double wormPeriod = 0.0; // seconds with a time base, else samples; 0 when there is none to fold on
    PeFoldResult fold;

    std::vector<SegmentFigures> segments;
    SegmentCurves compared[2];

    bool hasTime() const { return whole.hasTime; }
    // A position on the analysed curve in the unit of the x axis: seconds with a time base, else points.
    double axisOf(double point) const { return hasTime() ? point * whole.sampleSeconds : point; }
};
