#include "ui/ClosedLoopDialog.h"

#include "engine/iEngineCommands.h"
#include "model/AppModel.h"
#include "ui/NumberText.h"
#include "ui/Trackbar.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

constexpr int kMotorCurrentParam = 129;
constexpr int kParam128 = 128;
constexpr int kCurrentPositions = 32;
constexpr unsigned kMaxTrackingMode = 8;

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
    case 421:
    case 431:
        return true;
    default:
        return false;
    }
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
        engine_->WriteParam16(kMotorCurrentParam, value);
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
        engine_->WriteParam16(kMotorCurrentParam, value);
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
        engine_->WriteParam8(kParam128, static_cast<uint32_t>(position) & 0xFFu);
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
        engine_->WriteParam8(kParam128, static_cast<uint32_t>(value) & 0xFFu);
}

void ClosedLoopDialog::moveTrackbar(int id, int position) {
    if (auto* trackbar = qobject_cast<QSlider*>(control(id))) {
        const QSignalBlocker blocker(trackbar);
        trackbar->setValue(position);
    }
}
