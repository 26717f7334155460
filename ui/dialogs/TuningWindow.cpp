#include "ui/dialogs/TuningWindow.h"

#include "engine/EngineEvent.h"
#include "engine/iEngineCommands.h"
#include "model/analysis/PeAnalysis.h"
#include "model/analysis/TuneMeasurement.h"
#include "model/store/AppModel.h"
#include "rz4/Rz4Protocol.h"
#include "ui/analysis/PlotPalette.h"
#include "ui/analysis/PlotView.h"
#include "ui/common/NightMode.h"

#include <QApplication>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPollMs = 200;
constexpr int kDefaultSeconds = 300;
constexpr int kDefaultMaxSteps = 16;
// A step needs enough samples for the analysis and must fit the sample store.
constexpr double kMinStepSamples = 8;
constexpr double kMaxStepSamples = 190000;

QString gainsText(const PidSearch::Gains& g) {
    return QStringLiteral("P %1, I %2, D %3").arg(g[0]).arg(g[1]).arg(g[2]);
}

QString arcsec(double v) {
    return QString::number(v, 'f', 3);
}

} // namespace

TuningWindow::TuningWindow(QWidget* owner, AppModel* model, iEngineCommands* engine, Host host)
    : TemplateDialog(owner, QStringLiteral("Tune the closed loop"), 440, 270), model_(model), engine_(engine),
      host_(std::move(host)) {
    const Qt::Alignment right = Qt::AlignRight;
    addGroupBox(1000, QStringLiteral("Search"), 4, 4, 150, 92);
    addStatic(1001, QStringLiteral("Gains:"), 10, 17, 40, 10, right);
    addCheckBox(IdSearchP, QStringLiteral("P"), 54, 16, 24, 12)->setChecked(true);
    addCheckBox(IdSearchI, QStringLiteral("I"), 80, 16, 24, 12);
    addCheckBox(IdSearchD, QStringLiteral("D"), 106, 16, 24, 12);
    addStatic(1002, QStringLiteral("Seconds per step:"), 10, 33, 66, 10, right);
    addEdit(IdSeconds, 80, 32, 40, 12)->setText(QString::number(kDefaultSeconds));
    addStatic(1003, QStringLiteral("Max. steps:"), 10, 49, 66, 10, right);
    addEdit(IdMaxSteps, 80, 48, 40, 12)->setText(QString::number(kDefaultMaxSteps));
    addButton(IdStart, QStringLiteral("Start"), 10, 70, 64, 16);
    addButton(IdStop, QStringLiteral("Stop"), 80, 70, 64, 16);
    addWrappedStatic(IdStatus, QString(), 160, 6, 276, 20);

    notes_ = new QPlainTextEdit(this);
    notes_->setObjectName(QString::number(IdNotes));
    notes_->setReadOnly(true);
    notes_->setGeometry(units().rect(160, 28, 276, 68));

    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QString::number(IdTable));
    table_->setHorizontalHeaderLabels({QStringLiteral("Step"), QStringLiteral("P"), QStringLiteral("I"),
                                       QStringLiteral("D"), QStringLiteral("RMS \"")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setGeometry(units().rect(4, 100, 200, 144));

    plot_ = new PlotView(this);
    plot_->setObjectName(QString::number(IdPlot));
    plot_->setTitle(QStringLiteral("RMS against each gain's value"));
    plot_->setAxisTitles(QStringLiteral("gain"), QStringLiteral("RMS (arcsec)"));
    plot_->setLogX(true);
    plot_->setMessage(QStringLiteral("The steps appear here as they come in."));
    plot_->setGeometry(units().rect(208, 100, 228, 144));

    addButton(IdKeep, QStringLiteral("Keep"), 4, 250, 60, 16)
        ->setToolTip(QStringLiteral("Leave the best gains in the controller (not stored in EEPROM)"));
    addButton(IdKeepAndStore, QStringLiteral("Keep and store in EEPROM"), 68, 250, 110, 16);
    addButton(IdRestore, QStringLiteral("Restore"), 182, 250, 60, 16)
        ->setToolTip(QStringLiteral("Send the values the controller had at Start back"));
    addButton(IdClose, QStringLiteral("Close"), 376, 250, 60, 16);

    const ClosedLoopSettings& s = model_->closedLoopSettings;
    setStatus(host_.testMode
                  ? QStringLiteral("The test mode has no closed loop to tune.")
                  : QStringLiteral("Step 0 measures P %1, I %2, D %3 as they are; then each gain "
                                   "ticked is searched between a quarter and four times its value.")
                        .arg(s.pGain)
                        .arg(s.iGain)
                        .arg(s.dGain));
    // Night mode replaces the application's style sheet; the plot draws its own colours.
    setNight(qApp != nullptr && !qApp->styleSheet().isEmpty() &&
             qApp->styleSheet() == NightMode::styleSheet());
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &TuningWindow::poll);
    clock_.start();
    enableControls();
}

TuningWindow::~TuningWindow() = default;

void TuningWindow::setNight(bool night) {
    night_ = night;
    plot_->setColours(PlotPalette::of(night));
    if (search_)
        updatePlot();
    plot_->update();
}

QString TuningWindow::statusText() const {
    if (auto* label = qobject_cast<QLabel*>(control(IdStatus)))
        return label->text();
    return {};
}

QString TuningWindow::notesText() const {
    return notes_->toPlainText();
}

void TuningWindow::setStatus(const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(control(IdStatus)))
        label->setText(text);
}

void TuningWindow::enableControls() {
    const bool running = state_ != State::Idle && state_ != State::Ended;
    const bool choice = state_ == State::Ended && !decided_ && search_ && search_->bestStep() >= 0;
    for (int id : {IdSearchP, IdSearchI, IdSearchD, IdSeconds, IdMaxSteps})
        control(id)->setEnabled(!running);
    // A finished search is decided before the next one starts, so that Start knows what the controller holds.
    control(IdStart)->setEnabled(!running && !host_.testMode && decided_);
    control(IdStop)->setEnabled(running);
    for (int id : {IdKeep, IdKeepAndStore, IdRestore})
        control(id)->setEnabled(choice);
}

bool TuningWindow::command(int id) {
    switch (id) {
    case IdClose:
        done(0);
        return true;
    case IdStart:
        start();
        return true;
    case IdStop:
        stop();
        return true;
    case IdKeep:
    case IdKeepAndStore:
    case IdRestore:
        decide(id);
        return true;
    case IdSearchP:
    case IdSearchI:
    case IdSearchD:
        return true;
    default:
        return false;
    }
}

void TuningWindow::done(int result) {
    if (!decided_)
        abandon(QString());
    timer_.stop();
    TemplateDialog::done(result);
}

bool TuningWindow::confirmStore() {
    return QMessageBox::question(this, QStringLiteral("Store in EEPROM"),
                                 QStringLiteral("Store the kept gains in the controller's EEPROM, so that it "
                                                "starts with them from now on?")) == QMessageBox::Yes;
}

std::array<uint16_t, 10> TuningWindow::stepValues(const PidSearch::Gains& g) const {
    if (g[0] == original_[0] && g[1] == original_[1] && g[2] == original_[2])
        return original_;
    return {g[0], g[1], g[2], 0, 0, 0, original_[6], original_[7], 0, 0};
}

void TuningWindow::start() {
    if (host_.testMode || !decided_ || (state_ != State::Idle && state_ != State::Ended))
        return;
    PidSearch::Settings settings;
    for (int g = 0; g < 3; ++g)
        if (isChecked(IdSearchP + g))
            settings.order.push_back(g);
    bool secondsOk = false;
    bool stepsOk = false;
    const int seconds = editText(IdSeconds).trimmed().toInt(&secondsOk);
    settings.maxSteps = editText(IdMaxSteps).trimmed().toInt(&stepsOk);
    rateIndex_ = static_cast<int>(std::min<uint32_t>(model_->logSettings.logRate, rz4::kLogRateCount - 1));
    const double samples = secondsOk ? seconds * peLogRateHz(rateIndex_) : 0.0;
    if (settings.order.empty()) {
        setStatus(QStringLiteral("Tick at least one gain to search."));
        return;
    }
    if (!secondsOk || seconds < 1 || samples < kMinStepSamples || samples > kMaxStepSamples) {
        setStatus(
            QStringLiteral("Seconds per step: a step needs 8 to 190000 samples at the log rate (%1 Hz).")
                .arg(peLogRateHz(rateIndex_)));
        return;
    }
    if (!stepsOk || settings.maxSteps < 2 || settings.maxSteps > 1000) {
        setStatus(QStringLiteral("Max. steps: a whole number from 2 to 1000."));
        return;
    }
    needed_ = static_cast<uint32_t>(std::lround(samples));

    // What the controller holds now: as read at connect, or what Send PID sent since.
    const DeviceInfo& info = model_->deviceInfo;
    const ClosedLoopSettings& s = model_->closedLoopSettings;
    for (int i = 0; i < 10; ++i)
        original_[static_cast<std::size_t>(i)] = static_cast<uint16_t>(info.pidParameters[i]);
    const std::array<uint32_t, 5> shown = {s.pGain, s.iGain, s.dGain, s.iSamples, s.dSamples};
    const std::array<uint32_t, 5> read = {info.pidParameters[0], info.pidParameters[1], info.pidParameters[2],
                                          info.pidParameters[6], info.pidParameters[7]};
    if (shown != read)
        original_ = {static_cast<uint16_t>(s.pGain),
                     static_cast<uint16_t>(s.iGain),
                     static_cast<uint16_t>(s.dGain),
                     0,
                     0,
                     0,
                     static_cast<uint16_t>(s.iSamples),
                     static_cast<uint16_t>(s.dSamples),
                     0,
                     0};
    sent_ = original_;

    search_ =
        std::make_unique<PidSearch>(PidSearch::Gains{original_[0], original_[1], original_[2]}, settings);
    table_->setRowCount(0);
    notes_->clear();
    plot_->clearData();
    plot_->setTitle(QStringLiteral("RMS against each gain's value"));
    plot_->setMessage(QStringLiteral("The steps appear here as they come in."));
    decided_ = false;
    step_ = 0;
    if (host_.logging && !host_.logging()) {
        if (host_.startLogging)
            host_.startLogging();
        else
            engine_->StartLog(rz4::kLogTrackingError, static_cast<uint32_t>(rateIndex_));
    }
    PidSearch::Gains gains{};
    search_->next(gains);
    sampleFrom_ = model_->sampleCount;
    state_ = State::Measuring;
    deadline_ = nowMs() + static_cast<qint64>(needed_ / peLogRateHz(rateIndex_) * 1000.0) + kAnswerTimeoutMs;
    setStatus(QStringLiteral("Step 0: measuring %1 as they are (%2 s).").arg(gainsText(gains)).arg(seconds));
    timer_.start();
    enableControls();
}

void TuningWindow::stop() {
    if (state_ == State::Idle || state_ == State::Ended)
        return;
    abandon(QStringLiteral("Stopped."));
}

void TuningWindow::abandon(const QString& why) {
    engine_->SendPid(original_.data());
    sent_ = original_;
    decided_ = true;
    state_ = State::Ended;
    timer_.stop();
    if (!why.isEmpty())
        setStatus(why + QStringLiteral(" The values the controller had at Start were sent back (%1).")
                            .arg(gainsText({original_[0], original_[1], original_[2]})));
    enableControls();
}

void TuningWindow::send(const std::array<uint16_t, 10>& values, State next) {
    markerFrom_ = model_->markerCount;
    sent_ = values;
    engine_->SendPid(values.data());
    state_ = next;
    deadline_ = nowMs() + kAnswerTimeoutMs;
}

bool TuningWindow::takenMarker(uint32_t& sample) const {
    uint8_t arguments[20];
    for (int i = 0; i < 10; ++i) {
        arguments[2 * i] = static_cast<uint8_t>(sent_[static_cast<std::size_t>(i)]);
        arguments[2 * i + 1] = static_cast<uint8_t>(sent_[static_cast<std::size_t>(i)] >> 8);
    }
    for (uint32_t i = markerFrom_; i < model_->markerCount && i < AppModel::kMaxMarkers; ++i) {
        const Marker& m = model_->markers[i];
        if (m.command == CmdSendPid && m.argumentCount >= 20 &&
            std::equal(arguments, arguments + 20, m.arguments)) {
            sample = m.sample;
            return true;
        }
    }
    return false;
}

void TuningWindow::poll() {
    uint32_t sample = 0;
    switch (state_) {
    case State::Taking:
    case State::Returning:
    case State::Storing:
        if (takenMarker(sample)) {
            if (state_ == State::Storing) {
                engine_->StoreParameters();
                state_ = State::Ended;
                timer_.stop();
                setStatus(QStringLiteral("Kept %1 and asked the controller to store them in EEPROM.")
                              .arg(gainsText({sent_[0], sent_[1], sent_[2]})));
                enableControls();
            } else if (state_ == State::Returning) {
                advance();
            } else {
                sampleFrom_ = sample;
                state_ = State::Measuring;
                deadline_ = nowMs() + static_cast<qint64>(needed_ / peLogRateHz(rateIndex_) * 1000.0) +
                            kAnswerTimeoutMs;
                setStatus(QStringLiteral("Step %1: the controller took %2; measuring.")
                              .arg(step_)
                              .arg(gainsText({sent_[0], sent_[1], sent_[2]})));
                poll(); // the samples may be in already
            }
        } else if (nowMs() > deadline_) {
            if (state_ == State::Taking)
                failStep(QStringLiteral("the controller did not take the gains"));
            else
                abandon(QStringLiteral("The controller did not take the values sent."));
        }
        return;
    case State::Measuring:
        if (model_->sampleCount >= sampleFrom_ + needed_ && sampleFrom_ + needed_ <= AppModel::kMaxSamples)
            measureStep();
        else if (model_->sampleCount >= AppModel::kMaxSamples)
            abandon(QStringLiteral("The sample store is full: export and clear it, then start again."));
        else if (nowMs() > deadline_)
            failStep(QStringLiteral("no samples came from the controller"));
        return;
    default:
        return;
    }
}

void TuningWindow::measureStep() {
    const TuneMeasurement m = TuneMeasurement::of(model_->samples + sampleFrom_, needed_,
                                                  model_->deviceInfo.encoderBits, rateIndex_);
    if (!m.pe.valid) {
        failStep(QStringLiteral("its samples could not be analysed"));
        return;
    }
    search_->report(m.pe.rmsArcsec, m.noiseArcsec);
    addRow();
    updatePlot();
    advance();
}

void TuningWindow::failStep(const QString& why) {
    if (step_ == 0) {
        abandon(QStringLiteral("Step 0: %1.").arg(why));
        return;
    }
    search_->reportFailure();
    addRow();
    setStatus(QStringLiteral("Step %1: %2.").arg(step_).arg(why));
    advance();
}

void TuningWindow::advance() {
    addNotes();
    PidSearch::Gains gains{};
    if (state_ != State::Returning && search_->takeReturnToBest(gains)) {
        send(stepValues(gains), State::Returning);
        setStatus(QStringLiteral("Back to the best values so far: %1.").arg(gainsText(gains)));
        enableControls();
        return;
    }
    if (!search_->next(gains)) {
        addNotes();
        finish();
        return;
    }
    addNotes();
    ++step_;
    send(stepValues(gains), State::Taking);
    setStatus(QStringLiteral("Step %1 of at most %2: sent %3, waiting for the controller to take it.")
                  .arg(step_)
                  .arg(editText(IdMaxSteps).trimmed())
                  .arg(gainsText(gains)));
    enableControls();
}

void TuningWindow::finish() {
    state_ = State::Ended;
    timer_.stop();
    const int best = search_->bestStep();
    if (best < 0) {
        abandon(QStringLiteral("No step brought a figure."));
        return;
    }
    const double rms = search_->steps()[static_cast<std::size_t>(best)].rms;
    const QString result = QStringLiteral("Best: step %1, %2, RMS %3\" (step 0: %4\").")
                               .arg(best)
                               .arg(gainsText(search_->bestGains()))
                               .arg(arcsec(rms))
                               .arg(arcsec(search_->baselineRms()));
    notes_->appendPlainText(result);
    if (best < table_->rowCount())
        for (int c = 0; c < table_->columnCount(); ++c)
            if (QTableWidgetItem* item = table_->item(best, c)) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
            }
    setStatus(result + QStringLiteral(" Keep them, keep and store them, or restore."));
    enableControls();
}

void TuningWindow::decide(int id) {
    if (state_ != State::Ended || decided_ || !search_ || search_->bestStep() < 0)
        return;
    const PidSearch::Gains best = search_->bestGains();
    if (id == IdRestore) {
        engine_->SendPid(original_.data());
        sent_ = original_;
        decided_ = true;
        setStatus(QStringLiteral("Restored %1.").arg(gainsText({original_[0], original_[1], original_[2]})));
        enableControls();
        return;
    }
    if (id == IdKeepAndStore && !confirmStore())
        return;
    const std::array<uint16_t, 10> values = stepValues(best);
    decided_ = true;
    // The dialog's settings follow what the controller now holds, as after Send PID.
    ClosedLoopSettings& s = model_->closedLoopSettings;
    s.pGain = values[0];
    s.iGain = values[1];
    s.dGain = values[2];
    s.iSamples = values[6];
    s.dSamples = values[7];
    if (id == IdKeepAndStore) {
        // The gains go first; the store waits until a block shows the controller took them.
        send(values, State::Storing);
        timer_.start();
        setStatus(QStringLiteral("Sent %1; they are stored in EEPROM once the controller took them.")
                      .arg(gainsText(best)));
    } else {
        engine_->SendPid(values.data());
        sent_ = values;
        setStatus(QStringLiteral("Kept %1 (not stored in EEPROM).").arg(gainsText(best)));
    }
    enableControls();
}

void TuningWindow::addNotes() {
    for (const std::string& note : search_->takeNotes())
        notes_->appendPlainText(QString::fromStdString(note));
}

void TuningWindow::addRow() {
    const PidSearch::Step& s = search_->steps().back();
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString cells[5] = {QString::number(row), QString::number(s.gains[0]), QString::number(s.gains[1]),
                              QString::number(s.gains[2]), s.measured ? arcsec(s.rms) : QStringLiteral("--")};
    for (int c = 0; c < 5; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, c, item);
    }
    table_->scrollToBottom();
}

void TuningWindow::updatePlot() {
    // One curve per gain: its steps by value, and step 0 at the gain's value then.
    const PlotPalette palette = PlotPalette::of(night_);
    const QColor colours[3] = {palette.primary, palette.secondary, palette.mark};
    const Qt::PenStyle styles[3] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine};
    std::vector<PlotSeries> series;
    const auto& steps = search_->steps();
    for (int g = 0; g < 3; ++g) {
        PlotSeries curve;
        for (const PidSearch::Step& s : steps)
            if (s.measured &&
                (s.gain == g || (s.gain == -1 && s.gains[static_cast<std::size_t>(g)] > 0 &&
                                 std::any_of(steps.begin(), steps.end(),
                                             [g](const PidSearch::Step& t) { return t.gain == g; }))))
                curve.points.emplace_back(s.gains[static_cast<std::size_t>(g)], s.rms);
        if (curve.points.empty())
            continue;
        std::sort(curve.points.begin(), curve.points.end(),
                  [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        curve.colour = colours[g];
        curve.style = styles[g];
        curve.width = 1.5;
        curve.legend = QString::fromLatin1(PidSearch::gainName(g));
        series.push_back(curve);
        PlotSeries dots = curve;
        dots.dots = true;
        dots.legend.clear();
        series.push_back(dots);
    }
    // A margin either side, so that the outermost rings show whole.
    double lo = 0.0;
    double hi = 0.0;
    for (const PlotSeries& curve : series)
        for (const QPointF& p : curve.points) {
            lo = lo > 0.0 ? std::min(lo, p.x()) : p.x();
            hi = std::max(hi, p.x());
        }
    if (lo > 0.0)
        plot_->setXRange(lo / 1.15, hi * 1.15);
    plot_->setMessage(series.empty() ? QStringLiteral("Step 0 is measured; the gains' steps follow.")
                                     : QString());
    plot_->setSeries(std::move(series));
}
