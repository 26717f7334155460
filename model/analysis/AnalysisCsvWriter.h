#pragma once

#include "model/analysis/LogAnalysisReport.h"

#include <string>
#include <string_view>

// The analysis CSV ("Save CSV..." of the analysis window): the figures as '#' lines, then one table of
// the amplitude spectrum and the folded mean cycle.
//   # astrelvo analysis 1
//   # source: <what was analysed: a file name, or "live">
//   # format: dat | csv | phd2 | live
//   # samples: N
//   # sample_seconds: S                          (only with a time base)
//   # pe_peak_to_peak_arcsec: X                  (of the drift-removed curve)
//   # pe_rms_arcsec: Y
//   # drift_arcsec_per_sample: D
//   # harmonic: period_seconds=P amplitude_arcsec=A phase_deg=F
//                                                (up to five, strongest first; period_samples=P without
//                                                 a time base; amplitude is half the peak-to-peak)
//   # worm_period_seconds: W                     (worm_period_samples without a time base; when folded)
//   # worm_cycles: C
//   # worm_folded_peak_to_peak_arcsec: Z
//   # x_unit: seconds                            (or samples)
//   table,x,value_arcsec
//   spectrum,P,A      one row per plotted period, ascending: x = period, value = amplitude
//   fold,T,M          one row per bin of the worm cycle: x = time into the cycle (bin centre), value =
//                     the mean of the folded cycles
// Lines end in CR LF, as in the Astrelvo CSV log; numbers use a decimal point whatever the locale.
// Readers should skip other '#' lines and extra columns.

// The file's text; empty when the report has no figures (too few samples).
std::string formatAnalysisCsv(const LogAnalysisReport& report, std::string_view source);

// Outcome of a write: ok, or the errno-style reason it failed.
struct AnalysisCsvResult {
    bool ok = false;
    int errorNumber = 0;
};

// Writes the file (a UTF-8 path), replacing one that exists. Fails (EINVAL) without writing when the report
// has no figures.
AnalysisCsvResult writeAnalysisCsv(const char* path, const LogAnalysisReport& report,
                                   std::string_view source);
