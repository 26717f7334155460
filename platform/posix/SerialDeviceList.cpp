#include "platform/SerialDeviceList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// A sysfs attribute is one short line; anything longer is cut.
constexpr std::size_t kMaxAttributeBytes = 128;
// How far up from a tty's device the USB device with its "product" may sit (ttyUSB: port, interface,
// device; ttyACM: interface, device).
constexpr int kMaxProductLevels = 4;
// A busy ACM device younger than this is most likely being probed by ModemManager.
constexpr std::time_t kModemManagerProbeSeconds = 30;

// The first line of a small text file, printable characters only, trimmed; empty when unreadable.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    char buffer[kMaxAttributeBytes];
    in.read(buffer, sizeof buffer);
    const auto count = static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount()));
    std::string text;
    for (std::size_t i = 0; i < count && buffer[i] != '\n' && buffer[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(buffer[i]);
        if (c >= 0x20 && c != 0x7F)
            text.push_back(static_cast<char>(c));
    }
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool pathExists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// A path resolved through every symbolic link; empty when it does not resolve.
fs::path resolved(const fs::path& p) {
    std::error_code ec;
    fs::path out = fs::canonical(p, ec);
    return ec ? fs::path() : out;
}

bool isInside(const fs::path& p, const fs::path& root) {
    auto [rootEnd, pEnd] = std::mismatch(root.begin(), root.end(), p.begin(), p.end());
    (void)pEnd;
    return rootEnd == root.end();
}

// The "product" text of the USB device above a tty's device, searched a few levels up but never
// outside the sysfs root, and never past that USB device (the one with an idVendor): an adapter that
// names no product must not be labelled with its hub's or host controller's name.
std::string usbProduct(const fs::path& ttyDir, const fs::path& sysRoot) {
    fs::path dir = resolved(ttyDir / "device");
    for (int level = 0; level < kMaxProductLevels && !dir.empty() && isInside(dir, sysRoot); ++level) {
        if (pathExists(dir / "product"))
            return readAttribute(dir / "product");
        if (pathExists(dir / "idVendor"))
            return {};
        if (dir == dir.parent_path())
            break;
        dir = dir.parent_path();
    }
    return {};
}

// Serial-core drivers show the port type; 0 means the line is reserved but no UART answered.
bool placeholderPort(const fs::path& ttyDir) {
    if (!pathExists(ttyDir / "type"))
        return false;
    return readAttribute(ttyDir / "type") == "0";
}

// kernel name -> /dev/serial/by-id name, for every by-id link that resolves to that kernel's node.
std::map<std::string, std::string> byIdNames(const fs::path& devRoot) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    std::vector<fs::path> links;
    for (auto it = fs::directory_iterator(devRoot / "serial" / "by-id", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        if (it->is_symlink(linkError))
            links.push_back(it->path());
    }
    // The first name in order wins when one device has several.
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        const fs::path target = resolved(link);
        if (target.empty())
            continue;
        const std::string kernelName = target.filename().string();
        if (resolved(devRoot / kernelName) != target)
            continue; // points somewhere else than the node of that name
        out.emplace(kernelName, link.string());
    }
    return out;
}

// ttyUSB2 before ttyUSB10: the letters compared as text, the trailing number as a number.
bool naturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9')
            --digits;
        std::string number = s.substr(digits);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        return std::make_tuple(s.substr(0, digits), number.size(), number);
    };
    return split(a) < split(b);
}

std::string labelFor(const SerialDeviceEntry& e) {
    if (e.byIdPath.empty())
        return e.product.empty() ? e.kernelName : e.kernelName + " (" + e.product + ")";
    const std::string name = fs::path(e.byIdPath).filename().string();
    return name + " (" + (e.product.empty() ? e.kernelName : e.product + ", " + e.kernelName) + ")";
}

} // namespace

std::vector<SerialDeviceEntry> listSerialDevices(const SerialDeviceRoots& roots) {
    std::vector<SerialDeviceEntry> out;
    const fs::path sysRoot = resolved(roots.sys);
    const fs::path devRoot = roots.dev;
    if (sysRoot.empty())
        return out;
    const auto byId = byIdNames(devRoot);
    std::error_code ec;
    for (auto it = fs::directory_iterator(sysRoot / "class" / "tty", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path ttyDir = it->path();
        const std::string name = ttyDir.filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        if (!pathExists(ttyDir / "device"))
            continue; // virtual terminal, pseudo-terminal or other tty without hardware
        if (placeholderPort(ttyDir))
            continue;
        const fs::path node = devRoot / name;
        if (!pathExists(node))
            continue;
        SerialDeviceEntry entry;
        entry.kernelName = name;
        entry.devicePath = node.string();
        if (auto found = byId.find(name); found != byId.end())
            entry.byIdPath = found->second;
        entry.product = usbProduct(ttyDir, sysRoot);
        entry.path = entry.byIdPath.empty() ? entry.devicePath : entry.byIdPath;
        entry.label = labelFor(entry);
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const SerialDeviceEntry& a, const SerialDeviceEntry& b) {
        return naturalLess(a.kernelName, b.kernelName);
    });
    return out;
}

std::string serialOpenErrorText(int error) {
    std::string text = std::strerror(error);
    if (error == EACCES || error == EPERM)
        text += " (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)";
    else if (error == EBUSY)
        text += " (another program is using the port)";
    else if (error == ENOENT)
        text += " (the device is not there; is the adapter plugged in?)";
    return text;
}

std::string serialOpenErrorText(int error, const char* path) {
    return serialOpenErrorText(error, path, std::time(nullptr));
}

std::string serialOpenErrorText(int error, const char* path, std::time_t now) {
    if (error != EBUSY || path == nullptr || *path == '\0')
        return serialOpenErrorText(error);
    // The kernel name behind a by-id or other link; the node's change time is when udev set it up.
    const fs::path node = resolved(path);
    struct stat st {};
    if (node.empty() || node.filename().string().rfind("ttyACM", 0) != 0 || ::stat(node.c_str(), &st) != 0)
        return serialOpenErrorText(error);
    const std::time_t age = now - st.st_ctime;
    if (age < -kModemManagerProbeSeconds || age > kModemManagerProbeSeconds)
        return serialOpenErrorText(error);
    return std::string(std::strerror(error)) +
           " (the device appeared moments ago and ModemManager may be probing it: wait a few seconds and "
           "connect again. To keep ModemManager away from it for good, give the adapter a udev rule with "
           "ENV{ID_MM_DEVICE_IGNORE}=\"1\", or, if this computer uses no modem, run sudo systemctl disable "
           "--now ModemManager)";
}
