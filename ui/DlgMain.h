#pragma once

#include "model/iMainDlgCallback.h"
#include "model/iWMUserSender.h"
#include "platform/SerialPort.h"
#include "ui/TemplateDialog.h"

#include <QEvent>

#include <cstdint>
#include <vector>

class AppModel;
class DataTransfer;
class EncoderGraph;
class QComboBox;
class QFrame;
class iEngineCommands;

// The main dialog: port choice, Connect/Disconnect, logging Start/Stop/Clear, the settings dialogs,
// the status and counter lines and the live encoder graph. It is also the UI end of the engine-to-UI
// channel: DataTransfer and AppModel call it through iMainDlgCallback, and the engine's notifications
// arrive through PostUserMessage. Lives on the UI thread; only PostUserMessage may be called from
// another thread.
class DlgMain : public TemplateDialog, public iMainDlgCallback, public iWMUserSender {
    Q_OBJECT
public:
    // Most serial devices the port list offers: Connect carries the port number in one byte, 0 being
    // the test mode.
    static constexpr int kMaxPorts = 255;

    DlgMain(AppModel* model, iEngineCommands* control, DataTransfer* transfer, QWidget* owner = nullptr);
    ~DlgMain() override;

    // iMainDlgCallback, UI thread.
    void OnStatus(uint32_t code) override;
    void OnEncoderBits(uint32_t bits) override;
    void OnNewData(uint32_t first, uint32_t received, uint32_t available) override;

    // iWMUserSender, any thread: queues (code, argument) for DataTransfer::onUserMessage on the UI thread
    // and returns at once.
    bool PostUserMessage(uint32_t code, intptr_t argument) override;

    // The command handler: acts on a control ID (also the IDs that have no control here) and returns
    // whether the ID is one of the dialog's commands.
    bool command(int id) override;

    // For start-up and tests.
    AppModel* model() const { return model_; }
    EncoderGraph* graph() const { return graph_; }
    QWidget* graphControl() const;
    bool testModeChecked() const { return testModeChecked_; }
    bool testModeEnabled() const { return testModeEnabled_; }
    int graphLeft() const { return graphLeft_; }
    int graphTop() const { return graphTop_; }
    int marginRight() const { return marginRight_; }
    int marginBottom() const { return marginBottom_; }
    const std::vector<SerialDeviceEntry>& ports() const { return ports_; }

    // The event type that carries PostUserMessage's code and argument.
    static QEvent::Type userMessageType();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void fillPortList();
    void updateMinimumSize();
    void connectPort();
    void showDisplaySettings();

    AppModel* model_;
    iEngineCommands* control_;
    DataTransfer* transfer_;
    EncoderGraph* graph_ = nullptr; // owned through graphFrame_
    QFrame* graphFrame_ = nullptr;  // control 200: border and inert scroll bars around the graph
    QComboBox* portList_ = nullptr; // control 100
    std::vector<SerialDeviceEntry> ports_;
    bool testModeChecked_ = false; // check box 103, which this dialog does not show
    bool testModeEnabled_ = true;
    int graphLeft_ = 0;
    int graphTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
};
