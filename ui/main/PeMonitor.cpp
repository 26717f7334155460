#include "ui/main/PeMonitor.h"

#include "model/store/AppModel.h"

#include <QEvent>
#include <QLineEdit>
#include <QMetaObject>

#include <algorithm>

PeMonitor::PeMonitor(QObject* parent) : QObject(parent) {
    input_.resize(AppModel::kMaxSamples);
    // All the memory the analyses will need is taken now: the footprint stays flat through the night.
    analysis_.reserve(AppModel::kMaxSamples);
}

PeMonitor::~PeMonitor() = default;

void PeMonitor::watch(const AppModel* model, QLineEdit* line) {
    watched_ = model;
    if (timer_.isActive())
        return;
    shown_ = line;
    line->installEventFilter(this);
    connect(this, &PeMonitor::linesReady, line,
            [this, line](const QString& text, const QString& brief, const QString& detail) {
                shownLine_ = text;
                shownBrief_ = brief;
                fitShown();
                line->setToolTip(text + QStringLiteral("\n") + detail);
            });
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (watched_ != nullptr)
            poll(*watched_, watchedRate_);
    });
    timer_.start();
}

void PeMonitor::fitShown() {
    if (shown_ == nullptr)
        return;
    // The text area is the field less its frame and the line edit's own margins.
    const int room =
        shown_->contentsRect().width() - shown_->textMargins().left() - shown_->textMargins().right() - 8;
    const bool fits = shown_->fontMetrics().horizontalAdvance(shownLine_) <= room;
    shown_->setText(fits || shownBrief_.isEmpty() ? shownLine_ : shownBrief_);
    shown_->setCursorPosition(0);
}

bool PeMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == shown_ && event->type() == QEvent::Resize && !shownLine_.isEmpty())
        fitShown();
    return QObject::eventFilter(watched, event);
}

bool PeMonitor::busy() const {
    return worker_.busy();
}

void PeMonitor::reset() {
    lastCount_ = UINT32_MAX;
    if (shown_ != nullptr && shownLog_ == nullptr) {
        shownLine_.clear();
        shownBrief_.clear();
        shown_->clear();
    }
}

void PeMonitor::showLog(std::shared_ptr<const LoadedLog> log) {
    shownLog_ = std::move(log);
    logSubmitted_ = false;
    ++generation_;
    lastCount_ = UINT32_MAX; // the live samples are analysed afresh when the log is closed
    shownLine_.clear();
    shownBrief_.clear();
    if (shown_ != nullptr)
        shown_->clear();
    if (watched_ != nullptr)
        poll(*watched_, watchedRate_);
}

void PeMonitor::poll(const AppModel& model, int logRateIndex) {
    const uint64_t generation = generation_;
    if (shownLog_ != nullptr) {
        if (logSubmitted_ || worker_.busy())
            return; // the next poll hands it over
        worker_.submit(
            [this, log = shownLog_] { // let go of before busy() turns false
                logSpectrum_.analyse(*log, 0, log->size(), logResult_);
                result_ = peFiguresOf(logResult_);
            },
            [this, generation] { deliver(true, generation); });
        logSubmitted_ = true;
        return;
    }
    const uint32_t count = model.sampleCount;
    const uint32_t bits = model.deviceInfo.encoderBits;
    if (count == lastCount_ && bits == lastBits_)
        return;
    if (worker_.busy())
        return; // the next poll picks the change up
    // The worker reads input_ only inside a job, and none waits or runs now.
    std::copy(model.samples, model.samples + count, input_.begin());
    worker_.submit(
        [this, count, bits, logRateIndex] {
            result_ = analysis_.analyse(input_.data(), count, bits, logRateIndex, 0);
        },
        [this, generation] { deliver(false, generation); });
    lastCount_ = count;
    lastBits_ = bits;
}

void PeMonitor::deliver(bool fromLog, uint64_t generation) {
    char text[160];
    formatPeLine(text, sizeof text, result_);
    QString line = QString::fromUtf8(text);
    formatPeLineBrief(text, sizeof text, result_);
    QString brief = QString::fromUtf8(text);
    QString detail = QStringLiteral("Periodic error of the %1 after removing the drift line fitted with its "
                                    "periodic components; p-p and %2.")
                         .arg(fromLog ? QStringLiteral("open log") : QStringLiteral("logged positions"),
                              QString::fromUtf8(kPeRmsLabel));
    QMetaObject::invokeMethod(
        this,
        [this, line, brief, detail, generation] {
            if (generation != generation_)
                return;
            emit lineReady(line, detail);
            emit linesReady(line, brief, detail);
        },
        Qt::QueuedConnection);
}
