#pragma once

// The program's long-lived objects wired as start-up wires them, without a window, for tests that run
// the whole engine against the controller emulator over its line (a pseudo-terminal, or on Windows an
// in-process loopback line). The test's own thread plays
// the UI thread: notifications that the engine's worker posts are queued and handled by pump().

#include "app/Program.h"
#include "emulator/Rz4Emulator.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "model/store/iMainDlgCallback.h"
#include "platform/SerialLines.h"
#include "rz4/StatusCode.h"

#include <gtest/gtest.h>

#include "tests/TimingChecks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace rig {

using Clock = std::chrono::steady_clock;

inline int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits until done() or the time is up; returns done()'s last value.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// CPU time (user + system) of the whole process, in milliseconds.
inline double processCpuMs() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
#else
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
#endif
}

// CPU time the process uses while the calling thread sleeps for sleepMs: what the other threads
// burn when nothing is happening.
inline double idleCpuMs(int sleepMs = 1000) {
    const double before = processCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    return processCpuMs() - before;
}

// Threads of this process.
inline int threadCount() {
#ifdef _WIN32
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == self ? 1 : 0;
    ::CloseHandle(snapshot);
    return count;
#else
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count;
#endif
}

// Descriptors of this process that refer to the device at path (also after the device went away).
// Windows (handles, not descriptors) and in-process lines: 0, nothing to count.
inline int descriptorsOn(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return 0;
#else
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        char target[512] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const std::string text(target, static_cast<std::size_t>(n));
        if (text == path || text == path + " (deleted)")
            ++count;
    }
    ::closedir(dir);
    return count;
#endif
}

// True when nobody holds the line exclusively any more: a second open succeeds.
inline bool portFree(const std::string& path) {
    int error = 0;
    return openSerialLine(path, error) != nullptr;
}

inline uint32_t recordWord(const AppModel& model, uint32_t record, uint32_t word) {
    uint32_t value = 0;
    if (record >= model.rawCount || model.recordLength < 4 * word + 4)
        return 0;
    std::memcpy(&value, model.rawRecords + static_cast<std::size_t>(record) * model.recordLength + 4 * word,
                sizeof value);
    return value;
}

// The index of the first stored record (from `from` on) whose sequence number (word 0) does not follow
// its predecessor's; rawCount when the run is unbroken. The run starts at firstNumber.
inline uint32_t firstBreak(const AppModel& model, uint32_t firstNumber, uint32_t from = 0) {
    for (uint32_t i = from; i < model.rawCount; ++i) {
        if (recordWord(model, i, 0) != firstNumber + (i - from))
            return i;
    }
    return model.rawCount;
}

// Calls the engine's heartbeat entry at a fixed short period on its own thread: a heartbeat that
// runs much faster than the program's, to push the logging cycle to full speed.
class FastTicker {
public:
    FastTicker(CommControl& engine, int periodUs) : engine_(engine), periodUs_(periodUs) {
        thread_ = std::thread([this] { run(); });
    }
    ~FastTicker() { stop(); }
    FastTicker(const FastTicker&) = delete;
    FastTicker& operator=(const FastTicker&) = delete;

    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run() {
        while (!stop_) {
            engine_.OnHeartBeat();
            std::this_thread::sleep_for(std::chrono::microseconds(periodUs_));
        }
    }

    CommControl& engine_;
    int periodUs_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The program's objects (app/Program) with a recording user interface. The heartbeat is not started
// unless a test asks for it; fault tests drive ticks themselves. Statuses, encoder-width and new-data
// calls are recorded on the test's thread, which plays the UI thread.
class EngineRig : public iMainDlgCallback {
public:
    EngineRig() {
        program_.engine().setEventTap(&EngineRig::onEvent, this);
        program_.attach(this);
    }

    ~EngineRig() override {
        close();
        program_.model().listener = nullptr;
    }

    EngineRig(const EngineRig&) = delete;
    EngineRig& operator=(const EngineRig&) = delete;

    CommControl& engine() { return program_.engine(); }
    AppModel& model() { return program_.model(); }
    const std::vector<uint32_t>& statuses() const { return statuses_; }
    uint32_t lastStatus() const { return statuses_.empty() ? StatusNotConnected : statuses_.back(); }
    uint32_t encoderBits() const { return encoderBits_; }
    uint32_t newDataCalls() const { return newDataCalls_; }
    uint32_t lastAvailable() const { return lastAvailable_; }
    // Ticks the worker has taken from its pipe so far (any thread).
    int ticksTaken() const { return ticksTaken_.load(); }

    void startHeartbeat() { program_.start(); }

    // Points port 1 at the emulator's line and connects to it.
    void connect(const Rz4Emulator& emulator) {
        ASSERT_TRUE(engine().setPortPath(1, emulator.slavePath().c_str()));
        engine().Connect(1);
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            engine().OnHeartBeat();
    }

    // Handles every notification queued now.
    void pump() { program_.pump(); }

    // Handles notifications as they come until done() or the time is up.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
        return program_.pumpUntil(done, timeoutMs);
    }

    // Keeps handling notifications for a while.
    void pumpFor(int ms) {
        pumpUntil([] { return false; }, ms);
    }

    bool waitStatus(uint32_t code, int timeoutMs) {
        return pumpUntil([&] { return lastStatus() == code; }, timeoutMs);
    }

    // Waits for code to be posted at or after index `since` of statuses().
    bool waitStatusSince(uint32_t code, std::size_t since, int timeoutMs) {
        return pumpUntil(
            [&] {
                return statuses_.size() > since &&
                       std::find(statuses_.begin() + static_cast<std::ptrdiff_t>(since), statuses_.end(),
                                 code) != statuses_.end();
            },
            timeoutMs);
    }

    bool sawStatus(uint32_t code) const {
        return std::find(statuses_.begin(), statuses_.end(), code) != statuses_.end();
    }

    // The program's shutdown (detach, stop the heartbeat, stop the engine while draining the channel);
    // the model stays for inspection. Returns the time taken.
    int64_t close() {
        const auto start = Clock::now();
        program_.stop();
        return msSince(start);
    }

    // iMainDlgCallback (UI thread)
    void OnStatus(uint32_t code) override {
        code &= 0xFFFF;
        if (code < kStatusCodeCount)
            statuses_.push_back(code);
    }
    void OnEncoderBits(uint32_t bits) override { encoderBits_ = bits; }
    void OnNewData(uint32_t, uint32_t, uint32_t available) override {
        ++newDataCalls_;
        lastAvailable_ = available;
    }

private:
    static void onEvent(void* context, const uint8_t* event, int) {
        if (((event[0] >> 5) & 3) == 1)
            ++static_cast<EngineRig*>(context)->ticksTaken_;
    }

    Program program_;
    std::atomic<int> ticksTaken_{0};

    // UI thread.
    std::vector<uint32_t> statuses_;
    uint32_t encoderBits_ = 0;
    uint32_t newDataCalls_ = 0;
    uint32_t lastAvailable_ = 0;
};

// A running emulator; fails the test when it cannot start.
inline std::unique_ptr<Rz4Emulator> startEmulator(const Rz4EmulatorConfig& config = {}) {
    auto emulator = std::make_unique<Rz4Emulator>(config);
    EXPECT_TRUE(emulator->start());
    return emulator;
}

// Connects to a fresh, well-behaved controller and disconnects again: the program is still usable
// after whatever happened before. The previous session must be closed.
inline void expectUsableAgain(EngineRig& rig) {
    auto emulator = startEmulator();
    std::size_t since = rig.statuses().size();
    rig.connect(*emulator);
    EXPECT_TRUE(rig.waitStatusSince(StatusConnected, since, 10000)) << "last status " << rig.lastStatus();
    EXPECT_EQ(rig.model().deviceInfo.recordLength, 16u);
    since = rig.statuses().size();
    rig.engine().Disconnect();
    EXPECT_TRUE(rig.waitStatusSince(StatusConnectionClosed, since, 10000))
        << "last status " << rig.lastStatus();
    EXPECT_TRUE(waitUntil([&] { return portFree(emulator->slavePath()); }, 5000));
}

// Nothing spins: with the engine at rest the process uses well below 5 % of a core. Checked in the Slow
// twins of timed tests only.
inline void expectIdle(const char* where) {
    if (!timing::checked())
        return;
    const double ms = idleCpuMs(1000);
    EXPECT_LT(ms, 50.0) << "CPU time over an idle second " << where;
}

} // namespace rig
