#pragma once

#include "app/LatestRequestWorker.h"
#include "model/analysis/LogAnalyser.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

// One analysis to run: the log (shared, never changed while it is analysed) and what to analyse.
struct AnalysisRequest {
    std::shared_ptr<const LoadedLog> log;
    LogAnalysisOptions options;
    uint64_t serial = 0;
};

// Runs the analysis window's analyses on a worker thread: submit hands a request over (a request that
// waits is replaced by a newer one), the worker analyses it and the report comes back to the UI thread
// through the callback. The worker lets go of a request's log before it says it is done, so that the UI
// thread may refill a log once busy() is false. submit, busy and the callback belong to the UI thread; the
// analyser to the worker.
class AnalysisRunner : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(std::shared_ptr<const LogAnalysisReport> report)>;

    explicit AnalysisRunner(QObject* parent = nullptr);
    ~AnalysisRunner() override; // stops and joins the worker; a report not yet delivered is dropped

    void setDone(Done done) { done_ = std::move(done); }
    void submit(AnalysisRequest request);
    // True while a request waits or is analysed.
    bool busy() const { return worker_.busy(); }

private:
    Done done_;            // UI thread
    LogAnalyser analyser_; // worker thread
    LatestRequestWorker worker_;
};
