#include "UiTestMain.h"

#include "model/store/AppModel.h"
#include "ui/main/PeMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cmath>
#include <memory>

namespace {

// Runs the event loop until the monitor has sent one more line (counted in lines) or the time is up;
// returns whether it did.
bool waitForLine(const int& lines, int timeoutMs = 5000) {
    const int before = lines;
    QElapsedTimer timer;
    timer.start();
    while (lines == before && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return lines != before;
}

TEST(PeMonitorTest, AnalysesOnTheWorkerAndOnlyWhenTheStoreChanged) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.encoderBits = 25;
    // 10 arc-seconds peak to peak, period 64 samples, 4 Hz.
    const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
    for (uint32_t i = 0; i < 4096; ++i)
        model->samples[i] =
            static_cast<int32_t>(std::lround(5.0 * countsPerArcsec * std::sin(2 * M_PI * i / 64.0)));
    model->sampleCount = 4096;

    PeMonitor monitor;
    QString line;
    int lines = 0;
    QObject::connect(&monitor, &PeMonitor::lineReady, [&](const QString& l, const QString&) {
        line = l;
        ++lines;
    });

    monitor.poll(*model, 2);
    ASSERT_TRUE(waitForLine(lines));
    ASSERT_TRUE(line.startsWith("PE ")) << line.toStdString();
    EXPECT_NEAR(line.mid(3, line.indexOf('"') - 3).toDouble(), 10.0, 0.2) << line.toStdString();
    EXPECT_TRUE(line.contains("\" p-p")) << line.toStdString();
    EXPECT_TRUE(line.contains("period 64 (16.0 s)")) << line.toStdString();

    // Nothing changed: no new analysis.
    monitor.poll(*model, 2);
    EXPECT_FALSE(waitForLine(lines, 600));

    // Fewer than eight samples say so instead of showing numbers.
    model->sampleCount = 3;
    monitor.poll(*model, 2);
    ASSERT_TRUE(waitForLine(lines));
    EXPECT_TRUE(line.startsWith("PE --")) << line.toStdString();
    EXPECT_FALSE(line.contains("nan"));
}

// A monitor destroyed while its worker analyses waits for it, and nothing of it arrives afterwards.
TEST(PeMonitorTest, DestroyingWhileAnalysingIsSafe) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.encoderBits = 25;
    for (uint32_t i = 0; i < AppModel::kMaxSamples; ++i)
        model->samples[i] = static_cast<int32_t>(i % 977);
    model->sampleCount = AppModel::kMaxSamples;
    QObject receiver;
    int lines = 0;
    for (int round = 0; round < 3; ++round) {
        PeMonitor monitor;
        QObject::connect(&monitor, &PeMonitor::lineReady, &receiver, [&] { ++lines; });
        monitor.poll(*model, -1);
        ASSERT_TRUE(monitor.busy());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(lines, 0);
}

} // namespace
