#include "ui/dialogs/MotorDriveInfoDialog.h"

#include "engine/iEngineCommands.h"
#include "model/store/AppModel.h"
#include "ui/common/NumberText.h"

#include <QCheckBox>
#include <QLineEdit>

MotorDriveInfoDialog::MotorDriveInfoDialog(QWidget* owner, AppModel* model, iEngineCommands* engine)
    : TemplateDialog(owner, QStringLiteral("Motor drive information"), 268, 152), model_(model),
      engine_(engine) {
    const Qt::Alignment right = Qt::AlignRight;
    addGroupBox(1000, QStringLiteral("Device information"), 4, 4, 260, 122);
    addStatic(1001, QStringLiteral("Hardware Version:"), 8, 15, 60, 10, right);
    addEdit(100, 72, 14, 128, 12, true);
    addStatic(1002, QStringLiteral("Firmware Version:"), 8, 29, 60, 10, right);
    addEdit(101, 72, 28, 128, 12, true);
    addStatic(1003, QStringLiteral("Gear ratio:"), 8, 45, 60, 10, right);
    addEdit(110, 72, 44, 58, 12, true);
    addStatic(1004, QStringLiteral("Full resolution:"), 8, 59, 60, 10, right);
    addEdit(111, 72, 58, 58, 12, true);
    addStatic(1005, QStringLiteral("Sidereal spd:"), 8, 73, 60, 10, right);
    addEdit(112, 72, 72, 58, 12, true);
    addStatic(1006, QStringLiteral("Max current:"), 140, 45, 50, 10, right);
    addEdit(113, 194, 44, 58, 12, true);
    addStatic(1007, QStringLiteral("Encoder bits:"), 8, 89, 50, 10, right);
    addEdit(120, 62, 88, 16, 12, true);
    addStatic(1008, QStringLiteral("Encoder res.:"), 8, 103, 50, 10, right);
    addEdit(121, 62, 102, 68, 12, true);
    addCheckBox(130, QStringLiteral("Enc. Reverse"), 144, 88, 80, 12);
    addStatic(1009, QStringLiteral("Enc. Offset:"), 144, 103, 40, 10, Qt::AlignLeft);
    addEdit(131, 190, 102, 68, 12);
    addButton(1, QStringLiteral("Ok"), 10, 132, 60, 16);
    addButton(2, QStringLiteral("Cancel"), 74, 132, 60, 16);
    addButton(132, QStringLiteral("Actualize enc. calib."), 180, 132, 80, 16);

    const DeviceInfo& info = model_->deviceInfo;
    setEditText(100, dottedQuadText(info.hardwareVersion));
    setEditText(101, dottedQuadText(info.firmwareVersion));
    setEditText(110, unsignedDecimalText(info.gearRatio));
    setEditText(111, unsignedDecimalText(info.fullResolution));
    setEditText(112, unsignedDecimalText(info.siderealSpeed));
    setEditText(113, unsignedDecimalText(info.maxCurrent));
    setEditText(120, unsignedDecimalText(info.encoderBits));
    // 2^32 does not fit the 32 bits shown for the other widths.
    setEditText(121, info.encoderBits == 32
                         ? QStringLiteral("4294967296")
                         : unsignedDecimalText(static_cast<uint32_t>(info.encoderResolution)));
    setChecked(130, (info.encoderFlags & 1u) != 0);
    setEditText(131, unsignedDecimalText(info.encoderOffset));
}

bool MotorDriveInfoDialog::command(int id) {
    switch (id) {
    case 1:
        done(1);
        return true;
    case 2:
        done(0);
        return true;
    case 132:
        actualizeCalibration();
        return true;
    default:
        return false;
    }
}

void MotorDriveInfoDialog::actualizeCalibration() {
    const bool reverse = isChecked(130);
    const uint32_t offset = readUnsignedDecimal(editText(131));
    model_->deviceInfo.encoderFlags = reverse ? 1 : 0;
    model_->deviceInfo.encoderOffset = offset;
    if (engine_)
        engine_->SetEncoderCalibration(reverse ? 1 : 0, offset);
}
