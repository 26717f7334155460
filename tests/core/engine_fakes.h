#pragma once

#include "engine/iSessionHost.h"
#include "rz4/DeviceInfo.h"
#include "rz4/iEngineReport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Records what the session asks of its transport.
struct FakeHost : iSessionHost {
    bool openResult = true;
    std::vector<uint32_t> openedPorts;
    std::vector<uint8_t> generations;
    int closes = 0;
    std::vector<Bytes> writes;
    std::vector<int> pauses;

    bool openPort(uint32_t port, uint8_t generation) override {
        openedPorts.push_back(port);
        generations.push_back(generation);
        return openResult;
    }
    void closePort() override { ++closes; }
    bool writePort(const uint8_t* bytes, int count) override {
        writes.emplace_back(bytes, bytes + count);
        return true;
    }
    void pause(int milliseconds) override { pauses.push_back(milliseconds); }
};

// Records what the session reports, and the order of status posts and record hand-overs.
struct FakeReport : iEngineReport {
    struct Record {
        Bytes bytes;
        bool last;
    };
    std::vector<uint32_t> statuses;
    std::vector<Record> records;
    std::vector<DeviceInfo> infos;
    std::vector<Bytes> markers; // the command of each marker: code, then arguments
    std::vector<std::string> calls;

    void postStatus(uint32_t code) override {
        statuses.push_back(code);
        calls.push_back("status " + std::to_string(code));
    }
    void writeRecord(const uint8_t* bytes, uint32_t length, bool last) override {
        EXPECT_LE(length, 63u);
        EXPECT_TRUE(bytes != nullptr || length == 0);
        records.push_back({bytes ? Bytes(bytes, bytes + length) : Bytes{}, last});
    }
    void setDeviceInfo(const DeviceInfo& info) override {
        infos.push_back(info);
        calls.push_back("info");
    }
    void writeMarker(const uint8_t* command, uint32_t length) override {
        EXPECT_GE(length, 1u);
        EXPECT_LE(length, 31u);
        markers.emplace_back(command, command + length);
        calls.push_back("marker " + std::to_string(command[0]));
    }
};

// A command event as the engine's assembler hands it over: the 32-byte event buffer, whose bytes after
// the payload hold left-overs (0xEE) that must never be read as arguments.
inline Bytes commandEvent(uint8_t code, const Bytes& args = {}) {
    Bytes event(32, 0xEE);
    event[0] = static_cast<uint8_t>(0x80 | (args.size() + 1));
    event[1] = code;
    for (size_t i = 0; i < args.size(); ++i) {
        event[2 + i] = args[i];
    }
    return event;
}

inline Bytes le16(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
inline Bytes le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}
