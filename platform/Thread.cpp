#include "platform/Thread.h"

#include <system_error>

Thread::~Thread() {
    join(-1);
}

bool Thread::start(std::function<void()> body) {
    if (thread_.joinable()) {
        if (!join(0))
            return false;
    }
    finished_.reset();
    try {
        thread_ = std::thread([this, body = std::move(body)]() {
            body();
            finished_.set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool Thread::join(int timeoutMs) {
    if (!thread_.joinable())
        return true;
    if (!finished_.valid()) {
        // Without its event the end cannot be awaited with a limit, but an unbounded join still
        // must join, or destroying a joinable std::thread would terminate the process.
        if (timeoutMs >= 0)
            return false;
        thread_.join();
        return true;
    }
    if (finished_.wait(timeoutMs) != WaitResult::Object0)
        return false;
    thread_.join();
    return true;
}

bool Thread::running() const {
    return thread_.joinable() && !finished_.isSet();
}
