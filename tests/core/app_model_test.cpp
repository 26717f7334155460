#include "model/store/AppModel.h"
#include "model/store/iMainDlgCallback.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct NewData {
    uint32_t start, count, available;
    bool operator==(const NewData&) const = default;
};

class RecordingListener : public iMainDlgCallback {
public:
    void OnStatus(uint32_t) override {}
    void OnEncoderBits(uint32_t) override {}
    void OnNewData(uint32_t start, uint32_t count, uint32_t available) override {
        calls.push_back({start, count, available});
    }
    std::vector<NewData> calls;
};

// A record of 32-bit little-endian values.
std::vector<uint8_t> record(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> bytes(values.size() * 4);
    std::size_t at = 0;
    for (int32_t v : values) {
        std::memcpy(bytes.data() + at, &v, 4);
        at += 4;
    }
    return bytes;
}

class AppModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<AppModel>();
        model->listener = &listener;
        dir = std::filesystem::temp_directory_path() /
              ("astrelvo_model_" + std::to_string(currentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void setRecordLength(uint32_t length) {
        model->deviceInfo.recordLength = length;
        model->updateGeometry();
    }
    void append(std::initializer_list<int32_t> values, bool last = false) {
        const auto bytes = record(values);
        model->appendRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), last);
    }
    std::string exportText() {
        const std::string path = (dir / "data.dat").string();
        EXPECT_TRUE(model->exportData(path.c_str()));
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    RecordingListener listener;
    std::unique_ptr<AppModel> model;
    std::filesystem::path dir;
};

// The same, with the time limits checked.
class SlowAppModelTest : public AppModelTest {
    timing::Checked limits_;
};

} // namespace

TEST_F(AppModelTest, StartsEmptyWithDefaults) {
    EXPECT_EQ(model->recordLength, 0u);
    EXPECT_EQ(model->rawCapacity, 0u);
    EXPECT_EQ(model->rawCount, 0u);
    EXPECT_EQ(model->sampleCount, 0u);
    EXPECT_EQ(model->deviceInfo.encoderBits, 12u);
    EXPECT_EQ(model->deviceInfo.encoderMask, 4095u);
    EXPECT_EQ(model->displaySettings.scaleIndex, 6);
    EXPECT_EQ(model->displaySettings.colorScheme, 1);
    EXPECT_TRUE(model->logSettings.logProcessed);
    EXPECT_EQ(model->logSettings.logRate, 2);
    EXPECT_EQ(model->closedLoopSettings.trackingMode, 2u);
}

TEST_F(AppModelTest, RawAreaKeepsOneSlotFree) {
    setRecordLength(16);
    EXPECT_EQ(model->rawCapacity, 32768u);
    for (int i = 0; i < 32800; ++i)
        append({i, i * 2, 0, 0}, true);
    EXPECT_EQ(model->rawCount, 32767u);
    EXPECT_EQ(model->sampleCount, 32800u);
    EXPECT_EQ(listener.calls.back().available, 1u);
    // The last stored record is the 32767th one, intact.
    int32_t ts;
    std::memcpy(&ts, model->rawRecords + 32766 * 16, 4);
    EXPECT_EQ(ts, 32766);
}

TEST_F(AppModelTest, RecordLengthZeroStoresNoRawRecords) {
    setRecordLength(0);
    append({1, 2}, true);
    EXPECT_EQ(model->rawCapacity, 0u);
    EXPECT_EQ(model->rawCount, 0u);
    EXPECT_EQ(model->sampleCount, 1u);
    EXPECT_EQ(listener.calls, (std::vector<NewData>{{0, 1, 0}}));
}

TEST_F(AppModelTest, BatchesNotifyOnceOnTheirLastRecord) {
    setRecordLength(16);
    append({0, 7, 0, 0}, true);
    model->appendRecord(nullptr, 0, true); // empty batch: notifies only
    ASSERT_EQ(listener.calls.size(), 2u);
    EXPECT_EQ(listener.calls[1], (NewData{1, 0, 32768 - 1}));
    EXPECT_EQ(model->sampleCount, 1u);

    for (int i = 0; i < 12; ++i)
        append({i, 100 + i, 0, 0}, i == 11);
    ASSERT_EQ(listener.calls.size(), 3u);
    EXPECT_EQ(listener.calls[2], (NewData{1, 12, 32768 - 13}));
    EXPECT_EQ(model->samples[1], 100);
    EXPECT_EQ(model->samples[12], 111);
}

TEST_F(AppModelTest, SamplesStopAt200000) {
    setRecordLength(8);
    for (int i = 0; i < 200000; ++i)
        append({i, -i}, (i % 1000) == 999);
    EXPECT_EQ(model->sampleCount, 200000u);
    EXPECT_EQ(model->samples[199999], -199999);
    listener.calls.clear();
    append({1, 1});
    append({2, 2}, true);
    EXPECT_EQ(listener.calls, (std::vector<NewData>{{200000, 0, 1}})); // raw area full too
    EXPECT_EQ(model->sampleCount, 200000u);
    EXPECT_EQ(model->samples[199999], -199999);
}

TEST_F(AppModelTest, ClearEmptiesBothStoresAndKeepsGeometry) {
    setRecordLength(16);
    append({1, 2, 3, 4}, true);
    model->clear();
    EXPECT_EQ(model->rawCount, 0u);
    EXPECT_EQ(model->sampleCount, 0u);
    EXPECT_EQ(model->recordLength, 16u);
    append({5, 6, 7, 8}, true);
    EXPECT_EQ(listener.calls.back(), (NewData{0, 1, 32768 - 1}));
}

TEST_F(AppModelTest, ExportsSixteenAndEightByteRecordsExactly) {
    setRecordLength(16);
    append({5, 1000, 1200, 7});
    append({-1, -2147483647 - 1, 2147483647, 0}, true);
    EXPECT_EQ(exportText(), "[N:0 TS:5] 1000 1200 7\r\n[N:1 TS:-1] -2147483648 2147483647 0\r\n");

    setRecordLength(8);
    for (int i = 0; i < 3; ++i)
        append({i, i});
    append({100, -42}, true);
    EXPECT_EQ(exportText(), "[N:0 TS:0] 0\r\n[N:1 TS:1] 1\r\n[N:2 TS:2] 2\r\n[N:3 TS:100] -42\r\n");
}

TEST_F(AppModelTest, ExportOfEmptyStoreReplacesFileWithEmptyOne) {
    const std::string path = (dir / "data.dat").string();
    {
        std::ofstream old(path, std::ios::binary);
        old << "stale contents that must go";
    }
    EXPECT_TRUE(model->exportData(path.c_str()));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(AppModelTest, ExportAfterGeometryChangeWritesOnlyNewRecordsAndReplaces) {
    setRecordLength(16);
    for (int i = 0; i < 500; ++i)
        append({i, i, i, i});
    const std::string before = exportText();
    EXPECT_EQ(before.substr(0, 18), "[N:0 TS:0] 0 0 0\r\n");
    EXPECT_NE(before.find("\r\n[N:499 TS:499] 499 499 499\r\n"), std::string::npos);
    model->updateGeometry();
    EXPECT_EQ(model->sampleCount, 500u);
    EXPECT_EQ(model->rawCount, 0u);
    append({9, 8, 7, 6}, true);
    EXPECT_EQ(exportText(), "[N:0 TS:9] 8 7 6\r\n");
    EXPECT_EQ(exportText(), "[N:0 TS:9] 8 7 6\r\n");
}

TEST_F(AppModelTest, ExportFailureIsReported) {
    setRecordLength(8);
    append({1, 2}, true);
    EXPECT_FALSE(model->exportData((dir / "missing" / "data.dat").string().c_str()));
    EXPECT_FALSE(model->exportData(nullptr));
    if (std::filesystem::exists("/dev/full")) {
        // The file opens but the data cannot be written: that is a failure too.
        EXPECT_FALSE(model->exportData("/dev/full"));
    }
}

TEST_F(SlowAppModelTest, FullStoreExportsQuickly) {
    setRecordLength(8);
    for (int i = 0; i < 65535; ++i)
        append({i, -i});
    EXPECT_EQ(model->rawCount, 65535u);
    const auto begin = std::chrono::steady_clock::now();
    const std::string text = exportText();
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_EQ(text.substr(text.size() - 27), "[N:65534 TS:65534] -65534\r\n");
}

// What the exit question and the export count: every raw record stored since the last export,
// records too short to carry a sample included; once the raw area is full, the records it refused.
TEST_F(AppModelTest, UnexportedCountsRawRecordsAndWhatTheFullAreaRefused) {
    setRecordLength(16);
    append({1, 2, 3, 4});
    append({5}); // a short record: stored raw, no sample
    append({6, 7, 8, 9}, true);
    EXPECT_EQ(model->sampleCount, 2u);
    EXPECT_EQ(model->unexportedRaw(), 3u);
    model->markExported();
    EXPECT_EQ(model->unexportedRaw(), 0u);
    append({10, 11, 12, 13}, true);
    EXPECT_EQ(model->unexportedRaw(), 1u);

    for (int i = 0; i < 32800; ++i)
        append({i, i, 0, 0}, true);
    EXPECT_EQ(model->rawCount, 32767u);
    EXPECT_EQ(model->unexportedRaw(), 32767u - 3u);
    EXPECT_EQ(model->rawRefused, 4u + 32800u - 32767u);
    EXPECT_EQ(model->rawRefusedShown, model->rawRefused); // the graph still had room for them
    append({5}, true);                                    // refused, and no sample for the graph either
    EXPECT_EQ(model->rawRefused, 4u + 32800u - 32767u + 1u);
    EXPECT_EQ(model->rawRefusedShown, 4u + 32800u - 32767u);

    // A new device record empties the raw area; Clear empties everything.
    setRecordLength(16);
    EXPECT_EQ(model->unexportedRaw(), 0u);
    EXPECT_EQ(model->rawRefused, 0u);
    append({1, 2, 3, 4}, true);
    model->clear();
    EXPECT_EQ(model->unexportedRaw(), 0u);
}

// Records that disagree with the store's record length must not be read past their end nor copied
// past their slot.
TEST_F(AppModelTest, ShortRecordsAreNotReadPastTheirEnd) {
    setRecordLength(16);
    const uint8_t shortRecord[6] = {1, 0, 0, 0, 9, 9};
    // Heap copies of exactly the received length let the address sanitizer see any overread.
    auto exact = std::make_unique<uint8_t[]>(6);
    std::memcpy(exact.get(), shortRecord, 6);
    model->appendRecord(exact.get(), 6, false);
    EXPECT_EQ(model->sampleCount, 0u); // no position in a 6-byte record
    EXPECT_EQ(model->rawCount, 1u);

    auto eight = std::make_unique<uint8_t[]>(8);
    const auto e = record({3, 33});
    std::memcpy(eight.get(), e.data(), 8);
    model->appendRecord(eight.get(), 8, true);
    EXPECT_EQ(model->sampleCount, 1u);
    EXPECT_EQ(model->samples[0], 33);
    EXPECT_EQ(listener.calls.back(), (NewData{0, 1, 32768 - 2}));

    const auto longer = record({4, 44, 444, 4444, 44444});
    model->appendRecord(longer.data(), 20, true);
    // The 6-byte record's bytes are kept and the rest of its slot is zero: 09 09 00 00 at offset 4.
    EXPECT_EQ(exportText(), "[N:0 TS:1] 2313 0 0\r\n[N:1 TS:3] 33 0 0\r\n[N:2 TS:4] 44 444 4444\r\n");
}

TEST_F(AppModelTest, StoreWithShortRecordLengthExportsWithoutOverrun) {
    setRecordLength(2);
    const uint8_t rec[2] = {0x34, 0x12};
    for (uint32_t i = 0; i + 1 < model->rawCapacity; ++i)
        model->appendRecord(rec, 2, false);
    EXPECT_EQ(model->rawCount, 262143u);
    EXPECT_EQ(model->sampleCount, 0u);
    const std::string text = exportText();
    EXPECT_EQ(text.substr(0, 17), "[N:0 TS:0] 0\r\n[N:");
}
