#include "model/logs/LogText.h"

#include <charconv>
#include <cmath>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string_view trimBlanks(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

namespace {

// The whole text parsed by from_chars (after trimming blanks and a leading '+').
template <typename T, typename... Format> bool parseWhole(std::string_view text, T& value, Format... format) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, format...);
    return ec == std::errc() && ptr == end;
}

} // namespace

bool parseInteger(std::string_view text, int64_t& value) {
    return parseWhole(text, value);
}

bool parseNumber(std::string_view text, double& value) {
    return parseWhole(text, value, std::chars_format::general) && std::isfinite(value);
}

bool isDecimalNumber(std::string_view text) {
    text = trimBlanks(text);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

bool parseLeadingNumber(std::string_view text, double& value) {
    text = trimBlanks(text);
    std::size_t length = 0;
    while (length < text.size() && !isBlank(text[length]) && text[length] != ',')
        ++length;
    return parseNumber(text.substr(0, length), value);
}

bool findKeyNumber(std::string_view line, std::string_view key, double& value) {
    std::size_t from = 0;
    while (from < line.size()) {
        const std::size_t at = line.find(key, from);
        if (at == std::string_view::npos)
            return false;
        from = at + key.size();
        // The key must stand alone: at the start or after a blank or comma.
        if (at > 0 && !isBlank(line[at - 1]) && line[at - 1] != ',')
            continue;
        std::string_view rest = trimBlanks(line.substr(from));
        if (rest.empty() || rest.front() != '=')
            continue;
        return parseLeadingNumber(rest.substr(1), value);
    }
    return false;
}

void CsvFields::split(std::string_view line) {
    count_ = 0;
    std::size_t i = 0;
    for (;;) {
        std::size_t begin = i;
        std::size_t end;
        // Skip blanks before a possible opening quote.
        std::size_t q = i;
        while (q < line.size() && isBlank(line[q]))
            ++q;
        if (q < line.size() && line[q] == '"') {
            begin = q + 1;
            end = begin;
            while (end < line.size() && line[end] != '"')
                ++end;
            i = end < line.size() ? end + 1 : end;
            while (i < line.size() && line[i] != ',')
                ++i;
        } else {
            while (i < line.size() && line[i] != ',')
                ++i;
            end = i;
        }
        if (count_ < kMaxFields)
            fields_[count_++] = trimBlanks(line.substr(begin, end - begin));
        if (i >= line.size())
            return;
        ++i; // past the comma
    }
}

std::string_view CsvFields::operator[](std::size_t i) const {
    return i < count_ ? fields_[i] : std::string_view();
}
