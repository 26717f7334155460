#include "base/TextFormat.h"

namespace {

constexpr int kArcsecondsPerDegree = 3600;
constexpr int kArcsecondsPerMinute = 60;

// True when position names a cell of a real buffer, so at least the terminator can be written there.
bool canWriteAt(const char* buffer, int capacity, int position) {
    return buffer != nullptr && capacity >= 1 && position >= 0 && position < capacity;
}

// Copies count characters of text starting at position while there is room before the last index,
// then terminates. The caller has checked canWriteAt.
int copyBounded(char* buffer, int capacity, int position, const char* text, int count) {
    int i = 0;
    while (i < count && position < capacity - 1) {
        buffer[position++] = text[i++];
    }
    buffer[position] = '\0';
    return position;
}

} // namespace

int appendText(char* buffer, int capacity, int position, const char* text) {
    if (!canWriteAt(buffer, capacity, position))
        return position;
    if (text == nullptr)
        text = "";
    while (*text != '\0' && position < capacity - 1) {
        buffer[position++] = *text++;
    }
    buffer[position] = '\0';
    return position;
}

int appendHexReversed(char* buffer, int capacity, int position, uint32_t value) {
    if (!canWriteAt(buffer, capacity, position))
        return position;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int digit = 0; digit < 8 && position < capacity - 1; ++digit) {
        buffer[position++] = kDigits[value & 0xFu];
        value >>= 4;
    }
    buffer[position] = '\0';
    return position;
}

int appendDecimal(char* buffer, int capacity, int position, int32_t value) {
    if (buffer == nullptr)
        return 0;
    if (!canWriteAt(buffer, capacity, position))
        return position;
    // The magnitude as unsigned, so that -2147483648 needs no special case.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char reversed[10];
    int digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0u);

    char text[11];
    int length = 0;
    if (value < 0)
        text[length++] = '-';
    while (digits > 0) {
        text[length++] = reversed[--digits];
    }
    return copyBounded(buffer, capacity, position, text, length);
}

int appendDottedQuad(char* buffer, int capacity, int position, uint32_t value) {
    if (!canWriteAt(buffer, capacity, position))
        return position;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) {
            if (position >= capacity - 1)
                break;
            position = appendText(buffer, capacity, position, ".");
        }
        position = appendDecimal(buffer, capacity, position, static_cast<int32_t>((value >> shift) & 0xFFu));
    }
    return position;
}

int appendAngle(char* buffer, int capacity, int position, int32_t arcseconds) {
    if (!canWriteAt(buffer, capacity, position))
        return position;
    if (arcseconds == 0)
        return appendText(buffer, capacity, position, "0");

    position = appendText(buffer, capacity, position, arcseconds < 0 ? "-" : "+");
    // Unsigned magnitude: also -2147483648 is shown correctly.
    uint32_t magnitude =
        arcseconds < 0 ? 0u - static_cast<uint32_t>(arcseconds) : static_cast<uint32_t>(arcseconds);
    const int32_t degrees = static_cast<int32_t>(magnitude / kArcsecondsPerDegree);
    const int32_t rest = static_cast<int32_t>(magnitude % kArcsecondsPerDegree);

    if (degrees > 0) {
        position = appendDecimal(buffer, capacity, position, degrees);
        position = appendText(buffer, capacity, position, "d");
        if (rest == 0)
            return position;
    }
    if (degrees > 0 || rest >= kArcsecondsPerMinute) {
        position = appendDecimal(buffer, capacity, position, rest / kArcsecondsPerMinute);
        position = appendText(buffer, capacity, position, "'");
        position = appendDecimal(buffer, capacity, position, rest % kArcsecondsPerMinute);
    } else {
        position = appendDecimal(buffer, capacity, position, rest);
    }
    return appendText(buffer, capacity, position, "\"");
}
