#pragma once

#include "model/analysis/LogAnalysisReport.h"
#include "model/analysis/PeSpectrum.h"

#include <cstddef>

// What to analyse besides the whole log. A value type.
struct LogAnalysisOptions {
    // Worm period to fold on: seconds when the log has a time base, else samples; 0 for the dominant
    // period.
    double wormPeriod = 0.0;
    // Two stretches (indices of LoadedLog::segments()) whose spectra and folded means are compared; -1
    // for none.
    int compareA = -1;
    int compareB = -1;
    std::size_t curveBuckets = 1500; // detail of the curve for drawing
    std::size_t maxFoldCurves = 64;  // single cycles kept for drawing
};

// Analyses a log for the analysis window: spectrum and components of the whole log, its folding on the
// worm period, and the figures of each stretch between markers. Keeps its working memory between calls.
// Owned and used by one thread at a time (the analysing one).
class LogAnalyser {
public:
    // Fills report (its serial is left as it is). A log too short for figures gives a report whose
    // whole.valid is false.
    void analyse(const LoadedLog& log, const LogAnalysisOptions& options, LogAnalysisReport& report);

private:
    void analyseSegments(const LoadedLog& log, LogAnalysisReport& report);
    void compare(const LoadedLog& log, int index, double wormPeriod, const LogAnalysisReport& report,
                 SegmentCurves& out);

    PeSpectrum spectrum_;
    PeSpectrumResult whole_; // with its drift-removed curve
    PeSpectrumResult part_;  // of one stretch
};
