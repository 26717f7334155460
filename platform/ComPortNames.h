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

// The path that opens the port a name stands for: a bare name ("COM7", "com12", a virtual-port driver's
// "CNCA0") in the device namespace ("\\.\COM7"), which reaches every name the SERIALCOMM map lists,
// COM ports above 9 included; a path (holding a backslash or a slash, as "\\.\COM12") as given.
std::string comDevicePath(const std::string& name);

// The port list's entries for these ports: each port once, COMn by number (COM2 before COM10), other
// names after them in text order; labelled with the friendly name, with " (COMn)" added when it does
// not name the port, or the bare name when there is none. The path is the name ("COM5"), the device
// path its comDevicePath ("\\.\COM5").
std::vector<SerialDeviceEntry> comPortEntries(std::vector<ComPortName> ports);
