#include "ui/analysis/AnalysisRunner.h"

#include <QMetaObject>

AnalysisRunner::AnalysisRunner(QObject* parent) : QObject(parent) {
    worker_ = std::thread([this] { run(); });
}

AnalysisRunner::~AnalysisRunner() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void AnalysisRunner::submit(AnalysisRequest request) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        next_ = std::move(request);
        pending_ = true;
    }
    wake_.notify_one();
}

bool AnalysisRunner::busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_ || working_;
}

void AnalysisRunner::run() {
    for (;;) {
        AnalysisRequest request;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || pending_; });
            if (stopping_)
                return;
            request = std::move(next_);
            next_ = AnalysisRequest{};
            pending_ = false;
            working_ = true;
        }
        auto report = std::make_shared<LogAnalysisReport>();
        report->serial = request.serial;
        if (request.log)
            analyser_.analyse(*request.log, request.options, *report);
        request.log.reset(); // before working_ is cleared: the UI thread may refill it then
        std::shared_ptr<const LogAnalysisReport> done = std::move(report);
        {
            std::lock_guard<std::mutex> guard(lock_);
            working_ = false;
        }
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                if (done_)
                    done_(done);
            },
            Qt::QueuedConnection);
    }
}
