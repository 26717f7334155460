#pragma once

// Shared by the main dialog's tests: an engine double that records every command, and image checks.

#include "engine/iEngineCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPoint>

#include <algorithm>
#include <string>
#include <vector>

// Records every engine command as text, e.g. "Connect(3)"; lastOpenError reports openError.
class RecordingEngine : public iEngineCommands {
public:
    std::vector<std::string> calls;
    int openError = 0;

    void Connect(uint32_t port) override { add("Connect(" + std::to_string(port) + ")"); }
    void Disconnect() override { add("Disconnect"); }
    void StoreParameters() override { add("StoreParameters"); }
    void StartLog(uint32_t mode, uint32_t rate) override {
        add("StartLog(" + std::to_string(mode) + "," + std::to_string(rate) + ")");
    }
    void StopLog() override { add("StopLog"); }
    void FetchLog() override { add("FetchLog"); }
    void SetEncoderCalibration(uint32_t, uint32_t) override { add("SetEncoderCalibration"); }
    void Tracking(uint32_t) override { add("Tracking"); }
    void TrackingRate(uint32_t, uint32_t) override { add("TrackingRate"); }
    void TrackingSpecial(uint32_t, uint32_t) override { add("TrackingSpecial"); }
    void WriteParam16(uint32_t, uint32_t) override { add("WriteParam16"); }
    void WriteParam8(uint32_t, uint32_t) override { add("WriteParam8"); }
    void ClosedLoop(uint32_t) override { add("ClosedLoop"); }
    void SendPid(const uint16_t*) override { add("SendPid"); }
    void SendAux(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                 uint32_t) override {
        add("SendAux");
    }
    void Device40(uint32_t) override { add("Device40"); }
    void Device41() override { add("Device41"); }
    void Device42() override { add("Device42"); }
    void Device43() override { add("Device43"); }
    bool setPortPath(uint32_t port, const char* path) override {
        add("setPortPath(" + std::to_string(port) + "," + (path ? path : "null") + ")");
        return port >= 1 && port <= 255;
    }
    int lastOpenError() const override { return openError; }

private:
    void add(std::string call) { calls.push_back(std::move(call)); }
};

// The largest green or blue component of any pixel of the image; where tells the first pixel with it.
inline int maxGreenOrBlue(const QImage& picture, QPoint* where = nullptr) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int most = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int value = std::max(qGreen(line[x]), qBlue(line[x]));
            if (value > most) {
                most = value;
                if (where)
                    *where = QPoint(x, y);
            }
        }
    }
    return most;
}

// <build>/screenshots, next to the directory of the test programs.
inline QString screenshotDirectory() {
    QDir dir(QCoreApplication::applicationDirPath());
    dir.cdUp();
    dir.mkpath(QStringLiteral("screenshots"));
    return dir.filePath(QStringLiteral("screenshots"));
}
