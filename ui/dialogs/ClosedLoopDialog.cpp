#include "ui/dialogs/ClosedLoopDialog.h"

#include "app/CommandLine.h"
#include "engine/iEngineCommands.h"
#include "model/store/AppModel.h"
#include "model/store/SettingsFile.h"
#include "platform/LocalTime.h"
#include "rz4/Rz4Protocol.h"
#include "ui/common/NumberText.h"
#include "ui/common/PlainRadioButton.h"
#include "ui/common/Trackbar.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>

#include <ctime>
#include <string>

namespace {

constexpr int kCurrentPositions = 32;
constexpr unsigned kMaxTrackingMode = 8;
// Settings files are small; a larger file is not one.
constexpr qint64 kMaxSettingsFileBytes = 64 * 1024;
const QString kFileFilter = QStringLiteral("Controller settings (*.txt);;All files (*)");

} // namespace

ClosedLoopDialog::ClosedLoopDialog(QWidget* owner, AppModel* model, iEngineCommands* engine)
    : TemplateDialog(owner, QStringLiteral("Closed loop tracking control"), 400, 142), model_(model),
      engine_(engine), auxMode_(model->closedLoopSettings.auxMode),
      trackingMode_(model->closedLoopSettings.trackingMode), motorCurrent_(model->deviceInfo.motorCurrent),
      param128_(model->deviceInfo.param128) {
    const Qt::Alignment right = Qt::AlignRight;
    addGroupBox(1300, QStringLiteral("PID parameters"), 4, 4, 114, 106);
    QLabel* gainLabels[3] = {
        addStatic(1100, QStringLiteral("P gain:"), 8, 21, 40, 14, right),
        addStatic(1101, QStringLiteral("I gain:"), 8, 35, 40, 14, right),
        addStatic(1102, QStringLiteral("D gain:"), 8, 49, 40, 14, right),
    };
    addStatic(1103, QStringLiteral("I samples:"), 8, 63, 40, 14, right);
    addStatic(1104, QStringLiteral("D samples:"), 8, 77, 40, 14, right);
    for (int id = 120; id <= 124; ++id)
        addEdit(id, 50, 20 + 14 * (id - 120), 60, 12);
    addButton(110, QStringLiteral("Send PID Parameters"), 30, 90, 80, 16);
    addGroupBox(1301, QStringLiteral("Aux parameters"), 120, 4, 116, 106);
    addStatic(1105, QStringLiteral("Skip:"), 124, 21, 40, 16, right);
    addStatic(1106, QStringLiteral("Error limit:"), 124, 35, 40, 16, right);
    addStatic(1107, QStringLiteral("Accel. limit:"), 124, 49, 40, 16, right);
    addStatic(1108, QStringLiteral("Speed limit:"), 124, 63, 40, 16, right);
    for (int id = 220; id <= 223; ++id)
        addEdit(id, 170, 20 + 14 * (id - 220), 60, 12);
    addButton(111, QStringLiteral("Send Aux Parameters"), 150, 90, 80, 16);
    addStatic(1200, QStringLiteral("Motor current:"), 10, 120, 50, 10, right);
    Trackbar* current = addTrackbar(420, 62, 120, 140, 11);
    addEdit(421, 206, 119, 36, 12);
    addStatic(1201, QStringLiteral("mA"), 246, 120, 30, 10, Qt::AlignLeft);
    addGroupBox(1210, QStringLiteral("Tracking"), 280, 8, 112, 32);
    addButton(100, QStringLiteral("Start"), 284, 20, 50, 16);
    addButton(101, QStringLiteral("Stop"), 338, 20, 50, 16);
    addGroupBox(1211, QStringLiteral("Closed loop"), 280, 42, 112, 32);
    addButton(102, QStringLiteral("Enable"), 284, 54, 50, 16);
    addButton(103, QStringLiteral("Disable"), 338, 54, 50, 16);
    addButton(112, QStringLiteral("Save settings to EEPROM"), 284, 90, 104, 18);
    addButton(1, QStringLiteral("Ok"), 284, 110, 50, 18);
    addButton(2, QStringLiteral("Cancel"), 338, 110, 50, 18);
    addButton(kSaveId, QStringLiteral("Save to file..."), 10, 140, 70, 14)
        ->setToolTip(QStringLiteral("Save the settings shown here to a file"));
    addButton(kLoadId, QStringLiteral("Load from file..."), 84, 140, 70, 14)
        ->setToolTip(QStringLiteral("Check a settings file and send its PID, aux parameters, motor current, "
                                    "parameter 128 and encoder calibration to the controller"));
    addButton(kTuneId, QStringLiteral("Tune..."), 158, 140, 50, 14)
        ->setToolTip(QStringLiteral("Search the gains that track best, step by step, while logging"));
    addButton(kAdvancedId, QStringLiteral("Advanced >>"), 322, 140, 66, 14);
    addAdvancedControls();

    // The gains stand out in a larger bold face.
    const QFont bold = scaledFont(gainLabels[0]->font(), 18, QFont::Bold);
    for (QLabel* label : gainLabels)
        label->setFont(bold);

    const ClosedLoopSettings& s = model_->closedLoopSettings;
    const uint32_t pid[5] = {s.pGain, s.iGain, s.dGain, s.iSamples, s.dSamples};
    for (int i = 0; i < 5; ++i)
        setEditText(120 + i, unsignedDecimalText(pid[i]));
    const uint32_t aux[4] = {s.auxSkip, s.auxErrorLimit, s.auxAccelLimit, s.auxSpeedLimit};
    for (int i = 0; i < 4; ++i)
        setEditText(220 + i, unsignedDecimalText(aux[i]));
    checkRadioIndex(300, 306, auxMode_);
    setChecked(380, s.trackingFlag);
    if (trackingMode_ > kMaxTrackingMode)
        trackingMode_ = kMaxTrackingMode;
    checkRadioIndex(400, 408, trackingMode_);
    setEditText(421, unsignedDecimalText(motorCurrent_));
    setEditText(431, signedDecimalText(param128_));

    current->setRange(0, kCurrentPositions - 1);
    current->setPageStep(kCurrentPositions / 5);
    moveTrackbar(420, currentToPosition(motorCurrent_));
    if (auto* param = qobject_cast<QSlider*>(control(430)))
        param->setRange(kParam128Min, kParam128Max);
    moveTrackbar(430, param128_);
}

void ClosedLoopDialog::addAdvancedControls() {
    const int top = kFoldedHeight - 2;
    advanced_ << addGroupBox(1302, QStringLiteral("Advanced"), 4, top, 392, 88);

    // What Start sends in each tracking mode: the two special commands, normal tracking, or a rate of
    // the rate table.
    advanced_ << addStatic(1220, QStringLiteral("Tracking mode for Start:"), 10, top + 12, 140, 10,
                           Qt::AlignLeft);
    const char* modes[9] = {"Special 2", "Special 1", "Normal",  "Rate 2", "Rate 4",
                            "Rate 8",    "Rate 16",   "Rate 32", "Rate 50"};
    const char* tips[9] = {
        "Start sends the special tracking command with 2 and the tracking flag",
        "Start sends the special tracking command with 1 and the tracking flag",
        "Start starts tracking (with the tracking flag: rate 1 with the flag)",
        "Start sends tracking rate 2 with the tracking flag",
        "Start sends tracking rate 4 with the tracking flag",
        "Start sends tracking rate 8 with the tracking flag",
        "Start sends tracking rate 16 with the tracking flag",
        "Start sends tracking rate 32 with the tracking flag",
        "Start sends tracking rate 50 with the tracking flag",
    };
    for (int mode = 0; mode <= 8; ++mode) {
        const int column = mode < 5 ? 0 : 1;
        const int row = mode < 5 ? mode : mode - 5;
        PlainRadioButton* radio = addRadio(400 + mode, QString::fromLatin1(modes[mode]), 10 + 70 * column,
                                           top + 24 + 12 * row, 64, 12);
        radio->setToolTip(QString::fromLatin1(tips[mode]));
        advanced_ << radio;
    }
    QCheckBox* flag = addCheckBox(380, QStringLiteral("Tracking flag"), 80, top + 72, 70, 12);
    flag->setToolTip(QStringLiteral("Sent with the tracking commands of Start"));
    advanced_ << flag;

    advanced_ << addStatic(1221, QStringLiteral("Aux mode:"), 160, top + 12, 70, 10, Qt::AlignLeft);
    for (int mode = 0; mode <= 6; ++mode) {
        const int column = mode < 4 ? 0 : 1;
        const int row = mode < 4 ? mode : mode - 4;
        PlainRadioButton* radio =
            addRadio(300 + mode, QString::number(mode), 160 + 34 * column, top + 24 + 12 * row, 30, 12);
        radio->setToolTip(QStringLiteral("Sent as the aux mode with Send Aux Parameters"));
        advanced_ << radio;
    }

    advanced_ << addStatic(1222, QStringLiteral("Parameter 128:"), 240, top + 12, 80, 10, Qt::AlignLeft);
    advanced_ << addTrackbar(430, 240, top + 26, 108, 11);
    advanced_ << addEdit(431, 352, top + 25, 36, 12);
    showAdvanced(false);
}

void ClosedLoopDialog::showAdvanced(bool show) {
    advancedShown_ = show;
    for (QWidget* w : advanced_)
        w->setVisible(show);
    if (auto* button = qobject_cast<QPushButton*>(control(kAdvancedId)))
        button->setText(show ? QStringLiteral("Advanced <<") : QStringLiteral("Advanced >>"));
    setTemplateSize(400, show ? kUnfoldedHeight : kFoldedHeight);
}

bool ClosedLoopDialog::command(int id) {
    if (id >= 300 && id <= 306) {
        auxMode_ = static_cast<uint32_t>(id - 300);
        checkRadio(300, 306, id);
        return true;
    }
    if (id >= 400 && id <= 408) {
        trackingMode_ = static_cast<unsigned>(id - 400);
        checkRadio(400, 408, id);
        return true;
    }
    if (!engine_ && ((id >= 100 && id <= 105) || (id >= 110 && id <= 112)))
        return true;
    switch (id) {
    case 1:
        storeOnOk();
        done(1);
        return true;
    case 2:
        done(0);
        return true;
    case 100:
        startTracking();
        return true;
    case 101:
        engine_->Tracking(0);
        return true;
    case 102:
        engine_->ClosedLoop(1);
        return true;
    case 103:
        engine_->ClosedLoop(2);
        return true;
    case 104:
        engine_->Device40(1);
        return true;
    case 105:
        engine_->Device40(0);
        return true;
    case 110:
        sendPid();
        return true;
    case 111:
        sendAux();
        return true;
    case 112:
        engine_->StoreParameters();
        return true;
    case kSaveId:
        saveToFile();
        return true;
    case kLoadId:
        loadFromFile();
        return true;
    case kAdvancedId:
        showAdvanced(!advancedShown_);
        return true;
    case kTuneId:
        if (engine_ != nullptr)
            runTuning();
        return true;
    case 421:
    case 431:
        return true;
    default:
        return false;
    }
}

QString ClosedLoopDialog::chooseSaveFile() {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save controller settings"),
                                        QStringLiteral("controller-settings.txt"), kFileFilter);
}

QString ClosedLoopDialog::chooseLoadFile() {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Load controller settings"), QString(),
                                        kFileFilter);
}

void ClosedLoopDialog::runTuning() {
    TuningWindow window(this, model_, engine_, tuningHost_);
    window.exec();
    // Keep may have changed the gains the controller holds: show them.
    const ClosedLoopSettings& s = model_->closedLoopSettings;
    const uint32_t pid[5] = {s.pGain, s.iGain, s.dGain, s.iSamples, s.dSamples};
    for (int i = 0; i < 5; ++i)
        setEditText(120 + i, unsignedDecimalText(pid[i]));
}

void ClosedLoopDialog::tell(const QString& text, bool problem) {
    if (problem)
        QMessageBox::warning(this, windowTitle(), text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

DeviceInfo ClosedLoopDialog::shownSettings() const {
    DeviceInfo info = model_->deviceInfo;
    const int pidEdits[5] = {120, 121, 122, 123, 124};
    const int pidSlots[5] = {0, 1, 2, 6, 7};
    for (int i = 0; i < 5; ++i)
        info.pidParameters[pidSlots[i]] = readUnsignedDecimal(editText(pidEdits[i])) & 0xFFFFu;
    info.auxMode = static_cast<uint8_t>(auxMode_);
    info.auxSkip = readUnsignedDecimal(editText(220)) & 0xFFFFu;
    info.auxErrorLimit = readUnsignedDecimal(editText(221));
    info.auxAccelLimit = readUnsignedDecimal(editText(222));
    info.auxSpeedLimit = readUnsignedDecimal(editText(223));
    info.motorCurrent = motorCurrent_;
    info.param128 = static_cast<int8_t>(static_cast<uint8_t>(param128_ & 0xFF));
    return info;
}

void ClosedLoopDialog::saveToFile() {
    const QString path = chooseSaveFile();
    if (path.isEmpty())
        return;
    const std::tm date = localTimeNow();
    const std::string text =
        SettingsFile::header("astrelvo", kProgramVersion, date) + SettingsFile::format(shownSettings());
    QSaveFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.commit();
    if (!ok)
        tell(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()), true);
}

void ClosedLoopDialog::loadFromFile() {
    const QString path = chooseLoadFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()), true);
        return;
    }
    if (file.size() > kMaxSettingsFileBytes) {
        tell(QStringLiteral("%1 is too large for a settings file; nothing was sent.").arg(path), true);
        return;
    }
    const QByteArray bytes = file.readAll();
    SettingsFile settings;
    std::string error;
    if (!settings.parse(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), error) ||
        !settings.checkAgainst(model_->deviceInfo, error)) {
        tell(QStringLiteral("%1: %2\nNothing was sent.").arg(path, QString::fromStdString(error)), true);
        return;
    }
    const ControllerSettings v = settings.values().sentTo(model_->deviceInfo);

    // The dialog shows what the file holds, and the model keeps it as the Send buttons would.
    const uint16_t shown[5] = {v.pidParameters[0], v.pidParameters[1], v.pidParameters[2], v.pidParameters[6],
                               v.pidParameters[7]};
    for (int i = 0; i < 5; ++i)
        setEditText(120 + i, unsignedDecimalText(shown[i]));
    const uint32_t aux[4] = {v.auxSkip, v.auxErrorLimit, v.auxAccelLimit, v.auxSpeedLimit};
    for (int i = 0; i < 4; ++i)
        setEditText(220 + i, unsignedDecimalText(aux[i]));
    auxMode_ = v.auxMode;
    checkRadioIndex(300, 306, auxMode_);
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.pGain = shown[0];
    s.iGain = shown[1];
    s.dGain = shown[2];
    s.iSamples = shown[3];
    s.dSamples = shown[4];
    s.auxMode = v.auxMode;
    s.auxSkip = v.auxSkip;
    s.auxErrorLimit = v.auxErrorLimit;
    s.auxAccelLimit = v.auxAccelLimit;
    s.auxSpeedLimit = v.auxSpeedLimit;
    motorCurrent_ = v.motorCurrent;
    setEditText(421, unsignedDecimalText(motorCurrent_));
    moveTrackbar(420, currentToPosition(motorCurrent_));
    param128_ = v.param128;
    setEditText(431, signedDecimalText(param128_));
    moveTrackbar(430, param128_);
    model_->deviceInfo.encoderFlags = v.encoderFlags;
    model_->deviceInfo.encoderOffset = static_cast<uint32_t>(v.encoderOffset);

    // As the dialog's own controls do: without the drive's maximum the motor current is not sent.
    const bool sendCurrent = ControllerSettings::sendsMotorCurrent(model_->deviceInfo);
    if (engine_)
        v.apply(*engine_, model_->deviceInfo);
    QString sent = QStringLiteral("Sent to the controller: PID %1/%2/%3 (all ten values), aux mode %4, ")
                       .arg(shown[0])
                       .arg(shown[1])
                       .arg(shown[2])
                       .arg(v.auxMode);
    if (sendCurrent)
        sent += QStringLiteral("motor current %1 mA, ").arg(v.motorCurrent);
    sent += QStringLiteral("parameter 128 %1, encoder %2 with offset %3.")
                .arg(v.param128)
                .arg((v.encoderFlags & 1u) != 0 ? QStringLiteral("reversed") : QStringLiteral("normal"))
                .arg(v.encoderOffset);
    if (!sendCurrent)
        sent += QStringLiteral("\nThe motor current was not sent: the drive's maximum current is not known, "
                               "so the file's value could not be checked against it.");
    sent += QStringLiteral("\nNot checked: whether the controller took them. The status line shows its "
                           "answers; connect again to read the settings back. \"Save settings to EEPROM\" "
                           "keeps them after a power cycle.");
    tell(sent, false);
}

void ClosedLoopDialog::editFocusLost(int id) {
    if (id == 421)
        setMotorCurrentFromEdit();
    else if (id == 431)
        setParam128FromEdit();
}

void ClosedLoopDialog::trackbarEndTrack(int id) {
    if (id == 420)
        setMotorCurrentFromTrackbar();
    else if (id == 430)
        setParam128FromTrackbar();
}

void ClosedLoopDialog::done(int result) {
    // A value typed into the focused edit counts as entered when the dialog closes, as it would when the
    // edit loses the focus to a button.
    if (QWidget* focus = focusWidget(); focus && focus->parentWidget() == this) {
        bool ok = false;
        const int id = focus->objectName().toInt(&ok);
        if (ok)
            editFocusLost(id);
    }
    model_->deviceInfo.motorCurrent = motorCurrent_;
    model_->deviceInfo.param128 = static_cast<int8_t>(static_cast<uint8_t>(param128_ & 0xFF));
    TemplateDialog::done(result);
}

void ClosedLoopDialog::startTracking() {
    const uint32_t flag = isChecked(380) ? 1 : 0;
    switch (trackingMode_) {
    case 0:
        engine_->TrackingSpecial(2, flag);
        break;
    case 1:
        engine_->TrackingSpecial(1, flag);
        break;
    case 2:
        if (flag)
            engine_->TrackingRate(1, 1);
        else
            engine_->Tracking(1);
        break;
    default: {
        const unsigned mode = trackingMode_ > kMaxTrackingMode ? kMaxTrackingMode : trackingMode_;
        engine_->TrackingRate(static_cast<uint32_t>(kTrackingRateTable[mode]) & 0xFFu, flag);
        break;
    }
    }
}

void ClosedLoopDialog::sendPid() {
    uint32_t read[5];
    for (int i = 0; i < 5; ++i)
        read[i] = readUnsignedDecimal(editText(120 + i));
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.pGain = read[0];
    s.iGain = read[1];
    s.dGain = read[2];
    s.iSamples = read[3];
    s.dSamples = read[4];
    const uint16_t values[10] = {
        static_cast<uint16_t>(read[0]),
        static_cast<uint16_t>(read[1]),
        static_cast<uint16_t>(read[2]),
        0,
        0,
        0,
        static_cast<uint16_t>(read[3]),
        static_cast<uint16_t>(read[4]),
        0,
        0,
    };
    engine_->SendPid(values);
}

void ClosedLoopDialog::sendAux() {
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.auxMode = auxMode_;
    s.auxSkip = readUnsignedDecimal(editText(220));
    s.auxErrorLimit = readUnsignedDecimal(editText(221));
    s.auxAccelLimit = readUnsignedDecimal(editText(222));
    s.auxSpeedLimit = readUnsignedDecimal(editText(223));
    engine_->SendAux(s.auxMode & 0xFFu, 0, s.auxSkip & 0xFFFFu, 0, s.auxErrorLimit, s.auxAccelLimit,
                     s.auxSpeedLimit, 0, 0, 0);
}

void ClosedLoopDialog::storeOnOk() {
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.pGain = readUnsignedDecimal(editText(120));
    s.iGain = readUnsignedDecimal(editText(121));
    s.dGain = readUnsignedDecimal(editText(122));
    s.auxMode = auxMode_;
    s.trackingFlag = isChecked(380);
    s.trackingMode = trackingMode_;
}

int ClosedLoopDialog::currentToPosition(uint32_t current) const {
    const uint32_t maxCurrent = model_->deviceInfo.maxCurrent;
    if (maxCurrent == 0)
        return 0;
    const uint32_t position = current * kCurrentPositions / maxCurrent;
    return position > kCurrentPositions - 1 ? kCurrentPositions - 1 : static_cast<int>(position);
}

void ClosedLoopDialog::setMotorCurrentFromTrackbar() {
    auto* trackbar = qobject_cast<QSlider*>(control(420));
    if (!trackbar)
        return;
    const uint32_t maxCurrent = model_->deviceInfo.maxCurrent;
    if (maxCurrent == 0) {
        // Without the drive's maximum the scale is unknown: the thumb stays at 0 and sets no current.
        moveTrackbar(420, 0);
        return;
    }
    const uint32_t value = static_cast<uint32_t>(trackbar->value() + 1) * maxCurrent / kCurrentPositions;
    if (value == motorCurrent_)
        return;
    motorCurrent_ = static_cast<uint16_t>(value);
    setEditText(421, unsignedDecimalText(value));
    if (engine_)
        engine_->WriteParam16(rz4::kParamMotorCurrent, value);
}

void ClosedLoopDialog::setMotorCurrentFromEdit() {
    if (!control(421))
        return;
    uint32_t value = readUnsignedDecimal(editText(421));
    // The drive's maximum bounds what may be sent; without a known maximum the value still has to fit the
    // 16-bit field.
    const uint32_t maxCurrent = model_->deviceInfo.maxCurrent;
    const uint32_t limit = maxCurrent != 0 ? maxCurrent : 0xFFFFu;
    if (value > limit) {
        value = limit;
        setEditText(421, unsignedDecimalText(value));
    }
    if (value == motorCurrent_)
        return;
    motorCurrent_ = static_cast<uint16_t>(value);
    if (maxCurrent == 0)
        return;
    moveTrackbar(420, currentToPosition(value));
    if (engine_)
        engine_->WriteParam16(rz4::kParamMotorCurrent, value);
}

void ClosedLoopDialog::setParam128FromTrackbar() {
    auto* trackbar = qobject_cast<QSlider*>(control(430));
    if (!trackbar)
        return;
    const int position = trackbar->value();
    if (position == param128_)
        return;
    param128_ = position;
    setEditText(431, signedDecimalText(position));
    if (engine_)
        engine_->WriteParam8(rz4::kParam128, static_cast<uint32_t>(position) & 0xFFu);
}

void ClosedLoopDialog::setParam128FromEdit() {
    if (!control(431))
        return;
    int value = readSignedDecimal(editText(431));
    // The parameter's range is that of its trackbar; a larger value would wrap around in the byte sent.
    if (value < kParam128Min || value > kParam128Max) {
        value = value < kParam128Min ? kParam128Min : kParam128Max;
        setEditText(431, signedDecimalText(value));
    }
    if (value == param128_)
        return;
    param128_ = value;
    moveTrackbar(430, value);
    if (engine_)
        engine_->WriteParam8(rz4::kParam128, static_cast<uint32_t>(value) & 0xFFu);
}

void ClosedLoopDialog::moveTrackbar(int id, int position) {
    if (auto* trackbar = qobject_cast<QSlider*>(control(id))) {
        const QSignalBlocker blocker(trackbar);
        trackbar->setValue(position);
    }
}
