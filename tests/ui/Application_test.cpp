#include "ui/main/Application.h"

#include "app/CommandLine.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "ui/analysis/AnalysisWindow.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/main/DlgMain.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "DialogScript.h"
#include "LineText.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

TEST(ApplicationTest, TestModeSessionReachesStoreAndGraphAndClosesWhileConnected) {
    bool scriptFinished = false;
    uint32_t samplesSeen = 0;
    const int exitCode = Application::run([&](DlgMain& dialog) {
        // The records logged here are not exported: quitting discards them without asking a person.
        dialog.setExitQuestion([](uint32_t) { return DlgMain::ExitAnswer::Discard; });
        AppModel& model = *dialog.model();
        EncoderGraph& graph = *dialog.graph();
        auto* script = new DialogScript(
            dialog,
            {
                {"connect in test mode", 20000,
                 [&] {
                     dialog.command(103); // check "test mode"
                     dialog.command(101); // Connect: port 0
                     return true;
                 }},
                {"test parameters loaded", 20000,
                 [&] {
                     return lineText(dialog, 104) == QStringLiteral("Info: Testing without connection") &&
                            model.deviceInfo.encoderBits == 25 && model.recordLength == 16;
                 }},
                {"start and fetch", 20000,
                 [&] {
                     EXPECT_EQ(graph.encoderBits(), 25);
                     // The simulated positions sit near 2,000,000 counts: put them in view as the display
                     // settings would, at the default scale for the new encoder width.
                     dialog.command(140); // Start restarts the simulated series
                     graph.setScale(6);
                     graph.setVerticalOffset(static_cast<int>(std::trunc(2000000 * graph.pixelsPerCount())));
                     graph.repaint();
                     for (int i = 0; i < 30; ++i)
                         dialog.command(142);
                     return true;
                 }},
                {"300 samples stored", 20000,
                 [&] {
                     return model.sampleCount >= 300 && model.newCount == 0 &&
                            model.rawCount == model.sampleCount;
                 }},
                {"counter line and curve", 20000,
                 [&] {
                     samplesSeen = model.sampleCount;
                     EXPECT_LE(samplesSeen, 30u * 17u);
                     // The counter line describes the last batch; its total is the store's count.
                     const QString counter = lineText(dialog, 143);
                     EXPECT_TRUE(counter.startsWith(QStringLiteral("Received:"))) << counter.toStdString();
                     EXPECT_TRUE(counter.contains(QStringLiteral("  Total:%1  ").arg(samplesSeen)))
                         << counter.toStdString();
                     EXPECT_TRUE(counter.endsWith(QStringLiteral("Available:%1").arg(32768 - samplesSeen)))
                         << counter.toStdString();
                     // Every drawn column of the curve carries curve pixels.
                     const QImage& image = graph.image();
                     int columns = 0;
                     for (uint32_t i = 0; i + 1 < samplesSeen && 45 + static_cast<int>(i) < image.width();
                          ++i) {
                         for (int y = 0; y < image.height(); ++y)
                             if (image.pixelColor(45 + static_cast<int>(i), y) ==
                                 EncoderGraph::curveColour()) {
                                 ++columns;
                                 break;
                             }
                     }
                     EXPECT_EQ(columns, static_cast<int>(samplesSeen) - 1);

                     const QString dir = screenshotDirectory();
                     dialog.grab().save(dir + QStringLiteral("/main_dialog_test_mode.png"));
                     graph.setColorScheme(0);
                     graph.repaint();
                     dialog.grab().save(dir + QStringLiteral("/main_dialog_dark.png"));
                     return true;
                 }},
                {"exit while connected and logging", 20000,
                 [&] {
                     scriptFinished = true;
                     dialog.command(2);
                     return true;
                 }},
            });
        script->setParent(&dialog);
        dialog.show();
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(scriptFinished);
    EXPECT_GE(samplesSeen, 300u);
}

// Swallows the engine's notifications, so that nothing drains the channel's pipe.
class NotificationBlocker : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == DlgMain::userMessageType(); }
};

// Ends the test program when shutdown hangs, instead of leaving it to the test runner's time-out.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return cancelled_; })) {
                  std::fprintf(stderr, "shutdown did not finish within %d s\n", seconds);
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool cancelled_ = false;
    std::thread thread_;
};

TIMED_TEST(ApplicationTest, ClosesWhileTheEngineWaitsOnAFullChannel) {
    Watchdog watchdog(90);
    QElapsedTimer clock;
    clock.start();
    const int exitCode = Application::run([&](DlgMain& dialog) {
        dialog.installEventFilter(new NotificationBlocker(&dialog));
        dialog.command(103);
        dialog.command(101);
        // About 60 batches of 10..17 records of 17 piped bytes: far more than the 4096-byte pipe holds.
        for (int i = 0; i < 60; ++i)
            dialog.command(142);
        QTimer::singleShot(1500, &dialog, [&dialog] { dialog.command(1); });
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TIMING_LT(clock.elapsed(), 30000);
}

// The program on a real desktop platform (tools/wine-test.sh: Windows' own platform under Wine and Xvfb)
// connected to a controller through the port ASTRELVO_TEST_PROGRAM_PORT names: it logs, and its main
// window and analysis window are pictured for review. Skipped without that port.
TEST(ApplicationTest, ConnectedThroughAPortLogsAndShowsTheAnalysis) {
    const char* port = std::getenv("ASTRELVO_TEST_PROGRAM_PORT");
    if (port == nullptr || *port == '\0')
        GTEST_SKIP() << "no port leads to a controller (ASTRELVO_TEST_PROGRAM_PORT)";
    CommandLine line;
    line.port = port;
    line.connect = true;
    bool scriptFinished = false;
    int pictureWait = 0; // polls of 10 ms
    const QString dir = screenshotDirectory();
    const QString platform = QGuiApplication::platformName();
    const int exitCode = Application::run(
        [&](DlgMain& dialog) {
            dialog.setExitQuestion([](uint32_t) { return DlgMain::ExitAnswer::Discard; });
            AppModel& model = *dialog.model();
            auto* script = new DialogScript(
                dialog,
                {
                    {"connected", 20000,
                     [&] { return lineText(dialog, 104) == QStringLiteral("Connection established."); }},
                    {"start logging", 1000,
                     [&] {
                         // The curve in view whatever the encoder reads, as Display settings' Auto and
                         // Centre put it.
                         dialog.graph()->setAutoScale(true);
                         dialog.graph()->setCentre(true);
                         dialog.command(140);
                         return true;
                     }},
                    {"120 samples", 60000, [&] { return model.sampleCount >= 120; }},
                    {"analysis window", 20000,
                     [&] {
                         dialog.command(DlgMain::kAnalysisId);
                         return dialog.analysisWindow() != nullptr && dialog.analysisWindow()->isVisible();
                     }},
                    {"pictures", 20000,
                     [&] {
                         // The analysis follows the live records after a moment.
                         if (++pictureWait < 300)
                             return false;
                         dialog.grab().save(dir + QStringLiteral("/program_%1.png").arg(platform));
                         dialog.analysisWindow()->grab().save(
                             dir + QStringLiteral("/program_analysis_%1.png").arg(platform));
                         return true;
                     }},
                    {"exit", 1000,
                     [&] {
                         scriptFinished = true;
                         dialog.command(2);
                         return true;
                     }},
                });
            script->setParent(&dialog);
            dialog.show();
        },
        &line);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(scriptFinished);
}

} // namespace
