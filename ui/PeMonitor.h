#pragma once

#include "model/PeAnalysis.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class AppModel;
class QLineEdit;

// Keeps the periodic-error line up to date while data arrives, without blocking the UI thread: the UI
// thread hands a copy of the samples to a worker thread at most four times a second (poll), the worker
// runs the analysis and the finished line comes back to the UI thread as the lineReady signal.
// poll and the signal belong to the UI thread; the analysis object and its buffers to the worker.
class PeMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 250;

    explicit PeMonitor(QObject* parent = nullptr);
    ~PeMonitor() override; // stops and joins the worker

    // Polls model every kIntervalMs from now on and shows each new line in line, with the figures'
    // meaning in its tool tip (UI thread).
    void watch(const AppModel* model, QLineEdit* line);
    // Log rate index of the samples being logged, -1 when unknown (test mode, or not known yet).
    void setLogRateIndex(int logRateIndex) { watchedRate_ = logRateIndex; }

    // Starts an analysis when the store has changed since the last one and none is running (UI thread;
    // the timer of watch calls it). logRateIndex is -1 when the rate is unknown.
    void poll(const AppModel& model, int logRateIndex);
    // Forgets the last line and empties the shown one (after Clear): the next poll analyses afresh.
    void reset();
    // True while the worker analyses (for tests).
    bool busy() const;

signals:
    void lineReady(const QString& line, const QString& detail);

private:
    void run();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool pending_ = false;
    bool busy_ = false;
    std::vector<int32_t> input_; // copy of the samples, filled on the UI thread while the worker rests
    uint32_t inputCount_ = 0;
    uint32_t encoderBits_ = 0;
    int rateIndex_ = -1;

    uint32_t lastCount_ = UINT32_MAX; // UI thread: store size at the last analysis
    uint32_t lastBits_ = 0;
    QTimer timer_;                      // UI thread
    const AppModel* watched_ = nullptr; // UI thread
    QLineEdit* shown_ = nullptr;        // UI thread
    int watchedRate_ = -1;              // UI thread

    PeAnalysis analysis_; // worker thread
    std::thread worker_;
};
