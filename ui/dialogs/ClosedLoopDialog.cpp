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
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>

#include <algorithm>
#include <ctime>
#include <iterator>
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
    addGroupBox(IdPidGroup, QStringLiteral("PID parameters"), 4, 4, 114, 106);
    QLabel* gainLabels[3] = {
        addStatic(IdPGainLabel, QStringLiteral("P gain:"), 8, 21, 40, 14, right),
        addStatic(IdIGainLabel, QStringLiteral("I gain:"), 8, 35, 40, 14, right),
        addStatic(IdDGainLabel, QStringLiteral("D gain:"), 8, 49, 40, 14, right),
    };
    addStatic(IdISamplesLabel, QStringLiteral("I samples:"), 8, 63, 40, 14, right);
    addStatic(IdDSamplesLabel, QStringLiteral("D samples:"), 8, 77, 40, 14, right);
    for (int id = IdPGain; id <= IdDSamples; ++id)
        addEdit(id, 50, 20 + 14 * (id - IdPGain), 60, 12);
    addButton(IdSendPid, QStringLiteral("Send PID Parameters"), 30, 90, 80, 16);
    addGroupBox(IdAuxGroup, QStringLiteral("Aux parameters"), 120, 4, 116, 106);
    addStatic(IdAuxSkipLabel, QStringLiteral("Skip:"), 124, 21, 40, 16, right);
    addStatic(IdAuxErrorLimitLabel, QStringLiteral("Error limit:"), 124, 35, 40, 16, right);
    addStatic(IdAuxAccelLimitLabel, QStringLiteral("Accel. limit:"), 124, 49, 40, 16, right);
    addStatic(IdAuxSpeedLimitLabel, QStringLiteral("Speed limit:"), 124, 63, 40, 16, right);
    for (int id = IdAuxSkip; id <= IdAuxSpeedLimit; ++id)
        addEdit(id, 170, 20 + 14 * (id - IdAuxSkip), 60, 12);
    addButton(IdSendAux, QStringLiteral("Send Aux Parameters"), 150, 90, 80, 16);
    addStatic(IdCurrentLabel, QStringLiteral("Motor current:"), 10, 120, 50, 10, right);
    Trackbar* current = addTrackbar(IdCurrentTrackbar, 62, 120, 140, 11);
    addEdit(IdCurrentEdit, 206, 119, 36, 12);
    addStatic(IdCurrentUnit, QStringLiteral("mA"), 246, 120, 30, 10, Qt::AlignLeft);
    addGroupBox(IdTrackingGroup, QStringLiteral("Tracking"), 280, 8, 112, 32);
    addButton(IdTrackingStart, QStringLiteral("Start"), 284, 20, 50, 16);
    addButton(IdTrackingStop, QStringLiteral("Stop"), 338, 20, 50, 16);
    addGroupBox(IdClosedLoopGroup, QStringLiteral("Closed loop"), 280, 42, 112, 32);
    addButton(IdClosedLoopOn, QStringLiteral("Enable"), 284, 54, 50, 16);
    addButton(IdClosedLoopOff, QStringLiteral("Disable"), 338, 54, 50, 16);
    addButton(IdStoreEeprom, QStringLiteral("Save settings to EEPROM"), 284, 90, 104, 18);
    addButton(IdOk, QStringLiteral("Ok"), 284, 110, 50, 18);
    addButton(IdCancel, QStringLiteral("Cancel"), 338, 110, 50, 18);
    addButton(IdSaveFile, QStringLiteral("Save to file..."), 10, 140, 70, 14)
        ->setToolTip(QStringLiteral("Save the settings shown here to a file"));
    addButton(IdLoadFile, QStringLiteral("Load from file..."), 84, 140, 70, 14)
        ->setToolTip(QStringLiteral("Check a settings file and send its PID, aux parameters, motor current, "
                                    "parameter 128 and encoder calibration to the controller"));
    addButton(IdTune, QStringLiteral("Tune..."), 158, 140, 50, 14)
        ->setToolTip(QStringLiteral("Search the gains that track best, step by step, while logging"));
    addButton(IdAdvanced, QStringLiteral("Advanced >>"), 322, 140, 66, 14);
    addAdvancedControls();

    // The gains stand out in a larger bold face.
    const QFont bold = scaledFont(gainLabels[0]->font(), 18, QFont::Bold);
    for (QLabel* label : gainLabels)
        label->setFont(bold);

    const ClosedLoopSettings& s = model_->closedLoopSettings;
    showPidFields(s.pidFields());
    const uint32_t aux[4] = {s.auxSkip, s.auxErrorLimit, s.auxAccelLimit, s.auxSpeedLimit};
    for (int i = 0; i < 4; ++i)
        setEditText(IdAuxSkip + i, unsignedDecimalText(aux[i]));
    checkRadioIndex(IdAuxMode0, IdAuxMode6, auxMode_);
    setChecked(IdTrackingFlag, s.trackingFlag);
    if (trackingMode_ > kMaxTrackingMode)
        trackingMode_ = kMaxTrackingMode;
    checkRadioIndex(IdTrackingMode0, IdTrackingMode8, trackingMode_);
    setEditText(IdCurrentEdit, unsignedDecimalText(motorCurrent_));
    setEditText(IdParam128Edit, signedDecimalText(param128_));

    current->setRange(0, kCurrentPositions - 1);
    current->setPageStep(kCurrentPositions / 5);
    moveTrackbar(IdCurrentTrackbar, currentToPosition(motorCurrent_));
    if (auto* param = qobject_cast<QSlider*>(control(IdParam128Trackbar)))
        param->setRange(kParam128Min, kParam128Max);
    moveTrackbar(IdParam128Trackbar, param128_);
}

void ClosedLoopDialog::addAdvancedControls() {
    const int top = kFoldedHeight - 2;
    advanced_ << addGroupBox(IdAdvancedGroup, QStringLiteral("Advanced"), 4, top, 392, 88);

    // What Start sends in each tracking mode: the two special commands, normal tracking, or a rate of
    // the rate table.
    advanced_ << addStatic(IdTrackingModeLabel, QStringLiteral("Tracking mode for Start:"), 10, top + 12, 140,
                           10, Qt::AlignLeft);
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
        PlainRadioButton* radio = addRadio(IdTrackingMode0 + mode, QString::fromLatin1(modes[mode]),
                                           10 + 70 * column, top + 24 + 12 * row, 64, 12);
        radio->setToolTip(QString::fromLatin1(tips[mode]));
        advanced_ << radio;
    }
    QCheckBox* flag = addCheckBox(IdTrackingFlag, QStringLiteral("Tracking flag"), 80, top + 72, 70, 12);
    flag->setToolTip(QStringLiteral("Sent with the tracking commands of Start"));
    advanced_ << flag;

    advanced_ << addStatic(IdAuxModeLabel, QStringLiteral("Aux mode:"), 160, top + 12, 70, 10, Qt::AlignLeft);
    for (int mode = 0; mode <= 6; ++mode) {
        const int column = mode < 4 ? 0 : 1;
        const int row = mode < 4 ? mode : mode - 4;
        PlainRadioButton* radio = addRadio(IdAuxMode0 + mode, QString::number(mode), 160 + 34 * column,
                                           top + 24 + 12 * row, 30, 12);
        radio->setToolTip(QStringLiteral("Sent as the aux mode with Send Aux Parameters"));
        advanced_ << radio;
    }

    advanced_ << addStatic(IdParam128Label, QStringLiteral("Parameter 128:"), 240, top + 12, 80, 10,
                           Qt::AlignLeft);
    advanced_ << addTrackbar(IdParam128Trackbar, 240, top + 26, 108, 11);
    advanced_ << addEdit(IdParam128Edit, 352, top + 25, 36, 12);
    showAdvanced(false);
}

void ClosedLoopDialog::showAdvanced(bool show) {
    advancedShown_ = show;
    for (QWidget* w : advanced_)
        w->setVisible(show);
    if (auto* button = qobject_cast<QPushButton*>(control(IdAdvanced)))
        button->setText(show ? QStringLiteral("Advanced <<") : QStringLiteral("Advanced >>"));
    setTemplateSize(400, show ? kUnfoldedHeight : kFoldedHeight);
}

bool ClosedLoopDialog::command(int id) {
    if (id >= IdAuxMode0 && id <= IdAuxMode6) {
        auxMode_ = static_cast<uint32_t>(id - IdAuxMode0);
        checkRadio(IdAuxMode0, IdAuxMode6, id);
        return true;
    }
    if (id >= IdTrackingMode0 && id <= IdTrackingMode8) {
        trackingMode_ = static_cast<unsigned>(id - IdTrackingMode0);
        checkRadio(IdTrackingMode0, IdTrackingMode8, id);
        return true;
    }
    if (!engine_ &&
        ((id >= IdTrackingStart && id <= IdDevice40Off) || (id >= IdSendPid && id <= IdStoreEeprom)))
        return true;
    switch (id) {
    case IdOk:
        storeOnOk();
        done(1);
        return true;
    case IdCancel:
        done(0);
        return true;
    case IdTrackingStart:
        startTracking();
        return true;
    case IdTrackingStop:
        engine_->Tracking(0);
        return true;
    case IdClosedLoopOn:
        engine_->ClosedLoop(1);
        return true;
    case IdClosedLoopOff:
        engine_->ClosedLoop(2);
        return true;
    case IdDevice40On:
        engine_->Device40(1);
        return true;
    case IdDevice40Off:
        engine_->Device40(0);
        return true;
    case IdSendPid:
        sendPid();
        return true;
    case IdSendAux:
        sendAux();
        return true;
    case IdStoreEeprom:
        engine_->StoreParameters();
        return true;
    case IdSaveFile:
        saveToFile();
        return true;
    case IdLoadFile:
        loadFromFile();
        return true;
    case IdAdvanced:
        showAdvanced(!advancedShown_);
        return true;
    case IdTune:
        if (engine_ != nullptr)
            runTuning();
        return true;
    case IdCurrentEdit:
    case IdParam128Edit:
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
    showPidFields(model_->closedLoopSettings.pidFields());
}

void ClosedLoopDialog::showPidFields(const rz4::PidFields& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        setEditText(IdPGain + static_cast<int>(i), unsignedDecimalText(fields[i]));
}

rz4::PidFields ClosedLoopDialog::pidFieldsShown() const {
    rz4::PidFields fields{};
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = readUnsignedDecimal(editText(IdPGain + static_cast<int>(i)));
    return fields;
}

void ClosedLoopDialog::tell(const QString& text, bool problem) {
    if (problem)
        QMessageBox::warning(this, windowTitle(), text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

DeviceInfo ClosedLoopDialog::shownSettings() const {
    DeviceInfo info = model_->deviceInfo;
    // The five values without a field as the controller holds them.
    const ControllerPid& held = model_->controllerPid;
    const rz4::PidValues pid =
        rz4::pidValuesWith(pidFieldsShown(), held.known ? held.values : rz4::pidValuesOf(info.pidParameters));
    std::copy(pid.begin(), pid.end(), std::begin(info.pidParameters));
    info.auxMode = static_cast<uint8_t>(auxMode_);
    info.auxSkip = readUnsignedDecimal(editText(IdAuxSkip)) & 0xFFFFu;
    info.auxErrorLimit = readUnsignedDecimal(editText(IdAuxErrorLimit));
    info.auxAccelLimit = readUnsignedDecimal(editText(IdAuxAccelLimit));
    info.auxSpeedLimit = readUnsignedDecimal(editText(IdAuxSpeedLimit));
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
        tell(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()),
             true);
}

void ClosedLoopDialog::loadFromFile() {
    const QString path = chooseLoadFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()),
             true);
        return;
    }
    if (file.size() > kMaxSettingsFileBytes) {
        tell(QStringLiteral("%1 is too large for a settings file; nothing was sent.")
                 .arg(QDir::toNativeSeparators(path)),
             true);
        return;
    }
    const QByteArray bytes = file.readAll();
    SettingsFile settings;
    std::string error;
    if (!settings.parse(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), error) ||
        !settings.checkAgainst(model_->deviceInfo, error)) {
        tell(QStringLiteral("%1: %2\nNothing was sent.")
                 .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)),
             true);
        return;
    }
    const ControllerSettings v = settings.values().sentTo(model_->deviceInfo);

    // The dialog shows what the file holds, and the model keeps it as the Send buttons would.
    const rz4::PidFields shown = rz4::pidFieldsOf(v.pidParameters);
    showPidFields(shown);
    const uint32_t aux[4] = {v.auxSkip, v.auxErrorLimit, v.auxAccelLimit, v.auxSpeedLimit};
    for (int i = 0; i < 4; ++i)
        setEditText(IdAuxSkip + i, unsignedDecimalText(aux[i]));
    auxMode_ = v.auxMode;
    checkRadioIndex(IdAuxMode0, IdAuxMode6, auxMode_);
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.setPidFields(shown);
    s.auxMode = v.auxMode;
    s.auxSkip = v.auxSkip;
    s.auxErrorLimit = v.auxErrorLimit;
    s.auxAccelLimit = v.auxAccelLimit;
    s.auxSpeedLimit = v.auxSpeedLimit;
    motorCurrent_ = v.motorCurrent;
    setEditText(IdCurrentEdit, unsignedDecimalText(motorCurrent_));
    moveTrackbar(IdCurrentTrackbar, currentToPosition(motorCurrent_));
    param128_ = v.param128;
    setEditText(IdParam128Edit, signedDecimalText(param128_));
    moveTrackbar(IdParam128Trackbar, param128_);
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
    if (id == IdCurrentEdit)
        setMotorCurrentFromEdit();
    else if (id == IdParam128Edit)
        setParam128FromEdit();
}

void ClosedLoopDialog::trackbarEndTrack(int id) {
    if (id == IdCurrentTrackbar)
        setMotorCurrentFromTrackbar();
    else if (id == IdParam128Trackbar)
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
    const uint32_t flag = isChecked(IdTrackingFlag) ? 1 : 0;
    switch (trackingMode_) {
    case 0:
        engine_->TrackingSpecial(2, flag);
        break;
    case IdOk:
        engine_->TrackingSpecial(1, flag);
        break;
    case IdCancel:
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
    const rz4::PidFields fields = pidFieldsShown();
    model_->closedLoopSettings.setPidFields(fields);
    // The five values without a field go as 0.
    engine_->SendPid(rz4::pidValuesWith(fields).data());
}

void ClosedLoopDialog::sendAux() {
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.auxMode = auxMode_;
    s.auxSkip = readUnsignedDecimal(editText(IdAuxSkip));
    s.auxErrorLimit = readUnsignedDecimal(editText(IdAuxErrorLimit));
    s.auxAccelLimit = readUnsignedDecimal(editText(IdAuxAccelLimit));
    s.auxSpeedLimit = readUnsignedDecimal(editText(IdAuxSpeedLimit));
    engine_->SendAux(s.auxMode & 0xFFu, 0, s.auxSkip & 0xFFFFu, 0, s.auxErrorLimit, s.auxAccelLimit,
                     s.auxSpeedLimit, 0, 0, 0);
}

void ClosedLoopDialog::storeOnOk() {
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.pGain = readUnsignedDecimal(editText(IdPGain));
    s.iGain = readUnsignedDecimal(editText(IdIGain));
    s.dGain = readUnsignedDecimal(editText(IdDGain));
    s.auxMode = auxMode_;
    s.trackingFlag = isChecked(IdTrackingFlag);
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
    auto* trackbar = qobject_cast<QSlider*>(control(IdCurrentTrackbar));
    if (!trackbar)
        return;
    const uint32_t maxCurrent = model_->deviceInfo.maxCurrent;
    if (maxCurrent == 0) {
        // Without the drive's maximum the scale is unknown: the thumb stays at 0 and sets no current.
        moveTrackbar(IdCurrentTrackbar, 0);
        return;
    }
    const uint32_t value = static_cast<uint32_t>(trackbar->value() + 1) * maxCurrent / kCurrentPositions;
    if (value == motorCurrent_)
        return;
    motorCurrent_ = static_cast<uint16_t>(value);
    setEditText(IdCurrentEdit, unsignedDecimalText(value));
    if (engine_)
        engine_->WriteParam16(rz4::kParamMotorCurrent, value);
}

void ClosedLoopDialog::setMotorCurrentFromEdit() {
    if (!control(IdCurrentEdit))
        return;
    uint32_t value = readUnsignedDecimal(editText(IdCurrentEdit));
    // The drive's maximum bounds what may be sent; without a known maximum the value still has to fit the
    // 16-bit field.
    const uint32_t maxCurrent = model_->deviceInfo.maxCurrent;
    const uint32_t limit = maxCurrent != 0 ? maxCurrent : 0xFFFFu;
    if (value > limit) {
        value = limit;
        setEditText(IdCurrentEdit, unsignedDecimalText(value));
    }
    if (value == motorCurrent_)
        return;
    motorCurrent_ = static_cast<uint16_t>(value);
    if (maxCurrent == 0)
        return;
    moveTrackbar(IdCurrentTrackbar, currentToPosition(value));
    if (engine_)
        engine_->WriteParam16(rz4::kParamMotorCurrent, value);
}

void ClosedLoopDialog::setParam128FromTrackbar() {
    auto* trackbar = qobject_cast<QSlider*>(control(IdParam128Trackbar));
    if (!trackbar)
        return;
    const int position = trackbar->value();
    if (position == param128_)
        return;
    param128_ = position;
    setEditText(IdParam128Edit, signedDecimalText(position));
    if (engine_)
        engine_->WriteParam8(rz4::kParam128, static_cast<uint32_t>(position) & 0xFFu);
}

void ClosedLoopDialog::setParam128FromEdit() {
    if (!control(IdParam128Edit))
        return;
    int value = readSignedDecimal(editText(IdParam128Edit));
    // The parameter's range is that of its trackbar; a larger value would wrap around in the byte sent.
    if (value < kParam128Min || value > kParam128Max) {
        value = value < kParam128Min ? kParam128Min : kParam128Max;
        setEditText(IdParam128Edit, signedDecimalText(value));
    }
    if (value == param128_)
        return;
    param128_ = value;
    moveTrackbar(IdParam128Trackbar, value);
    if (engine_)
        engine_->WriteParam8(rz4::kParam128, static_cast<uint32_t>(value) & 0xFFu);
}

void ClosedLoopDialog::moveTrackbar(int id, int position) {
    if (auto* trackbar = qobject_cast<QSlider*>(control(id))) {
        const QSignalBlocker blocker(trackbar);
        trackbar->setValue(position);
    }
}
