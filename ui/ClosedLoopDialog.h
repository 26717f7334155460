#pragma once

#include "ui/TemplateDialog.h"

#include <cstdint>

class AppModel;
class iEngineCommands;

// Closed loop tracking control: edits the model's closed-loop settings and sends tracking, closed-loop,
// PID, aux, motor-current and EEPROM commands to the controller at once. Commands take effect whatever
// the dialog's result; Ok stores the P, I and D gains, aux mode, tracking flag and tracking mode, Cancel
// stores nothing more. The motor current and parameter 128 are written back into the model's device
// record when the dialog ends, whatever its result. model and engine must outlive the dialog.
// UI thread only.
class ClosedLoopDialog : public TemplateDialog {
    Q_OBJECT
public:
    ClosedLoopDialog(QWidget* owner, AppModel* model, iEngineCommands* engine);

    // 1 Ok, 2 Cancel, 100/101 tracking start/stop, 102/103 closed loop on/off, 104/105 Device40(1/0),
    // 110 send PID, 111 send aux, 112 store in EEPROM, 300..306 aux mode, 400..408 tracking mode;
    // 421 and 431 are consumed (their edits act when they lose the focus).
    bool command(int id) override;
    // 421 the motor current, 431 parameter 128: the typed value takes effect.
    void editFocusLost(int id) override;
    // 420 the motor current, 430 parameter 128: the thumb's position takes effect.
    void trackbarEndTrack(int id) override;

    // Ends the dialog and writes the motor current and parameter 128 back into the device record.
    void done(int result) override;

    // The signed 32-bit rates of tracking modes 3..8 (modes 0..2 have their own commands).
    static constexpr int32_t kTrackingRateTable[9] = {0, 0, 1, 2, 4, 8, 16, 32, 50};
    static constexpr int kParam128Min = -40;
    static constexpr int kParam128Max = 40;

private:
    void startTracking();
    void sendPid();
    void sendAux();
    void storeOnOk();
    void setMotorCurrentFromTrackbar();
    void setMotorCurrentFromEdit();
    void setParam128FromTrackbar();
    void setParam128FromEdit();
    // Moves trackbar id without reporting an end of track.
    void moveTrackbar(int id, int position);
    int currentToPosition(uint32_t current) const;

    AppModel* model_;
    iEngineCommands* engine_;
    uint32_t auxMode_;
    unsigned trackingMode_;
    uint16_t motorCurrent_;
    int param128_;
};
