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
#include "ui/VirtualController.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

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

// The status line's rectangle in dialog units, without and with the "Why?" button at its right end.
constexpr int kStatusX = 227;
constexpr int kStatusY = 5;
constexpr int kStatusW = 156;
constexpr int kStatusH = 12;
constexpr int kWhyW = 23;
constexpr int kWhyGap = 2;

// A check box that does not change its own state when clicked: the click goes to the command handler,
// which decides (a disabled box is not clicked at all).
class CommandCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

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

DlgMain::DlgMain(AppModel* model, iEngineCommands* control, DataTransfer* transfer,
                 VirtualController* virtualController, QWidget* owner)
    : TemplateDialog(owner, QStringLiteral("Astrelvo 1.1. (for RZ4 controller)"), kWidth, kHeight),
      model_(model), control_(control), transfer_(transfer), virtualController_(virtualController) {
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
    dayColorScheme_ = graph_->colorScheme();

    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    updateMinimumSize();
    fillPortList();

    connect(&peMonitor_, &PeMonitor::lineReady, this, [this](const QString& line, const QString& detail) {
        peLine_->setText(line);
        peLine_->setCursorPosition(0);
        peLine_->setToolTip(line + QStringLiteral("\n") + detail);
    });
    peTimer_.setInterval(PeMonitor::kIntervalMs);
    connect(&peTimer_, &QTimer::timeout, this, [this] { peMonitor_.poll(*model_, peRateIndex_); });
    peTimer_.start();
}

DlgMain::~DlgMain() = default;

QCheckBox* DlgMain::addToggle(int id, const QString& text, int x, int y, int w, int h) {
    auto* box = new CommandCheckBox(text, this);
    box->setObjectName(QString::number(id));
    box->setGeometry(units().rect(x, y, w, h));
    connect(box, &QCheckBox::clicked, this, [this, id] { command(id); });
    return box;
}

void DlgMain::buildControls() {
    // Top row: port, connection, test mode, status, night mode, About and Exit.
    addStatic(IdStatic, QStringLiteral("Port:"), 4, 7, 20, 12, Qt::AlignRight);

    portList_ = new QComboBox(this);
    portList_->setObjectName(QString::number(IdPortList));
    portList_->setGeometry(units().rect(28, 5, 56, 13));

    addButton(IdConnect, QStringLiteral("Connect"), 87, 5, 38, 13);
    addButton(IdDisconnect, QStringLiteral("Disconnect"), 128, 5, 46, 13);
    testMode_ = addToggle(IdTestMode, QStringLiteral("Test mode"), 178, 6, 47, 12);
    testMode_->setToolTip(QStringLiteral("Connect runs the built-in simulator instead of opening a port"));
    addEdit(IdStatusLine, kStatusX, kStatusY, kStatusW, kStatusH, true);
    whyButton_ = addButton(kOpenErrorReasonId, QStringLiteral("Why?"), kStatusX + kStatusW - kWhyW, kStatusY,
                           kWhyW, kStatusH);
    whyButton_->hide();
    nightToggle_ = addToggle(kNightModeId, QStringLiteral("Night mode"), 387, 6, 52, 12);
    nightToggle_->setToolTip(QStringLiteral("Red on black, for eyes adapted to the dark"));
    addButton(IdAbout, QStringLiteral("About..."), 442, 5, 34, 13);
    addButton(IdExit, QStringLiteral("Exit"), 479, 5, 29, 13);

    auto* line = new QFrame(this);
    line->setObjectName(QString::number(IdStatic));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(units().rect(4, 22, 512, 4));

    addButton(IdMotorDriveInfo, QStringLiteral("Motor drive info"), 4, 28, 80, 13);
    addButton(IdDisplaySettings, QStringLiteral("Display settings"), 88, 28, 80, 13);
    addButton(IdLogSettings, QStringLiteral("Log settings"), 172, 28, 62, 13);
    addButton(IdClosedLoop, QStringLiteral("Closed loop settings"), 238, 28, 80, 13);

    addButton(IdStart, QStringLiteral("Start"), 4, 44, 32, 13);
    addButton(IdStop, QStringLiteral("Stop"), 40, 44, 32, 13);
    addButton(IdClear, QStringLiteral("Clear"), 76, 44, 32, 13);
    addButton(IdFetchLog, QStringLiteral("Fetch"), 112, 44, 32, 13)
        ->setToolTip(QStringLiteral("Ask the controller for the records it has logged"));
    addButton(IdExport, QStringLiteral("Export"), 148, 44, 32, 13)
        ->setToolTip(QStringLiteral("Write the stored records to data.dat in the current directory"));
    addEdit(IdCounterLine, 184, 44, 154, 12, true);
    exportNote_ = addStatic(kExportNoteId, QString(), 322, 30, 186, 12, Qt::AlignLeft);
    peLine_ = addEdit(kPeLineId, 342, 44, 166, 12, true);
    peLine_->setToolTip(QStringLiteral("Periodic error of the stored samples"));

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
    // The virtual entry needs a number of its own.
    const size_t limit = static_cast<size_t>(virtualController_ ? kMaxPorts - 1 : kMaxPorts);
    if (ports_.size() > limit)
        ports_.resize(limit);
    int widest = 0;
    const QFontMetrics metrics(portList_->font());
    auto add = [&](const QString& label, const QString& tip) {
        portList_->addItem(label);
        portList_->setItemData(portList_->count() - 1, tip, Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    };
    for (const SerialDeviceEntry& entry : ports_)
        add(QString::fromStdString(entry.label), QString::fromStdString(entry.path));
    if (virtualController_) {
        add(QString::fromLatin1(VirtualController::kLabel),
            QStringLiteral("An RZ4 emulated inside this program"));
        virtualIndex_ = portList_->count() - 1;
    }
    // The closed box is narrow; the open list is wide enough for whole names, and the box's tool tip
    // names the whole entry.
    portList_->view()->setMinimumWidth(widest + 40);
    connect(portList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        portList_->setToolTip(index >= 0 ? portList_->itemText(index) : QString());
    });
    // Without a real device the virtual controller is the first entry, and so the selected one.
    if (portList_->count() > 0)
        portList_->setCurrentIndex(0);
    portList_->setToolTip(portList_->currentText());
}

QWidget* DlgMain::graphControl() const {
    return graphFrame_;
}

bool DlgMain::testModeChecked() const {
    return testMode_->isChecked();
}

bool DlgMain::testModeEnabled() const {
    return testMode_->isEnabled();
}

void DlgMain::setTestModeEnabled(bool enabled) {
    testMode_->setEnabled(enabled);
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
    // The periodic-error line ends where the graph ends.
    if (peLine_ != nullptr)
        peLine_->resize(std::max(1, graphLeft_ + w - peLine_->x()), peLine_->height());
}

bool DlgMain::PostUserMessage(uint32_t code, intptr_t argument) {
    // Every record comes with a data notice, but one drain takes all the records written before it
    // runs: while a data notice waits in the queue, the next ones need not be posted.
    if (code == NotifyData && dataNoticePending_.exchange(true))
        return true;
    QCoreApplication::postEvent(this, new UserMessageEvent(code, argument));
    return true;
}

bool DlgMain::event(QEvent* event) {
    if (event->type() == userMessageType()) {
        const auto* message = static_cast<const UserMessageEvent*>(event);
        if (message->code == NotifyData)
            dataNoticePending_.store(false); // before the drain: a record written after it posts again
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

    // A port that cannot be opened: the OS knows why, and the user can act on it (permissions, a
    // missing adapter, another program holding the port).
    QString reason;
    if (status == StatusCannotOpenPort) {
        if (const int error = control_->lastOpenError(); error != 0) {
            reason = QString::fromStdString(serialOpenErrorText(error));
            if (!connectedPath_.isEmpty())
                reason = connectedPath_ + QStringLiteral(": ") + reason;
        }
    }
    showOpenError(reason);
}

void DlgMain::showOpenError(const QString& reason) {
    openErrorReason_ = reason;
    QWidget* line = control(IdStatusLine);
    const bool show = !reason.isEmpty();
    const int width = show ? kStatusW - kWhyW - kWhyGap : kStatusW;
    line->setGeometry(units().rect(kStatusX, kStatusY, width, kStatusH));
    line->setToolTip(show ? QStringLiteral("Cannot open port: ") + reason : QString());
    whyButton_->setToolTip(line->toolTip());
    whyButton_->setVisible(show);
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
    constexpr uint32_t kMost = std::numeric_limits<uint32_t>::max();
    unexported_ = received > kMost - unexported_ ? kMost : unexported_ + received;
}

void DlgMain::connectPort() {
    uint32_t port = 0;
    connectedPath_.clear();
    if (!testMode_->isChecked()) {
        // Entry i of the list is port i + 1; its device path goes into the engine's table first.
        const int index = portList_->currentIndex();
        port = index >= 0 ? static_cast<uint32_t>(index) + 1 : 1;
        std::string path;
        if (index >= 0 && index == virtualIndex_) {
            // The emulator's line (a pseudo-terminal, on Windows an in-process line) opens like a port.
            if (!virtualController_->ensureStarted()) {
                OnStatus(StatusCannotOpenPort);
                showOpenError(QString::fromStdString(virtualController_->lastError()));
                return;
            }
            path = virtualController_->slavePath();
        } else if (index >= 0 && static_cast<size_t>(index) < ports_.size()) {
            path = ports_[static_cast<size_t>(index)].path;
        }
        if (!path.empty()) {
            control_->setPortPath(port, path.c_str());
            connectedPath_ = QString::fromStdString(path);
        }
    }
    simulated_ = port == 0;
    control_->Connect(port);
    setTestModeEnabled(false);
}

void DlgMain::showDisplaySettings() {
    DisplaySettingsDialog dialog(this, &model_->displaySettings);
    if (dialog.exec() == 0)
        return;
    const DisplaySettings& settings = model_->displaySettings;
    // At night the graph stays dark; the chosen scheme comes back with the day.
    dayColorScheme_ = settings.colorScheme;
    graph_->setColorScheme(nightMode_.on() ? 0 : settings.colorScheme);
    graph_->setScale(settings.scaleIndex);
    graph_->setVerticalOffset(settings.verticalOffset);
    graph_->repaint();
}

void DlgMain::setNightMode(bool on) {
    if (on == nightMode_.on())
        return;
    if (on)
        dayColorScheme_ = graph_->colorScheme();
    nightMode_.setOn(on);
    nightToggle_->setChecked(on);
    // The graph's own colours are all red; a black background completes it.
    graph_->setColorScheme(on ? 0 : dayColorScheme_);
    graph_->repaint();
}

bool DlgMain::exportData() {
    const QString directory = QDir::currentPath();
    const QString where = directory.isEmpty() ? QStringLiteral("data.dat in the current directory")
                                              : QDir(directory).absoluteFilePath(QStringLiteral("data.dat"));
    errno = 0;
    const bool written = model_->exportData("data.dat");
    const int error = errno;
    if (!written) {
        QString text = QStringLiteral("The records could not be written to %1").arg(where);
        if (error != 0)
            text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        text += QStringLiteral(".\nNothing was exported; the records are still in memory.");
        exportNote_->setText(QStringLiteral("Export failed"));
        exportNote_->setToolTip(text);
        message(QStringLiteral("Export failed"), text, true);
        return false;
    }
    unexported_ = 0;
    const QString note = QStringLiteral("Exported %1 records to %2").arg(model_->rawCount).arg(where);
    exportNote_->setToolTip(note);
    exportNote_->setText(
        exportNote_->fontMetrics().elidedText(note, Qt::ElideMiddle, std::max(1, exportNote_->width())));
    return true;
}

bool DlgMain::mayEnd() {
    // Records stored raw but never written out would be lost with the program; after a new device
    // record emptied the raw area there is nothing left to save.
    if (unexported_ == 0 || model_->rawCount == 0)
        return true;
    const uint32_t count = std::min(unexported_, model_->rawCount);
    ExitAnswer answer = ExitAnswer::Stay;
    if (exitQuestion_) {
        answer = exitQuestion_(count);
    } else {
        QMessageBox box(
            nightMode_.on() ? QMessageBox::NoIcon : QMessageBox::Question,
            QStringLiteral("Unexported records"),
            QStringLiteral("%1 records have not been exported.\nQuit and discard them?").arg(count),
            QMessageBox::Yes | QMessageBox::No, this);
        QPushButton* exportButton = box.addButton(QStringLiteral("Export and quit"), QMessageBox::AcceptRole);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        box.exec();
        if (box.clickedButton() == exportButton)
            answer = ExitAnswer::ExportAndQuit;
        else if (box.clickedButton() == box.button(QMessageBox::Yes))
            answer = ExitAnswer::Discard;
    }
    switch (answer) {
    case ExitAnswer::Discard:
        return true;
    case ExitAnswer::ExportAndQuit:
        return exportData(); // a failed export has told the user; the dialog stays
    case ExitAnswer::Stay:
        break;
    }
    return false;
}

void DlgMain::message(const QString& title, const QString& text, bool error) {
    if (messageSink_) {
        messageSink_(title, text, error);
        return;
    }
    // The standard icons are coloured pictures; at night the text alone speaks.
    const QMessageBox::Icon icon =
        nightMode_.on() ? QMessageBox::NoIcon : (error ? QMessageBox::Critical : QMessageBox::Information);
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.exec();
}

bool DlgMain::command(int id) {
    switch (id) {
    case IdOk:
        if (mayEnd())
            done(1);
        return true;
    case IdExit:
        if (mayEnd())
            done(0);
        return true;
    case IdConnect:
        connectPort();
        return true;
    case IdDisconnect:
        control_->Disconnect();
        setTestModeEnabled(true);
        return true;
    case IdTestMode:
        // The check box toggles on a click while it is enabled.
        if (testMode_->isEnabled())
            testMode_->setChecked(!testMode_->isChecked());
        return true;
    case kOpenErrorReasonId:
        if (!openErrorReason_.isEmpty())
            message(QStringLiteral("Cannot open port"), openErrorReason_, true);
        return true;
    case kNightModeId:
        setNightMode(!nightMode_.on());
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
        peRateIndex_ = simulated_ ? -1 : log.logRate;
        return true;
    }
    case IdStop:
        control_->StopLog();
        return true;
    case IdFetchLog:
        control_->FetchLog();
        return true;
    case IdExport:
        exportData();
        return true;
    case IdNoAction:
        return true;
    case IdClear:
        model_->clear();
        unexported_ = 0;
        graph_->invalidate();
        peMonitor_.reset();
        peLine_->clear();
        return true;
    default:
        return false;
    }
}
