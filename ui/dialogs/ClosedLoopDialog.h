#pragma once

#include "rz4/DeviceInfo.h"
#include "rz4/PidValues.h"
#include "ui/common/TemplateDialog.h"
#include "ui/dialogs/TuningWindow.h"

#include <QList>
#include <QString>

#include <cstdint>

class AppModel;
class iEngineCommands;

// Closed loop tracking control: edits the model's closed-loop settings and sends tracking, closed-loop,
// PID, aux, motor-current and EEPROM commands to the controller at once. Commands take effect whatever
// the dialog's result; Ok stores the P, I and D gains, aux mode, tracking flag and tracking mode, Cancel
// stores nothing more. The motor current and parameter 128 are written back into the model's device
// record when the dialog ends, whatever its result. The settings shown can be saved to a settings file
// (SettingsFile) and a checked file loaded and sent; an "Advanced" part, folded in at first, holds the
// tracking mode, the tracking flag, the aux mode and parameter 128. model and engine must outlive the
// dialog. UI thread only.
class ClosedLoopDialog : public TemplateDialog {
    Q_OBJECT
public:
    ClosedLoopDialog(QWidget* owner, AppModel* model, iEngineCommands* engine);

    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdCancel = 2,
        IdTrackingStart = 100,
        IdTrackingStop = 101,
        IdClosedLoopOn = 102,
        IdClosedLoopOff = 103,
        IdDevice40On = 104, // commands without a control
        IdDevice40Off = 105,
        IdSendPid = 110,
        IdSendAux = 111,
        IdStoreEeprom = 112,
        IdSaveFile = 113,
        IdLoadFile = 114,
        IdAdvanced = 115, // folds the advanced part out or in
        IdTune = 116,     // opens the tuning window
        IdPGain = 120,    // the five PID edits, in this order
        IdIGain = 121,
        IdDGain = 122,
        IdISamples = 123,
        IdDSamples = 124,
        IdAuxSkip = 220, // the four aux edits, in this order
        IdAuxErrorLimit = 221,
        IdAuxAccelLimit = 222,
        IdAuxSpeedLimit = 223,
        IdAuxMode0 = 300, // radio buttons of aux modes 0..6
        IdAuxMode6 = 306,
        IdTrackingFlag = 380,
        IdTrackingMode0 = 400, // radio buttons of tracking modes 0..8
        IdTrackingMode8 = 408,
        IdCurrentTrackbar = 420,
        IdCurrentEdit = 421,
        IdParam128Trackbar = 430,
        IdParam128Edit = 431,
        IdPGainLabel = 1100, // the labels of the PID and aux edits, in their order
        IdIGainLabel = 1101,
        IdDGainLabel = 1102,
        IdISamplesLabel = 1103,
        IdDSamplesLabel = 1104,
        IdAuxSkipLabel = 1105,
        IdAuxErrorLimitLabel = 1106,
        IdAuxAccelLimitLabel = 1107,
        IdAuxSpeedLimitLabel = 1108,
        IdCurrentLabel = 1200,
        IdCurrentUnit = 1201,
        IdTrackingGroup = 1210,
        IdClosedLoopGroup = 1211,
        IdTrackingModeLabel = 1220,
        IdAuxModeLabel = 1221,
        IdParam128Label = 1222,
        IdPidGroup = 1300,
        IdAuxGroup = 1301,
        IdAdvancedGroup = 1302,
    };

    // The commands of the IDs above; IdCurrentEdit and IdParam128Edit are consumed (their edits act when
    // they lose the focus).
    bool command(int id) override;
    // IdCurrentEdit, IdParam128Edit: the typed value takes effect.
    void editFocusLost(int id) override;
    // IdCurrentTrackbar, IdParam128Trackbar: the thumb's position takes effect.
    void trackbarEndTrack(int id) override;

    // Ends the dialog and writes the motor current and parameter 128 back into the device record.
    void done(int result) override;

    // The signed 32-bit rates of tracking modes 3..8 (modes 0..2 have their own commands).
    static constexpr int32_t kTrackingRateTable[9] = {0, 0, 1, 2, 4, 8, 16, 32, 50};
    static constexpr int kParam128Min = -40;
    static constexpr int kParam128Max = 40;
    // The client height in dialog units with the advanced part folded in and out.
    static constexpr int kFoldedHeight = 160;
    static constexpr int kUnfoldedHeight = 250;

    bool advancedShown() const { return advancedShown_; }
    // What the tuning window needs from the main dialog (logging, the test mode).
    void setTuningHost(TuningWindow::Host host) { tuningHost_ = std::move(host); }

protected:
    // The file to save the settings to, or to load them from, as the user picks it; empty when the user
    // cancels. Tests replace them.
    virtual QString chooseSaveFile();
    virtual QString chooseLoadFile();
    // Shows the outcome of a save or load to the user; problem: something went wrong.
    virtual void tell(const QString& text, bool problem);
    // Runs the tuning window until it is closed.
    virtual void runTuning();

private:
    void addAdvancedControls();
    // The five PID edits.
    void showPidFields(const rz4::PidFields& fields);
    rz4::PidFields pidFieldsShown() const;
    void showAdvanced(bool show);
    // The device record with the values the dialog shows (PID, aux, motor current, parameter 128).
    DeviceInfo shownSettings() const;
    void saveToFile();
    void loadFromFile();
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
    QList<QWidget*> advanced_; // the controls of the advanced part
    bool advancedShown_ = false;
    TuningWindow::Host tuningHost_;
};
