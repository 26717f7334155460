#pragma once

#include "model/analysis/LogComparison.h"
#include "model/logs/LoadedLog.h"

#include <cstddef>

// Compares two logs of one mount, for the command line's compare and the analysis window's "Compare
// with...". Keeps its working memory between calls. Owned and used by one thread at a time.
class LogComparer {
public:
    // wormPeriodSeconds: the period to fold both on; 0 or less for BEFORE's dominant period. maxFoldCurves:
    // single cycles kept for drawing. Fills out (whole) and returns out.valid().
    bool compare(const LoadedLog& before, const LoadedLog& after, double wormPeriodSeconds,
                 std::size_t maxFoldCurves, LogComparison& out);

private:
    PeSpectrum spectrum_;
};
