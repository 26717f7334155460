#include "platform/LoopbackLine.h"

#include "platform/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The published lines: names to lines, held weakly. Any thread.
struct Registry {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<LoopbackLine>> lines;
    unsigned long next = 1;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

// One end of the line. The host's end holds the line; the device's end belongs to it.
class LoopbackLine::End : public iSerialLine {
public:
    End(LoopbackLine& line, bool host, std::shared_ptr<LoopbackLine> keep = nullptr)
        : line_(line), host_(host), keep_(std::move(keep)) {}
    ~End() override { close(); }

    IoResult readWait(void* data, std::size_t count, Event& stop, int timeoutMs,
                      bool wakeOnWritable = false) override {
        if (!open_)
            return {IoStatus::Broken, 0};
        return line_.readWait(host_, data, count, stop, timeoutMs, wakeOnWritable);
    }
    long writeSome(const void* data, std::size_t count, int timeoutMs) override {
        if (!open_)
            return -1;
        return line_.writeSome(host_, data, count, timeoutMs);
    }
    void close() override {
        if (!host_)
            return; // the device's end closes by hanging up the line
        if (open_)
            line_.detachHost();
        open_ = false;
    }
    bool isOpen() const override { return open_; }

private:
    LoopbackLine& line_;
    bool host_;
    bool open_ = true;
    std::shared_ptr<LoopbackLine> keep_;
};

LoopbackLine::LoopbackLine() : device_(std::make_unique<End>(*this, false)) {}

LoopbackLine::~LoopbackLine() = default;

iSerialLine& LoopbackLine::deviceEnd() {
    return *device_;
}

void LoopbackLine::hangUp() {
    std::lock_guard<std::mutex> guard(lock_);
    hungUp_ = true;
    refresh(toHost_);
    refresh(toDevice_);
}

void LoopbackLine::refresh(Queue& queue) {
    if (queue.count > 0 || hungUp_)
        queue.dataReady.set();
    else
        queue.dataReady.reset();
    if (queue.count < queue.bytes.size() || hungUp_)
        queue.roomReady.set();
    else
        queue.roomReady.reset();
}

bool LoopbackLine::attachHost(int& error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (hungUp_) {
        error = kSerialErrorNotFound;
        return false;
    }
    if (hostAttached_) {
        error = kSerialErrorBusy;
        return false;
    }
    hostAttached_ = true;
    // A fresh connection starts with empty queues, as a port that is purged on open.
    toHost_.head = toHost_.count = 0;
    toDevice_.head = toDevice_.count = 0;
    refresh(toHost_);
    refresh(toDevice_);
    error = 0;
    return true;
}

void LoopbackLine::detachHost() {
    std::lock_guard<std::mutex> guard(lock_);
    hostAttached_ = false;
    toHost_.head = toHost_.count = 0;
    toDevice_.head = toDevice_.count = 0;
    refresh(toHost_);
    refresh(toDevice_);
}

IoResult LoopbackLine::readWait(bool host, void* data, std::size_t count, Event& stop, int timeoutMs,
                                bool wakeOnWritable) {
    Queue& in = host ? toHost_ : toDevice_;
    Queue& out = host ? toDevice_ : toHost_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (stop.isSet() && stop.consumeIfSignalled())
            return {IoStatus::Stopped, 0};
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (in.count > 0 && count > 0) {
                const std::size_t capacity = in.bytes.size();
                const std::size_t n = std::min(count, in.count);
                auto* p = static_cast<std::uint8_t*>(data);
                const std::size_t first = std::min(n, capacity - in.head);
                std::memcpy(p, in.bytes.data() + in.head, first);
                std::memcpy(p + first, in.bytes.data(), n - first);
                in.head = (in.head + n) % capacity;
                in.count -= n;
                refresh(in);
                return {IoStatus::Data, static_cast<long>(n)};
            }
            if (hungUp_ || (host && !hostAttached_))
                return {IoStatus::Broken, 0};
            if (wakeOnWritable && (out.count < out.bytes.size() || (!host && !hostAttached_)))
                return {IoStatus::Writable, 0};
        }
        Event* events[3] = {&stop, &in.dataReady, wakeOnWritable ? &out.roomReady : nullptr};
        const int r = waitForAny(events, 3, timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (r == 0)
            return {IoStatus::Stopped, 0};
        if (r == kWaitTimeout)
            return {IoStatus::Timeout, 0};
        if (r == kWaitFailed)
            return {IoStatus::Broken, 0};
    }
}

long LoopbackLine::writeSome(bool host, const void* data, std::size_t count, int timeoutMs) {
    Queue& out = host ? toDevice_ : toHost_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (hungUp_ || (host && !hostAttached_))
                return -1;
            if (!host && !hostAttached_)
                return static_cast<long>(count); // nobody listens: the bytes are lost on the wire
            const std::size_t capacity = out.bytes.size();
            const std::size_t n = std::min(count, capacity - out.count);
            if (n > 0) {
                const auto* p = static_cast<const std::uint8_t*>(data);
                const std::size_t tail = (out.head + out.count) % capacity;
                const std::size_t first = std::min(n, capacity - tail);
                std::memcpy(out.bytes.data() + tail, p, first);
                std::memcpy(out.bytes.data(), p + first, n - first);
                out.count += n;
                refresh(out);
                return static_cast<long>(n);
            }
            if (count == 0)
                return 0;
        }
        const int left = timeoutMs < 0 ? -1 : remainingMs(deadline);
        if (left == 0)
            return 0;
        if (out.roomReady.wait(left) == WaitResult::Failed)
            return -1;
    }
}

std::string LoopbackLine::publish(const std::shared_ptr<LoopbackLine>& line) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::string name = kNamePrefix + std::to_string(r.next++);
    r.lines[name] = line;
    return name;
}

void LoopbackLine::withdraw(const std::string& name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.lines.erase(name);
}

bool LoopbackLine::isLoopbackName(const std::string& path) {
    return path.rfind(kNamePrefix, 0) == 0;
}

std::unique_ptr<iSerialLine> LoopbackLine::openHost(const std::string& name, int& error) {
    std::shared_ptr<LoopbackLine> line;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        auto it = r.lines.find(name);
        if (it != r.lines.end())
            line = it->second.lock();
    }
    if (!line) {
        error = kSerialErrorNotFound;
        return nullptr;
    }
    if (!line->attachHost(error))
        return nullptr;
    LoopbackLine& target = *line;
    return std::make_unique<End>(target, true, std::move(line));
}
