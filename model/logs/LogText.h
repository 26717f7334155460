#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Small parsers shared by the log readers. None of them reads outside the view it is given.

// Without leading and trailing blanks (spaces and tabs).
std::string_view trimBlanks(std::string_view text);
bool startsWith(std::string_view text, std::string_view prefix);
// The whole (trimmed) text as a decimal integer; false on anything else or overflow.
bool parseInteger(std::string_view text, int64_t& value);
// The whole (trimmed) text as a finite decimal number; false on anything else.
bool parseNumber(std::string_view text, double& value);
// Whether the whole (trimmed) text is written as a decimal number (sign, digits, point, exponent), without
// converting it: for a column whose value is taken from another.
bool isDecimalNumber(std::string_view text);
// The number at the start of text (after blanks), ending at a blank, comma or the end; false when none.
bool parseLeadingNumber(std::string_view text, double& value);
// The value after "key = " in a line of "key = value, key = value" pairs, e.g. the 1.367 of
// "xRate = 1.367, yAngle = ..."; false when the key is missing or its value is not a number.
bool findKeyNumber(std::string_view line, std::string_view key, double& value);

// Splits a comma-separated line into fields; a field in double quotes may hold commas and loses its
// quotes. Used by one thread.
class CsvFields {
public:
    static constexpr std::size_t kMaxFields = 64;

    // Fields past kMaxFields are dropped; count() says how many were kept.
    void split(std::string_view line);
    std::size_t count() const { return count_; }
    // The trimmed field i, or an empty view when the line had fewer fields.
    std::string_view operator[](std::size_t i) const;

private:
    std::string_view fields_[kMaxFields];
    std::size_t count_ = 0;
};
