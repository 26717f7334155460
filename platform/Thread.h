#pragma once

#include <functional>
#include <memory>

// One OS thread with a bounded wait for its end. Owned and joined by the object that started it.
class Thread {
public:
    Thread();
    ~Thread(); // waits for a running thread without limit: nothing it uses may go before it
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts body on a new thread. Returns false if a thread still runs or none can be created.
    bool start(std::function<void()> body);
    // Waits up to timeoutMs (negative: without limit) for the thread to end. True when it has ended
    // (or none was started); the OS thread is then joined.
    bool join(int timeoutMs);
    // True between start and the end of body.
    bool running() const;
    // True from start until the ended thread is joined.
    bool started() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
