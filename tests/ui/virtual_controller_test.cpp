// The built-in virtual controller: its entry in the port list, Connect through its pseudo-terminal, and a
// whole program run that logs from it.
#include "ui/DlgMain.h"

#include "app/CommandLine.h"
#include "model/AppModel.h"
#include "ui/Application.h"
#include "ui/EncoderGraph.h"
#include "ui/VirtualController.h"

#include <QComboBox>
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

} // namespace
