#pragma once

#include "platform/SerialDeviceList.h"

#include <string>
#include <vector>

// One COM port as Windows knows it: its name ("COM5", from the registry's SERIALCOMM map) and its
// driver's friendly name ("USB Serial Port (COM5)"; empty when there is none).
struct ComPortName {
    std::string name;
    std::string friendlyName;
};

// The port list's entries for these ports: each port once, COMn by number (COM2 before COM10), other
// names after them in text order; labelled with the friendly name, with " (COMn)" added when it does
// not name the port, or the bare name when there is none. The path is the name ("COM5"), the device
// path its device-namespace form ("\\.\COM5"), which also reaches ports above 9.
std::vector<SerialDeviceEntry> comPortEntries(std::vector<ComPortName> ports);
