#pragma once

#include "platform/SerialPort.h"

#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class VirtualController;

// The port choice of the main dialog: fills the port box with the serial devices of this machine and,
// last, the built-in virtual controller, and turns the selected entry into the port number and device
// path that Connect needs (starting the virtual controller when it is chosen). UI thread.
class PortList {
public:
    // Most entries the list offers: Connect carries the port number in one byte, 0 being the test
    // mode. The virtual controller, when there is one, takes the last number.
    static constexpr int kMaxPorts = 255;

    // virtualController may be null: then the list has no virtual entry.
    explicit PortList(VirtualController* virtualController) : virtualController_(virtualController) {}

    // Lists the devices into box (once, at start); the box is the one resolve reads.
    void fill(QComboBox* box);

    // What Connect needs for the selected entry: port number index + 1 and the device path to put into
    // the engine's table (empty when the entry has none). error is set when the virtual controller
    // cannot start; nothing should be sent then.
    struct Choice {
        uint32_t port = 1;
        std::string path;
        std::string error;
    };
    Choice resolve() const;

    const std::vector<SerialDeviceEntry>& entries() const { return entries_; }
    // Index of the virtual controller's entry, -1 when there is none.
    int virtualIndex() const { return virtualIndex_; }

private:
    QComboBox* box_ = nullptr;
    VirtualController* virtualController_;
    std::vector<SerialDeviceEntry> entries_;
    int virtualIndex_ = -1;
};
