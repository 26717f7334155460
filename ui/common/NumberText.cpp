#include "ui/common/NumberText.h"

#include "base/TextFormat.h"

#include <limits>

namespace {

// Parses the digits of text[begin, end) into magnitude; false when there are none, when another
// character appears, or when the magnitude exceeds limit.
bool parseDigits(const QString& text, qsizetype begin, qsizetype end, uint64_t limit, uint64_t& magnitude) {
    if (begin >= end)
        return false;
    magnitude = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - u'0');
        if (magnitude > limit)
            return false;
    }
    return true;
}

} // namespace

uint32_t readUnsignedDecimal(const QString& text) {
    const QString t = text.trimmed();
    uint64_t magnitude = 0;
    if (!parseDigits(t, 0, t.size(), std::numeric_limits<uint32_t>::max(), magnitude))
        return 0;
    return static_cast<uint32_t>(magnitude);
}

int32_t readSignedDecimal(const QString& text) {
    const QString t = text.trimmed();
    qsizetype begin = 0;
    bool negative = false;
    if (!t.isEmpty() && (t.at(0) == u'-' || t.at(0) == u'+')) {
        negative = t.at(0) == u'-';
        begin = 1;
    }
    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    uint64_t magnitude = 0;
    if (!parseDigits(t, begin, t.size(), limit, magnitude))
        return 0;
    if (negative)
        return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    return static_cast<int32_t>(magnitude);
}

QString unsignedDecimalText(uint32_t value) {
    return QString::number(value);
}

QString signedDecimalText(int32_t value) {
    char buffer[24];
    appendDecimal(buffer, sizeof buffer, 0, value);
    return QString::fromLatin1(buffer);
}

QString dottedQuadText(uint32_t value) {
    char buffer[63];
    appendDottedQuad(buffer, sizeof buffer, 0, value);
    return QString::fromLatin1(buffer);
}
