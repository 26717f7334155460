// Renders every dialog to a PNG file under <build>/screenshots for visual review, and checks the
// layout: each control inside the dialog, no two controls (other than group boxes) overlapping, and
// every single-line text fitting its control.
#include "model/store/AppModel.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ClosedLoopDialog.h"
#include "ui/dialogs/DisplaySettingsDialog.h"
#include "ui/dialogs/LogSettingsDialog.h"
#include "ui/dialogs/ManualWindow.h"
#include "ui/dialogs/MotorDriveInfoDialog.h"

#include <QApplication>
#include <QPixmap>
#include <gtest/gtest.h>

#include <memory>

#include "ControlLayout.h"
#include "EngineCommandRecorder.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

void checkLayoutAndSave(QWidget& dialog, const char* file) {
    dialog.show();
    QApplication::processEvents();
    expectControlsWholeAndApart(dialog, file);
    const QPixmap picture = dialog.grab();
    ASSERT_FALSE(picture.isNull());
    const QString path = screenshotDirectory() + QLatin1Char('/') + QLatin1String(file);
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

} // namespace

TEST(DialogScreenshots, MotorDriveInfo) {
    auto model = std::make_unique<AppModel>();
    applyTestModeValues(model->deviceInfo);
    model->deviceInfo.hardwareVersion = 0x01020304u;
    model->deviceInfo.firmwareVersion = 0x02000A01u;
    model->deviceInfo.encoderOffset = static_cast<uint32_t>(-1);
    EngineCommandRecorder engine;
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    checkLayoutAndSave(dialog, "motor_drive_info.png");
}

TEST(DialogScreenshots, DisplaySettings) {
    DisplaySettings settings;
    DisplaySettingsDialog dialog(nullptr, &settings);
    checkLayoutAndSave(dialog, "display_settings.png");
}

TEST(DialogScreenshots, LogSettings) {
    LogSettings settings;
    LogSettingsDialog dialog(nullptr, &settings);
    checkLayoutAndSave(dialog, "log_settings.png");
}

TEST(DialogScreenshots, ClosedLoop) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.maxCurrent = 1000;
    model->deviceInfo.motorCurrent = 500;
    model->closedLoopSettings.pGain = 80;
    model->closedLoopSettings.iGain = 40;
    model->closedLoopSettings.dGain = 120;
    EngineCommandRecorder engine;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    checkLayoutAndSave(dialog, "closed_loop.png");
}

TEST(DialogScreenshots, About) {
    AboutDialog dialog(nullptr);
    checkLayoutAndSave(dialog, "about.png");
    // The manual its link shows, rendered inside the program.
    dialog.command(104);
    auto* manual = dialog.findChild<ManualWindow*>();
    ASSERT_NE(manual, nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(manual->grab().save(screenshotDirectory() + QStringLiteral("/manual.png")));
}
