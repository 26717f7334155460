#pragma once

#include <string_view>

// The Astrelvo CSV log, as written by CsvLogWriter and read by readCsvLog:
//   # astrelvo log 1
//   # encoder_bits: N
//   # sample_seconds: S            (nominal, from the log rate; 0 when unknown)
//   # started: <ISO-8601 UTC>      (optional)
//   # port: <path>                 (optional)
//   sample,timestamp,value_counts,value_arcsec
//   0,5,1000,77.247620
//   # mark: SAMPLE LABEL           (anywhere after the header lines)
// Lines end in CR LF. Readers accept other '#' lines and further columns after these four.
namespace csvlog {

inline constexpr std::string_view kMagic = "astrelvo log";
inline constexpr int kVersion = 1;
inline constexpr std::string_view kHeaderRow = "sample,timestamp,value_counts,value_arcsec";
inline constexpr std::string_view kEncoderBitsKey = "encoder_bits:";
inline constexpr std::string_view kSampleSecondsKey = "sample_seconds:";
inline constexpr std::string_view kStartedKey = "started:";
inline constexpr std::string_view kPortKey = "port:";
inline constexpr std::string_view kMarkKey = "mark:";

} // namespace csvlog
