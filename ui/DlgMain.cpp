#include "ui/DlgMain.h"

#include "engine/iEngineCommands.h"
#include "model/AppModel.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"
#include "ui/AboutDialog.h"
#include "ui/ClosedLoopDialog.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/EncoderGraph.h"
#include "ui/LogSettingsDialog.h"
#include "ui/MotorDriveInfoDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>

#include <algorithm>
#include <cstdio>

namespace {

// Control IDs of the main dialog.
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
    IdDevice41 = 134,
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

// Client size of the dialog and the smallest size it may take, in dialog units.
constexpr int kWidth = 512;
constexpr int kHeight = 194;
constexpr int kMinWidth = 525;
constexpr int kMinHeight = 194;

// One notification from the engine's side, carried to the UI thread.
class UserMessageEvent : public QEvent {
public:
    UserMessageEvent(uint32_t code, intptr_t argument)
        : QEvent(DlgMain::userMessageType()), code(code), argument(argument) {}
    const uint32_t code;
    const intptr_t argument;
};

} // namespace

QEvent::Type DlgMain::userMessageType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

DlgMain::DlgMain(AppModel* model, iEngineCommands* control, DataTransfer* transfer, QWidget* owner)
    : TemplateDialog(owner, QStringLiteral("Astrelvo 1.1. (for RZ4 controller)"), kWidth, kHeight),
      model_(model), control_(control), transfer_(transfer) {
    userMessageType(); // registered here, before any other thread can post
    setSizeGripEnabled(true);
    buildControls();

    // The graph keeps its left/top corner and its distances to the right and bottom edges.
    const QRect graphRect = units().rect(4, 60, 504, 130);
    graphLeft_ = graphRect.left();
    graphTop_ = graphRect.top();
    marginRight_ = width() - graphRect.width();
    marginBottom_ = height() - graphRect.height();
    graphFrame_->setGeometry(graphRect);

    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    updateMinimumSize();
    fillPortList();
}

DlgMain::~DlgMain() = default;

void DlgMain::buildControls() {
    addStatic(IdStatic, QStringLiteral("Port:"), 4, 7, 20, 12, Qt::AlignRight);

    portList_ = new QComboBox(this);
    portList_->setObjectName(QString::number(IdPortList));
    portList_->setGeometry(units().rect(28, 5, 50, 13));

    addButton(IdConnect, QStringLiteral("Connect"), 82, 5, 45, 13);
    addButton(IdDisconnect, QStringLiteral("Disconnect"), 130, 5, 50, 13);
    addEdit(IdStatusLine, 220, 5, 180, 12, true);
    addButton(IdAbout, QStringLiteral("About..."), 405, 5, 45, 13);
    addButton(IdExit, QStringLiteral("Exit"), 455, 5, 45, 13);

    auto* line = new QFrame(this);
    line->setObjectName(QString::number(IdStatic));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(units().rect(4, 22, 512, 4));

    addButton(IdMotorDriveInfo, QStringLiteral("Motor drive info"), 4, 28, 80, 13);
    addButton(IdDisplaySettings, QStringLiteral("Display settings"), 88, 28, 80, 13);
    addButton(IdClosedLoop, QStringLiteral("Closed loop settings"), 172, 28, 80, 13);
    addButton(IdStart, QStringLiteral("Start"), 4, 44, 32, 13);
    addButton(IdStop, QStringLiteral("Stop"), 40, 44, 32, 13);
    addButton(IdClear, QStringLiteral("Clear"), 76, 44, 32, 13);
    addEdit(IdCounterLine, 110, 44, 154, 12, true);

    // Control 200: a bordered child with scroll bars that scroll nothing, holding the graph.
    graphFrame_ = new QFrame(this);
    graphFrame_->setObjectName(QString::number(IdGraph));
    graphFrame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    graphFrame_->setLineWidth(1);
    auto* layout = new QGridLayout(graphFrame_);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    graph_ = new EncoderGraph(model_, graphFrame_);
    auto* vertical = new QScrollBar(Qt::Vertical, graphFrame_);
    auto* horizontal = new QScrollBar(Qt::Horizontal, graphFrame_);
    for (QScrollBar* bar : {vertical, horizontal}) {
        bar->setRange(0, 0);
        bar->setEnabled(false);
        bar->setFocusPolicy(Qt::NoFocus);
    }
    layout->addWidget(graph_, 0, 0);
    layout->addWidget(vertical, 0, 1);
    layout->addWidget(horizontal, 1, 0);
}

void DlgMain::fillPortList() {
    ports_ = listSerialDevices();
    if (ports_.size() > static_cast<size_t>(kMaxPorts))
        ports_.resize(kMaxPorts);
    int widest = 0;
    const QFontMetrics metrics(portList_->font());
    for (const SerialDeviceEntry& entry : ports_) {
        const QString label = QString::fromStdString(entry.label);
        portList_->addItem(label);
        portList_->setItemData(portList_->count() - 1, QString::fromStdString(entry.path), Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    // The closed box is narrow; the open list is wide enough for whole names.
    portList_->view()->setMinimumWidth(widest + 40);
    if (portList_->count() > 0)
        portList_->setCurrentIndex(0);
}

QWidget* DlgMain::graphControl() const {
    return graphFrame_;
}

void DlgMain::updateMinimumSize() {
    // The smallest size counts the window frame, as far as the window system tells it.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    const int w = units().x(kMinWidth) - std::max(0, frame.width());
    const int h = units().y(kMinHeight) - std::max(0, frame.height());
    setMinimumSize(std::max(1, w), std::max(1, h));
}

void DlgMain::showEvent(QShowEvent* event) {
    TemplateDialog::showEvent(event);
    updateMinimumSize();
}

void DlgMain::resizeEvent(QResizeEvent* event) {
    TemplateDialog::resizeEvent(event);
    const int w = std::max(0, event->size().width() - marginRight_);
    const int h = std::max(0, event->size().height() - marginBottom_);
    graphFrame_->setGeometry(graphLeft_, graphTop_, w, h);
}

bool DlgMain::PostUserMessage(uint32_t code, intptr_t argument) {
    QCoreApplication::postEvent(this, new UserMessageEvent(code, argument));
    return true;
}

bool DlgMain::event(QEvent* event) {
    if (event->type() == userMessageType()) {
        const auto* message = static_cast<const UserMessageEvent*>(event);
        if (transfer_)
            transfer_->onUserMessage(message->code, message->argument);
        return true;
    }
    return TemplateDialog::event(event);
}

void DlgMain::OnStatus(uint32_t code) {
    const uint32_t status = code & 0xFFFF;
    if (status >= kStatusCodeCount)
        return;
    const char* text = statusText(status);
    if (auto* line = qobject_cast<QLineEdit*>(control(IdStatusLine)); line && text)
        line->setText(QString::fromUtf8(text));
}

void DlgMain::OnEncoderBits(uint32_t bits) {
    graph_->setEncoderBits(static_cast<int>(bits));
}

void DlgMain::OnNewData(uint32_t first, uint32_t received, uint32_t available) {
    char text[96];
    std::snprintf(text, sizeof text, "Received:%d  Total:%d  Available:%d", static_cast<int>(received),
                  static_cast<int>(first + received), static_cast<int>(available));
    setEditText(IdCounterLine, QString::fromLatin1(text));
    graph_->drawNew(first, received);
}

void DlgMain::connectPort() {
    uint32_t port = 0;
    if (!testModeChecked_) {
        // Entry i of the list is port i + 1; its device path goes into the engine's table first.
        const int index = portList_->currentIndex();
        port = index >= 0 ? static_cast<uint32_t>(index) + 1 : 1;
        if (index >= 0 && static_cast<size_t>(index) < ports_.size())
            control_->setPortPath(port, ports_[static_cast<size_t>(index)].path.c_str());
    }
    control_->Connect(port);
    testModeEnabled_ = false;
}

void DlgMain::showDisplaySettings() {
    DisplaySettingsDialog dialog(this, &model_->displaySettings);
    if (dialog.exec() == 0)
        return;
    const DisplaySettings& settings = model_->displaySettings;
    graph_->setColorScheme(settings.colorScheme);
    graph_->setScale(settings.scaleIndex);
    graph_->setVerticalOffset(settings.verticalOffset);
    graph_->repaint();
}

bool DlgMain::command(int id) {
    switch (id) {
    case IdOk:
        done(1);
        return true;
    case IdExit:
        done(0);
        return true;
    case IdConnect:
        connectPort();
        return true;
    case IdDisconnect:
        control_->Disconnect();
        testModeEnabled_ = true;
        return true;
    case IdTestMode:
        // The check box toggles on a click while it is enabled.
        if (testModeEnabled_)
            testModeChecked_ = !testModeChecked_;
        return true;
    case IdAbout: {
        AboutDialog dialog(this);
        dialog.exec();
        return true;
    }
    case IdMotorDriveInfo: {
        MotorDriveInfoDialog dialog(this, model_, control_);
        dialog.exec();
        return true;
    }
    case IdDisplaySettings:
        showDisplaySettings();
        return true;
    case IdLogSettings: {
        LogSettingsDialog dialog(this, &model_->logSettings);
        dialog.exec();
        return true;
    }
    case IdClosedLoop: {
        ClosedLoopDialog dialog(this, model_, control_);
        dialog.exec();
        return true;
    }
    case IdDevice41:
        control_->Device41();
        return true;
    case IdDevice42:
        control_->Device42();
        return true;
    case IdDevice43:
        control_->Device43();
        return true;
    case IdStart: {
        const LogSettings& log = model_->logSettings;
        control_->StartLog(log.logProcessed ? 3 : 1, static_cast<uint32_t>(log.logRate));
        return true;
    }
    case IdStop:
        control_->StopLog();
        return true;
    case IdFetchLog:
        control_->FetchLog();
        return true;
    case IdExport:
        model_->exportData("data.dat");
        return true;
    case IdNoAction:
        return true;
    case IdClear:
        model_->clear();
        graph_->invalidate();
        return true;
    default:
        return false;
    }
}
