#pragma once

#include "app/NoticeQueue.h"

#include <functional>
#include <memory>

class AppModel;
class CommControl;
class DataTransfer;
class HeartBeatTimer;
class ReportFilter;
class iMainDlgCallback;
class iWMUserSender;

// The program's long-lived objects without a window: creates the sample store, the heartbeat, the
// engine-to-UI channel and the engine in that order, wires them, starts the heartbeat and, at the end,
// detaches, stops every thread and takes the objects apart again in the program's order. The user
// interface (the main dialog, or a windowless front such as the command-line program's) attaches as the
// model's listener and the channel's callback; a window brings its own notice sender, a windowless
// program uses the program's own notice queue and pumps it. Created, used and destroyed on the thread
// that plays the UI thread.
class Program {
public:
    // filter, when given, sits between the engine and the channel (tests and benchmarks watch it).
    explicit Program(ReportFilter* filter = nullptr);
    ~Program(); // stops, then destroys engine, channel, store and heartbeat in that order
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Wires the user interface into the data path; sender null: the program's own notice queue.
    // Called before start.
    void attach(iMainDlgCallback* ui, iWMUserSender* sender = nullptr);
    // Starts the heartbeat: from now on the engine gets a tick every 250 ms.
    void start();
    // Detaches the user interface from the channel, stops the heartbeat, then stops the engine's
    // threads while this thread keeps draining the channel (a worker blocked on a full channel could
    // otherwise never see its stop request). Drained records still reach the store. Idempotent.
    void stop();

    AppModel& model() { return *model_; }
    const AppModel& model() const { return *model_; }
    HeartBeatTimer& heartbeat() { return *heartbeat_; }
    DataTransfer& channel() { return *channel_; }
    CommControl& engine() { return *engine_; }

    // Without a window: hands the queued notices to the channel (see NoticeQueue).
    void pump();
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

private:
    std::unique_ptr<AppModel> model_; // large: on the heap, never copied
    std::unique_ptr<HeartBeatTimer> heartbeat_;
    std::unique_ptr<DataTransfer> channel_;
    std::unique_ptr<CommControl> engine_;
    NoticeQueue notices_;
    bool stopped_ = false;
};
