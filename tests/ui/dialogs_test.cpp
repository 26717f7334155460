#include "model/AppModel.h"
#include "ui/AboutDialog.h"
#include "ui/ClosedLoopDialog.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/LogSettingsDialog.h"
#include "ui/ManualWindow.h"
#include "ui/MotorDriveInfoDialog.h"
#include "ui/NumberText.h"

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

QString text(const QWidget& dialog, const char* id) {
    if (auto* edit = dialog.findChild<QLineEdit*>(id))
        return edit->text();
    if (auto* label = dialog.findChild<QLabel*>(id))
        return label->text();
    if (auto* button = dialog.findChild<QAbstractButton*>(id))
        return button->text();
    return QStringLiteral("<missing>");
}

bool checked(const QWidget& dialog, const char* id) {
    auto* button = dialog.findChild<QAbstractButton*>(id);
    return button && button->isChecked();
}

void setText(const QWidget& dialog, const char* id, const QString& value) {
    dialog.findChild<QLineEdit*>(id)->setText(value);
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
    EXPECT_EQ(text(dialog, "100"), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(text(dialog, "101"), QStringLiteral("10.0.11.12"));
    EXPECT_EQ(text(dialog, "110"), QStringLiteral("172800"));
    EXPECT_EQ(text(dialog, "111"), QStringLiteral("5529600"));
    EXPECT_EQ(text(dialog, "112"), QStringLiteral("4294967295"));
    EXPECT_EQ(text(dialog, "113"), QStringLiteral("1500"));
    EXPECT_EQ(text(dialog, "120"), QStringLiteral("25"));
    EXPECT_EQ(text(dialog, "121"), QStringLiteral("33554432"));
    EXPECT_TRUE(checked(dialog, "130"));
    EXPECT_EQ(text(dialog, "131"), QStringLiteral("4294967295"));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>("100")->isReadOnly());
    EXPECT_FALSE(dialog.findChild<QLineEdit*>("131")->isReadOnly());

    info.encoderBits = 32;
    info.encoderResolution = uint64_t{1} << 32;
    info.encoderFlags = 2;
    MotorDriveInfoDialog wide(nullptr, model.get(), &engine);
    EXPECT_EQ(text(wide, "121"), QStringLiteral("4294967296"));
    EXPECT_FALSE(checked(wide, "130"));
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(MotorDriveInfo, ActualizeWritesRecordAndControllerAndStaysOpen) {
    model->deviceInfo.encoderFlags = 0xFE;
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    dialog.findChild<QCheckBox*>("130")->click();
    setText(dialog, "131", QStringLiteral("123456"));
    dialog.findChild<QPushButton*>("132")->click();
    EXPECT_EQ(model->deviceInfo.encoderFlags, 1);
    EXPECT_EQ(model->deviceInfo.encoderOffset, 123456u);
    EXPECT_EQ(engine.calls, (Calls{"SetEncoderCalibration(1,123456)"}));
    EXPECT_TRUE(dialog.isVisible());

    dialog.findChild<QCheckBox*>("130")->click();
    setText(dialog, "131", QStringLiteral("12 apples"));
    EXPECT_TRUE(dialog.command(132));
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
        setText(dialog, "131", QStringLiteral("5"));
        dialog.findChild<QLineEdit*>("131")->setFocus();
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
    dialog.findChild<QPushButton*>("132")->setFocus();
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
    EXPECT_EQ(text(dialog, "106"), QStringLiteral("50 arcsecs = 10 pixel"));
    for (int id = 100; id <= 109; ++id)
        EXPECT_EQ(checked(dialog, QByteArray::number(id).constData()), id == 106) << id;
    EXPECT_TRUE(checked(dialog, "131"));
    EXPECT_FALSE(checked(dialog, "130"));
    EXPECT_EQ(text(dialog, "120"), QStringLiteral("-12"));

    // Clicking a checked button keeps it checked; clicking another moves the check.
    dialog.findChild<QRadioButton*>("131")->click();
    EXPECT_TRUE(checked(dialog, "131"));
    dialog.findChild<QRadioButton*>("130")->click();
    EXPECT_TRUE(checked(dialog, "130"));
    EXPECT_FALSE(checked(dialog, "131"));
    dialog.findChild<QRadioButton*>("102")->click();
    EXPECT_TRUE(checked(dialog, "102"));
    EXPECT_FALSE(checked(dialog, "106"));
    EXPECT_EQ(settings.colorScheme, 1); // nothing stored before Ok
}

TEST(DisplaySettingsDialogTest, OkStoresWorkingValues) {
    DisplaySettings settings;
    DisplaySettingsDialog dialog(nullptr, &settings);
    dialog.findChild<QRadioButton*>("130")->click();
    dialog.findChild<QRadioButton*>("109")->click();
    EXPECT_TRUE(dialog.command(142));
    setText(dialog, "120", QStringLiteral("-15"));
    dialog.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(settings.scaleIndex, 9);
    EXPECT_EQ(settings.colorScheme, 0);
    EXPECT_EQ(settings.extraChoice, 2);
    EXPECT_EQ(settings.verticalOffset, -15);

    DisplaySettingsDialog again(nullptr, &settings);
    setText(again, "120", QStringLiteral("ten"));
    EXPECT_TRUE(again.command(1));
    EXPECT_EQ(settings.verticalOffset, 0);
    EXPECT_FALSE(again.command(143));
}

TEST(DisplaySettingsDialogTest, CancelLeavesRecord) {
    DisplaySettings settings;
    settings.scaleIndex = 12; // out of range: no scale button checked, value kept
    DisplaySettingsDialog dialog(nullptr, &settings);
    for (int id = 100; id <= 109; ++id)
        EXPECT_FALSE(checked(dialog, QByteArray::number(id).constData()));
    dialog.findChild<QRadioButton*>("130")->click();
    setText(dialog, "120", QStringLiteral("40"));
    dialog.findChild<QPushButton*>("2")->click();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(settings.scaleIndex, 12);
    EXPECT_EQ(settings.colorScheme, 1);
    EXPECT_EQ(settings.verticalOffset, 0);
}

TEST(DisplaySettingsDialogTest, TimeAxisAutoAndCentreStoredOnOkOnly) {
    DisplaySettings settings;
    for (const char* button : {"2", "1"}) { // Cancel stores nothing, Ok stores all
        DisplaySettingsDialog dialog(nullptr, &settings);
        EXPECT_EQ(text(dialog, "150"), QStringLiteral("One sample per pixel"));
        EXPECT_TRUE(checked(dialog, "150")); // the defaults
        EXPECT_FALSE(checked(dialog, "110"));
        EXPECT_FALSE(checked(dialog, "160"));
        // Auto is one of the scale's choices, Centre a box of its own; both make the offset moot.
        dialog.findChild<QRadioButton*>("110")->click();
        EXPECT_FALSE(checked(dialog, "106"));
        dialog.findChild<QCheckBox*>("160")->click();
        EXPECT_FALSE(dialog.findChild<QLineEdit*>("120")->isEnabled());
        dialog.findChild<QRadioButton*>("151")->click();
        EXPECT_FALSE(checked(dialog, "150"));
        dialog.findChild<QPushButton*>(button)->click();
        EXPECT_EQ(settings.timeAxis == TimeAxis::FollowNewest, *button == '1');
        EXPECT_EQ(settings.autoScale, *button == '1');
        EXPECT_EQ(settings.centre, *button == '1');
        if (*button == '2')
            continue;
        // Shown again as stored; a fixed scale and a second click on Centre undo both.
        DisplaySettingsDialog again(nullptr, &settings);
        EXPECT_TRUE(checked(again, "110") && checked(again, "151") && checked(again, "160"));
        again.findChild<QRadioButton*>("103")->click();
        again.findChild<QCheckBox*>("160")->click();
        EXPECT_TRUE(again.findChild<QLineEdit*>("120")->isEnabled());
        EXPECT_TRUE(again.command(1));
        EXPECT_FALSE(settings.autoScale || settings.centre);
        EXPECT_EQ(settings.scaleIndex, 3);
    }
}

// ---- log settings ----

TEST(LogSettingsDialogTest, ShowsAndStoresOnOkOnly) {
    LogSettings settings;
    {
        LogSettingsDialog dialog(nullptr, &settings);
        EXPECT_TRUE(checked(dialog, "135"));
        EXPECT_TRUE(checked(dialog, "142"));
        dialog.findChild<QCheckBox*>("135")->click();
        dialog.findChild<QRadioButton*>("145")->click();
        EXPECT_FALSE(checked(dialog, "142"));
        dialog.findChild<QPushButton*>("2")->click();
        EXPECT_EQ(dialog.result(), 0);
        EXPECT_TRUE(settings.logProcessed);
        EXPECT_EQ(settings.logRate, 2);
    }
    LogSettingsDialog dialog(nullptr, &settings);
    dialog.findChild<QCheckBox*>("135")->click();
    dialog.findChild<QRadioButton*>("140")->click();
    dialog.findChild<QPushButton*>("1")->click();
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
    QSlider* slider(const ClosedLoopDialog& dialog) { return dialog.findChild<QSlider*>("420"); }
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
    const char* ids[] = {"120", "121", "122", "123", "124", "220", "221", "222", "223"};
    const char* shown[] = {"11", "12", "13", "14", "4294967295", "21", "22", "23", "24"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(text(dialog, ids[i]), QString::fromLatin1(shown[i])) << ids[i];
    EXPECT_EQ(text(dialog, "421"), QStringLiteral("500"));
    EXPECT_EQ(slider(dialog)->maximum(), 31);
    EXPECT_EQ(slider(dialog)->value(), 16);
    for (const char* id : {"1100", "1101", "1102"}) {
        auto* label = dialog.findChild<QLabel*>(id);
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
    EXPECT_EQ(text(dialog, "421"), QStringLiteral("1000"));
    sendKey(bar, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(text(dialog, "421"), QStringLiteral("31"));
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
    auto* edit = dialog.findChild<QLineEdit*>("421");
    edit->setText(QStringLiteral("250"));
    EXPECT_TRUE(dialog.command(421)); // a change notification alone does nothing
    EXPECT_TRUE(engine.calls.empty());
    loseFocus(edit);
    EXPECT_EQ(slider(dialog)->value(), 8);
    EXPECT_EQ(engine.calls, (Calls{"WriteParam16(129,250)"}));
    loseFocus(edit);
    EXPECT_EQ(engine.calls.size(), 1u);
    // Moving the thumb by program did not count as a user change.
    dialog.command(2);
    EXPECT_EQ(model->deviceInfo.motorCurrent, 250);
    EXPECT_EQ(engine.calls.size(), 1u);
}

TEST_F(ClosedLoop, TypedCurrentIsBoundedByTheDriveMaximum) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    auto* edit = dialog.findChild<QLineEdit*>("421");
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
    auto* edit = dialog.findChild<QLineEdit*>("421");
    edit->setText(QStringLiteral("300"));
    loseFocus(edit);
    EXPECT_EQ(slider(dialog)->value(), 0);
    // Without a scale the thumb cannot set a current: it goes back to 0 and nothing changes.
    sendKey(slider(dialog), Qt::Key_End);
    EXPECT_EQ(slider(dialog)->value(), 0);
    EXPECT_TRUE(engine.calls.empty());
    dialog.command(1);
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
        auto* edit = dialog.findChild<QLineEdit*>("421");
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
        setText(dialog, QByteArray::number(120 + i).constData(), QString::fromLatin1(values[i]));
    dialog.findChild<QPushButton*>("110")->click();
    EXPECT_EQ(engine.calls, (Calls{"SendPid(100,50,200,0,0,0,10,20,0,0)"}));
    dialog.findChild<QPushButton*>("2")->click();
    const ClosedLoopSettings& s = model->closedLoopSettings;
    EXPECT_EQ(s.pGain, 100u);
    EXPECT_EQ(s.iGain, 50u);
    EXPECT_EQ(s.dGain, 200u);
    EXPECT_EQ(s.iSamples, 10u);
    EXPECT_EQ(s.dSamples, 20u);
}

TEST_F(ClosedLoop, SendPidSendsLow16BitsAndInvalidAsZero) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, "120", QStringLiteral("65537"));
    setText(dialog, "121", QStringLiteral("x"));
    dialog.command(110);
    EXPECT_EQ(engine.calls, (Calls{"SendPid(1,0,0,0,0,0,0,0,0,0)"}));
    EXPECT_EQ(model->closedLoopSettings.pGain, 65537u);
}

TEST_F(ClosedLoop, SendAuxOrderAndAuxMode) {
    model->closedLoopSettings.auxMode = 2;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, "220", QStringLiteral("70000"));
    setText(dialog, "221", QStringLiteral("300000"));
    setText(dialog, "222", QStringLiteral("7"));
    setText(dialog, "223", QStringLiteral("8"));
    dialog.findChild<QPushButton*>("111")->click();
    EXPECT_TRUE(dialog.command(305));
    dialog.command(111);
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
    for (const char* id : {"100", "101", "102", "103", "112"})
        dialog.findChild<QPushButton*>(id)->click();
    EXPECT_TRUE(dialog.command(104));
    EXPECT_TRUE(dialog.command(105));
    EXPECT_FALSE(dialog.command(106));
    EXPECT_EQ(engine.calls, (Calls{"Tracking(1)", "Tracking(0)", "ClosedLoop(1)", "ClosedLoop(2)",
                                   "StoreParameters()", "Device40(1)", "Device40(0)"}));
}

TEST_F(ClosedLoop, TrackingStartByMode) {
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    dialog.command(100); // the default mode 2 without flag
    for (int mode = 0; mode <= 8; ++mode) {
        EXPECT_TRUE(dialog.command(400 + mode));
        dialog.command(100);
    }
    EXPECT_EQ(engine.calls,
              (Calls{"Tracking(1)", "TrackingSpecial(2,0)", "TrackingSpecial(1,0)", "Tracking(1)",
                     "TrackingRate(2,0)", "TrackingRate(4,0)", "TrackingRate(8,0)", "TrackingRate(16,0)",
                     "TrackingRate(32,0)", "TrackingRate(50,0)"}));

    engine.calls.clear();
    model->closedLoopSettings.trackingMode = 200; // taken as mode 8
    ClosedLoopDialog high(nullptr, model.get(), &engine);
    high.command(100);
    EXPECT_EQ(engine.calls, (Calls{"TrackingRate(50,0)"}));
}

TEST_F(ClosedLoop, OkStoresOnlyGainsModesAndFlag) {
    ClosedLoopSettings& s = model->closedLoopSettings;
    s.trackingFlag = true;
    s.iSamples = 9;
    s.auxSkip = 9;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    setText(dialog, "120", QStringLiteral("1"));
    setText(dialog, "121", QStringLiteral("2"));
    setText(dialog, "122", QStringLiteral("3"));
    setText(dialog, "123", QStringLiteral("4"));
    setText(dialog, "220", QStringLiteral("5"));
    dialog.command(303);
    dialog.command(406);
    dialog.findChild<QPushButton*>("1")->click();
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
    setText(dialog, "120", QStringLiteral("99"));
    dialog.command(407);
    sendKey(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(model->closedLoopSettings.pGain, 0u);
    EXPECT_EQ(model->closedLoopSettings.trackingMode, 2u);
}

// ---- About ----

TEST(AboutDialogTest, ShowsTextsAndLink) {
    AboutDialog dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Astrelvo"));
    EXPECT_EQ(text(dialog, "101"), QStringLiteral("Astrelvo 1.1."));
    EXPECT_TRUE(text(dialog, "102").startsWith(QStringLiteral("This program can be used to measure")));
    // The tests run from the build tree, where the link is the README of the sources.
    EXPECT_TRUE(dialog.manualPath().endsWith(QStringLiteral("/README.md")))
        << dialog.manualPath().toStdString();
    EXPECT_EQ(text(dialog, "104"), QStringLiteral("README"));
    EXPECT_TRUE(dialog.findChild<QLabel*>("101")->font().bold());
    auto* link = dialog.findChild<QLabel*>("104");
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
    auto* link = dialog.findChild<QLabel*>("104");
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
            dialog.findChild<QPushButton*>("2")->click();
        else
            dialog.close();
        EXPECT_FALSE(dialog.isVisible()) << way;
        EXPECT_EQ(dialog.result(), 1) << way;
    }
}
