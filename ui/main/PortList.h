#pragma once

#include "platform/SerialPort.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class VirtualController;

// The port choice of the main dialog: an editable box listing the serial devices of this machine, the
// paths the user typed in this session and, last, the built-in virtual controller. It turns the entry
// chosen or the text typed into the port number and device path that Connect needs, starting the
// virtual controller when it is chosen. UI thread.
class PortList {
public:
    // Most entries the list offers: Connect carries the port number in one byte, 0 being the test
    // mode. The virtual controller, when there is one, takes the last number.
    static constexpr int kMaxPorts = 255;
    // What may be typed for the virtual controller.
    static constexpr const char* kVirtualName = "virtual";

    using Lister = std::function<std::vector<SerialDeviceEntry>()>;

    // virtualController may be null: then the list has no virtual entry. lister lists the devices
    // (listSerialDevices unless a test gives another).
    explicit PortList(VirtualController* virtualController, Lister lister = {});

    // Replaces the device lister (tests); the next refresh uses it.
    void setLister(Lister lister) { lister_ = std::move(lister); }

    // Takes the box and lists into it (at start).
    void fill(QComboBox* box);
    // Lists again (the "Refresh" button): devices plugged in or out since; the selection stays on the
    // same path where it is still there.
    void refresh();
    // Selects the entry of this path (or kVirtualName), adding a typed entry when it is not listed.
    void select(const std::string& path);

    // What Connect needs for the entry chosen or the path typed: port number index + 1 and the device
    // path to put into the engine's table. error is set when nothing can be connected (no entry, the
    // virtual controller cannot start); nothing should be sent then.
    struct Choice {
        uint32_t port = 1;
        std::string path;
        std::string error;
    };
    // A typed path becomes an entry of the list for the rest of the session.
    Choice resolve();

    const std::vector<SerialDeviceEntry>& entries() const { return entries_; }
    // Index of the virtual controller's entry, -1 when there is none.
    int virtualIndex() const { return virtualIndex_; }

private:
    void rebuild(const std::string& keepPath);
    std::string pathAt(int index) const;
    int indexOfPath(const std::string& path) const;

    VirtualController* virtualController_;
    Lister lister_;
    QComboBox* box_ = nullptr;
    std::vector<SerialDeviceEntry> entries_; // listed devices, then typed paths
    std::vector<std::string> typed_;         // paths typed in this session
    int virtualIndex_ = -1;
};
