// Opening a saved log in the main dialog: the data.dat dialog, the choice of a guide log's section, bad
// files, refusal while logging, the question before unexported records go, the way back to the live
// samples, the program's LOGFILE argument, and Export's "CSV...".
#include "ui/main/DlgMain.h"

#include "app/CommandLine.h"
#include "engine/EngineEvent.h"
#include "model/analysis/PeAnalysis.h"
#include "model/analysis/PeSpectrum.h"
#include "model/store/AppModel.h"
#include "ui/dialogs/DatLogDialog.h"
#include "ui/dialogs/GuideSectionDialog.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/main/Application.h"
#include "ui/main/LogOpener.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CurrentDirectory.h"
#include "LogFiles.h"
#include "MainDialogFixture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

class OpenLog : public MainDialogFixture {
protected:
    void SetUp() override {
        MainDialogFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        // No file dialog: the chooser answers with `chosen`, and counts the questions.
        dialog->prompts().setOpenChooser([this](const QString&, const QString&) {
            ++openQuestions;
            return chosen;
        });
    }
    QString file(const char* name, const std::string& text) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeText(path, text));
        return path;
    }
    LogOpener& opener() { return *dialog->logOpener(); }
    QPushButton* openButton() { return controlAs<QPushButton>(DlgMain::kOpenLogId); }

    QTemporaryDir dir;
    QString chosen;
    int openQuestions = 0;
};

TEST_F(OpenLog, DataDatAsksWidthAndPeriodPrefilledThenReads) {
    model->deviceInfo.encoderBits = 25;
    model->logSettings.logRate = 3;                                   // 16 Hz
    const QString path = file("data.dat", datLog(400, 2589.0, 64.0)); // 100" amplitude at 25 bits

    // Before any controller's record arrived its width is not offered. Cancel: nothing opens.
    model->deviceInfo.recordLength = 0;
    QString offered = QStringLiteral("?");
    answerNextModal(2, [&](QWidget* modal) {
        offered =
            qobject_cast<QLineEdit*>(qobject_cast<DatLogDialog*>(modal)->control(DatLogDialog::IdEncoderBits))
                ->text();
    });
    EXPECT_FALSE(dialog->openLog(path));
    EXPECT_FALSE(opener().isOpen());
    EXPECT_EQ(offered, QString());
    model->deviceInfo.recordLength = 16;

    // A width out of range keeps the dialog open and says why; a good one reads the file.
    QString problem;
    answerNextModal(1, [&](QWidget* modal) {
        auto* dat = qobject_cast<DatLogDialog*>(modal);
        ASSERT_NE(dat, nullptr);
        auto* bits = qobject_cast<QLineEdit*>(dat->control(DatLogDialog::IdEncoderBits));
        auto* period = qobject_cast<QComboBox*>(dat->control(DatLogDialog::IdSamplePeriod));
        EXPECT_EQ(bits->text(), QStringLiteral("25"));
        EXPECT_EQ(period->currentIndex(), 3);
        bits->setText(QStringLiteral("65"));
        dat->command(1);
        problem = qobject_cast<QLabel*>(dat->control(DatLogDialog::IdProblem))->text();
        EXPECT_TRUE(dat->isVisible());
        bits->setText(QStringLiteral("29"));
        dat->choosePeriod(2); // 4 Hz
    });
    ASSERT_TRUE(dialog->openLog(path));
    EXPECT_TRUE(problem.contains(QStringLiteral("1 to 64"))) << problem.toStdString();
    const auto log = opener().log();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->format, LogFormat::Dat);
    EXPECT_EQ(log->encoderBits, 29u);
    EXPECT_DOUBLE_EQ(log->sampleSeconds, 0.25);
    EXPECT_EQ(log->size(), 400u);
    EXPECT_EQ(lineText(DlgMain::IdCounterLine), QStringLiteral("Log data.dat: 400 samples"));
    EXPECT_TRUE(dialog->control(DlgMain::IdCounterLine)->toolTip().contains(QStringLiteral("Close log")));
    EXPECT_EQ(openButton()->text(), QStringLiteral("Close log"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenLog, GuideLogWithSectionsOffersTheLongestAndReadsThePickedOne) {
    const QString path = file("PHD2_GuideLog.txt", phd2Log({30, 80, 50}));
    struct Case {
        int command;   // how the choice ends
        uint32_t pick; // 0: keep the one offered
        bool opens;
        uint32_t section; // read
        std::size_t frames;
    };
    for (const Case& c : {Case{2, 0, false, 0, 0}, Case{1, 0, true, 2, 80}, Case{1, 3, true, 3, 50}}) {
        opener().close();
        uint32_t offered = 0;
        int lines = 0;
        answerNextModal(c.command, [&](QWidget* modal) {
            auto* choice = qobject_cast<GuideSectionDialog*>(modal);
            ASSERT_NE(choice, nullptr);
            offered = choice->section();
            lines = qobject_cast<QListWidget*>(choice->control(GuideSectionDialog::IdList))->count();
            if (c.pick != 0)
                choice->pick(c.pick);
        });
        EXPECT_EQ(dialog->openLog(path), c.opens);
        EXPECT_EQ(offered, 2u);
        EXPECT_EQ(lines, 3);
        ASSERT_EQ(opener().isOpen(), c.opens);
        if (!c.opens)
            continue;
        EXPECT_EQ(opener().log()->section, c.section);
        EXPECT_EQ(opener().log()->size(), c.frames);
        EXPECT_EQ(opener().log()->sections.size(), 3u); // still there for another choice
        EXPECT_TRUE(
            lineText(DlgMain::IdCounterLine).contains(QStringLiteral("section %1 of 3").arg(c.section)));
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenLog, BadFilesAreReportedWithTheirLineAndChangeNothing) {
    const QString good = file("good.csv", csvLog(100, 1.0, {{2.0, 20.0}}));
    ASSERT_TRUE(dialog->openLog(good));
    struct Case {
        const char* name;
        std::string text; // empty: the file does not exist
        const char* reason;
    };
    const Case cases[] = {
        {"notes.txt", "shopping list\neggs\n", "line 1: not a log"},
        {"missing.csv", "", "cannot be opened:\nNo such file or directory."},
        {"empty.csv", "# astrelvo log 1\nsample,timestamp,value_counts,value_arcsec\n", "line 2: no sample"},
        {"future.csv", "# astrelvo log 7\nsample,timestamp,value_counts,value_arcsec\n0,0,0,1\n",
         "line 1: log version 7"},
    };
    for (const Case& c : cases) {
        messages.clear();
        const QString path =
            c.text.empty() ? dir.filePath(QString::fromLatin1(c.name)) : file(c.name, c.text);
        EXPECT_FALSE(dialog->openLog(path)) << c.name;
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_TRUE(messages[0].error);
        EXPECT_TRUE(messages[0].text.contains(QDir::toNativeSeparators(path)))
            << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(QString::fromLatin1(c.reason)))
            << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Nothing was changed"))) << c.name;
        // The log open before stays open.
        EXPECT_EQ(opener().path(), good) << c.name;
        EXPECT_EQ(lineText(DlgMain::IdCounterLine), QStringLiteral("Log good.csv: 100 samples")) << c.name;
    }
}

TEST_F(OpenLog, SkippedLinesAndNotesAreToldOnceTheLogIsOpen) {
    std::string text = csvLog(60, 1.0, {{2.0, 20.0}});
    text.insert(text.find("7,7,"), "7,seven,0,1\n");
    text.insert(text.find("9,9,"), "9,9\n");
    const QString path = file("skips.csv", text);
    ASSERT_TRUE(dialog->openLog(path));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].error);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("2 lines could not be read")))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("line 12: "))) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("line 15: "))) << messages[0].text.toStdString();

    // A guide log read as logged says so.
    messages.clear();
    std::string guide = phd2Log({40});
    guide.replace(guide.find("xRate = 5.000, "), 15, "");
    ASSERT_TRUE(dialog->openLog(file("noxrate.txt", guide)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Note: analysed as logged: no xRate")))
        << messages[0].text.toStdString();
    EXPECT_TRUE(dialog->control(DlgMain::IdCounterLine)->toolTip().contains(QStringLiteral("no xRate")));
}

TEST_F(OpenLog, RefusedWhileLoggingBeforeAnyFileIsAskedFor) {
    const QString path = file("night.csv", csvLog(50, 1.0, {{2.0, 20.0}}));
    chosen = path;
    dialog->command(DlgMain::IdStart);
    ASSERT_TRUE(dialog->logging());
    dialog->command(DlgMain::kOpenLogId);
    EXPECT_EQ(openQuestions, 0);
    EXPECT_FALSE(dialog->openLog(path));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Press Stop first")))
        << messages[0].text.toStdString();
    EXPECT_FALSE(opener().isOpen());

    // Stop, a lost connection or Disconnect end logging; an "Already connected" or the note that a
    // waiting change was replaced does not.
    struct Case {
        std::function<void()> action;
        bool logging;
    };
    for (const Case& c : {Case{[this] { dialog->OnStatus(StatusReady); }, true},
                          Case{[this] { dialog->OnStatus(StatusAlreadyConnected); }, true},
                          Case{[this] { dialog->OnStatus(StatusReplacedPid); }, true},
                          Case{[this] { dialog->OnStatus(StatusCommunicationError); }, false},
                          Case{[this] { dialog->command(DlgMain::IdStop); }, false},
                          Case{[this] { dialog->command(DlgMain::IdDisconnect); }, false}}) {
        dialog->command(DlgMain::IdStart);
        c.action();
        EXPECT_EQ(dialog->logging(), c.logging);
    }
    dialog->command(DlgMain::IdStop);
    dialog->command(DlgMain::kOpenLogId);
    EXPECT_EQ(openQuestions, 1);
    EXPECT_TRUE(opener().isOpen());
}

TEST_F(OpenLog, AsksBeforeUnexportedRecordsGoAndKeepsThemOnStay) {
    const QString path = file("night.csv", csvLog(50, 1.0, {{2.0, 20.0}}));
    appendRecords(5);
    answer = DlgMain::ExitAnswer::Stay;
    EXPECT_FALSE(dialog->openLog(path));
    EXPECT_EQ(asked, std::vector<uint32_t>{5});
    EXPECT_EQ(model->sampleCount, 5u);
    EXPECT_FALSE(opener().isOpen());

    answer = DlgMain::ExitAnswer::Discard;
    EXPECT_TRUE(dialog->openLog(path));
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(model->sampleCount, 0u);
    EXPECT_EQ(model->rawCount, 0u);
    EXPECT_TRUE(opener().isOpen());
}

TEST_F(OpenLog, StartConnectAndCloseLogGoBackToTheLiveSamples) {
    const QString path = file("night.csv", csvLog(50, 1.0, {{2.0, 20.0}}));
    model->displaySettings.timeAxis = TimeAxis::FollowNewest;
    for (int id :
         {static_cast<int>(DlgMain::IdStart), static_cast<int>(DlgMain::IdConnect), DlgMain::kOpenLogId}) {
        ASSERT_TRUE(dialog->openLog(path));
        // The graph shows the log whole.
        EXPECT_TRUE(dialog->graph()->showingLog());
        EXPECT_EQ(dialog->graph()->timeAxis(), TimeAxis::WholeRun);
        EXPECT_TRUE(dialog->graph()->autoScale());
        dialog->command(id);
        EXPECT_FALSE(opener().isOpen()) << id;
        EXPECT_FALSE(dialog->graph()->showingLog()) << id;
        EXPECT_EQ(dialog->graph()->timeAxis(), TimeAxis::FollowNewest) << id;
        EXPECT_FALSE(dialog->graph()->autoScale()) << id;
        EXPECT_EQ(lineText(DlgMain::IdCounterLine), QString()) << id;
        EXPECT_EQ(openButton()->text(), QStringLiteral("Open log...")) << id;
        dialog->command(DlgMain::IdStop);
    }
    // Live data later is counted again.
    appendRecords(3);
    EXPECT_EQ(lineText(DlgMain::IdCounterLine), QStringLiteral("Received:3  Total:3  Available:32765"));
    // While a log is open the counter line keeps naming it.
    model->clear();
    ASSERT_TRUE(dialog->openLog(path));
    appendRecords(2);
    EXPECT_EQ(lineText(DlgMain::IdCounterLine), QStringLiteral("Log night.csv: 50 samples"));
}

// While a log is open the periodic-error line shows the log's figures, those of the analysis window's
// estimator; closing it brings the live samples' line back.
TEST_F(OpenLog, PeLineShowsTheOpenLogsFigures) {
    const QString path = file("night.csv", csvLog(2000, 0.25, {{3.0, 16.0}}));
    ASSERT_TRUE(dialog->openLog(path));
    PeSpectrum spectrum;
    PeSpectrumResult analysed;
    ASSERT_TRUE(spectrum.analyse(*opener().log(), 0, opener().log()->size(), analysed));
    char expected[160];
    formatPeLine(expected, sizeof expected, peFiguresOf(analysed));
    ASSERT_NE(QString::fromLatin1(expected).indexOf("period 64 (16.0 s)"), -1) << expected;
    auto* line = controlAs<QLineEdit>(DlgMain::kPeLineId);
    QElapsedTimer timer;
    timer.start();
    while (!line->toolTip().startsWith(QString::fromLatin1(expected)) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(
        line->toolTip().startsWith(QString::fromLatin1(expected) + "\nPeriodic error of the open log"))
        << line->toolTip().toStdString();
    formatPeLineBrief(expected, sizeof expected, peFiguresOf(analysed));
    EXPECT_TRUE(line->text() == QString::fromLatin1(expected) || line->toolTip().startsWith(line->text()))
        << line->text().toStdString();

    dialog->command(DlgMain::kOpenLogId); // Close log: the (empty) store's line again
    timer.restart();
    while (!line->text().startsWith("PE --") && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(line->text().startsWith("PE --")) << line->text().toStdString();
}

TEST(OpenLogAtStart, TheProgramOpensItsLogFileArgument) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("night.csv"));
    ASSERT_TRUE(writeText(path, csvLog(120, 0.25, {{2.0, 10.0}})));
    const QByteArray name = QFile::encodeName(path);
    const char* argv[] = {"astrelvo", name.constData()};
    const CommandLine line = parseCommandLine(2, argv);
    ASSERT_EQ(line.logFile, name.toStdString());
    QString counter;
    bool open = false;
    Application::run(
        [&](DlgMain& dialog) {
            // Once the dialog runs: look, then leave.
            QTimer::singleShot(50, &dialog, [&] {
                open = dialog.logOpener()->isOpen();
                counter = lineText(dialog, DlgMain::IdCounterLine);
                dialog.command(DlgMain::IdExit);
            });
        },
        &line);
    EXPECT_TRUE(open);
    EXPECT_EQ(counter, QStringLiteral("Log night.csv: 120 samples"));
}

// A folder whose name no single code page holds: a guide log opens from there, and data.dat and a CSV
// export go there, each named in the note as the system writes paths.
TEST_F(OpenLog, LogAndExportsInAFolderOfAnyLetters) {
    const QString folder =
        dir.filePath(QStringLiteral("J\u00fcrgen \u03a9\u03bc\u03ad\u03b3\u03b1 \u5929\u6587"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString log = QDir(folder).filePath(QStringLiteral("PHD2_GuideLog.txt"));
    ASSERT_TRUE(writeText(log, phd2Log({60})));
    ASSERT_TRUE(dialog->openLog(log));
    EXPECT_EQ(opener().log()->size(), 60u);
    opener().close();

    appendRecords(3);
    {
        CurrentDirectory here(folder);
        ASSERT_TRUE(here.ok());
        dialog->command(DlgMain::IdExport);
    }
    const QString dat = QDir(folder).filePath(QStringLiteral("data.dat"));
    QFile written(dat);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().count("\r\n"), 3);
    auto* note = controlAs<QLabel>(DlgMain::kExportNoteId);
    EXPECT_EQ(note->toolTip(), QStringLiteral("Exported 3 records to ") + QDir::toNativeSeparators(dat));
    // Pictures of the note at the window's first size and wider.
    dialog->show();
    dialog->grab().save(screenshotDirectory() + QStringLiteral("/main_dialog_exported.png"));
    dialog->resize(dialog->width() + 400, dialog->height());
    dialog->grab().save(screenshotDirectory() + QStringLiteral("/main_dialog_exported_wide.png"));

    const QString csv = QDir(folder).filePath(QStringLiteral("run.csv"));
    dialog->prompts().setSaveChooser([&](const QString&, const QString&) { return csv; });
    dialog->command(DlgMain::kCsvExportId);
    EXPECT_TRUE(QFile::exists(csv));
    EXPECT_EQ(note->toolTip(), QStringLiteral("Exported 3 records to ") + QDir::toNativeSeparators(csv));
    EXPECT_TRUE(messages.empty());
}

using CsvExport = OpenLog;

TEST_F(CsvExport, WritesTheStoredRecordsWhereTheUserSaysAndTellsWhere) {
    QString saveTo;
    QString suggested;
    dialog->prompts().setSaveChooser([&](const QString&, const QString& offered) {
        suggested = offered;
        return saveTo;
    });
    // Nothing stored: nothing to ask.
    dialog->command(DlgMain::kCsvExportId);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(suggested.isEmpty());

    model->deviceInfo.encoderBits = 25;
    appendRecords(2);
    const uint8_t closedLoopOn[5] = {CmdClosedLoop, 1, 0, 0, 0};
    model->appendMarker(closedLoopOn, sizeof closedLoopOn);
    appendRecords(2);
    dialog->command(DlgMain::kCsvExportId); // cancelled: no path
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".csv"))) << suggested.toStdString();
    EXPECT_EQ(dialog->unexportedRecords(), 4u);

    saveTo = dir.filePath(QStringLiteral("run.csv"));
    dialog->command(DlgMain::kCsvExportId);
    QFile written(saveTo);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.startsWith("# astrelvo log 1\r\n# encoder_bits: 25\r\n# sample_seconds: 0.25\r\n"))
        << text.toStdString();
    EXPECT_EQ(text.count("\r\n"), 4 + 1 + 4); // four header lines, the marker, four records
    EXPECT_TRUE(text.contains(QByteArray("\r\n# mark: 2 ") + model->markers[0].label + "\r\n2,2,"))
        << text.toStdString();
    EXPECT_EQ(dialog->unexportedRecords(), 0u);
    auto* note = controlAs<QLabel>(DlgMain::kExportNoteId);
    EXPECT_EQ(note->toolTip(), QStringLiteral("Exported 4 records to ") + QDir::toNativeSeparators(saveTo));
    EXPECT_EQ(messages.size(), 1u);

    // A place that cannot be written: the reason, and the records stay unexported.
    appendRecords(1);
    saveTo = dir.filePath(QStringLiteral("no/such/dir/run.csv"));
    dialog->command(DlgMain::kCsvExportId);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].error);
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral("No such file or directory")))
        << messages[1].text.toStdString();
    EXPECT_EQ(note->text(), QStringLiteral("CSV export failed"));
    EXPECT_EQ(dialog->unexportedRecords(), 1u);
}

} // namespace
