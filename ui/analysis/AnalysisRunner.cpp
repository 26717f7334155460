#include "ui/analysis/AnalysisRunner.h"

#include <QMetaObject>

AnalysisRunner::AnalysisRunner(QObject* parent) : QObject(parent) {}

AnalysisRunner::~AnalysisRunner() = default;

void AnalysisRunner::submit(AnalysisRequest request) {
    // Made here and filled by the worker; the hand-over reads it only after the work is done.
    auto report = std::make_shared<LogAnalysisReport>();
    report->serial = request.serial;
    worker_.submit(
        [this, request = std::move(request), report] {
            if (request.log)
                analyser_.analyse(*request.log, request.options, *report);
        },
        [this, report] {
            std::shared_ptr<const LogAnalysisReport> done = report;
            QMetaObject::invokeMethod(
                this,
                [this, done] {
                    if (done_)
                        done_(done);
                },
                Qt::QueuedConnection);
        });
}
