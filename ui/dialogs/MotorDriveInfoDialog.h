#pragma once

#include "ui/common/TemplateDialog.h"

class AppModel;
class iEngineCommands;

// Shows the model's device record and writes the encoder calibration (direction and offset) to the
// model and the controller. exec() returns 1 for Ok, 0 for Cancel; neither changes anything.
// model and engine must outlive the dialog. UI thread only.
class MotorDriveInfoDialog : public TemplateDialog {
    Q_OBJECT
public:
    MotorDriveInfoDialog(QWidget* owner, AppModel* model, iEngineCommands* engine);

    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdCancel = 2,
        IdHardwareVersion = 100, // read-only edits of the device record
        IdFirmwareVersion = 101,
        IdGearRatio = 110,
        IdFullResolution = 111,
        IdSiderealSpeed = 112,
        IdMaxCurrent = 113,
        IdEncoderBits = 120,
        IdEncoderResolution = 121,
        IdEncoderReverse = 130,
        IdEncoderOffset = 131,
        IdActualizeCalibration = 132, // "Actualize enc. calib."
        IdDeviceGroup = 1000,
        IdHardwareVersionLabel = 1001,
        IdFirmwareVersionLabel = 1002,
        IdGearRatioLabel = 1003,
        IdFullResolutionLabel = 1004,
        IdSiderealSpeedLabel = 1005,
        IdMaxCurrentLabel = 1006,
        IdEncoderBitsLabel = 1007,
        IdEncoderResolutionLabel = 1008,
        IdEncoderOffsetLabel = 1009,
    };

    // IdOk, IdCancel, IdActualizeCalibration.
    bool command(int id) override;

private:
    void actualizeCalibration();

    AppModel* model_;
    iEngineCommands* engine_;
};
