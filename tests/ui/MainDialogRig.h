#pragma once

// Shared by the main dialog's tests: image checks and a script runner.

#include "ui/DlgMain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPoint>
#include <QTimer>
#include <gtest/gtest.h>

#include "ScreenshotDirectory.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

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
