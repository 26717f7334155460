#include "platform/SerialDeviceList.h"

#include <cstdio>
#include <windows.h>

namespace {

// The port list offers COM1 to COM256, whether or not a port of that number exists: Windows gives
// each adapter a number that the user sees in the Device Manager.
constexpr int kLastComPort = 256;

} // namespace

std::vector<SerialDeviceEntry> listSerialDevices(const SerialDeviceRoots&) {
    std::vector<SerialDeviceEntry> out;
    out.reserve(kLastComPort);
    for (int n = 1; n <= kLastComPort; ++n) {
        const std::string name = "COM" + std::to_string(n);
        SerialDeviceEntry entry;
        entry.path = "\\\\.\\" + name;
        entry.label = name;
        entry.kernelName = name;
        entry.devicePath = entry.path;
        out.push_back(std::move(entry));
    }
    return out;
}

std::string serialOpenErrorText(int error) {
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text;
    if (length > 0 && message != nullptr)
        text.assign(message, length);
    if (message != nullptr)
        ::LocalFree(message);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "error %d", error);
        text = fallback;
    }
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        text += " (another program is using the port)";
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        text += " (the port is not there; is the adapter plugged in?)";
    return text;
}

std::string serialOpenErrorText(int error, const char*) {
    return serialOpenErrorText(error);
}

std::string serialOpenErrorText(int error, const char*, std::time_t) {
    return serialOpenErrorText(error);
}
