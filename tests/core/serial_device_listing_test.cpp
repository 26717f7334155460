// The port list read from a fake sysfs and /dev tree, and the texts for a port that cannot be opened.
#include "platform/SerialDeviceList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A throw-away directory holding sys/ and dev/ as the kernel and udev lay them out.
class FakeTree {
public:
    FakeTree() {
        char pattern[] = "/tmp/astrelvo-ttys-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ / "sys/class/tty");
        fs::create_directories(root_ / "dev/serial/by-id");
    }
    ~FakeTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;

    SerialDeviceRoots roots() const { return {(root_ / "sys").string(), (root_ / "dev").string()}; }
    fs::path dev() const { return root_ / "dev"; }

    // A tty whose device sits at sys/devices/<device> (empty: no device, as for virtual terminals).
    void tty(const std::string& name, const std::string& device, bool node = true) {
        const fs::path dir = root_ / "sys/class/tty" / name;
        fs::create_directories(dir);
        if (!device.empty()) {
            fs::create_directories(root_ / "sys/devices" / device);
            fs::create_directory_symlink(root_ / "sys/devices" / device, dir / "device");
        }
        if (node)
            write(root_ / "dev" / name, "");
    }
    void attribute(const std::string& relative, const std::string& text) {
        write(root_ / "sys" / relative, text);
    }
    void byId(const std::string& link, const std::string& target) {
        fs::create_symlink(target, root_ / "dev/serial/by-id" / link);
    }

    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

private:
    fs::path root_;
};

// A machine with a little of everything.
void populate(FakeTree& t) {
    t.tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    t.attribute("devices/usb1/1-1/product", "FT232R USB UART\n");
    t.byId("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    t.tty("ttyACM0", "usb1/1-2/1-2:1.0");
    t.attribute("devices/usb1/1-2/product", "Arduino\tUno\x01\n");
    t.tty("ttyUSB10", "usb1/1-3/1-3:1.0/ttyUSB10");
    t.tty("ttyUSB2", "usb1/1-4/1-4:1.0/ttyUSB2");
    t.attribute("devices/usb1/1-4/product", std::string(300, 'x'));
    t.tty("ttyS0", "pnp0/00:05");
    t.attribute("class/tty/ttyS0/type", "4\n");
    t.tty("ttyS1", "platform/serial8250");
    t.attribute("class/tty/ttyS1/type", "0\n");
    t.tty("ttyAMA0", "platform/fe201000.serial");
    t.tty("ttyUSB5", "usb1/1-5/1-5:1.0/ttyUSB5", false); // unplugged while listing: no node
    t.tty("tty1", "");
    t.tty("rfcomm0", "");
    t.tty("console", "");
    // Links that resolve to no listed node, or to a node of another name, are not taken.
    t.byId("usb-Gone_Adapter-if00-port0", "../../ttyUSB7");
    FakeTree::write(t.dev() / "elsewhere" / "ttyS0", "");
    t.byId("usb-Wrong_Target-if00", "../elsewhere/ttyS0");
}

} // namespace

TEST(SerialDeviceListing, ListsRealDevicesInNaturalOrder) {
    FakeTree tree;
    populate(tree);
    const auto list = listSerialDevices(tree.roots());
    const std::string dev = tree.dev().string();
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

    struct Expected {
        const char* kernel;
        std::string path;
        std::string label;
        std::string byId;
    };
    const std::vector<Expected> expected = {
        {"ttyACM0", dev + "/ttyACM0", "ttyACM0 (ArduinoUno)", ""},
        {"ttyAMA0", dev + "/ttyAMA0", "ttyAMA0", ""},
        {"ttyS0", dev + "/ttyS0", "ttyS0", ""},
        {"ttyUSB0", ftdi, "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (FT232R USB UART, ttyUSB0)", ftdi},
        {"ttyUSB2", dev + "/ttyUSB2", "ttyUSB2 (" + std::string(128, 'x') + ")", ""},
        {"ttyUSB10", dev + "/ttyUSB10", "ttyUSB10", ""},
    };
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(expected[i].kernel);
        EXPECT_EQ(list[i].kernelName, expected[i].kernel);
        EXPECT_EQ(list[i].path, expected[i].path);
        EXPECT_EQ(list[i].label, expected[i].label);
        EXPECT_EQ(list[i].byIdPath, expected[i].byId);
        EXPECT_EQ(list[i].devicePath, dev + "/" + expected[i].kernel);
    }
}

TEST(SerialDeviceListing, OpensNoDeviceNode) {
    FakeTree tree;
    populate(tree);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, tree.dev().c_str(), IN_OPEN), 0);
    ASSERT_GE(::inotify_add_watch(watch, (tree.dev() / "elsewhere").c_str(), IN_OPEN), 0);

    EXPECT_FALSE(listSerialDevices(tree.roots()).empty());

    // Reading the directories is fine; opening a node is what pulses a port's modem lines.
    alignas(inotify_event) char buffer[4096];
    std::vector<std::string> opened;
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (!(event->mask & IN_ISDIR) && event->len > 0)
                opened.emplace_back(event->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    EXPECT_TRUE(opened.empty()) << "opened " << opened.front();
}

TEST(SerialDeviceListing, MissingTreesGiveAnEmptyList) {
    EXPECT_TRUE(listSerialDevices({"/nonexistent/sys", "/nonexistent/dev"}).empty());
    FakeTree tree;
    tree.tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    // Without /dev/serial/by-id (no udev) the node itself is offered.
    fs::remove_all(tree.dev() / "serial");
    const auto list = listSerialDevices(tree.roots());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, (tree.dev() / "ttyUSB0").string());
}

TEST(SerialOpenErrorText, HintsWhereTheUserCanAct) {
    FakeTree tree;
    tree.tty("ttyACM0", "usb1/1-2/1-2:1.0");
    tree.tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    tree.byId("usb-Arduino_Uno-if00", "../../ttyACM0");
    const std::string acm = (tree.dev() / "ttyACM0").string();
    const std::string acmById = (tree.dev() / "serial/by-id/usb-Arduino_Uno-if00").string();
    const std::string usb = (tree.dev() / "ttyUSB0").string();
    struct stat st {};
    ASSERT_EQ(::stat(acm.c_str(), &st), 0);
    const std::time_t born = st.st_ctime;

    struct Case {
        const char* what;
        int error;
        const char* path;
        std::time_t now;
        const char* contains;
        bool modemManager;
    };
    const Case cases[] = {
        {"permission", EACCES, acm.c_str(), born, "dialout", false},
        {"missing adapter", ENOENT, usb.c_str(), born, "plugged in", false},
        {"fresh ACM busy", EBUSY, acm.c_str(), born + 3, "ModemManager", true},
        {"fresh ACM through by-id", EBUSY, acmById.c_str(), born + 29, "ModemManager", true},
        {"old ACM busy", EBUSY, acm.c_str(), born + 300, "another program", false},
        {"fresh USB adapter busy", EBUSY, usb.c_str(), born + 3, "another program", false},
        {"no path", EBUSY, nullptr, born, "another program", false},
        {"fresh ACM, other error", EIO, acm.c_str(), born, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = serialOpenErrorText(c.error, c.path, c.now);
        EXPECT_EQ(text.rfind(std::strerror(c.error), 0), 0u) << text;
        EXPECT_NE(text.find(c.contains), std::string::npos) << text;
        EXPECT_EQ(text.find("ModemManager") != std::string::npos, c.modemManager) << text;
    }
}
