#include "platform/ComPortNames.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace {

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The number of "COMn" (any case, no leading zero), else 0.
unsigned long comNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || upper(name.substr(0, 3)) != "COM" || name[3] == '0')
        return 0;
    unsigned long n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return n;
}

// Sort key: numbered COM ports first, by number; the rest by name.
auto sortKey(const ComPortName& port) {
    const unsigned long n = comNumber(port.name);
    return std::make_tuple(n == 0, n, upper(port.name));
}

// Whether text names the port: its name not followed by another digit (COM1 is not in "COM10").
bool namesPort(const std::string& text, const std::string& name) {
    const std::string t = upper(text);
    const std::string n = upper(name);
    for (std::size_t at = t.find(n); at != std::string::npos; at = t.find(n, at + 1)) {
        const std::size_t end = at + n.size();
        if (end == t.size() || !std::isdigit(static_cast<unsigned char>(t[end])))
            return true;
    }
    return false;
}

} // namespace

std::string comDevicePath(const std::string& name) {
    if (name.empty() || name.find_first_of("\\/") != std::string::npos)
        return name;
    return "\\\\.\\" + name;
}

std::vector<SerialDeviceEntry> comPortEntries(std::vector<ComPortName> ports) {
    ports.erase(
        std::remove_if(ports.begin(), ports.end(), [](const ComPortName& p) { return p.name.empty(); }),
        ports.end());
    // A port named twice keeps the first entry that has a friendly name.
    std::stable_sort(ports.begin(), ports.end(), [](const ComPortName& a, const ComPortName& b) {
        return std::make_tuple(sortKey(a), a.friendlyName.empty()) <
               std::make_tuple(sortKey(b), b.friendlyName.empty());
    });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const ComPortName& a, const ComPortName& b) {
                                return upper(a.name) == upper(b.name);
                            }),
                ports.end());
    std::vector<SerialDeviceEntry> out;
    out.reserve(ports.size());
    for (const ComPortName& port : ports) {
        SerialDeviceEntry entry;
        entry.path = port.name;
        entry.kernelName = port.name;
        entry.devicePath = comDevicePath(port.name);
        entry.product = port.friendlyName;
        if (port.friendlyName.empty())
            entry.label = port.name;
        else if (namesPort(port.friendlyName, port.name))
            entry.label = port.friendlyName;
        else
            entry.label = port.friendlyName + " (" + port.name + ")";
        out.push_back(std::move(entry));
    }
    return out;
}
