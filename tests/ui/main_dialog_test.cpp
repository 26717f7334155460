// The main dialog: its controls and commands, the status and counter lines, connect and test mode,
// resizing, keys, the engine's notices, display settings, the periodic-error line, the layout and the
// reason behind a port that cannot be opened.
#include "ui/main/DlgMain.h"

#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "rz4/StatusCode.h"
#include "ui/common/DialogUnits.h"
#include "ui/graph/EncoderGraph.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "ControlLayout.h"
#include "CurrentDirectory.h"
#include "MainDialogFixture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

using MainDialog = MainDialogFixture;
using Calls = std::vector<std::string>;

TEST_F(MainDialog, TitleReadOnlyLinesAndNoDefaultButton) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Astrelvo 1.1. (for RZ4 controller)"));
    // No push button is the default one, so Enter on a control other than a button ends the dialog.
    const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    EXPECT_GE(buttons.size(), 10);
    for (const QPushButton* button : buttons)
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
    // The lines the program writes cannot be typed into.
    for (int id : {104, 143, DlgMain::kPeLineId}) {
        auto* line = controlAs<QLineEdit>(id);
        ASSERT_NE(line, nullptr) << id;
        EXPECT_TRUE(line->isReadOnly()) << id;
    }
    // Commands that have no control.
    for (int id : {134, 135, 136, 145})
        EXPECT_EQ(dialog->control(id), nullptr) << id;
}

TEST_F(MainDialog, StatusLineShowsKnownCodesOnly) {
    dialog->OnStatus(StatusReady);
    EXPECT_EQ(lineText(104), QStringLiteral("Ready"));
    dialog->OnStatus(kStatusCodeCount);
    dialog->OnStatus(0xFFFF);
    EXPECT_EQ(lineText(104), QStringLiteral("Ready"));
    dialog->OnStatus(0x10000 | StatusParametersStored); // only the low 16 bits count
    EXPECT_EQ(lineText(104), QStringLiteral("Paramers stored in motor control."));
    dialog->OnStatus(StatusCannotOpenPort);
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
}

TEST_F(MainDialog, CounterLineAndNewStretchOfTheGraph) {
    EncoderGraph* graph = dialog->graph();
    graph->resize(400, 200);
    graph->show();
    graph->invalidate();
    for (uint32_t i = 0; i < 120; ++i)
        model->samples[i] = 0;
    model->sampleCount = 120;
    dialog->OnNewData(100, 20, 5000);
    EXPECT_EQ(lineText(143), QStringLiteral("Received:20  Total:120  Available:5000"));
    // Samples 100..119 are drawn (the line from 99 joins them), the old stretch is not.
    const QImage& image = graph->image();
    const int zero = graph->zeroY();
    EXPECT_EQ(image.pixelColor(45 + 110, zero), EncoderGraph::curveColour());
    EXPECT_EQ(image.pixelColor(45 + 99, zero), EncoderGraph::curveColour());
    EXPECT_NE(image.pixelColor(45 + 50, zero), EncoderGraph::curveColour());
}

TEST_F(MainDialog, ConnectSendsTheChosenOrTypedPortOrTestMode) {
    std::vector<SerialDeviceEntry> devices = {{"/dev/serial/by-id/usb-A", "usb-A (Adapter, ttyUSB0)",
                                               "ttyUSB0", "/dev/ttyUSB0", "/dev/serial/by-id/usb-A",
                                               "Adapter"},
                                              {"/dev/ttyS0", "ttyS0", "ttyS0", "/dev/ttyS0", "", ""}};
    dialog->setPortLister([&devices] { return devices; });
    dialog->command(DlgMain::kRefreshPortsId);
    auto* box = controlAs<QComboBox>(100);
    ASSERT_EQ(box->count(), 2);
    box->setCurrentIndex(1);
    dialog->command(101);
    EXPECT_EQ(engine.calls, (Calls{"setPortPath(2,/dev/ttyS0)", "Connect(2)"}));
    // The test-mode box is disabled by Connect, enabled again by Disconnect.
    EXPECT_FALSE(dialog->testModeEnabled());
    dialog->command(103);
    EXPECT_FALSE(dialog->testModeChecked());
    dialog->command(102);
    EXPECT_TRUE(dialog->testModeEnabled());
    EXPECT_EQ(engine.calls.back(), "Disconnect()");
    box->setCurrentIndex(0);
    engine.calls.clear();
    dialog->command(101);
    EXPECT_EQ(engine.calls, (Calls{"setPortPath(1,/dev/serial/by-id/usb-A)", "Connect(1)"}));
    dialog->command(102);

    // A typed path is used and stays in the list for the session, also when the list is made again.
    box->setEditText(QStringLiteral("/dev/rfcomm0"));
    engine.calls.clear();
    dialog->command(101);
    EXPECT_EQ(engine.calls, (Calls{"setPortPath(3,/dev/rfcomm0)", "Connect(3)"}));
    dialog->command(102);
    devices.pop_back(); // ttyS0 went away
    dialog->command(DlgMain::kRefreshPortsId);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->currentText(), QStringLiteral("/dev/rfcomm0")); // the selection stays on its path
    dialog->choosePort("/dev/ttyUSB0"); // the kernel name of a by-id entry finds that entry
    EXPECT_EQ(box->currentIndex(), 0);
    box->setEditText(QStringLiteral("/dev/ttyUSB"));
    dialog->command(DlgMain::kRefreshPortsId);
    EXPECT_EQ(box->currentText(), QStringLiteral("/dev/ttyUSB")) << "a path half typed stays";

    // Nothing typed: no Connect, and the status line says why.
    box->setEditText(QString());
    engine.calls.clear();
    dialog->command(101);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
    EXPECT_FALSE(dialog->openErrorReason().isEmpty());
    EXPECT_TRUE(dialog->testModeEnabled());

    EXPECT_TRUE(dialog->command(103));
    EXPECT_TRUE(dialog->testModeChecked());
    dialog->command(101);
    EXPECT_EQ(engine.calls, Calls{"Connect(0)"});
}

// Windows lists COM1 to COM256, more than the engine's one-byte port number carries: a typed name
// (a virtual port pair, a network port) must still get a number and stay listed.
TEST_F(MainDialog, TypedNamesStayListedWhenTheDeviceListFillsEveryNumber) {
    std::vector<SerialDeviceEntry> devices;
    for (int n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        devices.push_back({"\\\\.\\" + name, name, name, "\\\\.\\" + name, "", ""});
    }
    dialog->setPortLister([&devices] { return devices; });
    dialog->command(DlgMain::kRefreshPortsId);
    auto* box = controlAs<QComboBox>(100);
    EXPECT_LE(box->count(), 255);
    EXPECT_EQ(box->itemText(0), QStringLiteral("COM1"));

    box->setEditText(QStringLiteral("CNCA0"));
    engine.calls.clear();
    dialog->command(101);
    ASSERT_EQ(engine.calls.size(), 2u);
    EXPECT_NE(engine.calls[0].find(",CNCA0)"), std::string::npos) << engine.calls[0];
    dialog->command(102);
    dialog->command(DlgMain::kRefreshPortsId);
    EXPECT_LE(box->count(), 255);
    EXPECT_NE(box->findText(QStringLiteral("CNCA0")), -1) << "the typed name stays listed";
}

TEST_F(MainDialog, ControlsSendTheirCommands) {
    controlAs<QPushButton>(142)->click();
    EXPECT_EQ(engine.calls, Calls{"FetchLog()"});

    // Test mode: a click checks it, Connect then sends port 0 and locks it until Disconnect.
    auto* testMode = controlAs<QCheckBox>(103);
    testMode->click();
    EXPECT_TRUE(testMode->isChecked());
    controlAs<QPushButton>(101)->click();
    EXPECT_EQ(engine.calls.back(), "Connect(0)");
    EXPECT_FALSE(testMode->isEnabled());
    testMode->click(); // disabled: no change
    dialog->command(103);
    EXPECT_TRUE(testMode->isChecked());
    controlAs<QPushButton>(102)->click();
    EXPECT_TRUE(testMode->isEnabled());
    testMode->click();
    EXPECT_FALSE(testMode->isChecked());

    // Log settings: its dialog opens, and what it stores is what Start sends.
    answerNextModal(1, [](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), QStringLiteral("Log settings"));
        auto* box = static_cast<TemplateDialog*>(modal);
        box->command(135); // "Log processed" off
        qobject_cast<QCheckBox*>(box->control(135))->setChecked(false);
        box->command(144); // 64 Hz
    });
    controlAs<QPushButton>(132)->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    engine.calls.clear();
    controlAs<QPushButton>(140)->click();
    EXPECT_EQ(engine.calls, Calls{"StartLog(1,4)"});

    // Export writes data.dat where the program runs.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CurrentDirectory here(dir.path());
    ASSERT_TRUE(here.ok());
    appendRecords(3);
    controlAs<QPushButton>(144)->click();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("data.dat"))));
}

TEST_F(MainDialog, CommandsWithAndWithoutControls) {
    EXPECT_TRUE(dialog->command(140));
    model->logSettings.logProcessed = false;
    model->logSettings.logRate = 5;
    dialog->command(140);
    for (int id : {141, 142, 134, 135, 136, 145})
        EXPECT_TRUE(dialog->command(id)) << id;
    EXPECT_EQ(engine.calls, (Calls{"StartLog(3,2)", "StartLog(1,5)", "StopLog()", "FetchLog()", "Device41()",
                                   "Device42()", "Device43()"}));
    for (int id : {0, 3, 105, 137, 147, 200, 1000})
        EXPECT_FALSE(dialog->command(id)) << id;
}

TEST_F(MainDialog, ClearEmptiesStoreAndGraph) {
    EncoderGraph* graph = dialog->graph();
    graph->resize(300, 150);
    graph->show();
    for (uint32_t i = 0; i < 100; ++i)
        model->samples[i] = 0;
    model->sampleCount = 100;
    graph->invalidate();
    EXPECT_EQ(graph->image().pixelColor(100, graph->zeroY()), EncoderGraph::curveColour());
    dialog->command(146);
    EXPECT_EQ(model->sampleCount, 0u);
    EXPECT_EQ(graph->image().pixelColor(100, graph->zeroY()), EncoderGraph::centreLineColour());
}

TEST_F(MainDialog, OpensAtTheTemplateSizeAndResizeKeepsTheGraphMargins) {
    dialog->show();
    const DialogUnits units(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(units.x(512), units.y(194)));
    QWidget* graph = dialog->graphControl();
    const QRect before = graph->geometry();
    const int right = dialog->width() - before.right();
    const int bottom = dialog->height() - before.bottom();
    EXPECT_EQ(before.topLeft(), QPoint(dialog->graphLeft(), dialog->graphTop()));

    dialog->resize(dialog->width() + 173, dialog->height() + 91);
    const QRect after = graph->geometry();
    EXPECT_EQ(after.topLeft(), before.topLeft());
    EXPECT_EQ(dialog->width() - after.right(), right);
    EXPECT_EQ(dialog->height() - after.bottom(), bottom);
    // The graph inside follows its control.
    EXPECT_GT(dialog->graph()->clientWidth(), before.width());

    // It cannot be made smaller than 525 x 194 dialog units for the window with its frame, nor than the
    // template's size where the frame is thinner.
    dialog->resize(50, 40);
    EXPECT_EQ(dialog->size(), dialog->minimumSize());
    const QSize frame = dialog->frameGeometry().size() - dialog->size();
    EXPECT_EQ(dialog->minimumSize(),
              (QSize(units.x(525), units.y(194)) - frame).boundedTo(QSize(units.x(512), units.y(194))));
    EXPECT_EQ(dialog->width() - graph->geometry().right(), right);
}

TEST_F(MainDialog, EnterEndsWithOneEscWithZero) {
    // Enter on the status line: command 1.
    EXPECT_EQ(runWith([this] {
                  dialog->control(104)->setFocus();
                  pressKey(dialog->control(104), Qt::Key_Return);
              }),
              1);

    // Enter on a push button clicks it and leaves the dialog open; Esc then ends it with 0.
    EXPECT_EQ(runWith([this] {
                  dialog->control(141)->setFocus();
                  pressKey(dialog->control(141), Qt::Key_Return);
                  EXPECT_TRUE(dialog->isVisible());
                  pressKey(dialog->control(141), Qt::Key_Escape);
              }),
              0);
    EXPECT_EQ(engine.calls, Calls{"StopLog()"});

    // The close box and Exit end it with 0 too.
    EXPECT_EQ(runWith([this] { dialog->close(); }), 0);
    EXPECT_EQ(runWith([this] { controlAs<QPushButton>(2)->click(); }), 0);
}

// Enter in the port box connects to the path typed there (as Connect does) and leaves the dialog open.
TEST_F(MainDialog, EnterInThePortBoxConnectsToThePortTyped) {
    dialog->setPortLister([] { return std::vector<SerialDeviceEntry>{}; });
    dialog->command(DlgMain::kRefreshPortsId);
    auto* box = controlAs<QComboBox>(100);
    EXPECT_EQ(runWith([&] {
                  box->setFocus();
                  box->setEditText(QStringLiteral("/dev/rfcomm0"));
                  pressKey(box->lineEdit(), Qt::Key_Return);
                  EXPECT_TRUE(dialog->isVisible());
                  EXPECT_EQ(engine.calls, (Calls{"setPortPath(1,/dev/rfcomm0)", "Connect(1)"}));
                  pressKey(box->lineEdit(), Qt::Key_Escape);
              }),
              0);
    // The whole name is the box's tool tip.
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("/dev/rfcomm0"))) << box->toolTip().toStdString();
}

TEST_F(MainDialog, NotificationsPostedFromAnotherThreadReachTheChannel) {
    std::thread worker([this] {
        transfer->postStatus(StatusConnecting);
        transfer->postStatus(StatusTestMode);
    });
    worker.join();
    EXPECT_EQ(lineText(104), QString()); // posted, not yet delivered
    QElapsedTimer clock;
    clock.start();
    while (lineText(104) != QStringLiteral("Info: Testing without connection") && clock.elapsed() < 10000)
        QApplication::processEvents();
    EXPECT_EQ(lineText(104), QStringLiteral("Info: Testing without connection"));
}

// Counts the engine's notifications the dialog receives.
class NoticeCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == DlgMain::userMessageType())
            ++count;
        return false;
    }
};

TEST_F(MainDialog, OneWaitingDataNoticeDrainsEveryRecordWrittenBeforeIt) {
    NoticeCounter counter;
    dialog->installEventFilter(&counter);
    // 200 records from the engine's side while the UI thread is busy elsewhere (not more than the
    // 4096-byte pipe holds, or the writer would wait for a drain).
    std::thread worker([this] {
        for (int32_t i = 0; i < 200; ++i) {
            const int32_t record[4] = {i, 1000 + i, 0, 0};
            transfer->writeRecord(reinterpret_cast<const uint8_t*>(record), 16, i == 199);
        }
    });
    worker.join();
    QApplication::processEvents();
    EXPECT_EQ(counter.count, 1); // one notice, not one per record
    ASSERT_EQ(model->sampleCount, 200u);
    EXPECT_EQ(model->samples[199], 1199);
    EXPECT_EQ(lineText(143).toStdString(), "Received:200  Total:200  Available:32568");

    // A record written after that drain posts a new notice.
    const int32_t late[4] = {200, 1200, 0, 0};
    transfer->writeRecord(reinterpret_cast<const uint8_t*>(late), 16, true);
    QApplication::processEvents();
    EXPECT_EQ(counter.count, 2);
    EXPECT_EQ(model->sampleCount, 201u);
    dialog->removeEventFilter(&counter);
}

TEST_F(MainDialog, DisplaySettingsApplyToTheGraphOnOkOnly) {
    model->displaySettings.colorScheme = 0;
    model->displaySettings.scaleIndex = 2;
    model->displaySettings.verticalOffset = 7;
    EncoderGraph* graph = dialog->graph();
    EXPECT_EQ(graph->colorScheme(), 1); // taken when the graph was made

    answerNextModal(2);
    dialog->command(131);
    EXPECT_EQ(graph->colorScheme(), 1);
    EXPECT_EQ(graph->scaleIndex(), 6);

    answerNextModal(1);
    dialog->command(131);
    EXPECT_EQ(graph->colorScheme(), 0);
    EXPECT_EQ(graph->scaleIndex(), 2);
    EXPECT_EQ(graph->verticalOffset(), 7);
}

TEST_F(MainDialog, ButtonsOpenTheirDialogsModally) {
    const struct {
        int id;
        const char* title;
    } cases[] = {{120, "About Astrelvo"},
                 {130, "Motor drive information"},
                 {132, "Log settings"},
                 {133, "Closed loop tracking control"}};
    QString opened;
    for (const auto& c : cases) {
        opened.clear();
        answerNextModal(2, [&opened](QWidget* modal) { opened = modal->windowTitle(); });
        EXPECT_TRUE(dialog->command(c.id)) << c.id;
        EXPECT_EQ(opened, QString::fromLatin1(c.title)) << c.id;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.id;
    }
}

TEST_F(MainDialog, PeriodicErrorLineFollowsTheStoreAndClear) {
    // A 20-sample period of about 4" peak to peak on a 25-bit encoder, logged at 4 Hz.
    model->deviceInfo.encoderBits = 25;
    for (uint32_t i = 0; i < 2000; ++i)
        model->samples[i] = static_cast<int32_t>(std::lround(52.0 * std::sin(2 * M_PI * i / 20.0)));
    model->sampleCount = 2000;
    dialog->command(140); // Start: the log rate becomes known
    auto* line = controlAs<QLineEdit>(DlgMain::kPeLineId);
    ASSERT_NE(line, nullptr);
    QElapsedTimer timer;
    timer.start();
    while (!line->text().contains("period") && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(line->text().startsWith("PE 4.0")) << line->text().toStdString();
    // The whole line where the field has room for it, its brief form otherwise; whole in the tool tip.
    EXPECT_TRUE(line->toolTip().startsWith(QStringLiteral("PE 4.0"))) << line->toolTip().toStdString();
    EXPECT_TRUE(line->toolTip().contains("period 20 (5.00 s)  drift")) << line->toolTip().toStdString();
    EXPECT_TRUE(line->text().contains(QRegularExpression("period (20 \\(5.00 s\\)  drift|5.00 s$)")))
        << line->text().toStdString();

    dialog->command(146); // Clear
    timer.restart();
    while (!line->text().startsWith("PE --") && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(line->text().startsWith("PE --")) << line->text().toStdString();
}

TEST_F(MainDialog, LayoutKeepsEveryControlWholeAndApart) {
    engine.openError = EACCES;
    dialog->OnStatus(StatusCannotOpenPort); // shows "Why?" too
    dialog->show();
    QApplication::processEvents();
    // The "Port:" label and the etched line share ID 1000; the line runs to the window's edge.
    expectControlsWholeAndApart(*dialog, "main dialog", {1000});
    // The graph keeps its place.
    EXPECT_EQ(dialog->graphControl()->geometry().topLeft(), QPoint(dialog->graphLeft(), dialog->graphTop()));
    dialog->grab().save(screenshotDirectory() + QStringLiteral("/main_dialog_open_error.png"));
}

TEST_F(MainDialog, CannotOpenPortOffersTheReason) {
    auto* why = controlAs<QPushButton>(DlgMain::kOpenErrorReasonId);
    ASSERT_NE(why, nullptr);
    dialog->show();
    EXPECT_FALSE(why->isVisible());

    engine.openError = EACCES;
    dialog->command(101);
    dialog->OnStatus(StatusCannotOpenPort);
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
    EXPECT_TRUE(why->isVisible());
    EXPECT_TRUE(dialog->openErrorReason().contains(QStringLiteral("dialout")))
        << dialog->openErrorReason().toStdString();
    EXPECT_TRUE(dialog->control(104)->toolTip().contains(dialog->openErrorReason()));
    if (!dialog->ports().empty()) {
        EXPECT_TRUE(dialog->openErrorReason().startsWith(QString::fromStdString(dialog->ports()[0].path)));
    }
    // The status line gives way to the button.
    EXPECT_LE(dialog->control(104)->geometry().right(), why->geometry().left());

    dialog->command(DlgMain::kOpenErrorReasonId);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, dialog->openErrorReason());

    // The next status takes it away; an error without an OS reason offers none.
    dialog->OnStatus(StatusOpeningPort);
    EXPECT_FALSE(why->isVisible());
    EXPECT_EQ(dialog->control(104)->toolTip(), QStringLiteral("Opening port, please wait..."));
    engine.openError = 0;
    dialog->OnStatus(StatusCannotOpenPort);
    EXPECT_FALSE(why->isVisible());
    EXPECT_TRUE(dialog->openErrorReason().isEmpty());
}

} // namespace
