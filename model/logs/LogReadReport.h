#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Why a log could not be read.
enum class LogReadError {
    None,
    CannotOpen,       // the file cannot be opened (errorNumber says why)
    ReadFailed,       // reading stopped with an error (errorNumber says why)
    NotALog,          // the content is none of the known log formats
    Unsupported,      // a known format in a version this program does not read
    NeedsEncoderBits, // a data.dat export needs the encoder width from the caller
    NoSuchSection,    // the guiding section asked for is not in the file
    NoSamples,        // the file holds no usable samples
};

// One line a reader skipped, with the reason.
struct LogIssue {
    uint64_t line = 0; // 1-based; 0 when the issue concerns no single line
    std::string text;
};

// What a reader has to say about a file: the lines it skipped (the first kMaxKeptIssues kept, all of
// them counted) and, when reading failed, why and where. Filled by one reader on one thread.
class LogReadReport {
public:
    static constexpr std::size_t kMaxKeptIssues = 50;

    // A line that was skipped.
    void malformed(uint64_t line, std::string text);
    // Skipped lines counted elsewhere whose details were not kept.
    void countUnlisted(uint64_t count) { malformedCount_ += count; }
    // Reading failed; always returns false so that a reader can `return report.fail(...)`.
    bool fail(LogReadError error, uint64_t line, std::string text, int errorNumber = 0);

    bool ok() const { return error_ == LogReadError::None; }
    LogReadError error() const { return error_; }
    uint64_t errorLine() const { return errorLine_; }
    int errorNumber() const { return errorNumber_; }
    const std::string& errorText() const { return errorText_; }
    const std::vector<LogIssue>& issues() const { return issues_; }
    uint64_t malformedCount() const { return malformedCount_; }

private:
    std::vector<LogIssue> issues_;
    uint64_t malformedCount_ = 0;
    LogReadError error_ = LogReadError::None;
    uint64_t errorLine_ = 0;
    int errorNumber_ = 0;
    std::string errorText_;
};
