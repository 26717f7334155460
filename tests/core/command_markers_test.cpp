// Markers of commands that changed the controller while logging: their labels, their framing through the
// engine-to-UI channel between the records, and how the store keeps them.
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "model/store/Marker.h"
#include "model/store/iMainDlgCallback.h"
#include "model/store/iWMUserSender.h"
#include "rz4/StatusCode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

class DataTransferProbe {
public:
    static Pipe& pipe(DataTransfer& channel) { return channel.pipe_; }
};

namespace {

using Bytes = std::vector<uint8_t>;

Bytes le16(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string label(const Bytes& command) {
    return makeMarker(0, command.data(), static_cast<uint32_t>(command.size())).label;
}

TEST(MarkerLabels, SayWhatWasSent) {
    struct Row {
        Bytes command;
        const char* label;
    };
    const Row rows[] = {
        {cat({{15}, le16(100), le16(40), le16(120), Bytes(14, 0)}), "PID 100/40/120"},
        {{14, 1}, "Closed loop on"},
        {{14, 7}, "Closed loop 7"},
        {cat({{12, 129}, le16(900)}), "Current 900 mA"},
        {cat({{12, 5}, le16(65535)}), "Param5 65535"},
        {{13, 128, 0xFD}, "Param128 -3"},
        {cat({{16, 1, 0}, Bytes(28, 0)}), "Aux mode 1"},
        {{9, 1}, "Tracking on"},
        {{10, 8, 0}, "Tracking rate 8"},
        {{11, 2, 1}, "Tracking special 2, flag"},
        {{8, 1, 0xF0, 0x55, 0, 0}, "Encoder reverse, offset 22000"},
        {{8, 2, 0xFF, 0xFF, 0xFF, 0xFF}, "Encoder normal, offset -1"},
        {{4}, "EEPROM store"},
        {{17, 1}, "Command 40: 1"},
        // Cut short: the missing arguments read as 0.
        {{15, 100}, "PID 100/0/0"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(label(row.command), row.label) << int(row.command[0]);

    const Bytes pid = cat({{15}, le16(1), le16(2), le16(3), Bytes(14, 0)});
    const Marker m = makeMarker(42, pid.data(), static_cast<uint32_t>(pid.size()));
    EXPECT_EQ(m.sample, 42u);
    EXPECT_EQ(m.command, 15);
    EXPECT_EQ(m.argumentCount, 20);
    EXPECT_EQ(m.arguments[4], 3);
    char tiny[5];
    EXPECT_EQ(formatMarkerLabel(tiny, sizeof tiny, pid.data(), static_cast<uint32_t>(pid.size())), 4);
    EXPECT_STREQ(tiny, "PID ");
}

class CountingListener : public iMainDlgCallback {
public:
    void OnStatus(uint32_t) override {}
    void OnEncoderBits(uint32_t) override {}
    void OnNewData(uint32_t, uint32_t count, uint32_t) override { samples += count; }
    void OnMarker(uint32_t index) override { markers.push_back(index); }
    uint32_t samples = 0;
    std::vector<uint32_t> markers;
};

class NullSender : public iWMUserSender {
public:
    bool PostUserMessage(uint32_t code, intptr_t) override {
        data += code == NotifyData ? 1 : 0;
        return true;
    }
    int data = 0;
};

struct MarkerChannel : ::testing::Test {
    void SetUp() override {
        model = std::make_unique<AppModel>();
        model->listener = &listener;
        model->deviceInfo.recordLength = 8;
        model->updateGeometry();
        channel = std::make_unique<DataTransfer>(model.get());
        channel->setSender(&sender);
    }
    void record(int32_t position, bool last) {
        int32_t values[2] = {0, position};
        channel->writeRecord(reinterpret_cast<const uint8_t*>(values), 8, last);
    }
    void drain() { channel->onUserMessage(NotifyData, 0); }

    CountingListener listener;
    NullSender sender;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DataTransfer> channel;
};

TEST_F(MarkerChannel, AMarkerLandsAtTheFirstSampleWrittenAfterIt) {
    const Bytes current = cat({{12, 129}, le16(900)});
    record(1, false);
    record(2, true);
    channel->writeMarker(current.data(), static_cast<uint32_t>(current.size()));
    EXPECT_EQ(sender.data, 3);
    record(3, true);

    // On the pipe: the marker header, then the command framed like a record without the last flag.
    Bytes bytes(64);
    const long n = DataTransferProbe::pipe(*channel).readAvailable(bytes.data(), bytes.size());
    ASSERT_EQ(n, 2 * 9 + 6 + 9);
    EXPECT_EQ(Bytes(bytes.begin() + 18, bytes.begin() + 24), cat({{0x80, 0x84}, current}));

    // Fed back in two pieces that cut the marker apart, it reaches the store whole.
    Pipe& pipe = DataTransferProbe::pipe(*channel);
    ASSERT_TRUE(pipe.write(bytes.data(), 20));
    drain();
    ASSERT_TRUE(pipe.write(bytes.data() + 20, static_cast<std::size_t>(n) - 20));
    drain();
    EXPECT_EQ(model->sampleCount, 3u);
    ASSERT_EQ(model->markerCount, 1u);
    EXPECT_EQ(model->markers[0].sample, 2u);
    EXPECT_STREQ(model->markers[0].label, "Current 900 mA");
    EXPECT_EQ(listener.markers, (std::vector<uint32_t>{0}));
    EXPECT_EQ(listener.samples, 3u);
}

TEST_F(MarkerChannel, UnframableMarkersAreNotWrittenAndAStrayMarkerHeaderCarriesNothing) {
    const Bytes tooLong(32, 15);
    channel->writeMarker(tooLong.data(), 32);
    channel->writeMarker(tooLong.data(), 0);
    channel->writeMarker(nullptr, 3);
    EXPECT_EQ(DataTransferProbe::pipe(*channel).bytesAvailable(), 0u);
    EXPECT_EQ(sender.data, 0);

    // A marker header followed by an empty batch end: the batch ends, no marker is made, and the next
    // record is a record again.
    const Bytes injected{0x80, 0xC0, 0x88, 0, 0, 0, 0, 7, 0, 0, 0};
    ASSERT_TRUE(DataTransferProbe::pipe(*channel).write(injected.data(), injected.size()));
    drain();
    EXPECT_EQ(model->markerCount, 0u);
    EXPECT_EQ(model->sampleCount, 1u);
    EXPECT_EQ(model->samples[0], 7);
}

TEST(MarkerStore, KeepsTheFirstMarkersCountsTheRestAndClearEmptiesThem) {
    auto model = std::make_unique<AppModel>();
    CountingListener listener;
    model->listener = &listener;
    const Bytes store{4};
    for (uint32_t i = 0; i < AppModel::kMaxMarkers + 5; ++i)
        model->appendMarker(store.data(), 1);
    EXPECT_EQ(model->markerCount, AppModel::kMaxMarkers);
    EXPECT_EQ(model->markersDropped, 5u);
    EXPECT_EQ(listener.markers.size(), AppModel::kMaxMarkers);
    EXPECT_EQ(listener.markers.back(), AppModel::kMaxMarkers - 1);
    model->appendMarker(nullptr, 1);
    model->appendMarker(store.data(), 0);
    EXPECT_EQ(model->markersDropped, 5u);

    // A new device record keeps them with the samples; Clear empties both.
    model->updateGeometry();
    EXPECT_EQ(model->markerCount, AppModel::kMaxMarkers);
    model->clear();
    EXPECT_EQ(model->markerCount, 0u);
    EXPECT_EQ(model->markersDropped, 0u);
}

} // namespace
