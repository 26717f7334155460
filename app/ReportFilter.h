#pragma once

#include "rz4/iEngineReport.h"

// Sits between the engine and the channel where a test or benchmark watches what the engine reports:
// passes every report on unchanged. Derived classes add their watching. Engine worker thread.
class ReportFilter : public iEngineReport {
public:
    void setTarget(iEngineReport* target) { target_ = target; }

    void postStatus(uint32_t code) override { target_->postStatus(code); }
    void writeRecord(const uint8_t* bytes, uint32_t length, bool last) override {
        target_->writeRecord(bytes, length, last);
    }
    void setDeviceInfo(const DeviceInfo& info) override { target_->setDeviceInfo(info); }
    void writeMarker(const uint8_t* command, uint32_t length) override {
        target_->writeMarker(command, length);
    }

private:
    iEngineReport* target_ = nullptr;
};
