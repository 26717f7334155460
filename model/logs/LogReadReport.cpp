#include "model/logs/LogReadReport.h"

#include <utility>

void LogReadReport::malformed(uint64_t line, std::string text) {
    ++malformedCount_;
    if (issues_.size() < kMaxKeptIssues)
        issues_.push_back(LogIssue{line, std::move(text)});
}

bool LogReadReport::fail(LogReadError error, uint64_t line, std::string text, int errorNumber) {
    error_ = error;
    errorLine_ = line;
    errorText_ = std::move(text);
    errorNumber_ = errorNumber;
    return false;
}
