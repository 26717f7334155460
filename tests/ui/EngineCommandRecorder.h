#pragma once

#include "engine/iEngineCommands.h"

#include <string>
#include <vector>

// An engine double for the dialogs' tests: records every command sender as text with its arguments, in
// the order sent, e.g. "WriteParam16(129,1000)", "Disconnect()", "setPortPath(1,/dev/x)". lastOpenError
// reports openError. UI thread only.
class EngineCommandRecorder : public iEngineCommands {
public:
    std::vector<std::string> calls;
    int openError = 0;

    void Connect(uint32_t port) override { add("Connect", {port}); }
    void Disconnect() override { add("Disconnect", {}); }
    void StoreParameters() override { add("StoreParameters", {}); }
    void StartLog(uint32_t mode, uint32_t rate) override { add("StartLog", {mode, rate}); }
    void StopLog() override { add("StopLog", {}); }
    void FetchLog() override { add("FetchLog", {}); }
    void SetEncoderCalibration(uint32_t reverse, uint32_t offset) override {
        add("SetEncoderCalibration", {reverse, offset});
    }
    void Tracking(uint32_t on) override { add("Tracking", {on}); }
    void TrackingRate(uint32_t rate, uint32_t flag) override { add("TrackingRate", {rate, flag}); }
    void TrackingSpecial(uint32_t selector, uint32_t flag) override {
        add("TrackingSpecial", {selector, flag});
    }
    void WriteParam16(uint32_t index, uint32_t value) override { add("WriteParam16", {index, value}); }
    void WriteParam8(uint32_t index, uint32_t value) override { add("WriteParam8", {index, value}); }
    void ClosedLoop(uint32_t value) override { add("ClosedLoop", {value}); }
    void SendPid(const uint16_t values[10]) override {
        add("SendPid", std::vector<uint32_t>(values, values + 10));
    }
    void SendAux(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f, uint32_t g,
                 uint32_t h, uint32_t i, uint32_t j) override {
        add("SendAux", {a, b, c, d, e, f, g, h, i, j});
    }
    void Device40(uint32_t value) override { add("Device40", {value}); }
    void Device41() override { add("Device41", {}); }
    void Device42() override { add("Device42", {}); }
    void Device43() override { add("Device43", {}); }
    // Accepts the port numbers the engine accepts.
    bool setPortPath(uint32_t port, const char* path) override {
        calls.push_back("setPortPath(" + std::to_string(port) + "," + (path ? path : "null") + ")");
        return port >= 1 && port <= 255;
    }
    int lastOpenError() const override { return openError; }

private:
    void add(const char* name, const std::vector<uint32_t>& args) {
        std::string text = name;
        text += '(';
        for (size_t i = 0; i < args.size(); ++i) {
            if (i > 0)
                text += ',';
            text += std::to_string(args[i]);
        }
        text += ')';
        calls.push_back(std::move(text));
    }
};
