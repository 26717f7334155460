#include "ui/PeMonitor.h"

#include "model/AppModel.h"

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
    connect(this, &PeMonitor::lineReady, line, [line](const QString& text, const QString& detail) {
        line->setText(text);
        line->setCursorPosition(0);
        line->setToolTip(text + QStringLiteral("\n") + detail);
    });
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (watched_ != nullptr)
            poll(*watched_, watchedRate_);
    });
    timer_.start();
}

bool PeMonitor::busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return busy_ || pending_;
}

void PeMonitor::reset() {
    lastCount_ = UINT32_MAX;
    if (shown_ != nullptr)
        shown_->clear();
}

void PeMonitor::poll(const AppModel& model, int logRateIndex) {
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
        }
        // input_ is not touched by the UI thread while busy_ is set.
        PeResult result = analysis_.analyse(input_.data(), count, bits, rate, 0);
        char text[160];
        formatPeLine(text, sizeof text, result);
        QString line = QString::fromUtf8(text);
        QString detail =
            QStringLiteral("Periodic error of the logged positions after removing the linear drift; "
                           "p-p and %1.")
                .arg(QString::fromUtf8(kPeRmsLabel));
        {
            std::lock_guard<std::mutex> guard(lock_);
            busy_ = false;
        }
        QMetaObject::invokeMethod(
            this, [this, line, detail] { emit lineReady(line, detail); }, Qt::QueuedConnection);
    }
}
