#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Where a log came from: a data.dat export, an Astrelvo CSV, a PHD2 guide log, or the live store.
enum class LogFormat { Live, Dat, Csv, Phd2 };

// Short name of a format as the command-line tool prints it: "live", "dat", "csv" or "phd2".
const char* logFormatName(LogFormat format);

// A labelled position in a log: sample is an index into LoadedLog::values (values.size() when the mark
// lies after the last sample).
struct LogMarker {
    std::size_t sample = 0;
    std::string label;
};

// One guiding section of a guide log as the reader found it, so that a user can pick one.
struct LogSection {
    uint32_t number = 0;    // 1-based, in file order
    uint64_t line = 0;      // of its "Guiding Begins"
    std::string started;    // the time its "Guiding Begins" line states
    std::size_t frames = 0; // usable frames; counted for every section only when reading the longest
    bool usable = false;    // it has a pixel scale, the columns needed and at least one frame
};

// A tracking log for display and analysis, read from a file or copied from the live store: one value in
// arc-seconds per sample, oldest first, with what is known about its time base and origin. Filled by one
// reader on one thread, then handed whole (moved) to the thread that shows or analyses it.
struct LoadedLog {
    // Readers stop here (about 18 hours at 128 Hz) and add a note; analysis of this many samples needs
    // about 300 MB.
    static constexpr std::size_t kMaxSamples = std::size_t{1} << 23;

    LogFormat format = LogFormat::Live;
    std::vector<double> values; // arc-seconds
    // Seconds of each sample on the log's own clock, strictly increasing, one per value; empty when the
    // log has no time column (sample i is then at i * sampleSeconds when that is known).
    std::vector<double> times;
    double sampleSeconds = 0.0;       // nominal sample period; 0 when unknown
    uint32_t encoderBits = 0;         // 0 when unknown
    uint64_t firstSampleNumber = 0;   // number the file gives its first sample (record or sample column)
    uint32_t section = 0;             // guide logs: the 1-based guiding section read, else 0
    uint32_t sectionCount = 0;        // guide logs: guiding sections in the file, else 0
    uint64_t sectionLine = 0;         // guide logs: line of the section's "Guiding Begins"
    std::string started;              // start of the log as the file states it; may be empty
    std::string port;                 // serial port the log was recorded on; may be empty
    std::vector<LogMarker> markers;   // in file order
    std::vector<LogSection> sections; // guide logs: every guiding section of the file, in order
    std::vector<std::string> notes;   // how the log was read, e.g. "analysed as logged: no xRate"

    std::size_t size() const { return values.size(); }
    // Half-open sample ranges [first, last) between consecutive markers (one range covering the whole
    // log when there are none); empty ranges are left out.
    std::vector<std::pair<std::size_t, std::size_t>> segments() const;
    void clear();
};
