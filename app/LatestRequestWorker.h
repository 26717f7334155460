#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A worker thread of its own for work where only the latest request counts (an analysis of data that
// keeps changing): submit hands a job over; a job that still waits when the next one is submitted is
// dropped unrun, and one that runs is finished first. Each job is two parts, both run on the worker:
// work, then, once its captures are gone and busy() is false again, then (the hand-over of the result;
// it runs before the next job starts, so it may read what work left in the worker's own state). So a
// submitter that sees busy() false may reuse what it lent the job.
// submit and busy may be called from any thread; in practice one thread submits.
class LatestRequestWorker {
public:
    using Part = std::function<void()>;

    LatestRequestWorker();
    // Drops a waiting job, lets a running one finish (with its then) and joins the thread.
    ~LatestRequestWorker();
    LatestRequestWorker(const LatestRequestWorker&) = delete;
    LatestRequestWorker& operator=(const LatestRequestWorker&) = delete;

    void submit(Part work, Part then = {});
    // True while a job waits or its work runs.
    bool busy() const;

private:
    void run();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool working_ = false;
    Part nextWork_; // guarded by lock_: the waiting job, empty when none waits
    Part nextThen_;
    std::thread thread_;
};
