// Pictures of the analysis window (by day and at night, live, with a guide log and with a CSV log with
// markers and two stretches compared), the data.dat and guide-section dialogs and the main dialog with a
// log open, under <build>/screenshots for visual review; the dialogs' controls are checked to lie whole
// and apart.
#include "ui/analysis/AnalysisWindow.h"

#include "engine/EngineEvent.h"
#include "model/store/AppModel.h"
#include "ui/analysis/SegmentTable.h"
#include "ui/dialogs/DatLogDialog.h"
#include "ui/dialogs/GuideSectionDialog.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/main/DlgMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ControlLayout.h"
#include "LogFiles.h"
#include "MainDialogFixture.h"
#include "NightPicture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

bool settle(AnalysisWindow& window, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.reportsShown() > 0 && window.settled())
            return true;
    }
    return false;
}

void save(QWidget& widget, const char* name) {
    QApplication::processEvents();
    const QString path = screenshotDirectory() + QLatin1Char('/') + QLatin1String(name);
    EXPECT_TRUE(widget.grab().save(path)) << path.toStdString();
}

class AnalysisScreenshots : public MainDialogFixture {
protected:
    void SetUp() override {
        MainDialogFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    AnalysisWindow& open(const char* name, const std::string& text) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeText(path, text));
        EXPECT_TRUE(dialog->openLog(path));
        dialog->command(DlgMain::kAnalysisId);
        EXPECT_TRUE(settle(*dialog->analysisWindow()));
        return *dialog->analysisWindow();
    }
    // Both pictures, the night one checked for green and blue, at the size the window takes on a common
    // desktop (the offscreen screen is smaller).
    void dayAndNight(AnalysisWindow& window, const char* day, const char* night) {
        window.resize(1100, 800);
        save(window, day);
        dialog->command(DlgMain::kNightModeId);
        QApplication::processEvents();
        QPoint where;
        EXPECT_LE(maxGreenOrBlue(window.grab().toImage(), &where), kNightTolerance)
            << night << " at " << where.x() << "," << where.y();
        save(window, night);
        dialog->command(DlgMain::kNightModeId);
    }

    QTemporaryDir dir;
};

TEST_F(AnalysisScreenshots, Live) {
    model->deviceInfo.encoderBits = 25;
    model->logSettings.logRate = 2;
    const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
    const uint8_t pid[21] = {CmdSendPid, 100, 0, 40, 0, 120, 0};
    for (int i = 0; i < 6000; ++i) {
        if (i == 3600) // a change sent while logging: its marker cuts the run in two stretches
            model->appendMarker(pid, sizeof pid);
        const double t = i * 0.25;
        const double arcsec = (i < 3600 ? 5.0 : 3.0) * std::sin(2.0 * std::numbers::pi * t / 480.0) +
                              1.5 * std::sin(2.0 * std::numbers::pi * t / 240.0 + 1.0) + 0.002 * i;
        const int32_t values[4] = {i, static_cast<int32_t>(std::lround(arcsec * countsPerArcsec)), 0, 0};
        model->appendRecord(reinterpret_cast<const uint8_t*>(values), 16, i == 5999);
    }
    dialog->command(DlgMain::kAnalysisId);
    AnalysisWindow& window = *dialog->analysisWindow();
    ASSERT_TRUE(settle(window));
    dayAndNight(window, "analysis_live.png", "analysis_live_night.png");
    // A small laptop's screen.
    window.resize(720, 640);
    save(window, "analysis_live_small.png");
    // The live graph with the change's marker, the whole run in view.
    dialog->OnEncoderBits(25);
    dialog->graph()->setTimeAxis(TimeAxis::WholeRun);
    dialog->graph()->setAutoScale(true);
    dialog->show();
    dialog->graph()->repaint();
    save(*dialog, "main_dialog_live_marker.png");
}

TEST_F(AnalysisScreenshots, GuideLog) {
    AnalysisWindow& window = open("PHD2_GuideLog.txt", phd2Log({400}));
    // The pictures show the guide log's analysis: 400 frames 2 s apart, RA 3 px at 2"/px with a period
    // of 23 frames.
    const LogAnalysisReport* report = window.report();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->format, LogFormat::Phd2);
    EXPECT_EQ(report->samples, 400u);
    ASSERT_TRUE(report->whole.valid && report->whole.hasPeriod());
    EXPECT_NEAR(report->whole.components[0].periodSeconds, 46.0, 0.5);
    EXPECT_NEAR(report->whole.components[0].amplitudeArcsec, 6.0, 0.3);
    dayAndNight(window, "analysis_phd2.png", "analysis_phd2_night.png");
}

TEST_F(AnalysisScreenshots, CsvWithMarkersAndTwoStretchesCompared) {
    AnalysisWindow& window =
        open("tuning.csv", csvLog(14400, 0.25, {{4.0, 480.0}, {1.2, 240.0}, {0.6, 160.0}},
                                  {{4800, "PID 100/40/120"}, {9600, "Current 900 mA"}}, {1.0, 0.55, 0.8}));
    window.resize(1100, 800);
    save(window, "analysis_markers.png");
    window.segmentTable()->toggle(0);
    window.segmentTable()->toggle(1);
    ASSERT_TRUE(settle(window));
    dayAndNight(window, "analysis_compared.png", "analysis_compared_night.png");
}

TEST_F(AnalysisScreenshots, TwoNightsCompared) {
    AnalysisWindow& window =
        open("before-pec.csv", csvLog(14400, 0.25, {{4.0, 480.0}, {1.2, 240.0}, {0.6, 160.0}}));
    const QString after = dir.filePath(QStringLiteral("after-pec.csv"));
    ASSERT_TRUE(writeText(after, csvLog(14400, 0.25, {{1.1, 480.0}, {1.0, 240.0}, {0.6, 160.0}})));
    dialog->prompts().setOpenChooser([&](const QString&, const QString&) { return after; });
    window.compareButton()->click();
    ASSERT_NE(window.comparison(), nullptr);
    dayAndNight(window, "analysis_two_nights.png", "analysis_two_nights_night.png");
    // The night of absolute positions far from zero, in the main window's graph.
    const QString raw = dir.filePath(QStringLiteral("raw-night.csv"));
    std::string text = "# astrelvo log 1\n# encoder_bits: 0\n# sample_seconds: 0.25\n"
                       "sample,timestamp,value_counts,value_arcsec\n";
    for (int i = 0; i < 20000; ++i) {
        const double t = 0.25 * i;
        text += std::to_string(i) + "," + std::to_string(i) + ",0," +
                std::to_string(38625.0 + 8.0 * std::sin(2 * std::numbers::pi * t / 479.0) +
                               2.0 * std::sin(2 * std::numbers::pi * t / 159.7)) +
                "\n";
    }
    ASSERT_TRUE(writeText(raw, text));
    window.endCompare();
    ASSERT_TRUE(dialog->openLog(raw));
    dialog->show();
    QApplication::processEvents();
    save(*dialog, "main_dialog_log_fitted.png");
}

TEST_F(AnalysisScreenshots, MainDialogWithALogOpen) {
    const QString path = dir.filePath(QStringLiteral("night.csv"));
    ASSERT_TRUE(writeText(path, csvLog(2000, 0.25, {{3.0, 120.0}}, {{1200, "PID 100/40/120"}}, {1.0, 0.5})));
    ASSERT_TRUE(dialog->openLog(path));
    dialog->show();
    QApplication::processEvents();
    expectControlsWholeAndApart(*dialog, "main dialog with a log open", {1000});
    save(*dialog, "main_dialog_log_open.png");
}

TEST(OpenLogDialogScreenshots, DataDatAndGuideSection) {
    DatLogDialog dat(nullptr, QStringLiteral("data.dat"), 25, 2);
    dat.show();
    QApplication::processEvents();
    expectControlsWholeAndApart(dat, "data.dat dialog");
    save(dat, "open_data_dat.png");
    // The problem line, shown after Ok with a bad width.
    DatLogDialog unknown(nullptr, QStringLiteral("old-run.dat"), 0, -1);
    unknown.show();
    unknown.command(1);
    EXPECT_TRUE(unknown.isVisible());
    expectControlsWholeAndApart(unknown, "data.dat dialog with a problem");
    save(unknown, "open_data_dat_problem.png");

    std::vector<LogSection> sections = {{1, 5, "2023-03-01 20:05:00", 320, true},
                                        {2, 340, "2023-03-01 21:05:00", 2400, true},
                                        {3, 2760, "2023-03-01 22:05:00", 0, false}};
    GuideSectionDialog choice(nullptr, QStringLiteral("PHD2_GuideLog_2023-03-01_200000.txt"), sections, 2);
    choice.show();
    QApplication::processEvents();
    expectControlsWholeAndApart(choice, "guide section dialog");
    save(choice, "open_guide_section.png");
}

} // namespace
