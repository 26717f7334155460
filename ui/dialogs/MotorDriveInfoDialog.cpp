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
    addGroupBox(IdDeviceGroup, QStringLiteral("Device information"), 4, 4, 260, 122);
    addStatic(IdHardwareVersionLabel, QStringLiteral("Hardware Version:"), 8, 15, 60, 10, right);
    addEdit(IdHardwareVersion, 72, 14, 128, 12, true);
    addStatic(IdFirmwareVersionLabel, QStringLiteral("Firmware Version:"), 8, 29, 60, 10, right);
    addEdit(IdFirmwareVersion, 72, 28, 128, 12, true);
    addStatic(IdGearRatioLabel, QStringLiteral("Gear ratio:"), 8, 45, 60, 10, right);
    addEdit(IdGearRatio, 72, 44, 58, 12, true);
    addStatic(IdFullResolutionLabel, QStringLiteral("Full resolution:"), 8, 59, 60, 10, right);
    addEdit(IdFullResolution, 72, 58, 58, 12, true);
    addStatic(IdSiderealSpeedLabel, QStringLiteral("Sidereal spd:"), 8, 73, 60, 10, right);
    addEdit(IdSiderealSpeed, 72, 72, 58, 12, true);
    addStatic(IdMaxCurrentLabel, QStringLiteral("Max current:"), 140, 45, 50, 10, right);
    addEdit(IdMaxCurrent, 194, 44, 58, 12, true);
    addStatic(IdEncoderBitsLabel, QStringLiteral("Encoder bits:"), 8, 89, 50, 10, right);
    addEdit(IdEncoderBits, 62, 88, 16, 12, true);
    addStatic(IdEncoderResolutionLabel, QStringLiteral("Encoder res.:"), 8, 103, 50, 10, right);
    addEdit(IdEncoderResolution, 62, 102, 68, 12, true);
    addCheckBox(IdEncoderReverse, QStringLiteral("Enc. Reverse"), 144, 88, 80, 12);
    addStatic(IdEncoderOffsetLabel, QStringLiteral("Enc. Offset:"), 144, 103, 40, 10, Qt::AlignLeft);
    addEdit(IdEncoderOffset, 190, 102, 68, 12);
    addButton(IdOk, QStringLiteral("Ok"), 10, 132, 60, 16);
    addButton(IdCancel, QStringLiteral("Cancel"), 74, 132, 60, 16);
    addButton(IdActualizeCalibration, QStringLiteral("Actualize enc. calib."), 180, 132, 80, 16);

    const DeviceInfo& info = model_->deviceInfo;
    setEditText(IdHardwareVersion, dottedQuadText(info.hardwareVersion));
    setEditText(IdFirmwareVersion, dottedQuadText(info.firmwareVersion));
    setEditText(IdGearRatio, unsignedDecimalText(info.gearRatio));
    setEditText(IdFullResolution, unsignedDecimalText(info.fullResolution));
    setEditText(IdSiderealSpeed, unsignedDecimalText(info.siderealSpeed));
    setEditText(IdMaxCurrent, unsignedDecimalText(info.maxCurrent));
    setEditText(IdEncoderBits, unsignedDecimalText(info.encoderBits));
    // 2^32 does not fit the 32 bits shown for the other widths.
    setEditText(IdEncoderResolution,
                info.encoderBits == 32 ? QStringLiteral("4294967296")
                                       : unsignedDecimalText(static_cast<uint32_t>(info.encoderResolution)));
    setChecked(IdEncoderReverse, (info.encoderFlags & 1u) != 0);
    setEditText(IdEncoderOffset, unsignedDecimalText(info.encoderOffset));
}

bool MotorDriveInfoDialog::command(int id) {
    switch (id) {
    case IdOk:
        done(1);
        return true;
    case IdCancel:
        done(0);
        return true;
    case IdActualizeCalibration:
        actualizeCalibration();
        return true;
    default:
        return false;
    }
}

void MotorDriveInfoDialog::actualizeCalibration() {
    const bool reverse = isChecked(IdEncoderReverse);
    const uint32_t offset = readUnsignedDecimal(editText(IdEncoderOffset));
    model_->deviceInfo.encoderFlags = reverse ? 1 : 0;
    model_->deviceInfo.encoderOffset = offset;
    if (engine_)
        engine_->SetEncoderCalibration(reverse ? 1 : 0, offset);
}
