#include "engine/DevicePacket.h"
#include "engine/FrameParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class RecordingHandler : public iFrameHandler {
public:
    int onFrame(const uint8_t* frame, int length) override {
        frames.emplace_back(frame, frame + length);
        const int result = nextResult;
        ++nextResult;
        return result;
    }
    std::vector<Bytes> frames;
    int nextResult = 1; // each frame returns a different result, so the returned one can be identified
};

struct ParserFixture : ::testing::Test {
    RecordingHandler handler;
    FrameParser parser{&handler};

    int feed(const Bytes& bytes) {
        return parser.parseFrameBytes(bytes.data(), static_cast<int>(bytes.size()));
    }
};

Bytes shortFrame(const Bytes& payload) {
    Bytes frame;
    frame.reserve(payload.size() + 2);
    frame.push_back('U');
    frame.push_back(static_cast<uint8_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

Bytes blockFrame(const Bytes& data) {
    Bytes frame{'R', static_cast<uint8_t>(data.size() & 0xFF), static_cast<uint8_t>(data.size() >> 8)};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

TEST_F(ParserFixture, FramesWithoutPayloadAreDeliveredOnTheirLastHeaderByte) {
    EXPECT_EQ(feed({'U'}), 0);
    EXPECT_TRUE(handler.frames.empty());
    EXPECT_EQ(feed({0}), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0], (Bytes{'U', 0}));

    EXPECT_EQ(feed({'R', 0}), 0);
    EXPECT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(feed({0}), 2);
    ASSERT_EQ(handler.frames.size(), 2u);
    EXPECT_EQ(handler.frames[1], (Bytes{'R', 0, 0}));
    EXPECT_EQ(parser.state(), FrameParser::Idle);
}

TEST_F(ParserFixture, LengthByteAbove127IsAPlainCountAndStartBytesInsideDataAreData) {
    Bytes payload(200, 0x80);
    payload[0] = 'U';
    payload[1] = 'R';
    payload[199] = 'U';
    const Bytes frame = shortFrame(payload);
    EXPECT_EQ(feed(Bytes(frame.begin(), frame.end() - 1)), 0);
    EXPECT_TRUE(handler.frames.empty());
    EXPECT_EQ(feed({frame.back()}), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0], frame);

    Bytes data{'S', 'R', 'U', 'R', 0x55};
    EXPECT_EQ(feed(blockFrame(data)), 2);
    ASSERT_EQ(handler.frames.size(), 2u);
    EXPECT_EQ(handler.frames[1], blockFrame(data));
}

TEST_F(ParserFixture, NoiseBeforeAFrameIsSkipped) {
    EXPECT_EQ(feed({0x00, 0xFF, 'S', 0x53, 0xAA, 'U', 2, 7, 8}), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0], (Bytes{'U', 2, 7, 8}));
}

TEST_F(ParserFixture, BlockOfExactly2048BytesIsDeliveredAfterItsLastByte) {
    Bytes data(2048, 0x11);
    data[0] = 83;
    const Bytes frame = blockFrame(data);
    EXPECT_EQ(feed(Bytes(frame.begin(), frame.end() - 1)), 0);
    EXPECT_TRUE(handler.frames.empty());
    EXPECT_EQ(feed({frame.back()}), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0].size(), 2051u);
    EXPECT_EQ(handler.frames[0], frame);
}

TEST_F(ParserFixture, OversizeBlockIsDroppedAndLaterFramesStillArrive) {
    // 2049 declared: dropped on the length's high byte; its would-be data (no start bytes) is skipped.
    Bytes stream{'R', 0x01, 0x08};
    stream.insert(stream.end(), 2049, 0x33);
    const Bytes next = shortFrame({1, 2, 3});
    stream.insert(stream.end(), next.begin(), next.end());
    EXPECT_EQ(feed(stream), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0], next);

    // The largest declaration, directly followed by a valid block and a valid short frame.
    Bytes second{'R', 0xFF, 0xFF};
    const Bytes block = blockFrame({83, 9, 9});
    second.insert(second.end(), block.begin(), block.end());
    second.insert(second.end(), next.begin(), next.end());
    EXPECT_EQ(feed(second), 3);
    ASSERT_EQ(handler.frames.size(), 3u);
    EXPECT_EQ(handler.frames[1], block);
    EXPECT_EQ(handler.frames[2], next);
}

TEST_F(ParserFixture, TwoFramesInOneCallAreBothDeliveredAndTheSecondResultReturned) {
    Bytes stream = shortFrame({5, 1, 0, 0, 0, 0});
    const Bytes block = blockFrame({83});
    stream.insert(stream.end(), block.begin(), block.end());
    EXPECT_EQ(feed(stream), 2);
    ASSERT_EQ(handler.frames.size(), 2u);
    EXPECT_EQ(handler.frames[0], shortFrame({5, 1, 0, 0, 0, 0}));
    EXPECT_EQ(handler.frames[1], block);
}

TEST_F(ParserFixture, FrameSplitAcrossCallsIsDeliveredDuringTheLastCall) {
    EXPECT_EQ(feed({'U', 3, 10}), 0);
    EXPECT_EQ(feed({11}), 0);
    EXPECT_TRUE(handler.frames.empty());
    EXPECT_EQ(feed({12, 'U'}), 1);
    ASSERT_EQ(handler.frames.size(), 1u);
    EXPECT_EQ(handler.frames[0], (Bytes{'U', 3, 10, 11, 12}));
    EXPECT_EQ(parser.state(), FrameParser::ShortLength);

    // A block split inside its length field.
    EXPECT_EQ(feed({0, 'R', 2}), 2);
    EXPECT_EQ(feed({0, 83}), 0);
    EXPECT_EQ(feed({4}), 3);
    ASSERT_EQ(handler.frames.size(), 3u);
    EXPECT_EQ(handler.frames[2], (Bytes{'R', 2, 0, 83, 4}));
}

TEST_F(ParserFixture, RandomFramesCutAtRandomPointsWithNoiseBetweenArriveExactly) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::vector<Bytes> sent;
    Bytes stream;
    for (int n = 0; n < 300; ++n) {
        const int noise = std::uniform_int_distribution<int>(0, 6)(random);
        for (int i = 0; i < noise; ++i) {
            uint8_t b = static_cast<uint8_t>(byteValue(random));
            while (b == 'U' || b == 'R') {
                b = static_cast<uint8_t>(byteValue(random));
            }
            stream.push_back(b);
        }
        const bool block = (random() & 1) != 0;
        const int length = block ? std::uniform_int_distribution<int>(0, 2048)(random)
                                 : std::uniform_int_distribution<int>(0, 255)(random);
        Bytes body(static_cast<size_t>(length));
        for (auto& b : body) {
            b = static_cast<uint8_t>(byteValue(random));
        }
        sent.push_back(block ? blockFrame(body) : shortFrame(body));
        stream.insert(stream.end(), sent.back().begin(), sent.back().end());
    }
    size_t at = 0;
    while (at < stream.size()) {
        const size_t piece = std::min(stream.size() - at,
                                      static_cast<size_t>(std::uniform_int_distribution<int>(1, 31)(random)));
        parser.parseFrameBytes(stream.data() + at, static_cast<int>(piece));
        at += piece;
    }
    ASSERT_EQ(handler.frames.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(handler.frames[i], sent[i]) << "frame " << i;
    }
}

Bytes packetBytes(const DevicePacket& packet) {
    return Bytes(packet.data(), packet.data() + packet.size());
}

TEST(DevicePacketTest, BlockRequestLayout) {
    EXPECT_EQ(packetBytes(DevicePacket::withByteAndWord(83, 1, 500)),
              (Bytes{0xAA, 0x04, 0x53, 0x01, 0xF4, 0x01}));
    // Fields keep only their low bits.
    EXPECT_EQ(packetBytes(DevicePacket::withByteAndWord(83, 0x101, 0x12345)),
              (Bytes{0xAA, 0x04, 0x53, 0x01, 0x45, 0x23}));
}

TEST(DevicePacketTest, EveryShapeHasItsSizeAndALengthByteCountingTheBytesAfterIt) {
    const uint16_t words[10] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A,
                                0x0B0C, 0x0D0E, 0x0F10, 0x1112, 0x1314};
    const uint32_t longs[6] = {0x11223344, 0xFFFFFFFF, 0, 1, 0x80000000, 0x01020304};
    const DevicePacket packets[] = {
        DevicePacket::query(1),
        DevicePacket::withBytes(13, 1),
        DevicePacket::withBytes(36, 1, 2),
        DevicePacket::withBytes(59, 0, 1, 2),
        DevicePacket::withByteAndWord(83, 1, 2),
        DevicePacket::withBytes(36, 1, 5, 2, 3),
        DevicePacket::withBytesAndWord(51, 0, 129, 700),
        DevicePacket::withBytesAndLongs(124, 1, 1, 2, 3),
        DevicePacket::withWords(85, 1, words),
        DevicePacket::withWordsAndLongs(87, 1, 2, 3, 4, 5, longs),
    };
    const int sizes[] = {3, 4, 5, 6, 6, 7, 7, 13, 24, 34};
    for (size_t i = 0; i < std::size(packets); ++i) {
        EXPECT_EQ(packets[i].size(), sizes[i]) << "shape " << i + 1;
        EXPECT_EQ(packets[i].data()[0], 0xAA);
        EXPECT_EQ(packets[i].data()[1], packets[i].size() - 2) << "shape " << i + 1;
    }
    EXPECT_EQ(packetBytes(DevicePacket::withBytesAndLongs(124, 1, 0xFF, 0xFFFFFFFF, 0x01020304)),
              (Bytes{0xAA, 0x0B, 0x7C, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01}));
    const Bytes full = packetBytes(DevicePacket::withWordsAndLongs(87, 1, 2, 3, 0x0504, 0x0706, longs));
    const Bytes expectedHead{0xAA, 32, 87, 1, 2, 3, 4, 5, 6, 7, 0x44, 0x33, 0x22, 0x11, 0xFF};
    EXPECT_TRUE(std::equal(expectedHead.begin(), expectedHead.end(), full.begin()));
    EXPECT_EQ(full[30], 0x04);
    EXPECT_EQ(full[33], 0x01);
    const Bytes pid = packetBytes(DevicePacket::withWords(85, 1, words));
    EXPECT_EQ(pid[4], 0x02);
    EXPECT_EQ(pid[5], 0x01);
    EXPECT_EQ(pid[23], 0x13);
}

} // namespace
