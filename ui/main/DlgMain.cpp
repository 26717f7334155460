#include "ui/main/DlgMain.h"

#include "engine/iEngineCommands.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "rz4/StatusCode.h"
#include "ui/common/NoteLabel.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ClosedLoopDialog.h"
#include "ui/dialogs/DisplaySettingsDialog.h"
#include "ui/dialogs/LogSettingsDialog.h"
#include "ui/dialogs/MotorDriveInfoDialog.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/graph/GraphFrame.h"
#include "ui/main/LogOpener.h"
#include "ui/main/NoticeEvents.h"
#include "ui/main/StatusLine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// Client size of the dialog and the smallest size it may take, in dialog units.
constexpr int kWidth = 512;
constexpr int kHeight = 194;
constexpr int kMinWidth = 525;
constexpr int kMinHeight = 194;

// The status line's rectangle in dialog units, without and with the "Why?" button at its right end.
constexpr int kStatusX = 259;
constexpr int kStatusY = 5;
constexpr int kStatusW = 124;
constexpr int kStatusH = 12;
constexpr int kWhyW = 23;
constexpr int kWhyGap = 2;

} // namespace

DlgMain::DlgMain(AppModel* model, iEngineCommands* control, DataTransfer* transfer,
                 VirtualController* virtualController, QWidget* owner)
    : TemplateDialog(owner, QStringLiteral("Astrelvo 1.1. (for RZ4 controller)"), kWidth, kHeight),
      model_(model), control_(control), transfer_(transfer), portList_(virtualController) {
    notices_ = new NoticeEvents(transfer_, this);
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
    portList_.fill(portBox_);

    peMonitor_.watch(model_, peLine_);
    // While a log is open the periodic-error line shows its figures.
    connect(logOpener(), &LogOpener::changed, this, [this] { peMonitor_.showLog(logOpener()->log()); });
    portBox_->lineEdit()->installEventFilter(this);
    portBox_->installEventFilter(this);
}

bool DlgMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == portBox_ || watched == portBox_->lineEdit()) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
            command(IdConnect);
            return true;
        }
    }
    return TemplateDialog::eventFilter(watched, event);
}

DlgMain::~DlgMain() = default;

void DlgMain::buildControls() {
    // Top row: port, connection, test mode, status, night mode, About and Exit.
    addStatic(IdStatic, QStringLiteral("Port:"), 4, 7, 20, 12, Qt::AlignRight);

    portBox_ = new QComboBox(this);
    portBox_->setObjectName(QString::number(IdPortList));
    portBox_->setGeometry(units().rect(28, 5, 56, 13));

    addButton(kRefreshPortsId, QStringLiteral("Refresh"), 86, 5, 30, 13)
        ->setToolTip(QStringLiteral("Look for serial devices again"));
    addButton(IdConnect, QStringLiteral("Connect"), 119, 5, 38, 13);
    addButton(IdDisconnect, QStringLiteral("Disconnect"), 160, 5, 46, 13);
    testMode_ = addCommandCheckBox(IdTestMode, QStringLiteral("Test mode"), 210, 6, 47, 12);
    testMode_->setToolTip(QStringLiteral("Connect runs the built-in simulator instead of opening a port"));
    QLineEdit* status = addEdit(IdStatusLine, kStatusX, kStatusY, kStatusW, kStatusH, true);
    QPushButton* why = addButton(kOpenErrorReasonId, QStringLiteral("Why?"), kStatusX + kStatusW - kWhyW,
                                 kStatusY, kWhyW, kStatusH);
    statusLine_ =
        std::make_unique<StatusLine>(status, why, units().rect(kStatusX, kStatusY, kStatusW, kStatusH),
                                     units().rect(kStatusX, kStatusY, kStatusW - kWhyW - kWhyGap, kStatusH));
    nightToggle_ = addCommandCheckBox(kNightModeId, QStringLiteral("Night mode"), 387, 6, 52, 12);
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
    addButton(kOpenLogId, LogOpener::openButtonText(), 322, 28, 44, 13);
    addButton(kAnalysisId, QStringLiteral("Analysis..."), 369, 28, 42, 13)
        ->setToolTip(QStringLiteral("Spectrum, harmonics and worm cycle of the samples or the open log"));

    addButton(IdStart, QStringLiteral("Start"), 4, 44, 32, 13);
    addButton(IdStop, QStringLiteral("Stop"), 40, 44, 32, 13);
    addButton(IdClear, QStringLiteral("Clear"), 76, 44, 32, 13);
    addButton(IdFetchLog, QStringLiteral("Fetch"), 112, 44, 32, 13)
        ->setToolTip(QStringLiteral("Ask the controller for the records it has logged"));
    addButton(IdExport, QStringLiteral("Export"), 148, 44, 32, 13)
        ->setToolTip(QStringLiteral("Write the stored records to data.dat in the current directory"));
    addButton(kCsvExportId, QStringLiteral("CSV..."), 183, 44, 28, 13)
        ->setToolTip(QStringLiteral("Write the stored records to an Astrelvo CSV log"));
    addEdit(IdCounterLine, 214, 44, 154, 12, true);
    auto* exportNote = new NoteLabel(this);
    exportNote->setObjectName(QString::number(kExportNoteId));
    exportNote->setGeometry(units().rect(415, 30, 93, 12));
    peLine_ = addEdit(kPeLineId, 372, 44, 136, 12, true);
    peLine_->setToolTip(QStringLiteral("Periodic error of the stored samples"));

    graphFrame_ = new GraphFrame(model_, this);
    graphFrame_->setObjectName(QString::number(IdGraph));
    graph_ = graphFrame_->graph();
    logActions_ = std::make_unique<LogActions>(
        this, model_, graph_, &prompts_,
        LogActions::Controls{exportNote, qobject_cast<QLineEdit*>(control(IdCounterLine)),
                             qobject_cast<QPushButton*>(control(kOpenLogId))});
}

uint32_t DlgMain::unexportedRecords() const {
    return model_->unexportedRaw();
}

const QString& DlgMain::openErrorReason() const {
    return statusLine_->openError();
}

QWidget* DlgMain::graphControl() const {
    return graphFrame_;
}

void DlgMain::updateMinimumSize() {
    // The smallest size counts the window frame, as far as the window system tells it. A thin frame
    // would leave a smallest client area wider than the template's: the window opens at the template's
    // size, so the smallest size never exceeds it.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    const int w = std::min(units().x(kMinWidth) - std::max(0, frame.width()), units().x(kWidth));
    const int h = std::min(units().y(kMinHeight) - std::max(0, frame.height()), units().y(kHeight));
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
    // The periodic-error line and the export note end where the graph ends.
    for (QWidget* stretching : {control(kPeLineId), control(kExportNoteId)})
        stretching->resize(std::max(1, graphLeft_ + w - stretching->x()), stretching->height());
}

void DlgMain::OnStatus(uint32_t code) {
    const uint32_t status = code & 0xFFFF;
    if (status >= kStatusCodeCount)
        return;
    statusLine_->showStatus(status);
    logActions_->status(status);
    // A port that cannot be opened: the OS knows why, and the user can act on it.
    const int error = status == StatusCannotOpenPort ? control_->lastOpenError() : 0;
    statusLine_->setOpenError(error == 0 ? QString() : StatusLine::openErrorText(error, connectedPath_));
}

void DlgMain::OnEncoderBits(uint32_t bits) {
    graph_->setEncoderBits(static_cast<int>(bits));
}

void DlgMain::OnNewData(uint32_t first, uint32_t received, uint32_t available) {
    char text[96];
    std::snprintf(text, sizeof text, "Received:%d  Total:%d  Available:%d", static_cast<int>(received),
                  static_cast<int>(first + received), static_cast<int>(available));
    if (!logOpener()->isOpen()) // the counter line names the open log
        setEditText(IdCounterLine, QString::fromLatin1(text));
    graph_->drawNew(first, received);
}

void DlgMain::OnMarker(uint32_t) {
    logActions_->liveMarkersChanged();
}

void DlgMain::connectPort() {
    if (!logActions_->mayConnect())
        return;
    uint32_t port = 0;
    connectedPath_.clear();
    if (!testMode_->isChecked()) {
        // Entry i of the list is port i + 1; its device path goes into the engine's table first.
        const PortList::Choice choice = portList_.resolve();
        if (!choice.error.empty()) {
            OnStatus(StatusCannotOpenPort);
            statusLine_->setOpenError(QString::fromStdString(choice.error));
            return;
        }
        port = choice.port;
        if (!choice.path.empty()) {
            control_->setPortPath(port, choice.path.c_str());
            connectedPath_ = QString::fromStdString(choice.path);
        }
    }
    simulated_ = port == 0;
    logActions_->connecting(connectedPath_);
    control_->Connect(port);
    testMode_->setEnabled(false);
}

void DlgMain::showDisplaySettings() {
    DisplaySettingsDialog dialog(this, &model_->displaySettings);
    if (dialog.exec() == 0)
        return;
    const DisplaySettings& settings = model_->displaySettings;
    graph_->setColorScheme(settings.colorScheme);
    graph_->setScale(settings.scaleIndex);
    graph_->setVerticalOffset(settings.verticalOffset);
    graph_->setTimeAxis(settings.timeAxis);
    graph_->setAutoScale(settings.autoScale);
    graph_->setCentre(settings.centre);
    graph_->repaint();
}

void DlgMain::setNightMode(bool on) {
    if (on == nightMode_.on())
        return;
    nightMode_.setOn(on);
    nightToggle_->setChecked(on);
    logActions_->setNight(on);
    // The graph's own colours are all red; a black background completes it.
    graph_->setNight(on);
    graph_->repaint();
}

bool DlgMain::command(int id) {
    switch (id) {
    case IdOk:
        if (logActions_->mayLose(ExitGuard::Loss::Quit))
            done(1);
        return true;
    case IdExit:
        if (logActions_->mayLose(ExitGuard::Loss::Quit))
            done(0);
        return true;
    case IdConnect:
        connectPort();
        return true;
    case IdDisconnect:
        control_->Disconnect();
        logActions_->loggingStopped();
        testMode_->setEnabled(true);
        return true;
    case IdTestMode:
        // The check box toggles on a click while it is enabled.
        if (testMode_->isEnabled())
            testMode_->setChecked(!testMode_->isChecked());
        return true;
    case kOpenErrorReasonId:
        if (!statusLine_->openError().isEmpty())
            message(QStringLiteral("Cannot open port"), statusLine_->openError(), true);
        return true;
    case kNightModeId:
        setNightMode(!nightMode_.on());
        return true;
    case kRefreshPortsId:
        portList_.refresh();
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
        dialog.setTuningHost({[this] { return logging(); }, [this] { command(IdStart); }, simulated_,
                              [this] { command(IdStop); }});
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
        logActions_->loggingStarted();
        const LogSettings& log = model_->logSettings;
        control_->StartLog(log.logProcessed ? 3 : 1, static_cast<uint32_t>(log.logRate));
        peMonitor_.setLogRateIndex(simulated_ ? -1 : log.logRate);
        graph_->setLiveLogRate(simulated_ ? -1 : log.logRate);
        return true;
    }
    case IdStop:
        control_->StopLog();
        logActions_->loggingStopped();
        return true;
    case IdFetchLog:
        control_->FetchLog();
        return true;
    case IdExport:
        logActions_->exportDataDat();
        return true;
    case kCsvExportId:
        logActions_->exportCsv();
        return true;
    case kOpenLogId:
        logActions_->openOrCloseLog();
        return true;
    case kAnalysisId:
        logActions_->showAnalysis();
        return true;
    case IdNoAction:
        return true;
    case IdClear:
        model_->clear();
        graph_->invalidate();
        logActions_->liveMarkersChanged();
        peMonitor_.reset();
        return true;
    default:
        return false;
    }
}
