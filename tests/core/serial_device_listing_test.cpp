// The port list read from a fake sysfs and /dev tree, and the texts for a port that cannot be opened.
#include "platform/SerialDeviceList.h"
#include "tests/core/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A tty in the fake sysfs whose device sits at sys/devices/<device> ("" for none, as for virtual
// terminals), with or without its node in dev/.
void tty(const TempTree& t, const std::string& name, const std::string& device, bool node = true) {
    t.dir("sys/class/tty/" + name);
    if (!device.empty())
        t.link("sys/class/tty/" + name + "/device", t.dir("sys/devices/" + device));
    if (node)
        t.file("dev/" + name);
}

// A machine with a little of everything.
void populate(const TempTree& t) {
    tty(t, "ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    t.file("sys/devices/usb1/1-1/product", "FT232R USB UART\n");
    t.link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    tty(t, "ttyACM0", "usb1/1-2/1-2:1.0");
    t.file("sys/devices/usb1/1-2/product", "Arduino\tUno\x01\n"); // control characters are dropped
    tty(t, "ttyUSB10", "usb1/1-3/1-3:1.0/ttyUSB10");
    t.file("sys/devices/usb1/1-3/idVendor", "1a86\n");            // an adapter that names no product...
    t.file("sys/devices/usb1/product", "xHCI Host Controller\n"); // ...is not labelled as its hub
    tty(t, "ttyUSB2", "usb1/1-4/1-4:1.0/ttyUSB2");
    t.file("sys/devices/usb1/1-4/product", std::string(300, 'x')); // cut to 128
    tty(t, "ttyS0", "pnp0/00:05");
    t.file("sys/class/tty/ttyS0/type", "4\n"); // a 16550A
    tty(t, "ttyS1", "platform/serial8250");
    t.file("sys/class/tty/ttyS1/type", "0\n"); // reserved line, no UART
    tty(t, "ttyAMA0", "platform/fe201000.serial");
    tty(t, "ttyUSB5", "usb1/1-5/1-5:1.0/ttyUSB5", false); // unplugged while listing: no node
    tty(t, "tty1", "");
    tty(t, "rfcomm0", "");
    // By-id links to no node, or to a node of another name, are not taken.
    t.link("dev/serial/by-id/usb-Gone_Adapter-if00-port0", "../../ttyUSB7");
    t.file("dev/elsewhere/ttyS0");
    t.link("dev/serial/by-id/usb-Wrong_Target-if00", "../elsewhere/ttyS0");
}

} // namespace

TEST(SerialDeviceListing, ListsRealDevicesInNaturalOrder) {
    TempTree tree;
    populate(tree);
    const auto list = listSerialDevices({tree.path("sys"), tree.path("dev")});
    const std::string dev = tree.path("dev");
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    struct Expected {
        const char* kernel;
        std::string path;
        std::string label;
    };
    const std::vector<Expected> expected = {
        {"ttyACM0", dev + "/ttyACM0", "ttyACM0 (ArduinoUno)"},
        {"ttyAMA0", dev + "/ttyAMA0", "ttyAMA0"},
        {"ttyS0", dev + "/ttyS0", "ttyS0"},
        {"ttyUSB0", ftdi, "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (FT232R USB UART, ttyUSB0)"},
        {"ttyUSB2", dev + "/ttyUSB2", "ttyUSB2 (" + std::string(128, 'x') + ")"},
        {"ttyUSB10", dev + "/ttyUSB10", "ttyUSB10"},
    };
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(expected[i].kernel);
        EXPECT_EQ(list[i].kernelName, expected[i].kernel);
        EXPECT_EQ(list[i].path, expected[i].path);
        EXPECT_EQ(list[i].label, expected[i].label);
        EXPECT_EQ(list[i].devicePath, dev + "/" + expected[i].kernel);
    }
    EXPECT_TRUE(listSerialDevices({"/nonexistent/sys", "/nonexistent/dev"}).empty());
}

TEST(SerialDeviceListing, OpensNoDeviceNode) {
    TempTree tree;
    populate(tree);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const char* dir : {"dev", "dev/elsewhere"})
        ASSERT_GE(::inotify_add_watch(watch, tree.path(dir).c_str(), IN_OPEN), 0);

    EXPECT_FALSE(listSerialDevices({tree.path("sys"), tree.path("dev")}).empty());

    // Reading the directories is fine; opening a node is what pulses a port's modem lines.
    alignas(inotify_event) char buffer[4096];
    std::string opened;
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (!(event->mask & IN_ISDIR) && event->len > 0)
                opened += std::string(event->name) + " ";
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    EXPECT_EQ(opened, "");
}

TEST(SerialOpenErrorText, HintsWhereTheUserCanAct) {
    TempTree tree;
    const std::string acm = tree.file("dev/ttyACM0");
    const std::string usb = tree.file("dev/ttyUSB0");
    tree.link("dev/serial/by-id/usb-Arduino_Uno-if00", "../../ttyACM0");
    const std::string acmById = tree.path("dev/serial/by-id/usb-Arduino_Uno-if00");
    struct stat st {};
    ASSERT_EQ(::stat(acm.c_str(), &st), 0);
    const std::time_t born = st.st_ctime;
    struct Case {
        int error;
        const char* path;
        std::time_t now;
        const char* contains;
    };
    const Case cases[] = {
        {EACCES, acm.c_str(), born, "dialout"},
        {ENOENT, usb.c_str(), born, "plugged in"},
        {EBUSY, acm.c_str(), born + 3, "ModemManager"},
        {EBUSY, acmById.c_str(), born + 29, "ModemManager"},
        {EBUSY, acm.c_str(), born + 300, "another program"},
        {EBUSY, usb.c_str(), born + 3, "another program"},
        {EBUSY, nullptr, born, "another program"},
        {EIO, acm.c_str(), born, ""},
    };
    for (const Case& c : cases) {
        const std::string text = serialOpenErrorText(c.error, c.path, c.now);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.rfind(std::strerror(c.error), 0), 0u);
        EXPECT_NE(text.find(c.contains), std::string::npos);
        EXPECT_EQ(text.find("ModemManager") != std::string::npos,
                  std::strcmp(c.contains, "ModemManager") == 0);
    }
}
