#include "ui/dialogs/TuningWindow.h"

#include "engine/iEngineCommands.h"
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

QString arcsec(double v) {
    return QString::number(v, 'f', 3);
}

// A text of the run as a sentence: capitalised, with a full stop.
QString sentence(const std::string& text) {
    QString s = QString::fromStdString(text);
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s.endsWith(QLatin1Char('.')) ? s : s + QLatin1Char('.');
}

} // namespace

TuningWindow::TuningWindow(QWidget* owner, AppModel* model, iEngineCommands* engine, Host host)
    : TemplateDialog(owner, QStringLiteral("Tune the closed loop"), 440, 270), model_(model), engine_(engine),
      host_(std::move(host)), run_(*model, *engine, *this, *this) {
    const Qt::Alignment right = Qt::AlignRight;
    addGroupBox(1000, QStringLiteral("Search"), 4, 4, 150, 92);
    addStatic(1001, QStringLiteral("Gains:"), 10, 17, 40, 10, right);
    addCheckBox(IdSearchP, QStringLiteral("P"), 54, 16, 24, 12)->setChecked(true);
    addCheckBox(IdSearchI, QStringLiteral("I"), 80, 16, 24, 12);
    addCheckBox(IdSearchD, QStringLiteral("D"), 106, 16, 24, 12);
    addStatic(1002, QStringLiteral("Seconds per step:"), 10, 33, 66, 10, right);
    addEdit(IdSeconds, 80, 32, 40, 12)->setText(QString::number(TuningRun::kDefaultSeconds));
    addStatic(1003, QStringLiteral("Max. steps:"), 10, 49, 66, 10, right);
    addEdit(IdMaxSteps, 80, 48, 40, 12)->setText(QString::number(TuningRun::kDefaultMaxSteps));
    addButton(IdStart, QStringLiteral("Start"), 10, 70, 64, 16);
    addButton(IdStop, QStringLiteral("Stop"), 80, 70, 64, 16);
    addWrappedStatic(IdStatus, QString(), 160, 4, 276, 40);

    notes_ = new QPlainTextEdit(this);
    notes_->setObjectName(QString::number(IdNotes));
    notes_->setReadOnly(true);
    notes_->setGeometry(units().rect(160, 46, 276, 50));

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

    // The plan follows the edits and ticks.
    for (int id : {IdSeconds, IdMaxSteps})
        if (auto* edit = qobject_cast<QLineEdit*>(control(id)))
            connect(edit, &QLineEdit::textChanged, this, [this] { showPlan(); });
    for (int id : {IdSearchP, IdSearchI, IdSearchD})
        if (auto* box = qobject_cast<QCheckBox*>(control(id)))
            connect(box, &QCheckBox::toggled, this, [this] { showPlan(); });

    // Night mode replaces the application's style sheet; the plot draws its own colours.
    setNight(qApp != nullptr && !qApp->styleSheet().isEmpty() &&
             qApp->styleSheet() == NightMode::styleSheet());
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &TuningWindow::poll);
    clock_.start();
    showPlan();
    enableControls();
}

TuningWindow::~TuningWindow() = default;

void TuningWindow::setNight(bool night) {
    night_ = night;
    plot_->setColours(PlotPalette::of(night));
    if (!steps_.empty())
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
    const bool busy = run_.stepping() || run_.ending() || closing_;
    const bool choice = run_.choosing() && run_.bestStep() >= 0 && !closing_;
    for (int id : {IdSearchP, IdSearchI, IdSearchD, IdSeconds, IdMaxSteps})
        control(id)->setEnabled(!busy && !run_.choosing());
    // A finished search is decided before the next one starts, so that Start knows what the controller holds.
    control(IdStart)->setEnabled(!busy && !run_.choosing() && !host_.testMode);
    control(IdStop)->setEnabled(run_.stepping() && !closing_);
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
        if (run_.stepping()) {
            run_.stop("stopped", nowMs());
            enableControls();
        }
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
    if (run_.stepping() || run_.choosing())
        run_.stop("closed", nowMs());
    if (run_.ending()) {
        // The window stays until the controller confirmed what goes back (or did not in time).
        closing_ = true;
        closeResult_ = result;
        setStatus(statusText() + QStringLiteral(" The window closes once that is settled."));
        enableControls();
        return;
    }
    timer_.stop();
    TemplateDialog::done(result);
}

bool TuningWindow::confirmStore(const QString& question) {
    return QMessageBox::question(this, QStringLiteral("Store in EEPROM"), question) == QMessageBox::Yes;
}

bool TuningWindow::logging() const {
    return host_.logging ? host_.logging() : startedLogging_;
}

void TuningWindow::startLogging() {
    if (host_.startLogging)
        host_.startLogging();
    else
        engine_->StartLog(rz4::kLogTrackingError, static_cast<uint32_t>(model_->logSettings.logRate));
    startedLogging_ = true;
}

void TuningWindow::stopLogging() {
    if (host_.stopLogging)
        host_.stopLogging();
    else
        engine_->StopLog();
    startedLogging_ = false;
}

bool TuningWindow::settingsFromControls(TuningRun::Settings& settings) {
    settings.search.order.clear();
    for (int g = 0; g < 3; ++g)
        if (isChecked(IdSearchP + g))
            settings.search.order.push_back(g);
    bool secondsOk = false;
    bool stepsOk = false;
    settings.secondsPerStep = editText(IdSeconds).trimmed().toInt(&secondsOk);
    settings.search.maxSteps = editText(IdMaxSteps).trimmed().toInt(&stepsOk);
    settings.rateIndex = static_cast<int>(
        std::min<uint32_t>(static_cast<uint32_t>(model_->logSettings.logRate), rz4::kLogRateCount - 1));
    if (!secondsOk || settings.secondsPerStep < 1) {
        setStatus(QStringLiteral("Seconds per step: a whole number of seconds from 1."));
        return false;
    }
    if (!stepsOk || settings.search.maxSteps < 2 || settings.search.maxSteps > 1000) {
        setStatus(QStringLiteral("Max. steps: a whole number from 2 to 1000."));
        return false;
    }
    return true;
}

void TuningWindow::showPlan() {
    if (run_.stepping() || run_.ending() || run_.choosing() || closing_)
        return;
    if (host_.testMode) {
        setStatus(QStringLiteral("The test mode has no closed loop to tune."));
        return;
    }
    TuningRun::Settings settings;
    if (!settingsFromControls(settings))
        return;
    const TuningRun::Plan plan = TuningRun::plan(settings, *model_);
    if (!plan.problem.empty()) {
        setStatus(sentence(plan.problem));
        return;
    }
    const rz4::PidGains gains = rz4::pidGainsOf(model_->controllerPid.values);
    setStatus(QStringLiteral("Step 0 measures %1 as the controller holds them; then each gain ticked is "
                             "searched between a quarter and four times its value: %2.")
                  .arg(QString::fromStdString(TuningRun::gainsText(gains)),
                       QString::fromStdString(plan.summary())));
}

void TuningWindow::start() {
    if (host_.testMode || run_.stepping() || run_.ending() || run_.choosing())
        return;
    TuningRun::Settings settings;
    if (!settingsFromControls(settings))
        return;
    std::string refusal;
    steps_.clear();
    table_->setRowCount(0);
    notes_->clear();
    plot_->clearData();
    plot_->setTitle(QStringLiteral("RMS against each gain's value"));
    plot_->setMessage(QStringLiteral("The steps appear here as they come in."));
    if (!run_.start(settings, nowMs(), refusal)) {
        setStatus(sentence(refusal));
        return;
    }
    notes_->appendPlainText(QStringLiteral("Start: %1.")
                                .arg(QString::fromStdString(TuningRun::plan(settings, *model_).summary())));
    timer_.start();
    enableControls();
}

void TuningWindow::poll() {
    run_.poll(nowMs());
    enableControls();
}

void TuningWindow::decide(int id) {
    if (!run_.choosing() || run_.bestStep() < 0)
        return;
    if (id == IdRestore) {
        run_.restore(nowMs());
    } else if (id == IdKeep) {
        run_.keep(nowMs());
    } else {
        const rz4::PidValues values = run_.valuesWith(run_.bestGains());
        const QString question =
            QStringLiteral("Store %1 in the controller's EEPROM, so that it starts with them from now on?\n\n"
                           "All ten PID values are stored: %2.\nThey are stored only once the controller "
                           "confirmed that it took them.")
                .arg(QString::fromStdString(TuningRun::gainsText(run_.bestGains())),
                     QString::fromStdString(TuningRun::valuesText(values)));
        if (!confirmStore(question))
            return;
        run_.keepAndStore(nowMs());
    }
    timer_.start();
    enableControls();
}

void TuningWindow::stepEnded(const TuningStep& step) {
    steps_.push_back(step);
    const bool figure = step.measured && step.measurement.pe.valid;
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString cells[5] = {QString::number(step.number), QString::number(step.gains[0]),
                              QString::number(step.gains[1]), QString::number(step.gains[2]),
                              figure ? arcsec(step.measurement.pe.rmsArcsec) : QStringLiteral("--")};
    for (int c = 0; c < 5; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (!step.failure.empty())
            item->setToolTip(QString::fromStdString(step.failure));
        table_->setItem(row, c, item);
    }
    table_->scrollToBottom();
    if (!step.failure.empty())
        notes_->appendPlainText(
            QStringLiteral("Step %1: %2.").arg(step.number).arg(QString::fromStdString(step.failure)));
    updatePlot();
}

void TuningWindow::note(const std::string& text) {
    notes_->appendPlainText(QString::fromStdString(text));
}

void TuningWindow::progress(const std::string& text) {
    setStatus(sentence(text));
}

void TuningWindow::stepsFinished() {
    const int best = run_.bestStep();
    if (best < 0) {
        notes_->appendPlainText(QStringLiteral("No step brought a figure."));
        return;
    }
    const QString result = QStringLiteral("Best: step %1, %2, RMS %3\" (step 0: %4\").")
                               .arg(best)
                               .arg(QString::fromStdString(TuningRun::gainsText(run_.bestGains())))
                               .arg(arcsec(run_.bestRms()))
                               .arg(arcsec(run_.baselineRms()));
    notes_->appendPlainText(result);
    for (int row = 0; row < table_->rowCount(); ++row)
        if (row < static_cast<int>(steps_.size()) && steps_[static_cast<std::size_t>(row)].number == best)
            for (int c = 0; c < table_->columnCount(); ++c)
                if (QTableWidgetItem* item = table_->item(row, c)) {
                    QFont font = item->font();
                    font.setBold(true);
                    item->setFont(font);
                }
    setStatus(result + QStringLiteral(" Keep them, keep and store them, or restore."));
    enableControls();
}

void TuningWindow::stopped(const std::string& why) {
    notes_->appendPlainText(sentence(why));
}

void TuningWindow::ended(const TuningEnd& end) {
    const QString text = sentence(end.text);
    setStatus(text);
    notes_->appendPlainText(text);
    timer_.stop();
    enableControls();
    if (closing_) {
        closing_ = false;
        TemplateDialog::done(closeResult_);
    }
}

void TuningWindow::updatePlot() {
    // One curve per gain: its steps by value, and step 0 at the gain's value then.
    const PlotPalette palette = PlotPalette::of(night_);
    const QColor colours[3] = {palette.primary, palette.secondary, palette.mark};
    const Qt::PenStyle styles[3] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine};
    const PidSearch* search = run_.search();
    std::vector<PlotSeries> series;
    const auto searched = [search](int g) {
        if (search == nullptr)
            return false;
        const auto& steps = search->steps();
        return std::any_of(steps.begin(), steps.end(), [g](const PidSearch::Step& t) { return t.gain == g; });
    };
    for (int g = 0; g < 3; ++g) {
        if (!searched(g))
            continue;
        PlotSeries curve;
        for (const PidSearch::Step& s : search->steps())
            if (s.measured && (s.gain == g || (s.gain == -1 && s.gains[static_cast<std::size_t>(g)] > 0)))
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
