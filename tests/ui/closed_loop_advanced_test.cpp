// The closed-loop dialog's advanced part (tracking mode, tracking flag, aux mode, parameter 128), folded
// in at first, and its settings files: saved as the command-line backup writes them, loaded only when
// the whole file passes its check, then sent.
#include "UiTestMain.h"
#include "app/CommandLine.h"

#include "DialogInput.h"
#include "EngineCommandRecorder.h"
#include "ScreenshotDirectory.h"

#include "model/store/AppModel.h"
#include "model/store/SettingsFile.h"
#include "ui/dialogs/ClosedLoopDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using Calls = std::vector<std::string>;

namespace {

// The dialog with the file choosers and the message box replaced.
class ScriptedDialog : public ClosedLoopDialog {
public:
    using ClosedLoopDialog::ClosedLoopDialog;
    QString path;
    QStringList told;
    bool lastWasProblem = false;

protected:
    QString chooseSaveFile() override { return path; }
    QString chooseLoadFile() override { return path; }
    void tell(const QString& text, bool problem) override {
        told << text;
        lastWasProblem = problem;
    }
};

// The object name of the control with that ID.
QString idName(int id) {
    return QString::number(id);
}

QString editText(const QWidget& dialog, int id) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::number(id));
    return edit ? edit->text() : QStringLiteral("<missing>");
}

struct ClosedLoopAdvanced : ::testing::Test {
    void SetUp() override {
        model = std::make_unique<AppModel>();
        model->deviceInfo.maxCurrent = 1000;
        model->deviceInfo.motorCurrent = 500;
        model->deviceInfo.param128 = -3;
        model->deviceInfo.encoderFlags = 0xF0;
        model->closedLoopSettings.pGain = 80;
        model->closedLoopSettings.iGain = 40;
        model->closedLoopSettings.dGain = 120;
        model->closedLoopSettings.iSamples = 20;
        model->closedLoopSettings.dSamples = 30;
        ASSERT_TRUE(dir.isValid());
    }
    QWidget* child(const QWidget& dialog, int id) { return dialog.findChild<QWidget*>(QString::number(id)); }

    std::unique_ptr<AppModel> model;
    EngineCommandRecorder engine;
    QTemporaryDir dir;
};

TEST_F(ClosedLoopAdvanced, FoldedInAtFirstAndFoldsOutOnRequest) {
    ScriptedDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    // Both states are saved under <build>/screenshots for looking at.
    const QString shots = screenshotDirectory();
    EXPECT_TRUE(dialog.grab().save(shots + QStringLiteral("/closed_loop_folded.png")));
    const int foldedHeight = dialog.height();
    const int advancedIds[] = {1302, 380, 300, 303, 306, 400, 404, 408, 430, 431};
    for (int id : advancedIds) {
        ASSERT_NE(child(dialog, id), nullptr) << id;
        EXPECT_FALSE(child(dialog, id)->isVisible()) << id;
    }
    // Everything else is where it was, and visible.
    for (int id : {1, 2, 100, 101, 102, 103, 110, 111, 112, 420, 421, 113, 114, 115})
        EXPECT_TRUE(child(dialog, id)->isVisible()) << id;
    auto* toggle = dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdAdvanced));
    EXPECT_EQ(toggle->text(), QStringLiteral("Advanced >>"));

    toggle->click();
    EXPECT_TRUE(dialog.advancedShown());
    EXPECT_GT(dialog.height(), foldedHeight);
    for (int id : advancedIds) {
        EXPECT_TRUE(child(dialog, id)->isVisible()) << id;
        EXPECT_TRUE(QRect(QPoint(0, 0), dialog.size()).contains(child(dialog, id)->geometry())) << id;
    }
    EXPECT_EQ(toggle->text(), QStringLiteral("Advanced <<"));
    EXPECT_TRUE(dialog.grab().save(shots + QStringLiteral("/closed_loop_advanced.png")));
    toggle->click();
    EXPECT_EQ(dialog.height(), foldedHeight);
    EXPECT_FALSE(child(dialog, ClosedLoopDialog::IdTrackingMode0)->isVisible());
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ClosedLoopAdvanced, ItsControlsSendTheRightCommands) {
    model->closedLoopSettings.auxMode = 2;
    ScriptedDialog dialog(nullptr, model.get(), &engine);
    dialog.show();
    dialog.findChild<QPushButton*>(idName(ClosedLoopDialog::IdAdvanced))->click();
    EXPECT_TRUE(dialog.findChild<QRadioButton*>(idName(ClosedLoopDialog::IdTrackingMode0 + 2))
                    ->isChecked()); // the default mode
    EXPECT_TRUE(dialog.findChild<QRadioButton*>(idName(ClosedLoopDialog::IdAuxMode0 + 2))->isChecked());
    EXPECT_FALSE(dialog.findChild<QCheckBox*>(idName(ClosedLoopDialog::IdTrackingFlag))->isChecked());
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdParam128Edit), QStringLiteral("-3"));
    EXPECT_EQ(dialog.findChild<QSlider*>(idName(ClosedLoopDialog::IdParam128Trackbar))->value(), -3);

    auto click = [&](int id) { dialog.findChild<QAbstractButton*>(QString::number(id))->click(); };
    struct Row {
        int mode;
        bool flag;
        const char* sent;
    };
    const Row rows[] = {
        {400, false, "TrackingSpecial(2,0)"}, {401, true, "TrackingSpecial(1,1)"},
        {402, false, "Tracking(1)"},          {402, true, "TrackingRate(1,1)"},
        {403, false, "TrackingRate(2,0)"},    {406, true, "TrackingRate(16,1)"},
        {408, false, "TrackingRate(50,0)"},
    };
    for (const Row& row : rows) {
        engine.calls.clear();
        click(row.mode);
        if (dialog.findChild<QCheckBox*>(idName(ClosedLoopDialog::IdTrackingFlag))->isChecked() != row.flag)
            click(380);
        EXPECT_TRUE(dialog.findChild<QRadioButton*>(QString::number(row.mode))->isChecked());
        click(100);
        EXPECT_EQ(engine.calls, (Calls{row.sent})) << row.mode;
    }

    engine.calls.clear();
    click(305);
    EXPECT_FALSE(dialog.findChild<QRadioButton*>(idName(ClosedLoopDialog::IdAuxMode0 + 2))->isChecked());
    click(111);
    EXPECT_EQ(engine.calls, (Calls{"SendAux(5,0,0,0,0,0,0,0,0,0)"}));

    // Parameter 128 by its edit and by its slider, bounded to -40..40.
    engine.calls.clear();
    auto* edit = dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdParam128Edit));
    edit->setText(QStringLiteral("12"));
    loseFocus(edit);
    EXPECT_EQ(dialog.findChild<QSlider*>(idName(ClosedLoopDialog::IdParam128Trackbar))->value(), 12);
    sendKey(dialog.findChild<QSlider*>(idName(ClosedLoopDialog::IdParam128Trackbar)), Qt::Key_Home);
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdParam128Edit), QStringLiteral("-40"));
    EXPECT_EQ(engine.calls, (Calls{"WriteParam8(128,12)", "WriteParam8(128,216)"}));

    // Ok keeps the mode and the flag.
    click(1);
    EXPECT_EQ(model->closedLoopSettings.trackingMode, 8u);
    EXPECT_FALSE(model->closedLoopSettings.trackingFlag);
    EXPECT_EQ(model->closedLoopSettings.auxMode, 5u);
    EXPECT_EQ(model->deviceInfo.param128, -40);
}

TEST_F(ClosedLoopAdvanced, SaveWritesTheShownSettingsAsTheBackupDoes) {
    ScriptedDialog dialog(nullptr, model.get(), &engine);
    dialog.path = dir.filePath(QStringLiteral("saved.txt"));
    dialog.findChild<QLineEdit*>(idName(ClosedLoopDialog::IdPGain))->setText(QStringLiteral("95"));
    dialog.command(ClosedLoopDialog::IdSaveFile);
    EXPECT_TRUE(dialog.told.isEmpty()) << dialog.told.join(QLatin1Char('\n')).toStdString();

    QFile file(dialog.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    EXPECT_EQ(text.rfind(std::string("# astrelvo ") + kProgramVersion + " controller settings, ", 0), 0u)
        << text;
    SettingsFile settings;
    std::string error;
    ASSERT_TRUE(settings.parse(text, error)) << error;
    EXPECT_EQ(settings.values().pidParameters[0], 95);
    EXPECT_EQ(settings.values().pidParameters[6], 20);
    EXPECT_EQ(settings.values().motorCurrent, 500);
    EXPECT_EQ(settings.values().param128, -3);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ClosedLoopAdvanced, LoadChecksTheWholeFileThenSendsAndShowsIt) {
    ScriptedDialog dialog(nullptr, model.get(), &engine);
    dialog.path = dir.filePath(QStringLiteral("in.txt"));
    DeviceInfo source = model->deviceInfo;
    const uint32_t pid[10] = {111, 22, 133, 4, 5, 6, 17, 18, 9, 10};
    for (int i = 0; i < 10; ++i)
        source.pidParameters[i] = pid[i];
    source.auxMode = 4;
    source.auxSkip = 7;
    source.auxErrorLimit = 1234;
    source.motorCurrent = 750;
    source.param128 = 9;
    source.encoderFlags = 1;
    source.encoderOffset = 33000;
    const std::string good = SettingsFile::format(source);

    // A file with one bad line sends nothing and changes nothing.
    std::string bad = good;
    bad.replace(bad.find("param128: 9"), 11, "param128: 90");
    QFile out(dialog.path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bad.data(), static_cast<qint64>(bad.size()));
    out.close();
    dialog.command(ClosedLoopDialog::IdLoadFile);
    ASSERT_EQ(dialog.told.size(), 1);
    EXPECT_TRUE(dialog.lastWasProblem);
    EXPECT_TRUE(dialog.told[0].contains(QStringLiteral("line 8: param128"))) << dialog.told[0].toStdString();
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdPGain), QStringLiteral("80"));

    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(good.data(), static_cast<qint64>(good.size()));
    out.close();
    dialog.command(ClosedLoopDialog::IdLoadFile);
    EXPECT_FALSE(dialog.lastWasProblem);
    EXPECT_EQ(engine.calls,
              (Calls{"SendPid(111,22,133,4,5,6,17,18,9,10)", "SendAux(4,0,7,0,1234,0,0,0,0,0)",
                     "WriteParam16(129,750)", "WriteParam8(128,9)", "SetEncoderCalibration(1,33000)"}));
    EXPECT_TRUE(dialog.told.back().startsWith(QStringLiteral("Sent to the controller: PID 111/22/133")))
        << dialog.told.back().toStdString();
    const QString shown[] = {QStringLiteral("111"), QStringLiteral("22"), QStringLiteral("133"),
                             QStringLiteral("17"), QStringLiteral("18")};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdPGain + i), shown[i]) << i;
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdAuxSkip), QStringLiteral("7"));
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdCurrentEdit), QStringLiteral("750"));
    EXPECT_EQ(editText(dialog, ClosedLoopDialog::IdParam128Edit), QStringLiteral("9"));
    EXPECT_TRUE(dialog.findChild<QRadioButton*>(idName(ClosedLoopDialog::IdAuxMode0 + 4))->isChecked());
    EXPECT_EQ(model->closedLoopSettings.dSamples, 18u);
    EXPECT_EQ(model->deviceInfo.encoderFlags, 0xF1); // only bit 0 comes from the file
    EXPECT_EQ(model->deviceInfo.encoderOffset, 33000u);
    dialog.command(ClosedLoopDialog::IdCancel);
    EXPECT_EQ(model->deviceInfo.motorCurrent, 750);
}

} // namespace
