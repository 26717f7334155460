#pragma once

#include "app/LatestRequestWorker.h"
#include "model/analysis/PeAnalysis.h"
#include "model/analysis/PeSpectrum.h"
#include "model/logs/LoadedLog.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class AppModel;
class QLineEdit;

// Keeps the periodic-error line up to date while data arrives, without blocking the UI thread: the UI
// thread hands a copy of the samples (or, while a log is open, that log) to a worker thread at most four
// times a second (poll), the worker runs the analysis and the finished line comes back to the UI thread
// as the lineReady and linesReady signals.
// poll and the signal belong to the UI thread; the analysis object and its buffers to the worker.
class PeMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 250;

    explicit PeMonitor(QObject* parent = nullptr);
    ~PeMonitor() override; // stops and joins the worker

    // Polls model every kIntervalMs from now on and shows each new line in line (whole where it fits,
    // else in brief), with the whole line and the figures' meaning in its tool tip (UI thread).
    void watch(const AppModel* model, QLineEdit* line);
    // Log rate index of the samples being logged, -1 when unknown (test mode, or not known yet).
    void setLogRateIndex(int logRateIndex) { watchedRate_ = logRateIndex; }

    // Starts an analysis when the store has changed since the last one and none is running (UI thread;
    // the timer of watch calls it). logRateIndex is -1 when the rate is unknown.
    void poll(const AppModel& model, int logRateIndex);
    // Forgets the last line and empties the shown one (after Clear): the next poll analyses afresh.
    void reset();
    // While a log is open the line shows its figures, from the estimator the analysis window uses; null
    // goes back to the live samples (UI thread).
    void showLog(std::shared_ptr<const LoadedLog> log);
    // True while the worker analyses (for tests).
    bool busy() const;

signals:
    void lineReady(const QString& line, const QString& detail);
    // The same line, with its brief form for a field too narrow for it.
    void linesReady(const QString& line, const QString& brief, const QString& detail);

protected:
    // Picks the form that fits when the shown line is resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Hands the worker's last result to the UI thread as the signals (worker thread).
    void deliver(bool fromLog, uint64_t generation);
    // Shows the whole line where it fits the field, the brief form otherwise (UI thread).
    void fitShown();

    // Copy of the samples: filled on the UI thread only while the worker is not busy, read by the worker.
    std::vector<int32_t> input_;

    uint32_t lastCount_ = UINT32_MAX; // UI thread: store size at the last analysis
    uint32_t lastBits_ = 0;
    QTimer timer_;                      // UI thread
    const AppModel* watched_ = nullptr; // UI thread
    QLineEdit* shown_ = nullptr;        // UI thread
    QString shownLine_;                 // UI thread: the whole line and its brief form
    QString shownBrief_;
    int watchedRate_ = -1;                      // UI thread
    std::shared_ptr<const LoadedLog> shownLog_; // UI thread
    bool logSubmitted_ = false;                 // UI thread
    // UI thread: lines of an earlier generation (before a log was opened or closed) are dropped.
    uint64_t generation_ = 0;

    PeAnalysis analysis_;        // worker thread
    PeSpectrum logSpectrum_;     // worker thread
    PeSpectrumResult logResult_; // worker thread
    PeResult result_;            // worker thread: the last analysis's figures
    LatestRequestWorker worker_; // last: it stops before what it works on goes
};
