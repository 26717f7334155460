#include "platform/Thread.h"

#include "platform/Event.h"

#include <system_error>
#include <thread>

// A std::thread and the event its body sets on the way out, for joins with a time limit.
struct Thread::State {
    std::thread thread;
    Event finished{Event::Reset::Manual, false};
};

Thread::Thread() : state_(std::make_unique<State>()) {}

Thread::~Thread() {
    join(-1);
}

bool Thread::start(std::function<void()> body) {
    if (state_->thread.joinable()) {
        if (!join(0))
            return false;
    }
    state_->finished.reset();
    try {
        state_->thread = std::thread([this, body = std::move(body)]() {
            body();
            state_->finished.set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool Thread::join(int timeoutMs) {
    if (!state_->thread.joinable())
        return true;
    if (!state_->finished.valid()) {
        // Without its event the end cannot be awaited with a limit, but an unbounded join still
        // must join, or destroying a joinable std::thread would terminate the process.
        if (timeoutMs >= 0)
            return false;
        state_->thread.join();
        return true;
    }
    if (state_->finished.wait(timeoutMs) != WaitResult::Object0)
        return false;
    state_->thread.join();
    return true;
}

bool Thread::running() const {
    return state_->thread.joinable() && !state_->finished.isSet();
}

bool Thread::started() const {
    return state_->thread.joinable();
}
