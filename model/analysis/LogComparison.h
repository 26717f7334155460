#pragma once

#include "model/analysis/PeFolding.h"
#include "model/analysis/PeSpectrum.h"

#include <vector>

// One of BEFORE's strongest components and what AFTER holds at the same period. A value type.
struct ComparedHarmonic {
    double periodSeconds = 0.0;
    double beforeArcsec = 0.0; // amplitude: half the sinusoid's peak-to-peak
    // AFTER's amplitude at the same period, fitted together with the other periods and a line; NaN when
    // AFTER does not hold one whole cycle of it.
    double afterArcsec = 0.0;
};

// Why two logs could not be compared.
enum class CompareProblem {
    None,
    BeforeTooShort, // fewer samples than an analysis needs
    AfterTooShort,
    NoTimeBase, // a log without a sample period: periods in seconds mean nothing
};

// Two logs of the same mount side by side (BEFORE and AFTER a change): their figures and spectra, BEFORE's
// strongest components against AFTER's at the same periods, and both folded on one worm period, AFTER's
// mean cycle turned to line up with BEFORE's (the logs do not say where the worm stood). Made on one
// thread, then handed whole to another and only read there.
struct LogComparison {
    CompareProblem problem = CompareProblem::None;
    bool valid() const { return problem == CompareProblem::None; }

    // Figures and spectra of each log; their drift-removed curves are left empty.
    PeSpectrumResult before;
    PeSpectrumResult after;
    // (after - before) / before x 100; 0 when before is 0.
    double changePeakToPeakPercent = 0.0;
    double changeRmsPercent = 0.0;

    // The worm period both are folded on: given, or BEFORE's dominant period; 0 when there is none.
    bool wormFromDominant = false;
    double wormPeriodSeconds = 0.0;
    std::vector<ComparedHarmonic> harmonics; // BEFORE's components, strongest first
    // Both folded on the worm period with the same number of bins; bin b of each lies at the same phase.
    PeFoldResult beforeFold;
    PeFoldResult afterFold;
};
