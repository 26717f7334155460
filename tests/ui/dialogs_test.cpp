#include "model/store/AppModel.h"
#include "ui/common/NumberText.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ClosedLoopDialog.h"
#include "ui/dialogs/DisplaySettingsDialog.h"
#include "ui/dialogs/LogSettingsDialog.h"
#include "ui/dialogs/ManualWindow.h"
#include "ui/dialogs/MotorDriveInfoDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <memory>

#include "DialogInput.h"
#include "EngineCommandRecorder.h"
#include "UiTestMain.h"

using Calls = std::vector<std::string>;

namespace {

void mouse(QWidget* target, QEvent::Type type) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The object name of the control with that ID.
QString idName(int id) {
    return QString::number(id);
}

QString text(const QWidget& dialog, int id) {
    if (auto* edit = dialog.findChild<QLineEdit*>(idName(id)))
        return edit->text();
    if (auto* label = dialog.findChild<QLabel*>(idName(id)))
        return label->text();
    if (auto* button = dialog.findChild<QAbstractButton*>(idName(id)))
        return button->text();
    return QStringLiteral("<missing>");
}

bool checked(const QWidget& dialog, int id) {
    auto* button = dialog.findChild<QAbstractButton*>(idName(id));
    return button && button->isChecked();
}

void setText(const QWidget& dialog, int id, const QString& value) {
    dialog.findChild<QLineEdit*>(idName(id))->setText(value);
}

struct Fixture : ::testing::Test {
    std::unique_ptr<AppModel> model = std::make_unique<AppModel>();
    EngineCommandRecorder engine;
};

} // namespace

// ---- number texts ----

TEST(NumberText, ReadsOnlyWholeNumbersInRange) {
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral(" 1234 ")), 1234u);
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral("4294967295")), 4294967295u);
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral("4294967296")), 0u);
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral("99999999999999999999999")), 0u);
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral("12x")), 0u);
    EXPECT_EQ(readUnsignedDecimal(QStringLiteral("-5")), 0u);
    EXPECT_EQ(readUnsignedDecimal(QString()), 0u);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("-2147483648")), INT32_MIN);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("2147483647")), INT32_MAX);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("2147483648")), 0);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("+7")), 7);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("-")), 0);
    EXPECT_EQ(readSignedDecimal(QStringLiteral("1 2")), 0);
}

// ---- motor drive information ----

using MotorDriveInfo = Fixture;

TEST_F(MotorDriveInfo, ShowsTheDeviceRecord) {
    DeviceInfo& info = model->deviceInfo;
    info.hardwareVersion = 0x01020304u;
    info.firmwareVersion = 0x0A000B0Cu;
    info.gearRatio = 172800;
    info.fullResolution = 5529600;
    info.siderealSpeed = 4294967295u;
    info.maxCurrent = 1500;
    info.encoderBits = 25;
    info.encoderResolution = 33554432;
    info.encoderFlags = 3;
    info.encoderOffset = static_cast<uint32_t>(-1);
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Motor drive information"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdHardwareVersion), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdFirmwareVersion), QStringLiteral("10.0.11.12"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdGearRatio), QStringLiteral("172800"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdFullResolution), QStringLiteral("5529600"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdSiderealSpeed), QStringLiteral("4294967295"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdMaxCurrent), QStringLiteral("1500"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdEncoderBits), QStringLiteral("25"));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdEncoderResolution), QStringLiteral("33554432"));
    EXPECT_TRUE(checked(dialog, MotorDriveInfoDialog::IdEncoderReverse));
    EXPECT_EQ(text(dialog, MotorDriveInfoDialog::IdEncoderOffset), QStringLiteral("4294967295"));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>(idName(MotorDriveInfoDialog::IdHardwareVersion))->isReadOnly());
    EXPECT_FALSE(dialog.findChild<QLineEdit*>(idName(MotorDriveInfoDialog::IdEncoderOffset))->isReadOnly());

    info.encoderBits = 32;
    info.encoderResolution = uint64_t{1} << 32;
    info.encoderFlags = 2;
    MotorDriveInfoDialog wide(nullptr, model.get(), &engine);
    EXPECT_EQ(text(wide, MotorDriveInfoDialog::IdEncoderResolution), QStringLiteral("4294967296"));
    EXPECT_FALSE(checked(wide, MotorDriveInfoDialog::IdEncoderReverse));
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(MotorDriveInfo, ActualizeWritesRecordAndControllerAndStaysOpen) {
    model->deviceInfo.encoderFlags = 0xFE;
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    dialog.findChild<QCheckBox*>(idName(MotorDriveInfoDialog::IdEncoderReverse))->click();
    setText(dialog, MotorDriveInfoDialog::IdEncoderOffset, QStringLiteral("123456"));
    dialog.findChild<QPushButton*>(idName(MotorDriveInfoDialog::IdActualizeCalibration))->click();
    EXPECT_EQ(model->deviceInfo.encoderFlags, 1);
    EXPECT_EQ(model->deviceInfo.encoderOffset, 123456u);
    EXPECT_EQ(engine.calls, (Calls{"SetEncoderCalibration(1,123456)"}));
    EXPECT_TRUE(dialog.isVisible());

    dialog.findChild<QCheckBox*>(idName(MotorDriveInfoDialog::IdEncoderReverse))->click();
    setText(dialog, MotorDriveInfoDialog::IdEncoderOffset, QStringLiteral("12 apples"));
    EXPECT_TRUE(dialog.command(MotorDriveInfoDialog::IdActualizeCalibration));
    EXPECT_EQ(model->deviceInfo.encoderFlags, 0);
    EXPECT_EQ(model->deviceInfo.encoderOffset, 0u);
    EXPECT_EQ(engine.calls.back(), "SetEncoderCalibration(0,0)");
    EXPECT_FALSE(dialog.command(133));
}

TEST_F(MotorDriveInfo, OkCancelEnterEscChangeNothing) {
    model->deviceInfo.encoderOffset = 77;
    struct Case {
        int key;
        int result;
    };
    for (Case c : {Case{Qt::Key_Return, 1}, Case{Qt::Key_Enter, 1}, Case{Qt::Key_Escape, 0}}) {
        MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
        dialog.show();
        setText(dialog, MotorDriveInfoDialog::IdEncoderOffset, QStringLiteral("5"));
        dialog.findChild<QLineEdit*>(idName(MotorDriveInfoDialog::IdEncoderOffset))->setFocus();
        sendKey(&dialog, c.key);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), c.result);
    }
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(model->deviceInfo.encoderOffset, 77u);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(MotorDriveInfo, EnterOnAFocusedButtonClicksIt) {
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    dialog.findChild<QPushButton*>(idName(MotorDriveInfoDialog::IdActualizeCalibration))->setFocus();
    sendKey(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(engine.calls.size(), 1u);
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault());
        EXPECT_FALSE(button->isDefault());
    }
}

// ---- display settings ----

TEST(DisplaySettingsDialogTest, ShowsRecordAndChecksRadiosItself) {
    DisplaySettings settings;
    settings.verticalOffset = -12;
    DisplaySettingsDialog dialog(nullptr, &settings);
    EXPECT_EQ(text(dialog, DisplaySettingsDialog::IdScale0 + 6), QStringLiteral("50 arcsecs = 10 pixel"));
    for (int id = DisplaySettingsDialog::IdScale0; id <= DisplaySettingsDialog::IdScale9; ++id)
        EXPECT_EQ(checked(dialog, id), id == DisplaySettingsDialog::IdScale0 + 6) << id;
    EXPECT_TRUE(checked(dialog, DisplaySettingsDialog::IdLightColors));
    EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdDarkColors));
    EXPECT_EQ(text(dialog, DisplaySettingsDialog::IdVerticalOffset), QStringLiteral("-12"));

    // Clicking a checked button keeps it checked; clicking another moves the check.
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdLightColors))->click();
    EXPECT_TRUE(checked(dialog, DisplaySettingsDialog::IdLightColors));
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdDarkColors))->click();
    EXPECT_TRUE(checked(dialog, DisplaySettingsDialog::IdDarkColors));
    EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdLightColors));
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdScale0 + 2))->click();
    EXPECT_TRUE(checked(dialog, DisplaySettingsDialog::IdScale0 + 2));
    EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdScale0 + 6));
    EXPECT_EQ(settings.colorScheme, 1); // nothing stored before Ok
}

TEST(DisplaySettingsDialogTest, OkStoresWorkingValues) {
    DisplaySettings settings;
    DisplaySettingsDialog dialog(nullptr, &settings);
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdDarkColors))->click();
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdScale0 + 9))->click();
    EXPECT_TRUE(dialog.command(DisplaySettingsDialog::IdExtra0 + 2));
    setText(dialog, DisplaySettingsDialog::IdVerticalOffset, QStringLiteral("-15"));
    dialog.findChild<QPushButton*>(idName(DisplaySettingsDialog::IdOk))->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(settings.scaleIndex, 9);
    EXPECT_EQ(settings.colorScheme, 0);
    EXPECT_EQ(settings.extraChoice, 2);
    EXPECT_EQ(settings.verticalOffset, -15);

    DisplaySettingsDialog again(nullptr, &settings);
    setText(again, DisplaySettingsDialog::IdVerticalOffset, QStringLiteral("ten"));
    EXPECT_TRUE(again.command(DisplaySettingsDialog::IdOk));
    EXPECT_EQ(settings.verticalOffset, 0);
    EXPECT_FALSE(again.command(143));
}

TEST(DisplaySettingsDialogTest, CancelLeavesRecord) {
    DisplaySettings settings;
    settings.scaleIndex = 12; // out of range: no scale button checked, value kept
    DisplaySettingsDialog dialog(nullptr, &settings);
    for (int id = DisplaySettingsDialog::IdScale0; id <= DisplaySettingsDialog::IdScale9; ++id)
        EXPECT_FALSE(checked(dialog, id));
    dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdDarkColors))->click();
    setText(dialog, DisplaySettingsDialog::IdVerticalOffset, QStringLiteral("40"));
    dialog.findChild<QPushButton*>(idName(DisplaySettingsDialog::IdCancel))->click();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(settings.scaleIndex, 12);
    EXPECT_EQ(settings.colorScheme, 1);
    EXPECT_EQ(settings.verticalOffset, 0);
}

TEST(DisplaySettingsDialogTest, TimeAxisAutoAndCentreStoredOnOkOnly) {
    DisplaySettings settings;
    for (const int button : {DisplaySettingsDialog::IdCancel, DisplaySettingsDialog::IdOk}) {
        // Cancel stores nothing, Ok stores all
        DisplaySettingsDialog dialog(nullptr, &settings);
        EXPECT_EQ(text(dialog, DisplaySettingsDialog::IdSamplePerPixel),
                  QStringLiteral("One sample per pixel"));
        EXPECT_TRUE(checked(dialog, DisplaySettingsDialog::IdSamplePerPixel)); // the defaults
        EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdAutoScale));
        EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdCentre));
        // Auto is one of the scale's choices, Centre a box of its own; both make the offset moot.
        dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdAutoScale))->click();
        EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdScale0 + 6));
        dialog.findChild<QCheckBox*>(idName(DisplaySettingsDialog::IdCentre))->click();
        EXPECT_FALSE(
            dialog.findChild<QLineEdit*>(idName(DisplaySettingsDialog::IdVerticalOffset))->isEnabled());
        dialog.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdFollowNewest))->click();
        EXPECT_FALSE(checked(dialog, DisplaySettingsDialog::IdSamplePerPixel));
        dialog.findChild<QPushButton*>(idName(button))->click();
        const bool ok = button == DisplaySettingsDialog::IdOk;
        EXPECT_EQ(settings.timeAxis == TimeAxis::FollowNewest, ok);
        EXPECT_EQ(settings.autoScale, ok);
        EXPECT_EQ(settings.centre, ok);
        if (!ok)
            continue;
        // Shown again as stored; a fixed scale and a second click on Centre undo both.
        DisplaySettingsDialog again(nullptr, &settings);
        EXPECT_TRUE(checked(again, DisplaySettingsDialog::IdAutoScale) &&
                    checked(again, DisplaySettingsDialog::IdFollowNewest) &&
                    checked(again, DisplaySettingsDialog::IdCentre));
        again.findChild<QRadioButton*>(idName(DisplaySettingsDialog::IdScale0 + 3))->click();
        again.findChild<QCheckBox*>(idName(DisplaySettingsDialog::IdCentre))->click();
        EXPECT_TRUE(
            again.findChild<QLineEdit*>(idName(DisplaySettingsDialog::IdVerticalOffset))->isEnabled());
        EXPECT_TRUE(again.command(DisplaySettingsDialog::IdOk));
        EXPECT_FALSE(settings.autoScale || settings.centre);
        EXPECT_EQ(settings.scaleIndex, 3);
    }
}

// ---- log settings ----

TEST(LogSettingsDialogTest, ShowsAndStoresOnOkOnly) {
    LogSettings settings;
    {
        LogSettingsDialog dialog(nullptr, &settings);
        EXPECT_TRUE(checked(dialog, LogSettingsDialog::IdLogProcessed));
        EXPECT_TRUE(checked(dialog, LogSettingsDialog::IdRate0 + 2));
        dialog.findChild<QCheckBox*>(idName(LogSettingsDialog::IdLogProcessed))->click();
        dialog.findChild<QRadioButton*>(idName(LogSettingsDialog::IdRate0 + 5))->click();
        EXPECT_FALSE(checked(dialog, LogSettingsDialog::IdRate0 + 2));
        dialog.findChild<QPushButton*>(idName(LogSettingsDialog::IdCancel))->click();
        EXPECT_EQ(dialog.result(), 0);
        EXPECT_TRUE(settings.logProcessed);
        EXPECT_EQ(settings.logRate, 2);
    }
    LogSettingsDialog dialog(nullptr, &settings);
    dialog.findChild<QCheckBox*>(idName(LogSettingsDialog::IdLogProcessed))->click();
    dialog.findChild<QRadioButton*>(idName(LogSettingsDialog::IdRate0))->click();
    dialog.findChild<QPushButton*>(idName(LogSettingsDialog::IdOk))->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_FALSE(settings.logProcessed);
    EXPECT_EQ(settings.logRate, 0);
}

// ---- closed loop tracking control ----

struct ClosedLoop : Fixture {
    void SetUp() override {
        model->deviceInfo.maxCurrent = 1000;
        model->deviceInfo.motorCurrent = 500;
        model->deviceInfo.param128 = -3;
    }
    QSlider* slider(const ClosedLoopDialog& dialog) {
        return dialog.findChild<QSlider*>(idName(ClosedLoopDialog::IdCurrentTrackbar));
    }
};

TEST_F(ClosedLoop, ShowsSettingsAndCurrent) {
    ClosedLoopSettings& s = model->closedLoopSettings;
    s.pGain = 11;
    s.iGain = 12;
    s.dGain = 13;
    s.iSamples = 14;
    s.dSamples = 4294967295u;
    s.auxSkip = 21;
    s.auxErrorLimit = 22;
    s.auxAccelLimit = 23;
    s.auxSpeedLimit = 24;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    const int ids[] = {ClosedLoopDialog::IdPGain,         ClosedLoopDialog::IdIGain,
                       ClosedLoopDialog::IdDGain,         ClosedLoopDialog::IdISamples,
                       ClosedLoopDialog::IdDSamples,      ClosedLoopDialog::IdAuxSkip,
                       ClosedLoopDialog::IdAuxErrorLimit, ClosedLoopDialog::IdAuxAccelLimit,
                       ClosedLoopDialog::IdAuxSpeedLimit};
    const char* shown[] = {"11", "12", "13", "14", "4294967295", "21", "22", "23", "24"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(text(dialog, ids[i]), QString::fromLatin1(shown[i])) << ids[i];
    EXPECT_EQ(text(dialog, ClosedLoopDialog::IdCurrentEdit), QStringLiteral("500"));
    EXPECT_EQ(slider(dialog)->maximum(), 31);
    EXPECT_EQ(slider(dialog)->value(), 16);
    for (const int id :
         {ClosedLoopDialog::IdPGainLabel, ClosedLoopDialog::IdIGainLabel, ClosedLoopDialog::IdDGainLabel}) {
        auto* label = dialog.findChild<QLabel*>(idName(id));
        EXPECT_TRUE(label->font().bold()) << id;
        EXPECT_GT(QFontMetrics(label->font()).height(), QFontMetrics(dialog.font()).height()) << id;
    }
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ClosedLoop, TrackbarActsOnlyAtTheEndOfAChange) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    QSlider* bar = slider(dialog);
    sendKey(bar, Qt::Key_End);
    EXPECT_EQ(bar->value(), 31);
    EXPECT_EQ(text(dialog, ClosedLoopDialog::IdCurrentEdit), QStringLiteral("1000"));
    sendKey(bar, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(text(dialog, ClosedLoopDialog::IdCurrentEdit), QStringLiteral("31"));
    EXPECT_EQ(engine.calls, (Calls{"WriteParam16(129,1000)", "WriteParam16(129,31)"}));

    // A drag: moving the thumb sends nothing, letting go sends the value.
    engine.calls.clear();
    bar->setSliderDown(true);
    bar->setValue(20);
    bar->setValue(19);
    EXPECT_TRUE(engine.calls.empty());
    bar->setSliderDown(false);
    mouse(bar, QEvent::MouseButtonRelease);
    EXPECT_EQ(engine.calls, (Calls{"WriteParam16(129,625)"}));
    // The end of a change that lands on the same current sends nothing.
    mouse(bar, QEvent::MouseButtonRelease);
    sendKey(bar, Qt::Key_A);
    EXPECT_EQ(engine.calls.size(), 1u);
}

TEST_F(ClosedLoop, TypedCurrentActsWhenTheEditLosesFocus) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    auto* edit = dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdCurrentEdit));
    edit->setText(QStringLiteral("250"));
    EXPECT_TRUE(dialog.command(ClosedLoopDialog::IdCurrentEdit)); // a change notification alone does nothing
    EXPECT_TRUE(engine.calls.empty());
    loseFocus(edit);
    EXPECT_EQ(slider(dialog)->value(), 8);
    EXPECT_EQ(engine.calls, (Calls{"WriteParam16(129,250)"}));
    loseFocus(edit);
    EXPECT_EQ(engine.calls.size(), 1u);
    // Moving the thumb by program did not count as a user change.
    dialog.command(ClosedLoopDialog::IdCancel);
    EXPECT_EQ(model->deviceInfo.motorCurrent, 250);
    EXPECT_EQ(engine.calls.size(), 1u);
}

TEST_F(ClosedLoop, TypedCurrentIsBoundedByTheDriveMaximum) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    auto* edit = dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdCurrentEdit));
    edit->setText(QStringLiteral("70000"));
    loseFocus(edit);
    EXPECT_EQ(edit->text(), QStringLiteral("1000"));
    EXPECT_EQ(slider(dialog)->value(), 31);
    EXPECT_EQ(engine.calls, (Calls{"WriteParam16(129,1000)"}));
    edit->setText(QStringLiteral("rubbish"));
    loseFocus(edit);
    EXPECT_EQ(engine.calls.back(), "WriteParam16(129,0)");
    EXPECT_EQ(slider(dialog)->value(), 0);
}

TEST_F(ClosedLoop, WithoutMaximumCurrentIsRememberedButNotSent) {
    model->deviceInfo.maxCurrent = 0;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    EXPECT_EQ(slider(dialog)->value(), 0);
    auto* edit = dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdCurrentEdit));
    edit->setText(QStringLiteral("300"));
    loseFocus(edit);
    EXPECT_EQ(slider(dialog)->value(), 0);
    // Without a scale the thumb cannot set a current: it goes back to 0 and nothing changes.
    sendKey(slider(dialog), Qt::Key_End);
    EXPECT_EQ(slider(dialog)->value(), 0);
    EXPECT_TRUE(engine.calls.empty());
    dialog.command(ClosedLoopDialog::IdOk);
    EXPECT_EQ(model->deviceInfo.motorCurrent, 300);
}

TEST_F(ClosedLoop, CurrentAndParam128WrittenBackWhateverTheResult) {
    {
        ClosedLoopDialog dialog(nullptr, model.get(), &engine);
        sendKey(slider(dialog), Qt::Key_Left);
        dialog.close();
        EXPECT_EQ(dialog.result(), 0);
    }
    EXPECT_EQ(model->deviceInfo.motorCurrent, 500); // (15 + 1) * 1000 / 32
    EXPECT_EQ(model->deviceInfo.param128, -3);
    model->deviceInfo.motorCurrent = 100;
    {
        ClosedLoopDialog dialog(nullptr, model.get(), &engine);
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdCurrentEdit));
        edit->setFocus();
        edit->setText(QStringLiteral("640"));
        sendKey(&dialog, Qt::Key_Return); // Ok with the value still in the focused edit
        EXPECT_EQ(dialog.result(), 1);
    }
    EXPECT_EQ(model->deviceInfo.motorCurrent, 640);
    EXPECT_EQ(engine.calls.back(), "WriteParam16(129,640)");
}

TEST_F(ClosedLoop, SendPidStoresFiveAndSendsTen) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    const char* values[] = {"100", "50", "200", "10", "20"};
    for (int i = 0; i < 5; ++i)
        setText(dialog, ClosedLoopDialog::IdPGain + i, QString::fromLatin1(values[i]));
    dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdSendPid))->click();
    EXPECT_EQ(engine.calls, (Calls{"SendPid(100,50,200,0,0,0,10,20,0,0)"}));
    dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdCancel))->click();
    const ClosedLoopSettings& s = model->closedLoopSettings;
    EXPECT_EQ(s.pGain, 100u);
    EXPECT_EQ(s.iGain, 50u);
    EXPECT_EQ(s.dGain, 200u);
    EXPECT_EQ(s.iSamples, 10u);
    EXPECT_EQ(s.dSamples, 20u);
}

TEST_F(ClosedLoop, SendPidSendsLow16BitsAndInvalidAsZero) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, ClosedLoopDialog::IdPGain, QStringLiteral("65537"));
    setText(dialog, ClosedLoopDialog::IdIGain, QStringLiteral("x"));
    dialog.command(ClosedLoopDialog::IdSendPid);
    EXPECT_EQ(engine.calls, (Calls{"SendPid(1,0,0,0,0,0,0,0,0,0)"}));
    EXPECT_EQ(model->closedLoopSettings.pGain, 65537u);
}

TEST_F(ClosedLoop, SendAuxOrderAndAuxMode) {
    model->closedLoopSettings.auxMode = 2;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, ClosedLoopDialog::IdAuxSkip, QStringLiteral("70000"));
    setText(dialog, ClosedLoopDialog::IdAuxErrorLimit, QStringLiteral("300000"));
    setText(dialog, ClosedLoopDialog::IdAuxAccelLimit, QStringLiteral("7"));
    setText(dialog, ClosedLoopDialog::IdAuxSpeedLimit, QStringLiteral("8"));
    dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdSendAux))->click();
    EXPECT_TRUE(dialog.command(ClosedLoopDialog::IdAuxMode0 + 5));
    dialog.command(ClosedLoopDialog::IdSendAux);
    EXPECT_EQ(engine.calls,
              (Calls{"SendAux(2,0,4464,0,300000,7,8,0,0,0)", "SendAux(5,0,4464,0,300000,7,8,0,0,0)"}));
    const ClosedLoopSettings& s = model->closedLoopSettings;
    EXPECT_EQ(s.auxMode, 5u);
    EXPECT_EQ(s.auxSkip, 70000u);
    EXPECT_EQ(s.auxErrorLimit, 300000u);
    EXPECT_EQ(s.auxAccelLimit, 7u);
    EXPECT_EQ(s.auxSpeedLimit, 8u);
}

TEST_F(ClosedLoop, ButtonsSendTheirCommands) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    for (const int id : {ClosedLoopDialog::IdTrackingStart, ClosedLoopDialog::IdTrackingStop,
                         ClosedLoopDialog::IdClosedLoopOn, ClosedLoopDialog::IdClosedLoopOff,
                         ClosedLoopDialog::IdStoreEeprom})
        dialog.findChild<QPushButton*>(idName(id))->click();
    EXPECT_TRUE(dialog.command(ClosedLoopDialog::IdDevice40On));
    EXPECT_TRUE(dialog.command(ClosedLoopDialog::IdDevice40Off));
    EXPECT_FALSE(dialog.command(106));
    EXPECT_EQ(engine.calls, (Calls{"Tracking(1)", "Tracking(0)", "ClosedLoop(1)", "ClosedLoop(2)",
                                   "StoreParameters()", "Device40(1)", "Device40(0)"}));
}

TEST_F(ClosedLoop, TrackingStartByMode) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    dialog.command(ClosedLoopDialog::IdTrackingStart); // the default mode 2 without flag
    for (int mode = 0; mode <= 8; ++mode) {
        EXPECT_TRUE(dialog.command(400 + mode));
        dialog.command(ClosedLoopDialog::IdTrackingStart);
    }
    EXPECT_EQ(engine.calls,
              (Calls{"Tracking(1)", "TrackingSpecial(2,0)", "TrackingSpecial(1,0)", "Tracking(1)",
                     "TrackingRate(2,0)", "TrackingRate(4,0)", "TrackingRate(8,0)", "TrackingRate(16,0)",
                     "TrackingRate(32,0)", "TrackingRate(50,0)"}));

    engine.calls.clear();
    model->closedLoopSettings.trackingMode = 200; // taken as mode 8
    ClosedLoopDialog high(nullptr, model.get(), &engine);
    high.command(ClosedLoopDialog::IdTrackingStart);
    EXPECT_EQ(engine.calls, (Calls{"TrackingRate(50,0)"}));
}

TEST_F(ClosedLoop, OkStoresOnlyGainsModesAndFlag) {
    ClosedLoopSettings& s = model->closedLoopSettings;
    s.trackingFlag = true;
    s.iSamples = 9;
    s.auxSkip = 9;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, ClosedLoopDialog::IdPGain, QStringLiteral("1"));
    setText(dialog, ClosedLoopDialog::IdIGain, QStringLiteral("2"));
    setText(dialog, ClosedLoopDialog::IdDGain, QStringLiteral("3"));
    setText(dialog, ClosedLoopDialog::IdISamples, QStringLiteral("4"));
    setText(dialog, ClosedLoopDialog::IdAuxSkip, QStringLiteral("5"));
    dialog.command(ClosedLoopDialog::IdAuxMode0 + 3);
    dialog.command(ClosedLoopDialog::IdTrackingMode0 + 6);
    dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdOk))->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(s.pGain, 1u);
    EXPECT_EQ(s.iGain, 2u);
    EXPECT_EQ(s.dGain, 3u);
    EXPECT_EQ(s.iSamples, 9u);
    EXPECT_EQ(s.auxSkip, 9u);
    EXPECT_EQ(s.auxMode, 3u);
    EXPECT_EQ(s.trackingMode, 6u);
    EXPECT_TRUE(s.trackingFlag); // check box 380 (advanced part) shows the record's flag and keeps it
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ClosedLoop, CancelStoresNothing) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, ClosedLoopDialog::IdPGain, QStringLiteral("99"));
    dialog.command(ClosedLoopDialog::IdTrackingMode0 + 7);
    sendKey(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(model->closedLoopSettings.pGain, 0u);
    EXPECT_EQ(model->closedLoopSettings.trackingMode, 2u);
}

// ---- About ----

TEST(AboutDialogTest, ShowsTextsAndLink) {
    AboutDialog dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Astrelvo"));
    EXPECT_EQ(text(dialog, AboutDialog::IdTitle), QStringLiteral("Astrelvo 1.1."));
    EXPECT_TRUE(text(dialog, AboutDialog::IdPurpose)
                    .startsWith(QStringLiteral("This program can be used to measure")));
    // The tests run from the build tree, where the link is the README of the sources.
    EXPECT_TRUE(dialog.manualPath().endsWith(QStringLiteral("/README.md")))
        << dialog.manualPath().toStdString();
    EXPECT_EQ(text(dialog, AboutDialog::IdManualLink), QStringLiteral("README"));
    EXPECT_TRUE(dialog.findChild<QLabel*>(idName(AboutDialog::IdTitle))->font().bold());
    auto* link = dialog.findChild<QLabel*>(idName(AboutDialog::IdManualLink));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), dialog.palette().color(QPalette::Link));
    EXPECT_FALSE(link->autoFillBackground());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);
}

// The manual opens inside the program, its Markdown rendered; a second click brings the same window.
TEST(AboutDialogTest, PlainClickShowsTheManualInsideTheProgram) {
    QWidget owner;
    AboutDialog dialog(&owner);
    dialog.show();
    auto* link = dialog.findChild<QLabel*>(idName(AboutDialog::IdManualLink));
    mouse(link, QEvent::MouseButtonPress);
    mouse(link, QEvent::MouseButtonRelease);
    auto* manual = owner.findChild<ManualWindow*>();
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isVisible());
    EXPECT_TRUE(manual->loaded());
    EXPECT_EQ(manual->windowTitle(), QStringLiteral("Astrelvo - README"));
    // Rendered, not shown as source: the first heading's text without its Markdown marks.
    const QString shown = manual->browser()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Astrelvo\n"))) << shown.left(80).toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("## "))) << "Markdown shown as source";
    mouse(link, QEvent::MouseButtonDblClick);
    mouse(link, QEvent::MouseButtonRelease);
    mouse(link, QEvent::MouseButtonPress);
    mouse(link, QEvent::MouseButtonRelease);
    EXPECT_EQ(owner.findChildren<ManualWindow*>().size(), 1);
    EXPECT_TRUE(dialog.isVisible());
    // It stays open when About ends.
    dialog.done(1);
    EXPECT_TRUE(manual->isVisible());
}

TEST(AboutDialogTest, EveryWayOutEndsWithOne) {
    for (int way = 0; way < 4; ++way) {
        AboutDialog dialog(nullptr);
        dialog.show();
        dialog.setResult(-1);
        if (way == 0)
            sendKey(&dialog, Qt::Key_Return);
        else if (way == 1)
            sendKey(&dialog, Qt::Key_Escape);
        else if (way == 2)
            dialog.findChild<QPushButton*>(idName(AboutDialog::IdExit))->click();
        else
            dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_EQ(dialog.result(), 1) << way;
    }
}
