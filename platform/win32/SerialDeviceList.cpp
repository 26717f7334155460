#include "platform/SerialDeviceList.h"

#include "platform/ComPortNames.h"
#include "platform/win32/SerialSetupError.h"
#include "platform/win32/Utf16.h"

#include <cstdio>
#include <cstring>
#include <windows.h>

#include <setupapi.h>

namespace {

// The device setup class of serial and parallel ports ("Ports").
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A registry string value's text, without the terminating zeros (the value need not have one).
std::string stringValue(const wchar_t* data, DWORD bytes) {
    std::size_t length = bytes / sizeof(wchar_t);
    while (length > 0 && data[length - 1] == L'\0')
        --length;
    return toUtf8(std::wstring_view(data, length));
}

// At most this many values are read from the map: more ports than any machine has.
constexpr DWORD kMostMapValues = 4096;

// The machine's COM ports: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (device name -> port
// name), which every serial driver fills, Wine's too. A value too long for the buffers is passed over;
// any other error ends the listing (the loop runs on the UI thread and must end).
std::vector<ComPortName> registryPorts() {
    std::vector<ComPortName> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0; index < kMostMapValues; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        if (type == REG_SZ)
            ports.push_back({stringValue(data, dataBytes), {}});
    }
    ::RegCloseKey(key);
    return ports;
}

// The friendly names that the drivers of the "Ports" class give their devices, with each device's
// port name ("PortName" in its device key). Devices that are not there are left out.
std::vector<ComPortName> setupPorts() {
    std::vector<ComPortName> ports;
    HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        ComPortName port;
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            wchar_t data[256];
            DWORD bytes = sizeof data;
            DWORD type = 0;
            if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
                    ERROR_SUCCESS &&
                type == REG_SZ)
                port.name = stringValue(data, bytes);
            ::RegCloseKey(key);
        }
        wchar_t friendly[256];
        DWORD bytes = 0;
        if (::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<BYTE*>(friendly), sizeof friendly, &bytes))
            port.friendlyName = stringValue(friendly, bytes);
        if (!port.name.empty())
            ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

} // namespace

// The ports of the registry's map, named as their drivers name them. Nothing is opened: opening a port
// raises DTR and RTS. A COM port that the map lacks but the "Ports" class knows (a driver that does not
// fill the map) is listed too; the class's printer ports (LPTn) are not.
std::vector<SerialDeviceEntry> listSerialDevices(const SerialDeviceRoots&) {
    const std::vector<ComPortName> mapped = registryPorts();
    std::vector<ComPortName> ports;
    for (ComPortName& port : setupPorts()) {
        bool keep = ::_strnicmp(port.name.c_str(), "COM", 3) == 0;
        for (const ComPortName& m : mapped)
            keep = keep || ::lstrcmpiA(m.name.c_str(), port.name.c_str()) == 0;
        if (keep)
            ports.push_back(std::move(port));
    }
    ports.insert(ports.end(), mapped.begin(), mapped.end());
    return comPortEntries(std::move(ports));
}

namespace {

// Windows' own text for an error, in UTF-8 (localised messages need not fit the ANSI code page),
// without the closing full stop and line end.
std::string windowsErrorText(DWORD error) {
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    std::string text;
    if (length > 0 && message != nullptr)
        text = toUtf8(std::wstring_view(message, length));
    if (message != nullptr)
        ::LocalFree(message);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "error %lu", static_cast<unsigned long>(error));
        text = fallback;
    }
    return text;
}

} // namespace

std::string serialOpenErrorText(int error) {
    DWORD windowsError = 0;
    if (const char* call = serialSetupCallName(error, windowsError))
        return std::string(call) + " failed: " + windowsErrorText(windowsError);
    std::string text = windowsErrorText(windowsError);
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
