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

    // 1 Ok, 2 Cancel, 132 "Actualize enc. calib.".
    bool command(int id) override;

private:
    void actualizeCalibration();

    AppModel* model_;
    iEngineCommands* engine_;
};
