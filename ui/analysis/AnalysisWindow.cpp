#include "ui/analysis/AnalysisWindow.h"

#include "model/analysis/AnalysisCsvWriter.h"
#include "model/logs/StoreLog.h"
#include "model/store/AppModel.h"
#include "ui/analysis/CompareTable.h"
#include "ui/analysis/ComponentTable.h"
#include "ui/analysis/LogSource.h"
#include "ui/analysis/PlotView.h"
#include "ui/analysis/SegmentTable.h"
#include "ui/common/BackgroundWork.h"
#include "ui/common/NoteLabel.h"
#include "ui/common/UserPrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

namespace {

constexpr int kMinPoints = 8;

// A number with the given decimals; one that rounds to zero is written without a minus sign.
QString fixed(double value, int decimals) {
    return QString::number(std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value, 'f', decimals);
}

QString arcsec(double value, int decimals = 2) {
    return fixed(value, decimals) + QStringLiteral("\"");
}

// A period with its unit: "480.0 s" or "1920.0 samples".
QString period(double value, bool time) {
    return QString::number(value, 'f', value < 10.0 ? 2 : 1) +
           (time ? QStringLiteral(" s") : QStringLiteral(" samples"));
}

std::vector<QPointF> foldPoints(const std::vector<double>& values, std::size_t offset, std::size_t bins,
                                double wormPeriod) {
    std::vector<QPointF> points;
    points.reserve(bins);
    for (std::size_t b = 0; b < bins && offset + b < values.size(); ++b)
        points.emplace_back((static_cast<double>(b) + 0.5) / static_cast<double>(bins) * wormPeriod,
                            values[offset + b]);
    return points;
}

} // namespace

AnalysisWindow::AnalysisWindow(const AppModel* model, LogSource* source, const UserPrompts* prompts,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), logSource_(source), prompts_(prompts),
      liveLog_(std::make_shared<LoadedLog>()) {
    setWindowTitle(QStringLiteral("Astrelvo - Analysis"));
    build();
    runner_.setDone([this](std::shared_ptr<const LogAnalysisReport> report) {
        showReport(std::move(report));
        poll(); // what changed meanwhile
    });
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    if (logSource_ != nullptr) // a log opened or closed is analysed at once
        connect(logSource_, &LogSource::changed, this, [this] {
            logChanged_ = true;
            poll();
        });
    setNight(false);
}

AnalysisWindow::~AnalysisWindow() {
    // The child widgets go after this object's own part: what they report while they close (the edit
    // losing the focus, the table its selection) must not reach it.
    timer_.stop();
    wormEdit_->blockSignals(true);
    segments_->setPicksChanged({});
    runner_.setDone({});
}

void AnalysisWindow::build() {
    source_ = new QLabel(this);
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    wormEdit_ = new QLineEdit(this);
    wormEdit_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000.000")) + 12);
    wormEdit_->setPlaceholderText(QStringLiteral("dominant"));
    wormEdit_->setToolTip(
        QStringLiteral("The period to fold the curve on: the worm's. Empty or Dominant folds "
                       "on the dominant period."));
    wormUnit_ = new QLabel(QStringLiteral("s"), this);
    dominant_ = new QPushButton(QStringLiteral("Dominant"), this);
    dominant_->setToolTip(QStringLiteral("Fold on the dominant period again"));
    savePicture_ = new QPushButton(QStringLiteral("Save picture..."), this);
    savePicture_->setToolTip(QStringLiteral("Save the four plots as a PNG picture"));
    saveCsv_ = new QPushButton(QStringLiteral("Save CSV..."), this);
    saveCsv_->setToolTip(QStringLiteral("Save the figures, the spectrum and the folded mean cycle as CSV"));
    compare_ = new QPushButton(QStringLiteral("Compare with..."), this);
    compare_->setObjectName(QStringLiteral("compareButton"));
    compare_->setToolTip(QStringLiteral("Lay another log of this mount beside this one: before and after a "
                                        "change, or tonight against another night"));
    auto* top = new QHBoxLayout;
    top->addWidget(source_, 1);
    top->addWidget(new QLabel(QStringLiteral("Worm period:"), this));
    top->addWidget(wormEdit_);
    top->addWidget(wormUnit_);
    top->addWidget(dominant_);
    top->addSpacing(12);
    top->addWidget(savePicture_);
    top->addWidget(saveCsv_);
    top->addWidget(compare_);

    compareBar_ = new QWidget(this);
    compareLabel_ = new QLabel(compareBar_);
    compareLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* swap = new QPushButton(QStringLiteral("Swap"), compareBar_);
    swap->setObjectName(QStringLiteral("swapButton"));
    swap->setToolTip(QStringLiteral("Take AFTER as BEFORE and BEFORE as AFTER"));
    auto* end = new QPushButton(QStringLiteral("End compare"), compareBar_);
    end->setObjectName(QStringLiteral("endCompareButton"));
    auto* bar = new QHBoxLayout(compareBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(compareLabel_, 1);
    bar->addWidget(swap);
    bar->addWidget(end);
    compareBar_->hide();
    connect(swap, &QPushButton::clicked, this, [this] { swapCompared(); });
    connect(end, &QPushButton::clicked, this, [this] { endCompare(); });

    plots_ = new QWidget(this);
    logged_ = new PlotView(plots_);
    curve_ = new PlotView(plots_);
    spectrum_ = new PlotView(plots_);
    fold_ = new PlotView(plots_);
    spectrum_->setLogX(true);
    auto* grid = new QGridLayout(plots_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);
    grid->addWidget(logged_, 0, 0);
    grid->addWidget(spectrum_, 0, 1);
    grid->addWidget(curve_, 1, 0);
    grid->addWidget(fold_, 1, 1);

    components_ = new ComponentTable(this);
    segments_ = new SegmentTable(this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Strongest components"), this));
    left->addWidget(components_);
    auto* right = new QVBoxLayout;
    right->addWidget(
        new QLabel(QStringLiteral("Stretches between markers (pick two to compare them)"), this));
    right->addWidget(segments_);
    tables_ = new QWidget(this);
    auto* bottom = new QHBoxLayout(tables_);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addLayout(left, 2);
    bottom->addLayout(right, 5);
    compareTable_ = new CompareTable(this);
    compareTable_->hide();
    note_ = new NoteLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(compareBar_);
    layout->addWidget(plots_, 3);
    layout->addWidget(tables_, 1);
    layout->addWidget(compareTable_, 1);
    layout->addWidget(note_);
    // Large enough for four readable plots, but within the screen of a small observatory laptop.
    QSize size(1100, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);

    connect(wormEdit_, &QLineEdit::textEdited, this, [this] { wormTyped_ = true; });
    connect(wormEdit_, &QLineEdit::editingFinished, this, [this] { wormEntered(); });
    connect(dominant_, &QPushButton::clicked, this, [this] { setWormPeriod(0.0); });
    connect(savePicture_, &QPushButton::clicked, this, [this] { choosePicture(); });
    connect(saveCsv_, &QPushButton::clicked, this, [this] { chooseCsv(); });
    connect(compare_, &QPushButton::clicked, this, [this] { chooseCompare(); });
    segments_->setPicksChanged([this](int first, int second) {
        compareA_ = first;
        compareB_ = second;
        dirty_ = true;
        poll();
    });
}

void AnalysisWindow::setNight(bool night) {
    night_ = night;
    colours_ = PlotPalette::of(night);
    for (PlotView* plot : {logged_, curve_, spectrum_, fold_})
        plot->setColours(colours_);
    fillPlots();
}

void AnalysisWindow::setWormPeriod(double period) {
    wormPeriod_ = period > 0.0 && std::isfinite(period) ? period : 0.0;
    wormTyped_ = false;
    if (wormPeriod_ > 0.0)
        wormEdit_->setText(QString::number(wormPeriod_, 'g', 9));
    else
        wormEdit_->clear();
    dirty_ = true;
    if (comparison_)
        runCompare();
    poll();
}

void AnalysisWindow::wormEntered() {
    if (!wormTyped_)
        return; // left without a change: the period shown stays what it was
    const QString text = wormEdit_->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    if (text.isEmpty()) {
        setWormPeriod(0.0);
        return;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value > 0.0) || !std::isfinite(value)) {
        note_->showNote(QStringLiteral("The worm period is a number above 0 (%1); the last one stays.")
                            .arg(wormUnit_->text() == QStringLiteral("s") ? QStringLiteral("seconds")
                                                                          : QStringLiteral("samples")),
                        QString());
        setWormPeriod(wormPeriod_);
        return;
    }
    note_->showNote(QString(), QString());
    setWormPeriod(value);
}

void AnalysisWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start();
    poll();
}

void AnalysisWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

void AnalysisWindow::poll() {
    if (!isVisible() || runner_.busy())
        return;
    AnalysisRequest request;
    std::shared_ptr<const LoadedLog> log = logSource_ != nullptr ? logSource_->log() : nullptr;
    const bool logOpen = log != nullptr;
    const bool sourceChanged = logOpen ? (analysedLive_ || logChanged_) : !analysedLive_;
    if (sourceChanged && reportsShown_ > 0) {
        // Stretches of another log: nothing picked there yet.
        segments_->clearPicks();
        compareA_ = compareB_ = -1;
    }
    if (logOpen) {
        if (!dirty_ && !sourceChanged)
            return;
        request.log = std::move(log);
        logChanged_ = false;
    } else {
        const uint32_t count = model_->sampleCount;
        const uint32_t bits = model_->deviceInfo.encoderBits;
        const int rate = model_->logSettings.logRate;
        const uint32_t markers = model_->markerCount;
        if (!dirty_ && !sourceChanged && count == liveCount_ && bits == liveBits_ && rate == liveRate_ &&
            markers == liveMarkers_)
            return;
        // The runner is not busy, so it holds no reference to liveLog_.
        copyStoreToLog(*model_, *liveLog_);
        liveCount_ = count;
        liveBits_ = bits;
        liveRate_ = rate;
        liveMarkers_ = markers;
        request.log = liveLog_;
    }
    analysedLive_ = !logOpen;
    dirty_ = false;
    request.options.wormPeriod = wormPeriod_;
    request.options.compareA = compareA_;
    request.options.compareB = compareB_;
    request.serial = ++serial_;
    runner_.submit(std::move(request));
}

void AnalysisWindow::showReport(std::shared_ptr<const LogAnalysisReport> report) {
    report_ = std::move(report);
    ++reportsShown_;
    const LogAnalysisReport& r = *report_;
    components_->showReport(r);
    segments_->showReport(r);
    wormUnit_->setText(r.hasTime() ? QStringLiteral("s") : QStringLiteral("samples"));
    // While no period was entered the edit shows the dominant one, unless the user is typing.
    if (wormPeriod_ == 0.0 && !wormTyped_)
        wormEdit_->setText(
            r.wormPeriod > 0.0 ? QString::number(r.wormPeriod, 'f', r.wormPeriod < 10.0 ? 3 : 1) : QString());
    savePicture_->setEnabled(r.whole.valid);
    saveCsv_->setEnabled(r.whole.valid);
    showSource();
    fillPlots();
}

void AnalysisWindow::showSource() {
    if (!report_) {
        source_->clear();
        return;
    }
    const LogAnalysisReport& r = *report_;
    QString text;
    if (analysedLive_) {
        text = QStringLiteral("Live: %1 samples").arg(r.samples);
        if (r.samples == 0)
            text = QStringLiteral("Live: no samples yet. Connect and Start logging, or open a log.");
    } else {
        text = logSource_->summary();
    }
    if (r.whole.valid)
        text += r.hasTime() ? QStringLiteral(", %1 s apart").arg(r.whole.sampleSeconds)
                            : QStringLiteral(", no time base (periods in samples)");
    if (!analysedLive_ && logSource_->log()) {
        for (const std::string& note : logSource_->log()->notes)
            text += QStringLiteral("; note: ") + QString::fromStdString(note);
    }
    source_->setText(text);
}

QString AnalysisWindow::stretchName(int index) const {
    QString name = QStringLiteral("Stretch %1").arg(index + 1);
    if (report_ && index >= 0 && static_cast<std::size_t>(index) < report_->segments.size() &&
        !report_->segments[static_cast<std::size_t>(index)].label.empty())
        name += QStringLiteral(" (") +
                QString::fromStdString(report_->segments[static_cast<std::size_t>(index)].label) +
                QStringLiteral(")");
    return name;
}

void AnalysisWindow::fillPlots() {
    if (!report_)
        return;
    const LogAnalysisReport& r = *report_;
    const QString message =
        r.whole.valid ? QString()
                      : QStringLiteral("Fewer than %1 samples: nothing to analyse yet.").arg(kMinPoints);
    for (PlotView* plot : {logged_, curve_, spectrum_, fold_}) {
        plot->clearData();
        plot->setMessage(message);
    }
    if (!r.whole.valid)
        return;
    fillCurves(r);
    fillSpectrum(r);
    fillFold(r);
}

void AnalysisWindow::fillCurves(const LogAnalysisReport& r) {
    const PeSpectrumResult& w = r.whole;
    const QString xTitle = r.hasTime() ? QStringLiteral("Time (s)") : QStringLiteral("Sample");
    for (PlotView* plot : {logged_, curve_}) {
        plot->setAxisTitles(xTitle, QStringLiteral("Error (\")"));
        plot->setXRange(0.0, r.axisOf(static_cast<double>(w.points > 0 ? w.points - 1 : 0)));
    }
    PlotSeries logged{{}, colours_.primary, 1.0, Qt::SolidLine, false, QStringLiteral("as logged")};
    PlotSeries curve{{}, colours_.primary, 1.0, Qt::SolidLine, false, QString()};
    logged.points.reserve(r.curveX.size());
    curve.points.reserve(r.curveX.size());
    for (std::size_t i = 0; i < r.curveX.size() && i < r.curveY.size(); ++i) {
        const double x = r.axisOf(r.curveX[i]);
        logged.points.emplace_back(x,
                                   r.curveY[i] + w.driftStartArcsec + w.driftArcsecPerSample * r.curveX[i]);
        curve.points.emplace_back(x, r.curveY[i]);
    }
    const double lastPoint = static_cast<double>(w.points > 0 ? w.points - 1 : 0);
    PlotSeries line{{QPointF(0.0, w.driftStartArcsec),
                     QPointF(r.axisOf(lastPoint), w.driftStartArcsec + w.driftArcsecPerSample * lastPoint)},
                    colours_.secondary,
                    1.5,
                    Qt::DashLine,
                    false,
                    QStringLiteral("drift line")};
    std::vector<PlotSeries> loggedSeries;
    loggedSeries.push_back(std::move(logged));
    loggedSeries.push_back(std::move(line));
    logged_->setSeries(std::move(loggedSeries));
    logged_->setTitle(
        r.hasTime()
            ? QStringLiteral("As logged, with its drift line: %1\"/s").arg(fixed(w.driftArcsecPerSecond, 4))
            : QStringLiteral("As logged, with its drift line: %1\"/sample")
                  .arg(fixed(w.driftArcsecPerSample, 4)));
    std::vector<PlotSeries> curveSeries;
    curveSeries.push_back(std::move(curve));
    curve_->setSeries(std::move(curveSeries));
    curve_->setTitle(
        QStringLiteral("Drift removed: %1 p-p, %2 RMS").arg(arcsec(w.peakToPeakArcsec), arcsec(w.rmsArcsec)));

    std::vector<PlotMarkLine> marks;
    for (const ReportMark& m : r.marks)
        marks.push_back({r.axisOf(m.point), QString::fromStdString(m.label)});
    logged_->setMarks(marks);
    curve_->setMarks(std::move(marks));
    std::vector<PlotBand> bands;
    for (const SegmentCurves& c : r.compared) {
        if (c.segment >= 0 && static_cast<std::size_t>(c.segment) < r.segments.size()) {
            const SegmentFigures& s = r.segments[static_cast<std::size_t>(c.segment)];
            bands.push_back({r.axisOf(s.fromPoint), r.axisOf(s.toPoint),
                             QStringLiteral("Stretch %1").arg(c.segment + 1)});
        }
    }
    curve_->setBands(std::move(bands));
}

void AnalysisWindow::fillSpectrum(const LogAnalysisReport& r) {
    const PeSpectrumResult& w = r.whole;
    const bool time = r.hasTime();
    spectrum_->setAxisTitles(time ? QStringLiteral("Period (s)") : QStringLiteral("Period (samples)"),
                             QStringLiteral("Amplitude (\")"));
    auto spectrumSeries = [](const std::vector<double>& periods, const std::vector<double>& amplitudes) {
        std::vector<QPointF> points;
        points.reserve(periods.size());
        for (std::size_t i = 0; i < periods.size() && i < amplitudes.size(); ++i)
            points.emplace_back(periods[i], amplitudes[i]);
        return points;
    };
    std::vector<PlotSeries> series;
    const SegmentCurves& a = r.compared[0];
    const SegmentCurves& b = r.compared[1];
    if (comparison_) {
        const LogComparison& c = *comparison_;
        spectrum_->setAxisTitles(QStringLiteral("Period (s)"), QStringLiteral("Amplitude (\")"));
        series.push_back({spectrumSeries(c.before.spectrumPeriod, c.before.spectrumAmplitude),
                          colours_.primary, 1.2, Qt::SolidLine, false,
                          QStringLiteral("before: ") + comparedName_[0]});
        series.push_back({spectrumSeries(c.after.spectrumPeriod, c.after.spectrumAmplitude),
                          colours_.secondary, 1.2, Qt::DashLine, false,
                          QStringLiteral("after: ") + comparedName_[1]});
        spectrum_->setTitle(QStringLiteral("Spectra before and after"));
    } else if (a.valid && b.valid) {
        series.push_back({spectrumSeries(a.spectrumPeriod, a.spectrumAmplitude), colours_.primary, 1.2,
                          Qt::SolidLine, false, stretchName(a.segment)});
        series.push_back({spectrumSeries(b.spectrumPeriod, b.spectrumAmplitude), colours_.secondary, 1.2,
                          Qt::DashLine, false, stretchName(b.segment)});
        spectrum_->setTitle(
            QStringLiteral("Spectra of stretches %1 and %2").arg(a.segment + 1).arg(b.segment + 1));
    } else {
        series.push_back({spectrumSeries(w.spectrumPeriod, w.spectrumAmplitude), colours_.primary, 1.0,
                          Qt::SolidLine, false, QString()});
        PlotSeries strongest{
            {}, colours_.secondary, 1.5, Qt::SolidLine, true, QStringLiteral("strongest components")};
        for (const PeComponent& c : w.components)
            strongest.points.emplace_back(time ? c.periodSeconds : c.periodSamples, c.amplitudeArcsec);
        if (!strongest.points.empty())
            series.push_back(std::move(strongest));
        spectrum_->setTitle(
            w.hasPeriod()
                ? QStringLiteral("Spectrum: dominant %1, %2")
                      .arg(period(time ? w.components[0].periodSeconds : w.components[0].periodSamples, time),
                           arcsec(w.components[0].amplitudeArcsec, 3))
                : QStringLiteral("Spectrum: no period stands above the noise"));
    }
    spectrum_->setSeries(std::move(series));
}

void AnalysisWindow::fillFold(const LogAnalysisReport& r) {
    const bool time = r.hasTime();
    fold_->setAxisTitles(time ? QStringLiteral("Time in the worm cycle (s)")
                              : QStringLiteral("Sample in the worm cycle"),
                         QStringLiteral("Error (\")"));
    const SegmentCurves& a = r.compared[0];
    const SegmentCurves& b = r.compared[1];
    std::vector<PlotSeries> series;
    if (comparison_) {
        const LogComparison& c = *comparison_;
        const double worm = c.wormPeriodSeconds;
        fold_->setAxisTitles(QStringLiteral("Time in the worm cycle (s)"), QStringLiteral("Error (\")"));
        if (!c.beforeFold.valid || !c.afterFold.valid) {
            fold_->setTitle(QStringLiteral("Mean worm cycles"));
            fold_->setMessage(worm > 0.0
                                  ? QStringLiteral("The worm period (%1) is longer than a log: nothing "
                                                   "to fold.")
                                        .arg(period(worm, true))
                                  : QStringLiteral("No period stands out in BEFORE to fold on: enter the "
                                                   "worm period."));
            return;
        }
        series.push_back({foldPoints(c.beforeFold.mean, 0, c.beforeFold.bins, worm), colours_.primary, 2.5,
                          Qt::SolidLine, false,
                          QStringLiteral("before: ") + arcsec(c.beforeFold.meanPeakToPeakArcsec) +
                              QStringLiteral(" p-p")});
        series.push_back(
            {foldPoints(c.afterFold.mean, 0, c.afterFold.bins, worm), colours_.secondary, 2.5, Qt::DashLine,
             false,
             QStringLiteral("after: ") + arcsec(c.afterFold.meanPeakToPeakArcsec) + QStringLiteral(" p-p")});
        fold_->setTitle(QStringLiteral("Mean cycles on %1%2")
                            .arg(period(worm, true),
                                 c.wormFromDominant ? QStringLiteral(" (BEFORE's dominant)") : QString()));
        fold_->setXRange(0.0, worm);
        fold_->setSeries(std::move(series));
        return;
    }
    if (a.fold.valid && b.fold.valid) {
        series.push_back({foldPoints(a.fold.mean, 0, a.fold.bins, r.wormPeriod), colours_.primary, 2.5,
                          Qt::SolidLine, false,
                          stretchName(a.segment) + QStringLiteral(": ") +
                              arcsec(a.fold.meanPeakToPeakArcsec) + QStringLiteral(" p-p")});
        series.push_back({foldPoints(b.fold.mean, 0, b.fold.bins, r.wormPeriod), colours_.secondary, 2.5,
                          Qt::DashLine, false,
                          stretchName(b.segment) + QStringLiteral(": ") +
                              arcsec(b.fold.meanPeakToPeakArcsec) + QStringLiteral(" p-p")});
        fold_->setTitle(QStringLiteral("Mean cycles on %1").arg(period(r.wormPeriod, time)));
    } else if (r.fold.valid) {
        const PeFoldResult& f = r.fold;
        const int kept = static_cast<int>(f.curveCycle.size());
        for (int k = 0; k < kept; ++k)
            series.push_back(
                {foldPoints(f.curves, static_cast<std::size_t>(k) * f.bins, f.bins, r.wormPeriod),
                 colours_.cycle(k, kept), 1.0, Qt::SolidLine, false, QString()});
        series.push_back({foldPoints(f.mean, 0, f.bins, r.wormPeriod), colours_.mean, 2.5, Qt::SolidLine,
                          false, QStringLiteral("mean cycle")});
        fold_->setTitle(QStringLiteral("Folded on %1%2: %3 cycles, mean %4 p-p")
                            .arg(period(r.wormPeriod, time),
                                 r.wormFromDominant ? QStringLiteral(" (dominant)") : QString())
                            .arg(f.cycles)
                            .arg(arcsec(f.meanPeakToPeakArcsec)));
    } else {
        fold_->setTitle(QStringLiteral("Folded on the worm period"));
        fold_->setMessage(
            r.wormPeriod > 0.0
                ? QStringLiteral("The worm period (%1) is longer than the log: nothing to fold.")
                      .arg(period(r.wormPeriod, time))
                : QStringLiteral("No period stands out to fold on: enter the worm period."));
        return;
    }
    fold_->setXRange(0.0, r.wormPeriod);
    fold_->setSeries(std::move(series));
}

QString AnalysisWindow::sourceName() const {
    if (!analysedLive_ && logSource_ != nullptr && logSource_->log() != nullptr)
        return QFileInfo(logSource_->path()).fileName();
    return QStringLiteral("live");
}

bool AnalysisWindow::savePicture(const QString& path) {
    const QPixmap picture = plots_->grab();
    if (!picture.save(path, "PNG")) {
        prompts_->message(
            this, QStringLiteral("Save picture"),
            QStringLiteral("The picture could not be written to %1.").arg(QDir::toNativeSeparators(path)),
            true);
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    note_->showNote(QStringLiteral("Saved the plots to %1").arg(shown), QString(), shown);
    return true;
}

bool AnalysisWindow::saveCsv(const QString& path) {
    if (!report_ || !report_->whole.valid) {
        prompts_->message(this, QStringLiteral("Save CSV"),
                          QStringLiteral("There is nothing analysed to save yet."), true);
        return false;
    }
    const AnalysisCsvResult result =
        writeAnalysisCsv(path.toUtf8().constData(), *report_, sourceName().toStdString());
    if (!result.ok) {
        QString text =
            QStringLiteral("The analysis could not be written to %1").arg(QDir::toNativeSeparators(path));
        if (result.errorNumber != 0)
            text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(result.errorNumber));
        prompts_->message(this, QStringLiteral("Save CSV"), text + QStringLiteral("."), true);
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    note_->showNote(QStringLiteral("Saved the analysis to %1").arg(shown), QString(), shown);
    return true;
}

void AnalysisWindow::choosePicture() {
    const QString directory = lastDirectory_.isEmpty() ? QDir::currentPath() : lastDirectory_;
    const QString path = prompts_->saveFile(this, QStringLiteral("Save picture"),
                                            QDir(directory).filePath(QStringLiteral("astrelvo-analysis.png")),
                                            QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    lastDirectory_ = QFileInfo(path).absolutePath();
    savePicture(path);
}

void AnalysisWindow::chooseCsv() {
    const QString directory = lastDirectory_.isEmpty() ? QDir::currentPath() : lastDirectory_;
    const QString path = prompts_->saveFile(this, QStringLiteral("Save CSV"),
                                            QDir(directory).filePath(QStringLiteral("astrelvo-analysis.csv")),
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    lastDirectory_ = QFileInfo(path).absolutePath();
    saveCsv(path);
}

void AnalysisWindow::chooseCompare() {
    if (logSource_ == nullptr)
        return;
    QPointer<AnalysisWindow> self(this);
    logSource_->chooseLog(this, QStringLiteral("Compare with"),
                          [self](std::shared_ptr<const LoadedLog> log, const QString& path) {
                              if (self && log)
                                  self->compareWith(std::move(log), QFileInfo(path).fileName());
                          });
}

bool AnalysisWindow::compareWith(std::shared_ptr<const LoadedLog> after, const QString& afterName) {
    if (!after)
        return false;
    // BEFORE is what the window shows: the open log, or the live samples as they are now.
    std::shared_ptr<const LoadedLog> before = logSource_ != nullptr ? logSource_->log() : nullptr;
    QString beforeName;
    if (before) {
        beforeName = QFileInfo(logSource_->path()).fileName();
    } else {
        auto live = std::make_shared<LoadedLog>();
        copyStoreToLog(*model_, *live);
        beforeName = QStringLiteral("live, %1 samples").arg(live->size());
        before = std::move(live);
    }
    compared_[0] = std::move(before);
    compared_[1] = std::move(after);
    comparedName_[0] = beforeName;
    comparedName_[1] = afterName;
    return runCompare();
}

void AnalysisWindow::swapCompared() {
    if (!comparison_)
        return;
    std::swap(compared_[0], compared_[1]);
    std::swap(comparedName_[0], comparedName_[1]);
    runCompare();
}

bool AnalysisWindow::runCompare() {
    if (!compared_[0] || !compared_[1])
        return false;
    auto result = std::make_shared<LogComparison>();
    const LoadedLog& before = *compared_[0];
    const LoadedLog& after = *compared_[1];
    // The entered worm period is in seconds whenever the two can be compared at all.
    const double worm = wormPeriod_;
    LogComparer& comparer = comparer_;
    runInBackground(this, [&] { comparer.compare(before, after, worm, 0, *result); });
    if (!result->valid()) {
        QString why;
        switch (result->problem) {
        case CompareProblem::BeforeTooShort:
            why =
                QStringLiteral("%1 has fewer than %2 usable samples.").arg(comparedName_[0]).arg(kMinPoints);
            break;
        case CompareProblem::AfterTooShort:
            why =
                QStringLiteral("%1 has fewer than %2 usable samples.").arg(comparedName_[1]).arg(kMinPoints);
            break;
        default:
            why = QStringLiteral(
                "Both logs need their sample period to be compared in seconds; a data.dat export "
                "opened with \"Unknown\" has none.");
            break;
        }
        prompts_->message(this, QStringLiteral("Compare"),
                          QStringLiteral("The logs cannot be compared. ") + why, true);
        endCompare();
        return false;
    }
    comparison_ = std::move(result);
    showCompared();
    return true;
}

void AnalysisWindow::showCompared() {
    const bool comparing = comparison_ != nullptr;
    compareBar_->setVisible(comparing);
    compareTable_->setVisible(comparing);
    tables_->setVisible(!comparing);
    if (comparing) {
        compareTable_->showComparison(*comparison_);
        compareLabel_->setText(
            QStringLiteral("Before: %1    After: %2").arg(comparedName_[0], comparedName_[1]));
    }
    fillPlots();
}

void AnalysisWindow::endCompare() {
    comparison_.reset();
    compared_[0].reset();
    compared_[1].reset();
    showCompared();
}
