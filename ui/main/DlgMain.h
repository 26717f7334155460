#pragma once

#include "model/store/iMainDlgCallback.h"
#include "model/store/iWMUserSender.h"
#include "ui/common/NightMode.h"
#include "ui/common/TemplateDialog.h"
#include "ui/common/UserPrompts.h"
#include "ui/main/ExitGuard.h"
#include "ui/main/LogActions.h"
#include "ui/main/NoticeEvents.h"
#include "ui/main/PeMonitor.h"
#include "ui/main/PortList.h"

#include <QCheckBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class AnalysisWindow;
class AppModel;
class DataTransfer;
class EncoderGraph;
class GraphFrame;
class LogOpener;
class StatusLine;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class VirtualController;
class iEngineCommands;

// The main dialog: port choice, Connect/Disconnect, test mode, logging Start/Stop/Clear/Fetch/Export
// (data.dat and CSV), opening a saved log, the analysis window, the settings dialogs, night mode, the
// status and counter lines and the live encoder graph. DataTransfer and AppModel call it through
// iMainDlgCallback. The engine's notices reach the UI thread through its NoticeEvents (noticeSender),
// which posts them to the dialog's event queue and hands them back to DataTransfer there. Lives on the
// UI thread; only noticeSender's PostUserMessage may be called from another thread.
class DlgMain : public TemplateDialog, public iMainDlgCallback {
    Q_OBJECT
public:
    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdExit = 2,
        IdPortList = 100,
        IdConnect = 101,
        IdDisconnect = 102,
        IdTestMode = 103,
        IdStatusLine = 104,
        IdAbout = 120,
        IdMotorDriveInfo = 130,
        IdDisplaySettings = 131,
        IdLogSettings = 132,
        IdClosedLoop = 133,
        IdDevice41 = 134, // commands without a control
        IdDevice42 = 135,
        IdDevice43 = 136,
        IdStart = 140,
        IdStop = 141,
        IdFetchLog = 142,
        IdCounterLine = 143,
        IdExport = 144,
        IdNoAction = 145,
        IdClear = 146,
        IdStatic = 1000,
        IdGraph = 200,
    };
    // Controls added to the template, with IDs no template command uses.
    static constexpr int kOpenErrorReasonId = 106; // "Why?" beside the status line
    static constexpr int kNightModeId = 107;       // "Night mode" check box
    static constexpr int kRefreshPortsId = 108;    // "Refresh": list the serial devices again
    static constexpr int kExportNoteId = 1001;     // where the last export went
    static constexpr int kPeLineId = 147;          // periodic-error figures of the stored samples
    static constexpr int kOpenLogId = 148;         // "Open log..." / "Close log"
    static constexpr int kAnalysisId = 149;        // "Analysis...": the analysis window
    static constexpr int kCsvExportId = 150;       // "CSV...": the Astrelvo CSV of the stored records

    // The answer to "quit and discard records that were never exported?", and the question.
    using ExitAnswer = ExitGuard::Answer;
    using ExitQuestion = ExitGuard::Question;
    // Shows a message to the user (an error when error is set). Tests set one that records it.
    using MessageSink = UserPrompts::MessageSink;

    // virtualController may be null: then the port list has no virtual entry.
    DlgMain(AppModel* model, iEngineCommands* control, DataTransfer* transfer,
            VirtualController* virtualController = nullptr, QWidget* owner = nullptr);
    ~DlgMain() override;

    // iMainDlgCallback, UI thread.
    void OnStatus(uint32_t code) override;
    void OnEncoderBits(uint32_t bits) override;
    void OnNewData(uint32_t first, uint32_t received, uint32_t available) override;
    void OnMarker(uint32_t index) override;

    // The channel's sender: carries the engine's notices to DataTransfer::onUserMessage on the UI thread.
    iWMUserSender* noticeSender() const { return notices_; }

    // The command handler: acts on a control ID (also the IDs that have no control here) and returns
    // whether the ID is one of the dialog's commands.
    bool command(int id) override;

    // Replace the message boxes (empty function: message boxes again).
    void setExitQuestion(ExitQuestion question) { logActions_->setExitQuestion(std::move(question)); }
    void setMessageSink(MessageSink sink) { prompts_.setMessageSink(std::move(sink)); }
    // Message boxes and file dialogs of the dialog and the windows it opens (tests set answers).
    UserPrompts& prompts() { return prompts_; }

    // Selects the port of this device path (or "virtual"), adding it to the list when it is not there.
    void choosePort(const std::string& path) { portList_.select(path); }
    // Where the port list's devices come from (tests give a fixed list); Refresh lists them.
    void setPortLister(PortList::Lister lister) { portList_.setLister(std::move(lister)); }

    // Opens a saved log in place of the live samples (the program's LOGFILE argument); false when it
    // was refused, cancelled or could not be read.
    bool openLog(const QString& path) { return logActions_->openLog(path); }

    // For start-up and tests.
    AppModel* model() const { return model_; }
    LogOpener* logOpener() const { return logActions_->opener(); }
    // The analysis window; null until "Analysis..." first opened it.
    AnalysisWindow* analysisWindow() const { return logActions_->analysis(); }
    bool logging() const { return logActions_->logging().active(); }
    EncoderGraph* graph() const { return graph_; }
    QWidget* graphControl() const;
    bool testModeChecked() const { return testMode_->isChecked(); }
    bool testModeEnabled() const { return testMode_->isEnabled(); }
    bool nightMode() const { return nightMode_.on(); }
    int graphLeft() const { return graphLeft_; }
    int graphTop() const { return graphTop_; }
    const std::vector<SerialDeviceEntry>& ports() const { return portList_.entries(); }
    // Index of the virtual controller's entry in the port list, -1 when there is none.
    int virtualPortIndex() const { return portList_.virtualIndex(); }
    // Raw records stored and not written by an export.
    uint32_t unexportedRecords() const;
    // Why the last port could not be opened; empty unless the status line shows that error.
    const QString& openErrorReason() const;

    // The event type that carries a notice's code and argument to the dialog.
    static QEvent::Type userMessageType() { return NoticeEvents::eventType(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Enter in the port box connects to the port typed or chosen, as Connect does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void updateMinimumSize();
    void connectPort();
    void showDisplaySettings();
    void setNightMode(bool on);
    void message(const QString& title, const QString& text, bool error) {
        prompts_.message(this, title, text, error);
    }

    AppModel* model_;
    iEngineCommands* control_;
    DataTransfer* transfer_;
    EncoderGraph* graph_ = nullptr;    // owned through graphFrame_
    GraphFrame* graphFrame_ = nullptr; // control 200
    QComboBox* portBox_ = nullptr;     // control 100
    QCheckBox* testMode_ = nullptr;    // control 103
    QCheckBox* nightToggle_ = nullptr;
    std::unique_ptr<StatusLine> statusLine_; // status line and "Why?"
    QLineEdit* peLine_ = nullptr;            // read-only, stretches with the dialog
    PeMonitor peMonitor_;                    // analyses on its own thread; its line comes back as a signal
    bool simulated_ = false; // the last Connect was to the test mode (its log rate means nothing)
    PortList portList_;
    QString connectedPath_; // device path of the last Connect
    NightMode nightMode_;
    NoticeEvents* notices_ = nullptr; // a child: the engine's notices reach the UI thread through it
    UserPrompts prompts_;
    std::unique_ptr<LogActions> logActions_; // export, CSV, open log, analysis, the exit question
    int graphLeft_ = 0;
    int graphTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
};
