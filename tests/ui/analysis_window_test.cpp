// The analysis window: the strongest components of a log, folding on the dominant or an entered worm
// period, live analysis of the store, the stretches between markers compared, night mode, and saving.
#include "ui/analysis/AnalysisWindow.h"

#include "engine/EngineEvent.h"
#include "model/store/AppModel.h"
#include "ui/analysis/CompareTable.h"
#include "ui/analysis/ComponentTable.h"
#include "ui/analysis/PlotView.h"
#include "ui/analysis/SegmentTable.h"
#include "ui/main/DlgMain.h"
#include "ui/main/LogOpener.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "LogFiles.h"
#include "MainDialogFixture.h"
#include "NightPicture.h"
#include "UiTestMain.h"

namespace {

// Runs the event loop until the window has shown a new report that answers its last request.
bool waitForAnalysis(AnalysisWindow& window, int timeoutMs = 10000) {
    const uint64_t before = window.reportsShown();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.reportsShown() > before && window.settled())
            return true;
    }
    return false;
}

void type(QWidget* target, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
}

double cellNumber(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item != nullptr ? item->text().toDouble() : -1.0;
}

// The worm and four harmonics at 4 Hz over 7.3 worm cycles: no period is a whole fraction of the log.
const std::vector<Tone> kTones = {{6.0, 480.0}, {3.0, 240.0}, {1.5, 160.0}, {0.8, 96.0}, {0.5, 60.0}};

class AnalysisWindowTest : public MainDialogFixture {
protected:
    void SetUp() override {
        MainDialogFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    // Opens the text as a log named name and shows the analysis window with its first report.
    AnalysisWindow& openAndAnalyse(const char* name, const std::string& text) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeText(path, text));
        EXPECT_TRUE(dialog->openLog(path)) << name;
        return showWindow();
    }
    AnalysisWindow& showWindow() {
        dialog->command(DlgMain::kAnalysisId);
        AnalysisWindow* window = dialog->analysisWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(waitForAnalysis(*window));
        return *window;
    }

    QTemporaryDir dir;
};

TEST_F(AnalysisWindowTest, TableShowsTheFiveComponentsOfASyntheticLog) {
    AnalysisWindow& window =
        openAndAnalyse("night.csv", csvLog(static_cast<std::size_t>(7.3 * 480 * 4), 0.25, kTones));
    const LogAnalysisReport* report = window.report();
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->whole.components.size(), 5u);
    ComponentTable* table = window.componentTable();
    EXPECT_EQ(table->horizontalHeaderItem(ComponentTable::PeriodColumn)->text(),
              QStringLiteral("Period (s)"));
    for (int row = 0; row < 5; ++row) {
        const Tone& tone = kTones[static_cast<std::size_t>(row)];
        EXPECT_NEAR(cellNumber(table, row, ComponentTable::PeriodColumn), tone.period, 0.02 * tone.period)
            << row;
        EXPECT_NEAR(cellNumber(table, row, ComponentTable::AmplitudeColumn), tone.amplitude,
                    0.05 * tone.amplitude)
            << row;
        EXPECT_EQ(
            table->item(row, ComponentTable::AmplitudeColumn)->text(),
            QString::number(report->whole.components[static_cast<std::size_t>(row)].amplitudeArcsec, 'f', 3));
        const double phase = cellNumber(table, row, ComponentTable::PhaseColumn);
        EXPECT_TRUE(phase >= 0.0 && phase < 360.0) << phase;
    }
    EXPECT_TRUE(
        window.sourceLabel()->text().startsWith(QStringLiteral("Log night.csv: 14016 samples, 0.25 s apart")))
        << window.sourceLabel()->text().toStdString();
    EXPECT_TRUE(window.spectrumPlot()->title().contains(QStringLiteral("dominant 480.")))
        << window.spectrumPlot()->title().toStdString();
}

// A log that does not say its sample period: periods, and the worm period entered, are in samples.
TEST_F(AnalysisWindowTest, WithoutATimeBasePeriodsAreInSamples) {
    // csvLog's periods are in seconds of its sampleSeconds, here 1: 64 samples. The file says 0.
    std::string text = csvLog(2000, 1.0, {{3.0, 64.0}});
    text.replace(text.find("# sample_seconds: 1"), 19, "# sample_seconds: 0");
    AnalysisWindow& window = openAndAnalyse("untimed.csv", text);
    ASSERT_FALSE(window.report()->hasTime());
    EXPECT_EQ(window.componentTable()->horizontalHeaderItem(ComponentTable::PeriodColumn)->text(),
              QStringLiteral("Period (samples)"));
    EXPECT_NEAR(cellNumber(window.componentTable(), 0, ComponentTable::PeriodColumn), 64.0, 0.5);
    EXPECT_TRUE(window.sourceLabel()->text().contains(QStringLiteral("no time base")))
        << window.sourceLabel()->text().toStdString();
    window.setWormPeriod(128.0);
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(window.report()->fold.cycles, 15u); // 2000 / 128
    EXPECT_TRUE(window.foldPlot()->title().startsWith(QStringLiteral("Folded on 128.0 samples")))
        << window.foldPlot()->title().toStdString();
}

TEST_F(AnalysisWindowTest, FoldsOnTheDominantPeriodUntilAWormPeriodIsEntered) {
    AnalysisWindow& window =
        openAndAnalyse("night.csv", csvLog(static_cast<std::size_t>(7.3 * 480 * 4), 0.25, kTones));
    const LogAnalysisReport* report = window.report();
    ASSERT_TRUE(report->fold.valid);
    EXPECT_TRUE(report->wormFromDominant);
    EXPECT_DOUBLE_EQ(report->wormPeriod, report->whole.components[0].periodSeconds);
    EXPECT_EQ(window.wormEdit()->text(), QString::number(report->wormPeriod, 'f', 1));
    EXPECT_TRUE(window.foldPlot()->title().contains(QStringLiteral("(dominant): 7 cycles")))
        << window.foldPlot()->title().toStdString();
    // Seven single cycles in their shades and the mean.
    EXPECT_EQ(window.foldPlot()->series().size(), 8u);

    window.wormEdit()->clear();
    type(window.wormEdit(), QStringLiteral("240"));
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_FALSE(window.report()->wormFromDominant);
    EXPECT_EQ(window.report()->fold.cycles, 14u);
    EXPECT_EQ(window.wormEdit()->text(), QStringLiteral("240"));

    // Not a period: said in the note, the last one stays.
    window.wormEdit()->clear();
    type(window.wormEdit(), QStringLiteral("-3"));
    QApplication::processEvents();
    EXPECT_EQ(window.wormEdit()->text(), QStringLiteral("240"));
    EXPECT_TRUE(window.findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly) != nullptr);

    // Longer than the log: the plot says so.
    window.setWormPeriod(1e5);
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_TRUE(window.foldPlot()->message().contains(QStringLiteral("longer than the log")))
        << window.foldPlot()->title().toStdString();

    // "Dominant" follows the dominant period again.
    QPushButton* dominant = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Dominant"))
            dominant = button;
    ASSERT_NE(dominant, nullptr);
    dominant->click();
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_TRUE(window.report()->wormFromDominant);
    EXPECT_EQ(window.report()->fold.cycles, 7u);
}

TEST_F(AnalysisWindowTest, LiveSamplesAreAnalysedWhenTheyChangeOnly) {
    model->deviceInfo.encoderBits = 25;
    model->logSettings.logRate = 2; // 4 Hz
    const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
    auto append = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const int32_t values[4] = {
                next,
                static_cast<int32_t>(
                    std::lround(4.0 * countsPerArcsec * std::sin(2.0 * std::numbers::pi * next / 64.0))),
                0, 0};
            ++next;
            model->appendRecord(reinterpret_cast<const uint8_t*>(values), 16, i + 1 == count);
        }
    };
    append(1000);
    AnalysisWindow& window = showWindow();
    EXPECT_EQ(window.report()->samples, 1000u);
    EXPECT_TRUE(window.sourceLabel()->text().startsWith(QStringLiteral("Live: 1000 samples, 0.25 s apart")))
        << window.sourceLabel()->text().toStdString();
    ASSERT_FALSE(window.report()->whole.components.empty());
    EXPECT_NEAR(window.report()->whole.components[0].periodSeconds, 16.0, 0.2);

    // A change sent while logging leaves a marker: the stretches follow.
    const uint8_t closedLoopOn[5] = {CmdClosedLoop, 1, 0, 0, 0};
    model->appendMarker(closedLoopOn, sizeof closedLoopOn);
    append(500);
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(window.report()->samples, 1500u);
    ASSERT_EQ(window.segmentTable()->rowCount(), 2);
    EXPECT_EQ(window.segmentTable()->item(1, SegmentTable::StartColumn)->text(),
              QString::fromLatin1(model->markers[0].label));
    EXPECT_EQ(window.segmentTable()->item(1, SegmentTable::SamplesColumn)->text(), QStringLiteral("500"));
    // Nothing new: no new analysis.
    EXPECT_FALSE(waitForAnalysis(window, 3 * AnalysisWindow::kIntervalMs));

    // An opened log takes the live samples' place, and they come back when it is closed.
    const QString path = dir.filePath(QStringLiteral("other.csv"));
    ASSERT_TRUE(writeText(path, csvLog(300, 1.0, {{2.0, 30.0}})));
    model->markExported();
    ASSERT_TRUE(dialog->openLog(path));
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(window.report()->samples, 300u);
    dialog->command(DlgMain::kOpenLogId); // Close log
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(window.report()->samples, 0u); // the store was emptied for the log
    EXPECT_TRUE(window.curvePlot()->message().contains(QStringLiteral("nothing to analyse")));
}

TEST_F(AnalysisWindowTest, StretchesBetweenMarkersWithTheirChangesAndTwoCompared) {
    // The periodic error halves after the first mark and grows by half after the second.
    AnalysisWindow& window = openAndAnalyse(
        "tuning.csv", csvLog(12000, 0.25, {{4.0, 100.0}},
                             {{4000, "PID 100/40/120"}, {8000, "Current 900 mA"}}, {1.0, 0.5, 0.75}));
    SegmentTable* table = window.segmentTable();
    ASSERT_EQ(table->rowCount(), 3);
    const LogAnalysisReport& r = *window.report();
    struct Row {
        const char* start;
        double rmsPercent; // change against the row before
    };
    const Row rows[3] = {{"start", 0.0}, {"PID 100/40/120", -50.0}, {"Current 900 mA", 50.0}};
    for (int row = 0; row < 3; ++row) {
        const SegmentFigures& s = r.segments[static_cast<std::size_t>(row)];
        EXPECT_EQ(table->item(row, SegmentTable::StartColumn)->text(), QString::fromLatin1(rows[row].start));
        EXPECT_EQ(table->item(row, SegmentTable::SamplesColumn)->text(), QStringLiteral("4000"));
        EXPECT_EQ(table->item(row, SegmentTable::RmsColumn)->text(), QString::number(s.rmsArcsec, 'f', 2));
        EXPECT_NEAR(cellNumber(table, row, SegmentTable::PeriodColumn), 100.0, 2.0);
        if (row == 0) {
            EXPECT_EQ(table->item(row, SegmentTable::RmsChangeColumn)->text(), QStringLiteral("--"));
            continue;
        }
        EXPECT_NEAR(s.rmsChangePercent, rows[row].rmsPercent, 3.0) << row;
        EXPECT_EQ(table->item(row, SegmentTable::RmsChangeColumn)->text(),
                  SegmentTable::changeText(s.rmsChange, true, s.rmsChangePercent));
        EXPECT_EQ(table->item(row, SegmentTable::PeakToPeakChangeColumn)->text(),
                  SegmentTable::changeText(s.peakToPeakChange, true, s.peakToPeakChangePercent));
    }
    EXPECT_EQ(SegmentTable::changeText(-1.234, true, -49.6), QStringLiteral("-1.23 (-50%)"));
    EXPECT_EQ(SegmentTable::changeText(0.4, false, 0.0), QStringLiteral("+0.40"));
    // The marks are drawn on the curves.
    EXPECT_EQ(r.marks.size(), 2u);

    // Picking two lays their spectra and mean cycles over each other.
    table->toggle(1);
    table->toggle(2);
    ASSERT_TRUE(waitForAnalysis(window));
    ASSERT_EQ(table->picks(), (std::vector<int>{1, 2}));
    EXPECT_EQ(window.report()->compared[0].segment, 1);
    EXPECT_EQ(window.report()->compared[1].segment, 2);
    ASSERT_EQ(window.spectrumPlot()->series().size(), 2u);
    EXPECT_EQ(window.spectrumPlot()->series()[0].legend, QStringLiteral("Stretch 2 (PID 100/40/120)"));
    ASSERT_EQ(window.foldPlot()->series().size(), 2u);
    EXPECT_TRUE(
        window.foldPlot()->series()[1].legend.startsWith(QStringLiteral("Stretch 3 (Current 900 mA): ")));
    EXPECT_NEAR(window.report()->compared[1].fold.meanPeakToPeakArcsec /
                    window.report()->compared[0].fold.meanPeakToPeakArcsec,
                1.5, 0.1);
    // A third pick lets go of the first one.
    table->toggle(0);
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(table->picks(), (std::vector<int>{2, 0}));
    EXPECT_EQ(table->selectionModel()->selectedRows().size(), 2);
    // Letting go of one shows the whole log again.
    table->toggle(2);
    ASSERT_TRUE(waitForAnalysis(window));
    EXPECT_EQ(window.report()->compared[1].segment, -1);
    EXPECT_GT(window.foldPlot()->series().size(), 2u);
}

TEST_F(AnalysisWindowTest, NightModeIsRedOnBlackOnly) {
    AnalysisWindow& window = openAndAnalyse("tuning.csv", csvLog(6000, 0.25, {{4.0, 100.0}, {1.0, 33.0}},
                                                                 {{3000, "PID 100/40/120"}}, {1.0, 0.5}));
    window.segmentTable()->toggle(0);
    window.segmentTable()->toggle(1);
    ASSERT_TRUE(waitForAnalysis(window));
    QApplication::processEvents();
    EXPECT_GT(maxGreenOrBlue(window.grab().toImage()), 100); // the day picture has colour

    dialog->command(DlgMain::kNightModeId);
    EXPECT_TRUE(window.night());
    QApplication::processEvents();
    QPoint where;
    EXPECT_LE(maxGreenOrBlue(window.grab().toImage(), &where), kNightTolerance)
        << "at " << where.x() << "," << where.y();
    // Also with the whole log's cycles in their shades.
    window.segmentTable()->toggle(1);
    ASSERT_TRUE(waitForAnalysis(window));
    QApplication::processEvents();
    EXPECT_LE(maxGreenOrBlue(window.grab().toImage(), &where), kNightTolerance)
        << "at " << where.x() << "," << where.y();
    dialog->command(DlgMain::kNightModeId);
    EXPECT_FALSE(window.night());
}

// "Compare with..." lays a second log beside the open one: BEFORE's worm (6" at 480 s) against AFTER's
// (2", a PEC curve took the rest) in the table, both spectra and both mean cycles on one phase axis; Swap
// turns them round, End compare goes back; at night the comparison is red on black too.
TEST_F(AnalysisWindowTest, CompareWithAnotherLogSideBySide) {
    const std::size_t n = static_cast<std::size_t>(7.3 * 480 * 4);
    AnalysisWindow& window = openAndAnalyse("before.csv", csvLog(n, 0.25, kTones));
    const QString after = dir.filePath(QStringLiteral("after.csv"));
    ASSERT_TRUE(writeText(after, csvLog(n, 0.25, {{2.0, 480.0}, {3.0, 240.0}})));
    dialog->prompts().setOpenChooser([&](const QString&, const QString&) { return after; });
    window.compareButton()->click();
    const LogComparison* c = window.comparison();
    ASSERT_NE(c, nullptr);
    ASSERT_GE(c->harmonics.size(), 2u);
    EXPECT_NEAR(c->harmonics[0].periodSeconds, 480.0, 1.0);
    EXPECT_NEAR(c->harmonics[0].beforeArcsec, 6.0, 0.1);
    EXPECT_NEAR(c->harmonics[0].afterArcsec, 2.0, 0.1);
    EXPECT_TRUE(window.compareTable()->isVisible());
    EXPECT_FALSE(window.componentTable()->isVisible());
    EXPECT_EQ(window.compareTable()->item(0, CompareTable::BeforeColumn)->text(),
              QString::number(c->before.peakToPeakArcsec, 'f', 3));
    EXPECT_EQ(window.spectrumPlot()->series().size(), 2u);
    ASSERT_EQ(window.foldPlot()->series().size(), 2u);
    for (const PlotSeries& curve : window.foldPlot()->series())
        EXPECT_LT(curve.points.back().x(), c->wormPeriodSeconds);

    dialog->command(DlgMain::kNightModeId);
    QApplication::processEvents();
    QPoint where;
    EXPECT_LE(maxGreenOrBlue(window.grab().toImage(), &where), kNightTolerance)
        << "at " << where.x() << "," << where.y();
    dialog->command(DlgMain::kNightModeId);

    window.swapCompared();
    ASSERT_NE(window.comparison(), nullptr);
    EXPECT_NEAR(window.comparison()->wormPeriodSeconds, 240.0, 1.0); // AFTER's dominant, now BEFORE's
    EXPECT_NEAR(window.comparison()->harmonics[0].afterArcsec, 3.0, 0.1);
    window.endCompare();
    EXPECT_EQ(window.comparison(), nullptr);
    EXPECT_FALSE(window.compareTable()->isVisible());
    EXPECT_TRUE(window.componentTable()->isVisible());
}

// Counts the times Qt tells a window that a modal one blocks its input.
class BlockWatch : public QObject {
public:
    int blocked = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        blocked += event->type() == QEvent::WindowBlocked ? 1 : 0;
        return false;
    }
};

// The main dialog runs modally all the time: the analysis window beside it must still take input.
TEST_F(AnalysisWindowTest, IsNotBlockedByTheModalMainDialog) {
    AnalysisWindow& window = showWindow();
    BlockWatch analysis, stranger;
    window.installEventFilter(&analysis);
    QWidget other; // a window of no relation, to show that the watch sees blocking
    other.installEventFilter(&stranger);
    other.show();
    runWith([&] { QTimer::singleShot(100, dialog.get(), [&] { dialog->done(0); }); });
    EXPECT_EQ(analysis.blocked, 0);
    EXPECT_GE(stranger.blocked, 1);
}

TEST_F(AnalysisWindowTest, SavesTheAnalysisAsCsvAndThePlotsAsPicture) {
    AnalysisWindow& window = openAndAnalyse("night.csv", csvLog(4000, 0.25, kTones));
    QString saveTo;
    dialog->prompts().setSaveChooser([&](const QString&, const QString&) { return saveTo; });
    QPushButton* saveCsv = nullptr;
    QPushButton* savePicture = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Save CSV..."))
            saveCsv = button;
        if (button->text() == QStringLiteral("Save picture..."))
            savePicture = button;
    }
    ASSERT_TRUE(saveCsv != nullptr && savePicture != nullptr);

    saveTo = dir.filePath(QStringLiteral("analysis.csv"));
    saveCsv->click();
    QFile csv(saveTo);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray text = csv.readAll();
    EXPECT_TRUE(text.startsWith("# astrelvo analysis 1\r\n# source: night.csv\r\n# format: csv\r\n"))
        << text.left(200).toStdString();
    EXPECT_TRUE(text.contains("\r\ntable,x,value_arcsec\r\nspectrum,"));
    EXPECT_TRUE(text.contains("\r\nfold,"));

    saveTo = dir.filePath(QStringLiteral("analysis.png"));
    savePicture->click();
    const QImage picture(saveTo);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), window.plots()->grab().size());
    EXPECT_TRUE(messages.empty());

    // A place that cannot be written is told.
    saveTo = dir.filePath(QStringLiteral("no/such/analysis.csv"));
    saveCsv->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].error);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("No such file or directory")))
        << messages[0].text.toStdString();
}

} // namespace
