#pragma once

#include <ctime>
#include <string>
#include <vector>

// One serial device of this machine, as the port list offers it.
struct SerialDeviceEntry {
    std::string path;       // what to open: the /dev/serial/by-id name where udev made one, else the node
    std::string label;      // what a user recognises, e.g. "usb-FTDI_FT232R_USB_UART_A5-if00-port0
                            // (FT232R USB UART, ttyUSB0)" or "ttyS0"
    std::string kernelName; // e.g. ttyUSB0
    std::string devicePath; // the kernel's node, e.g. /dev/ttyUSB0
    std::string byIdPath;   // the stable /dev/serial/by-id name; empty when there is none
    std::string product;    // the USB product text from sysfs; empty when sysfs has none
};

// Where the listing looks: the sysfs mount and the device directory. Tests point both at a fake tree.
struct SerialDeviceRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// The serial devices of this machine, read from sysfs and the device directory only: no device is
// opened, because opening a port raises DTR and RTS and so pulses whatever hangs on its modem lines.
// Listed is every tty with a device behind it in sysfs (USB adapters, ACM devices, UARTs of any
// driver) whose node exists, except serial ports whose sysfs "type" reads 0: the kernel reserves ttyS0
// to ttyS31 whether or not a UART answers, and type 0 (unknown) is its word for "no UART found".
// Virtual terminals, pseudo-terminals and rfcomm links have no device in sysfs and are not listed
// (they can still be typed). Sorted by kernel name, numbers compared as numbers (ttyUSB2 before
// ttyUSB10). Windows: the COM ports of the registry's SERIALCOMM map with their drivers' friendly
// names (see comPortEntries). Called on the UI thread; touches no shared state.
std::vector<SerialDeviceEntry> listSerialDevices(const SerialDeviceRoots& roots = SerialDeviceRoots{});

// Text of an errno from opening a serial port, with a hint where the user can act (permission: the
// dialout group; a missing adapter; another program holding the port).
std::string serialOpenErrorText(int error);

// The same for a given device path, adding the ModemManager hint where it applies: an ACM device that
// is busy within half a minute of appearing is most likely being probed by ModemManager.
std::string serialOpenErrorText(int error, const char* path);

// As above with the current time given, so that the age of the device node can be tested.
std::string serialOpenErrorText(int error, const char* path, std::time_t now);
