#pragma once

// Shared by the main dialog's tests: an engine double that records every command, and image checks.

#include "engine/iEngineCommands.h"
#include "ui/DlgMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPoint>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// The text of the main dialog's edit with this ID (status line 104, counter line 143, ...).
inline QString editText(DlgMain& dialog, int id) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
    return edit ? edit->text() : QString();
}

// Runs steps one after another inside the dialog's event loop, each polled every 20 ms until it returns
// true; a step that is not done within stepLimitMs fails the test and closes the dialog (discarding
// unexported records, so that no question blocks the run).
class DialogScript : public QObject {
public:
    using Step = std::function<bool()>;
    DialogScript(DlgMain& dialog, std::vector<Step> steps, int stepLimitMs)
        : dialog_(dialog), steps_(std::move(steps)), stepLimitMs_(stepLimitMs) {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(20);
        clock_.start();
    }

private:
    void poll() {
        while (next_ < steps_.size() && steps_[next_]()) {
            ++next_;
            clock_.restart();
        }
        if (next_ >= steps_.size()) {
            timer_.stop();
        } else if (clock_.elapsed() > stepLimitMs_) {
            ADD_FAILURE() << "step " << next_ << " did not finish";
            timer_.stop();
            dialog_.setExitQuestion([](uint32_t) { return DlgMain::ExitAnswer::Discard; });
            dialog_.command(2);
        }
    }

    DlgMain& dialog_;
    std::vector<Step> steps_;
    int stepLimitMs_;
    size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
};
