// The built-in virtual controller: its entry in the port list, Connect through its pseudo-terminal, and a
// whole program run that logs from it, and one that tunes its closed loop.
#include "ui/main/DlgMain.h"

#include "app/CommandLine.h"
#include "model/store/AppModel.h"
#include "ui/dialogs/ClosedLoopDialog.h"
#include "ui/dialogs/TuningWindow.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/main/Application.h"
#include "ui/main/VirtualController.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogScript.h"
#include "LineText.h"
#include "MainDialogFixture.h"
#include "NightPicture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

using VirtualControllerEntry = MainDialogFixture;
using Calls = std::vector<std::string>;

TEST_F(VirtualControllerEntry, IsTheLastEntryAndConnectsThroughItsPty) {
    make(true);
    auto* list = controlAs<QComboBox>(100);
    const int n = static_cast<int>(dialog->ports().size());
    ASSERT_EQ(list->count(), n + 1);
    EXPECT_EQ(dialog->virtualPortIndex(), n);
    EXPECT_EQ(list->itemText(n), QStringLiteral("Virtual RZ4 (built-in emulator)"));
    if (n == 0) {
        EXPECT_EQ(list->currentIndex(), 0); // no real device: the virtual one is selected
    }
    EXPECT_FALSE(virtualController->running()); // started on first use only

    list->setCurrentIndex(n);
    dialog->command(101);
    ASSERT_TRUE(virtualController->running());
    const std::string path = virtualController->slavePath();
    EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    const std::string port = std::to_string(n + 1);
    EXPECT_EQ(engine.calls, (Calls{"setPortPath(" + port + "," + path + ")", "Connect(" + port + ")"}));

    // A second Connect reuses the running emulator.
    dialog->command(102);
    engine.calls.clear();
    dialog->command(101);
    EXPECT_EQ(virtualController->slavePath(), path);
    EXPECT_EQ(engine.calls.back(), "Connect(" + port + ")");

    // Once stopped for good it does not come back: Connect is not sent, the status says why.
    virtualController->stop();
    dialog->command(102);
    engine.calls.clear();
    dialog->command(101);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
    EXPECT_FALSE(dialog->openErrorReason().isEmpty());
    EXPECT_TRUE(dialog->testModeEnabled());
}

TEST(VirtualControllerProgram, LogsFromTheVirtualControllerAndAsksBeforeDiscarding) {
    bool finished = false;
    int questions = 0;
    uint32_t samples = 0;
    const int exitCode = Application::run([&](DlgMain& dialog) {
        AppModel& model = *dialog.model();
        EncoderGraph& graph = *dialog.graph();
        dialog.setExitQuestion([&](uint32_t count) {
            ++questions;
            EXPECT_GT(count, 0u);
            return DlgMain::ExitAnswer::Discard;
        });
        auto* script = new DialogScript(
            dialog,
            {
                {"connect to the virtual controller", 30000,
                 [&] {
                     auto* list = qobject_cast<QComboBox*>(dialog.control(100));
                     EXPECT_GE(dialog.virtualPortIndex(), 0);
                     list->setCurrentIndex(dialog.virtualPortIndex());
                     qobject_cast<QPushButton*>(dialog.control(101))->click();
                     return true;
                 }},
                {"connected", 30000,
                 [&] { return lineText(dialog, 104) == QStringLiteral("Connection established."); }},
                {"start logging", 30000,
                 [&] {
                     EXPECT_EQ(graph.encoderBits(), 25);
                     model.logSettings.logRate = 4; // many records per block for a lively picture
                     graph.setScale(0);
                     qobject_cast<QPushButton*>(dialog.control(140))->click();
                     return true;
                 }},
                {"150 samples", 30000, [&] { return model.sampleCount >= 150; }},
                {"pictures by day and night, then Exit", 30000,
                 [&] {
                     samples = model.sampleCount;
                     EXPECT_TRUE(lineText(dialog, 143).contains(QStringLiteral("Total:%1").arg(samples)));
                     graph.repaint();
                     const QString dir = screenshotDirectory();
                     dialog.grab().save(dir + QStringLiteral("/main_dialog_virtual.png"));
                     dialog.command(DlgMain::kNightModeId);
                     QApplication::processEvents();
                     const QImage night = dialog.grab().toImage();
                     night.save(dir + QStringLiteral("/main_dialog_virtual_night.png"));
                     EXPECT_LE(maxGreenOrBlue(night), kNightTolerance);
                     finished = true;
                     dialog.command(2); // still logging, records unexported
                     return true;
                 }},
            });
        script->setParent(&dialog);
        dialog.show();
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(finished);
    EXPECT_EQ(questions, 1);
    EXPECT_GE(samples, 150u);
}

// astrelvo --port virtual --connect: the virtual controller is chosen and connected at start, as an
// observatory start-up script needs it.
TEST(VirtualControllerProgram, PortAndConnectOnTheCommandLineConnectAtStart) {
    const char* argv[] = {"astrelvo", "--port", "virtual", "--connect"};
    const CommandLine line = parseCommandLine(4, argv);
    ASSERT_EQ(line.action, CommandLine::Action::Run);
    bool connected = false;
    const int exitCode = Application::run(
        [&](DlgMain& dialog) {
            auto* script = new DialogScript(
                dialog, {{"connected without a click", 30000, [&] {
                              if (lineText(dialog, 104) != QStringLiteral("Connection established."))
                                  return false;
                              connected = true;
                              EXPECT_EQ(qobject_cast<QComboBox*>(dialog.control(100))->currentIndex(),
                                        dialog.virtualPortIndex());
                              dialog.command(2);
                              return true;
                          }}});
            script->setParent(&dialog);
            dialog.show();
        },
        &line);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(connected);
}

// The tuning window of the closed-loop dialog in the whole program against the virtual controller:
// Start starts logging, each step's gains are taken (a marker on the graph) and measured, Restore
// sends the values of Start back. About 20 s of wall clock.
TEST(SlowTuningProgram, SearchesPAgainstTheVirtualControllerAndRestores) {
    bool finished = false;
    const int exitCode = Application::run([&](DlgMain& dialog) {
        AppModel& model = *dialog.model();
        TuningWindow* window = nullptr;
        auto* script = new DialogScript(
            dialog,
            {
                {"connect to the virtual controller", 30000,
                 [&] {
                     qobject_cast<QComboBox*>(dialog.control(100))
                         ->setCurrentIndex(dialog.virtualPortIndex());
                     dialog.command(DlgMain::IdConnect);
                     return true;
                 }},
                {"connected", 30000,
                 [&] {
                     if (lineText(dialog, 104) != QStringLiteral("Connection established."))
                         return false;
                     model.logSettings.logRate = 5; // 128 Hz
                     // The dialogs run modally: open them from the event loop, not from this step.
                     QTimer::singleShot(0, &dialog, [&] { dialog.command(DlgMain::IdClosedLoop); });
                     return true;
                 }},
                {"Tune... in the closed-loop dialog", 10000,
                 [&] {
                     auto* closedLoop = qobject_cast<ClosedLoopDialog*>(QApplication::activeModalWidget());
                     if (closedLoop == nullptr)
                         return false;
                     QTimer::singleShot(0, closedLoop,
                                        [closedLoop] { closedLoop->command(ClosedLoopDialog::IdTune); });
                     return true;
                 }},
                {"Start with 2 s steps", 10000,
                 [&] {
                     window = qobject_cast<TuningWindow*>(QApplication::activeModalWidget());
                     if (window == nullptr)
                         return false;
                     qobject_cast<QLineEdit*>(window->control(TuningWindow::IdSeconds))->setText("2");
                     qobject_cast<QLineEdit*>(window->control(TuningWindow::IdMaxSteps))->setText("4");
                     window->command(TuningWindow::IdStart);
                     EXPECT_TRUE(dialog.logging());
                     return true;
                 }},
                {"four steps", 60000,
                 [&] {
                     if (window->state() != TuningWindow::State::Choosing)
                         return false;
                     EXPECT_EQ(window->search()->steps().size(), 4u) << window->notesText().toStdString();
                     EXPECT_GE(model.markerCount, 3u); // one per step after step 0
                     window->command(TuningWindow::IdRestore);
                     return true;
                 }},
                {"restored once the controller took the values", 20000,
                 [&] {
                     if (window->state() != TuningWindow::State::Ended)
                         return false;
                     EXPECT_TRUE(
                         window->statusText().startsWith(QStringLiteral("Restored P 80, I 40, D 120")))
                         << window->statusText().toStdString();
                     window->command(TuningWindow::IdClose);
                     return true;
                 }},
                {"the restored values taken, then Exit", 10000,
                 [&] {
                     const Marker& last = model.markers[model.markerCount - 1];
                     if (last.labelText() != "PID 80/40/120")
                         return false;
                     finished = true;
                     if (auto* closedLoop =
                             qobject_cast<ClosedLoopDialog*>(QApplication::activeModalWidget()))
                         closedLoop->command(2);
                     dialog.setExitQuestion([](uint32_t) { return DlgMain::ExitAnswer::Discard; });
                     QTimer::singleShot(0, &dialog, [&] { dialog.command(DlgMain::IdExit); });
                     return true;
                 }},
            });
        script->setParent(&dialog);
        dialog.show();
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(finished);
}

} // namespace
