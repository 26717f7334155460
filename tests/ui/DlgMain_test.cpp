#include "ui/DlgMain.h"

#include "engine/iEngineCommands.h"
#include "model/AppModel.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"
#include "ui/DialogUnits.h"
#include "ui/EncoderGraph.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MainDialogRig.h"
#include "UiTestMain.h"

namespace {

class DlgMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<AppModel>();
        transfer = std::make_unique<DataTransfer>(model.get());
        dialog = std::make_unique<DlgMain>(model.get(), &engine, transfer.get());
        model->listener = dialog.get();
        transfer->setCallback(dialog.get());
        transfer->setSender(dialog.get());
    }

    QString lineText(int id) const {
        auto* edit = qobject_cast<QLineEdit*>(dialog->control(id));
        return edit ? edit->text() : QStringLiteral("<no edit>");
    }

    // Ends the next modal dialog that opens over the main dialog by its own command (1 Ok, 2 Cancel).
    static void answerNextModal(int commandId) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, commandId] {
            auto* modal = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget());
            if (!modal)
                return;
            poll->stop();
            poll->deleteLater();
            modal->command(commandId);
        });
        poll->start(10);
    }

    static void pressKey(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    RecordingEngine engine;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DataTransfer> transfer;
    std::unique_ptr<DlgMain> dialog;
};

TEST_F(DlgMainTest, TemplateControlsAndTitle) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Astrelvo 1.1. (for RZ4 controller)"));
    struct Expected {
        int id;
        const char* text;
    } buttons[] = {{101, "Connect"},
                   {102, "Disconnect"},
                   {120, "About..."},
                   {2, "Exit"},
                   {130, "Motor drive info"},
                   {131, "Display settings"},
                   {133, "Closed loop settings"},
                   {132, "Log settings"},
                   {140, "Start"},
                   {141, "Stop"},
                   {142, "Fetch"},
                   {144, "Export"},
                   {146, "Clear"},
                   {DlgMain::kOpenErrorReasonId, "Why?"}};
    for (const Expected& e : buttons) {
        auto* button = qobject_cast<QPushButton*>(dialog->control(e.id));
        ASSERT_NE(button, nullptr) << e.id;
        EXPECT_EQ(button->text(), QString::fromLatin1(e.text));
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << e.id;
    }
    EXPECT_NE(qobject_cast<QComboBox*>(dialog->control(100)), nullptr);
    EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog->control(104))->isReadOnly());
    EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog->control(143))->isReadOnly());
    EXPECT_EQ(dialog->control(200), dialog->graphControl());
    for (int id : {103, DlgMain::kNightModeId}) {
        auto* box = qobject_cast<QCheckBox*>(dialog->control(id));
        ASSERT_NE(box, nullptr) << id;
        EXPECT_FALSE(box->isChecked()) << id;
    }
    EXPECT_EQ(qobject_cast<QCheckBox*>(dialog->control(103))->text(), QStringLiteral("Test mode"));
    EXPECT_EQ(qobject_cast<QCheckBox*>(dialog->control(DlgMain::kNightModeId))->text(),
              QStringLiteral("Night mode"));
    // IDs without a control here.
    for (int id : {134, 135, 136, 145})
        EXPECT_EQ(dialog->control(id), nullptr) << id;
}

TEST_F(DlgMainTest, StatusLineShowsKnownCodesOnly) {
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

TEST_F(DlgMainTest, CounterLineAndNewStretchOfTheGraph) {
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

TEST_F(DlgMainTest, ConnectSendsTheSelectedPortOrTestMode) {
    const auto& ports = dialog->ports();
    auto* list = qobject_cast<QComboBox*>(dialog->control(100));
    ASSERT_EQ(list->count(), static_cast<int>(ports.size()));
    dialog->command(101);
    if (ports.empty()) {
        // No serial device on this machine: port 1 without a path; the engine answers with an error.
        EXPECT_EQ(engine.calls, std::vector<std::string>{"Connect(1)"});
    } else {
        EXPECT_EQ(engine.calls,
                  (std::vector<std::string>{"setPortPath(1," + ports[0].path + ")", "Connect(1)"}));
        engine.calls.clear();
        list->setCurrentIndex(list->count() - 1);
        dialog->command(101);
        const std::string n = std::to_string(ports.size());
        EXPECT_EQ(engine.calls, (std::vector<std::string>{"setPortPath(" + n + "," + ports.back().path + ")",
                                                          "Connect(" + n + ")"}));
    }

    // The test-mode box is disabled by Connect, enabled again by Disconnect.
    EXPECT_FALSE(dialog->testModeEnabled());
    dialog->command(103);
    EXPECT_FALSE(dialog->testModeChecked());
    dialog->command(102);
    EXPECT_TRUE(dialog->testModeEnabled());
    EXPECT_EQ(engine.calls.back(), "Disconnect");

    engine.calls.clear();
    EXPECT_TRUE(dialog->command(103));
    EXPECT_TRUE(dialog->testModeChecked());
    dialog->command(101);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"Connect(0)"});
}

TEST_F(DlgMainTest, CommandsWithAndWithoutControls) {
    EXPECT_TRUE(dialog->command(140));
    model->logSettings.logProcessed = false;
    model->logSettings.logRate = 5;
    dialog->command(140);
    for (int id : {141, 142, 134, 135, 136, 145})
        EXPECT_TRUE(dialog->command(id)) << id;
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"StartLog(3,2)", "StartLog(1,5)", "StopLog", "FetchLog",
                                                      "Device41", "Device42", "Device43"}));
    for (int id : {0, 3, 105, 137, 147, 200, 1000})
        EXPECT_FALSE(dialog->command(id)) << id;
}

TEST_F(DlgMainTest, ClearEmptiesStoreAndGraph) {
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

TEST_F(DlgMainTest, ExportWritesDataDatInTheCurrentDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    model->deviceInfo.recordLength = 16;
    model->updateGeometry();
    const uint8_t record[16] = {5, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xB0, 0x04, 0, 0, 7, 0, 0, 0};
    model->appendRecord(record, 16, true);
    EXPECT_TRUE(dialog->command(144));
    QFile file(dir.filePath(QStringLiteral("data.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[N:0 TS:5] 1000 1200 7\r\n"));
    QDir::setCurrent(previous);
}

TEST_F(DlgMainTest, ResizeKeepsTheGraphMargins) {
    dialog->show();
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

    // It cannot be made smaller than its minimum.
    dialog->resize(50, 40);
    EXPECT_GE(dialog->width(), dialog->minimumWidth());
    EXPECT_GE(dialog->height(), dialog->minimumHeight());
    // The minimum is 525 x 194 dialog units for the window with its frame.
    const DialogUnits units(dialog->font());
    const QSize frame = dialog->frameGeometry().size() - dialog->size();
    EXPECT_EQ(dialog->minimumSize(), QSize(units.x(525), units.y(194)) - frame);
    EXPECT_EQ(dialog->width() - graph->geometry().right(), right);
}

TEST_F(DlgMainTest, EnterEndsWithOneEscWithZero) {
    // Enter on the status line: command 1.
    QTimer::singleShot(0, dialog.get(), [this] {
        dialog->control(104)->setFocus();
        pressKey(dialog->control(104), Qt::Key_Return);
    });
    EXPECT_EQ(dialog->exec(), 1);

    // Enter on a push button clicks it and leaves the dialog open; Esc then ends it with 0.
    QTimer::singleShot(0, dialog.get(), [this] {
        dialog->control(141)->setFocus();
        pressKey(dialog->control(141), Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        pressKey(dialog->control(141), Qt::Key_Escape);
    });
    EXPECT_EQ(dialog->exec(), 0);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"StopLog"});

    // The close box and Exit end it with 0 too.
    QTimer::singleShot(0, dialog.get(), [this] { dialog->close(); });
    EXPECT_EQ(dialog->exec(), 0);
    QTimer::singleShot(0, dialog.get(), [this] { qobject_cast<QPushButton*>(dialog->control(2))->click(); });
    EXPECT_EQ(dialog->exec(), 0);
}

TEST_F(DlgMainTest, NotificationsPostedFromAnotherThreadReachTheChannel) {
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

TEST_F(DlgMainTest, OneWaitingDataNoticeDrainsEveryRecordWrittenBeforeIt) {
    model->deviceInfo.recordLength = 16;
    model->updateGeometry();
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

TEST_F(DlgMainTest, DisplaySettingsApplyToTheGraphOnOkOnly) {
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

TEST_F(DlgMainTest, OtherDialogsOpenModallyAndClose) {
    for (int id : {120, 130, 132, 133}) {
        answerNextModal(2);
        EXPECT_TRUE(dialog->command(id)) << id;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << id;
    }
}

} // namespace

TEST_F(DlgMainTest, PeriodicErrorLineFollowsTheStoreAndClear) {
    // A 20-sample period of about 4" peak to peak on a 25-bit encoder, logged at 4 Hz.
    model->deviceInfo.encoderBits = 25;
    for (uint32_t i = 0; i < 2000; ++i)
        model->samples[i] = static_cast<int32_t>(std::lround(52.0 * std::sin(2 * M_PI * i / 20.0)));
    model->sampleCount = 2000;
    dialog->command(140); // Start: the log rate becomes known
    auto* line = qobject_cast<QLineEdit*>(dialog->control(DlgMain::kPeLineId));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isReadOnly());
    QElapsedTimer timer;
    timer.start();
    while (!line->text().contains("period") && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(line->text().startsWith("PE 4.0")) << line->text().toStdString();
    EXPECT_TRUE(line->text().contains("period 20 (5.00 s)")) << line->text().toStdString();

    dialog->command(146); // Clear
    timer.restart();
    while (!line->text().startsWith("PE --") && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(line->text().startsWith("PE --")) << line->text().toStdString();
}
