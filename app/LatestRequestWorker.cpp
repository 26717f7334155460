#include "app/LatestRequestWorker.h"

#include <utility>

LatestRequestWorker::LatestRequestWorker() : thread_([this] { run(); }) {}

LatestRequestWorker::~LatestRequestWorker() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void LatestRequestWorker::submit(Part work, Part then) {
    if (!work)
        return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::swap(nextWork_, work);
        std::swap(nextThen_, then);
    }
    wake_.notify_one();
    // A job dropped unrun goes here, outside the lock (its captures may be large).
}

bool LatestRequestWorker::busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return working_ || nextWork_ != nullptr;
}

void LatestRequestWorker::run() {
    for (;;) {
        Part work;
        Part then;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || nextWork_ != nullptr; });
            if (stopping_)
                return;
            work = std::move(nextWork_);
            then = std::move(nextThen_);
            nextWork_ = nullptr;
            nextThen_ = nullptr;
            working_ = true;
        }
        work();
        work = nullptr; // its captures go before busy() turns false
        {
            std::lock_guard<std::mutex> guard(lock_);
            working_ = false;
        }
        if (then)
            then();
    }
}
