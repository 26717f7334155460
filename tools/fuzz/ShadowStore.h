#pragma once

#include "FuzzInput.h"
#include "model/store/AppModel.h"
#include "model/store/iMainDlgCallback.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

// A plain model of the sample store, kept next to an AppModel by the fuzzers, in growing vectors
// instead of fixed areas so that its state is easy to trust. Compared with the AppModel after each
// step (counts) and at the end (every stored byte and sample, every OnNewData call, the export text).
class ShadowStore : public iMainDlgCallback {
public:
    struct NewData {
        uint32_t start, count, available;
        bool operator==(const NewData&) const = default;
    };

    // Resets the model and the shadow to an empty store of the given record length.
    void reset(AppModel& model, uint32_t length) {
        model.clear();
        model.listener = this;
        model.deviceInfo.recordLength = length;
        model.updateGeometry();
        clear();
        updateGeometry(length);
        expectedCalls.clear();
        calls.clear();
        markerCalls.clear();
        expectedMarkerCalls.clear();
    }

    void clear() {
        raw_.clear();
        count_ = 0;
        samples_.clear();
        newStart_ = 0;
        newCount_ = 0;
        markers_.clear();
        markersDropped_ = 0;
    }

    void updateGeometry(uint32_t length) {
        raw_.clear();
        count_ = 0;
        recordLength_ = length;
        capacity_ = length == 0 ? 0 : AppModel::kRawBytes / length;
    }

    // What appendRecord must do: keep the record, cut or zero-padded to the store's length, while
    // fewer than capacity - 1 are kept; take the position at byte 4 from records that reach past it.
    void append(const uint8_t* record, uint32_t length, bool last) {
        if (record != nullptr && length != 0) {
            if (count_ + 1 < capacity_) {
                const std::size_t at = raw_.size();
                raw_.resize(at + recordLength_, 0);
                std::memcpy(raw_.data() + at, record, length < recordLength_ ? length : recordLength_);
                ++count_;
            }
            if (length >= 8 && samples_.size() < AppModel::kMaxSamples) {
                int32_t position;
                std::memcpy(&position, record + 4, sizeof position);
                samples_.push_back(position);
                ++newCount_;
            }
        }
        if (last) {
            expectedCalls.push_back({newStart_, newCount_, count_ < capacity_ ? capacity_ - count_ : 0});
            newStart_ = static_cast<uint32_t>(samples_.size());
            newCount_ = 0;
        }
    }

    // What appendMarker must do: keep the command at the next sample's index while fewer than
    // kMaxMarkers are kept, else count it as dropped; the notice of a PID sent while not logging is
    // no marker.
    void appendMarker(const uint8_t* command, uint32_t length) {
        if (command == nullptr || length == 0 || command[0] == kPidSentNotice)
            return;
        if (markers_.size() >= AppModel::kMaxMarkers) {
            ++markersDropped_;
            return;
        }
        ShadowMarker m;
        m.sample = static_cast<uint32_t>(samples_.size());
        m.command.assign(command, command + length);
        markers_.push_back(m);
        expectedMarkerCalls.push_back(static_cast<uint32_t>(markers_.size() - 1));
    }

    // Takes over the model's kept records and samples after a test moved its counts directly (a state
    // the model reaches by appending exactly those records, only faster).
    void adopt(const AppModel& model) {
        count_ = model.rawCount;
        raw_.assign(model.rawRecords, model.rawRecords + static_cast<std::size_t>(count_) * recordLength_);
        samples_.assign(model.samples, model.samples + model.sampleCount);
        newStart_ = model.newStart;
        newCount_ = model.newCount;
    }

    void OnStatus(uint32_t) override {}
    void OnEncoderBits(uint32_t) override {}
    void OnNewData(uint32_t start, uint32_t count, uint32_t available) override {
        calls.push_back({start, count, available});
    }
    void OnMarker(uint32_t index) override { markerCalls.push_back(index); }

    // The cheap part of the comparison, fit for every step.
    void checkCounts(const AppModel& model) const {
        FUZZ_CHECK(model.recordLength == recordLength_);
        FUZZ_CHECK(model.rawCapacity == capacity_);
        FUZZ_CHECK(model.rawCount == count_);
        FUZZ_CHECK(model.rawCount == 0 || model.rawCount < model.rawCapacity);
        FUZZ_CHECK(model.sampleCount == samples_.size());
        FUZZ_CHECK(model.newStart + model.newCount == model.sampleCount);
        FUZZ_CHECK(calls.size() == expectedCalls.size());
        if (!calls.empty())
            FUZZ_CHECK(calls.back() == expectedCalls.back());
        FUZZ_CHECK(model.markerCount == markers_.size());
        FUZZ_CHECK(model.markersDropped == markersDropped_);
        FUZZ_CHECK(markerCalls == expectedMarkerCalls);
    }

    // The whole comparison.
    void checkAll(const AppModel& model) const {
        checkCounts(model);
        if (!raw_.empty())
            FUZZ_CHECK(std::memcmp(model.rawRecords, raw_.data(), raw_.size()) == 0);
        if (!samples_.empty())
            FUZZ_CHECK(std::memcmp(model.samples, samples_.data(), samples_.size() * sizeof(int32_t)) == 0);
        FUZZ_CHECK(calls == expectedCalls);
        for (std::size_t i = 0; i < markers_.size(); ++i) {
            const Marker& m = model.markers[i];
            const ShadowMarker& s = markers_[i];
            FUZZ_CHECK(m.sample == s.sample);
            FUZZ_CHECK(m.command == s.command[0]);
            const std::size_t arguments = std::min<std::size_t>(s.command.size() - 1, Marker::kMaxArguments);
            FUZZ_CHECK(m.argumentCount == arguments);
            FUZZ_CHECK(std::memcmp(m.arguments, s.command.data() + 1, arguments) == 0);
            FUZZ_CHECK(std::memchr(m.label, '\0', sizeof m.label) != nullptr);
        }
    }

    // The export text of the kept records, numbered from firstNumber.
    std::string expectedExport(uint32_t firstNumber) const {
        std::string text;
        char line[128];
        for (uint32_t i = 0; i < count_; ++i) {
            const int number = static_cast<int>(firstNumber + i);
            const uint8_t* r = raw_.data() + static_cast<std::size_t>(i) * recordLength_;
            if (recordLength_ == 16) {
                std::snprintf(line, sizeof line, "[N:%d TS:%d] %d %d %d\r\n", number, value(r, 0),
                              value(r, 4), value(r, 8), value(r, 12));
            } else {
                std::snprintf(line, sizeof line, "[N:%d TS:%d] %d\r\n", number, value(r, 0), value(r, 4));
            }
            text += line;
        }
        return text;
    }

    // Exports the model through writeRecords into a scratch file and compares the text.
    void checkExport(const AppModel& model, uint32_t firstNumber) const {
        static std::FILE* scratch = std::tmpfile();
        if (scratch == nullptr)
            return;
        std::rewind(scratch);
        FUZZ_CHECK(ftruncate(fileno(scratch), 0) == 0);
        FUZZ_CHECK(model.writeRecords(scratch, firstNumber));
        FUZZ_CHECK(std::fflush(scratch) == 0);
        const long written = std::ftell(scratch);
        std::string text(static_cast<std::size_t>(written), '\0');
        std::rewind(scratch);
        FUZZ_CHECK(std::fread(text.data(), 1, text.size(), scratch) == text.size());
        FUZZ_CHECK(text == expectedExport(firstNumber));
    }

    std::vector<NewData> calls;         // what the model reported
    std::vector<NewData> expectedCalls; // what it should have reported
    std::vector<uint32_t> markerCalls;  // the index of every OnMarker call
    std::vector<uint32_t> expectedMarkerCalls;

private:
    // The signed 32-bit value at offset of a kept record; 0 where the record ends before it.
    int32_t value(const uint8_t* record, std::size_t offset) const {
        if (offset + 4 > recordLength_)
            return 0;
        int32_t v;
        std::memcpy(&v, record + offset, sizeof v);
        return v;
    }

    uint32_t recordLength_ = 0;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
    std::vector<uint8_t> raw_; // the kept records back to back
    std::vector<int32_t> samples_;
    uint32_t newStart_ = 0;
    uint32_t newCount_ = 0;
    struct ShadowMarker {
        uint32_t sample = 0;
        std::vector<uint8_t> command;
    };
    std::vector<ShadowMarker> markers_;
    uint32_t markersDropped_ = 0;
};
