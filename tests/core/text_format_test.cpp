#include "base/TextFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr char kFill = '#';

// A buffer with guard cells behind the capacity handed to the helper, to catch writes past it.
struct Guarded {
    static constexpr int kGuard = 8;
    char cells[64 + kGuard];
    explicit Guarded() { std::memset(cells, kFill, sizeof cells); }
    bool guardIntact(int capacity) const {
        for (int i = capacity; i < capacity + kGuard; ++i) {
            if (cells[i] != kFill)
                return false;
        }
        return true;
    }
};

std::string angle(int32_t value) {
    char buffer[64];
    int end = appendAngle(buffer, sizeof buffer, 0, value);
    EXPECT_EQ(static_cast<int>(std::strlen(buffer)), end);
    return buffer;
}

} // namespace

TEST(TextFormat, AppendTextCopiesTerminatesAndTruncates) {
    Guarded g;
    EXPECT_EQ(appendText(g.cells, 4, 0, "ABCDEF"), 3);
    EXPECT_STREQ(g.cells, "ABC");
    EXPECT_TRUE(g.guardIntact(4));

    char buffer[8];
    EXPECT_EQ(appendText(buffer, sizeof buffer, 0, ""), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(appendText(buffer, sizeof buffer, 0, nullptr), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(TextFormat, ChainedCallsAppendAtReturnedPosition) {
    char buffer[32];
    int pos = appendText(buffer, sizeof buffer, 0, "pipe_");
    pos = appendHexReversed(buffer, sizeof buffer, pos, 0x1A2Bu);
    EXPECT_EQ(pos, 13);
    EXPECT_STREQ(buffer, "pipe_B2A10000");
    pos = appendDecimal(buffer, sizeof buffer, pos, -42);
    EXPECT_STREQ(buffer, "pipe_B2A10000-42");
    EXPECT_EQ(pos, 16);
}

TEST(TextFormat, HexReversedLeastSignificantNibbleFirst) {
    char buffer[16];
    EXPECT_EQ(appendHexReversed(buffer, sizeof buffer, 0, 0u), 8);
    EXPECT_STREQ(buffer, "00000000");
    appendHexReversed(buffer, sizeof buffer, 0, 0xFEDCBA98u);
    EXPECT_STREQ(buffer, "89ABCDEF");

    Guarded g;
    EXPECT_EQ(appendHexReversed(g.cells, 5, 0, 0x12345678u), 4);
    EXPECT_STREQ(g.cells, "8765");
    EXPECT_TRUE(g.guardIntact(5));
}

TEST(TextFormat, DecimalRangeAndTruncation) {
    char buffer[32];
    EXPECT_EQ(appendDecimal(buffer, sizeof buffer, 0, 0), 1);
    EXPECT_STREQ(buffer, "0");
    EXPECT_EQ(appendDecimal(buffer, sizeof buffer, 0, -2147483647 - 1), 11);
    EXPECT_STREQ(buffer, "-2147483648");
    EXPECT_EQ(appendDecimal(buffer, sizeof buffer, 0, 2147483647), 10);
    EXPECT_STREQ(buffer, "2147483647");
    EXPECT_EQ(appendDecimal(buffer, sizeof buffer, 0, 1000), 4);
    EXPECT_STREQ(buffer, "1000");

    Guarded g;
    EXPECT_EQ(appendDecimal(g.cells, 4, 0, -12345), 3);
    EXPECT_STREQ(g.cells, "-12");
    EXPECT_TRUE(g.guardIntact(4));

    EXPECT_EQ(appendDecimal(nullptr, 10, 5, 7), 0);
}

TEST(TextFormat, DottedQuadAndItsTruncation) {
    char buffer[32];
    EXPECT_EQ(appendDottedQuad(buffer, sizeof buffer, 0, 0x01020304u), 7);
    EXPECT_STREQ(buffer, "1.2.3.4");
    EXPECT_EQ(appendDottedQuad(buffer, sizeof buffer, 0, 0xFFFFFFFFu), 15);
    EXPECT_STREQ(buffer, "255.255.255.255");
    appendDottedQuad(buffer, sizeof buffer, 0, 0u);
    EXPECT_STREQ(buffer, "0.0.0.0");

    // Every small capacity yields a prefix of the full text and stays inside the buffer.
    for (int capacity = 1; capacity <= 16; ++capacity) {
        Guarded g;
        int end = appendDottedQuad(g.cells, capacity, 0, 0xFFFFFFFFu);
        EXPECT_EQ(end, capacity - 1);
        EXPECT_EQ(std::string(g.cells), std::string("255.255.255.255").substr(0, capacity - 1));
        EXPECT_TRUE(g.guardIntact(capacity)) << capacity;
    }
}

TEST(TextFormat, AngleTable) {
    EXPECT_EQ(angle(0), "0");
    EXPECT_EQ(angle(5), "+5\"");
    EXPECT_EQ(angle(-30), "-30\"");
    EXPECT_EQ(angle(59), "+59\"");
    EXPECT_EQ(angle(60), "+1'0\"");
    EXPECT_EQ(angle(61), "+1'1\"");
    EXPECT_EQ(angle(100), "+1'40\"");
    EXPECT_EQ(angle(3599), "+59'59\"");
    EXPECT_EQ(angle(3600), "+1d");
    EXPECT_EQ(angle(3605), "+1d0'5\"");
    EXPECT_EQ(angle(3660), "+1d1'0\"");
    EXPECT_EQ(angle(4800), "+1d20'0\"");
    EXPECT_EQ(angle(-7200), "-2d");
    EXPECT_EQ(angle(2147483647), "+596523d14'7\"");
    EXPECT_EQ(angle(-2147483647 - 1), "-596523d14'8\"");
    EXPECT_EQ(angle(-(596522 * 3600 + 3599)), "-596522d59'59\"");
    EXPECT_EQ(angle(-(596522 * 3600 + 3599)).size(), 14u);
}

TEST(TextFormat, AngleTruncatesInsideSmallBuffers) {
    const std::string full = "-1d20'5\"";
    for (int capacity = 1; capacity <= 10; ++capacity) {
        Guarded g;
        int end = appendAngle(g.cells, capacity, 0, -4805);
        const int expected = std::min<int>(capacity - 1, static_cast<int>(full.size()));
        EXPECT_EQ(end, expected) << capacity;
        EXPECT_EQ(std::string(g.cells), full.substr(0, expected));
        EXPECT_TRUE(g.guardIntact(capacity)) << capacity;
    }
    Guarded g;
    EXPECT_EQ(appendAngle(g.cells, 1, 0, 0), 0);
    EXPECT_EQ(g.cells[0], '\0');
    EXPECT_TRUE(g.guardIntact(1));
}

TEST(TextFormat, OutOfRangeArgumentsWriteNothingOutside) {
    // Position at the last index: only the terminator.
    Guarded g;
    EXPECT_EQ(appendText(g.cells, 4, 3, "XYZ"), 3);
    EXPECT_EQ(g.cells[3], '\0');
    EXPECT_EQ(g.cells[2], kFill);
    EXPECT_TRUE(g.guardIntact(4));

    // Position at or past the capacity, negative positions, bad capacity or null buffers: no write.
    Guarded h;
    EXPECT_EQ(appendText(h.cells, 4, 4, "X"), 4);
    EXPECT_EQ(appendHexReversed(h.cells, 4, 9, 1u), 9);
    EXPECT_EQ(appendDecimal(h.cells, 4, -1, 1), -1);
    EXPECT_EQ(appendDottedQuad(h.cells, 0, 0, 1u), 0);
    EXPECT_EQ(appendAngle(h.cells, -5, 0, 1), 0);
    EXPECT_EQ(appendText(nullptr, 4, 0, "X"), 0);
    EXPECT_EQ(appendHexReversed(nullptr, 4, 0, 1u), 0);
    EXPECT_EQ(appendDottedQuad(nullptr, 4, 0, 1u), 0);
    EXPECT_EQ(appendAngle(nullptr, 4, 0, 1), 0);
    for (char c : h.cells)
        EXPECT_EQ(c, kFill);
}
