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
    worker_ = std::thread([this] { run(); });
}

PeMonitor::~PeMonitor() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

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
    std::lock_guard<std::mutex> guard(lock_);
    return busy_ || pending_;
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
    if (shownLog_ != nullptr) {
        if (logSubmitted_)
            return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (busy_ || pending_)
                return; // the next poll hands it over
            logInput_ = shownLog_;
            inputGeneration_ = generation_;
            pending_ = true;
        }
        logSubmitted_ = true;
        wake_.notify_one();
        return;
    }
    const uint32_t count = model.sampleCount;
    const uint32_t bits = model.deviceInfo.encoderBits;
    if (count == lastCount_ && bits == lastBits_)
        return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (busy_ || pending_)
            return; // the next poll picks the change up
        std::copy(model.samples, model.samples + count, input_.begin());
        inputCount_ = count;
        encoderBits_ = bits;
        rateIndex_ = logRateIndex;
        inputGeneration_ = generation_;
        pending_ = true;
    }
    lastCount_ = count;
    lastBits_ = bits;
    wake_.notify_one();
}

void PeMonitor::run() {
    for (;;) {
        uint32_t count, bits;
        int rate;
        uint64_t generation;
        std::shared_ptr<const LoadedLog> log;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || pending_; });
            if (stopping_)
                return;
            pending_ = false;
            busy_ = true;
            count = inputCount_;
            bits = encoderBits_;
            rate = rateIndex_;
            generation = inputGeneration_;
            log = std::move(logInput_);
        }
        // input_ is not touched by the UI thread while busy_ is set.
        PeResult result;
        const bool fromLog = log != nullptr;
        if (fromLog) {
            logSpectrum_.analyse(*log, 0, log->size(), logResult_);
            result = peFiguresOf(logResult_);
            log.reset(); // the UI thread may let go of the log
        } else {
            result = analysis_.analyse(input_.data(), count, bits, rate, 0);
        }
        char text[160];
        formatPeLine(text, sizeof text, result);
        QString line = QString::fromUtf8(text);
        formatPeLineBrief(text, sizeof text, result);
        QString brief = QString::fromUtf8(text);
        QString detail =
            QStringLiteral("Periodic error of the %1 after removing the drift line fitted with its "
                           "periodic components; p-p and %2.")
                .arg(fromLog ? QStringLiteral("open log") : QStringLiteral("logged positions"),
                     QString::fromUtf8(kPeRmsLabel));
        {
            std::lock_guard<std::mutex> guard(lock_);
            busy_ = false;
        }
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
}
