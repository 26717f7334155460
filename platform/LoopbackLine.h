#pragma once

#include "platform/Event.h"
#include "platform/iSerialLine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// An in-process serial line: two byte queues between a device end (an emulated controller) and a
// host end (the engine's transport), which opens it by name like a port. Like a wire: what the device
// sends while no host is attached is lost, and attaching discards what was queued. The device's
// hang-up lets the host read what was sent before and then reports Broken.
// Each end is used by one reading and one writing thread; the queues are guarded by one mutex.
class LoopbackLine {
public:
    static constexpr std::size_t kQueueBytes = 16384;
    static constexpr const char* kNamePrefix = "loopback:";

    LoopbackLine();
    ~LoopbackLine();
    LoopbackLine(const LoopbackLine&) = delete;
    LoopbackLine& operator=(const LoopbackLine&) = delete;

    // The device's end; it lives as long as the line.
    iSerialLine& deviceEnd();
    // The device closes the line for good.
    void hangUp();

    // Makes the line openable by name (openSerialLine); returns the name, "loopback:" and a number
    // unique in the process. The registry does not keep the line alive.
    static std::string publish(const std::shared_ptr<LoopbackLine>& line);
    // Removes a published name; the host end stays attached until it is closed.
    static void withdraw(const std::string& name);
    static bool isLoopbackName(const std::string& path);
    // Attaches the host end of the line published under name, for exclusive use. Null with error set
    // to kSerialErrorNotFound (no such line, or it hung up) or kSerialErrorBusy (attached already).
    // The returned end keeps the line alive; closing or destroying it detaches.
    static std::unique_ptr<iSerialLine> openHost(const std::string& name, int& error);

private:
    class End;
    struct Queue {
        std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kQueueBytes);
        std::size_t head = 0;
        std::size_t count = 0;
        Event dataReady{Event::Reset::Manual, false};
        Event roomReady{Event::Reset::Manual, true};
    };

    IoResult readWait(bool host, void* data, std::size_t count, Event& stop, int timeoutMs,
                      bool wakeOnWritable);
    long writeSome(bool host, const void* data, std::size_t count, int timeoutMs);
    bool attachHost(int& error);
    void detachHost();
    // Sets a queue's events from its fill and the hang-up; lock_ held.
    void refresh(Queue& queue);

    std::mutex lock_;
    Queue toHost_;
    Queue toDevice_;
    bool hostAttached_ = false;
    bool hungUp_ = false;
    std::unique_ptr<End> device_;
};
