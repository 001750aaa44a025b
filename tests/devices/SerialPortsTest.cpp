// Serial ports without serial hardware: names, ORVO_TAPMETER_PORTS, stable
// numbers, detection from a scratch sysfs tree, and the real backend's refusals.

#include "devices/SerialLines.h"
#include "devices/SerialSupport.h"
#include "devices/TempDir.h"
#include "devices/SerialPortDetect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

TEST(PortNames, ComNameToListEntry) {
    struct Case {
        const char* name;
        int maxIndex;
        int want;
    } cases[] = {
        {"COM1", 255, 0},   {"COM12", 255, 11}, {"COM256", 255, 255}, {"COM257", 255, -1},
        {"COM0", 255, -1},  {"COMX", 255, -1},  {"COM", 255, -1},     {"LPT1", 255, -1},
        {"COM-1", 255, -1}, {"COM1a", 255, -1}, {"com3", 255, -1},    {"COM99999999", 255, -1},
        {"COM5", 3, -1},    {"COM4", 3, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(portdetect::ParseComName(c.name, c.maxIndex), c.want) << c.name;
}

TEST(PortNames, ExtraPortsFromTheEnvironmentText) {
    struct Case {
        const char* text;
        std::string want;
        size_t warnings;
    } cases[] = {
        {"COM7=/dev/pts/3", "7=/dev/pts/3", 0},
        {" COM7 = /dev/pts/3 , COM200=/dev/rfcomm0,", "7=/dev/pts/3 200=/dev/rfcomm0", 0},
        {"", "", 0},
        {"COM7", "", 1},
        {"COM0=/dev/x,COM257=/dev/y,LPT1=/dev/z", "", 3},
        {"COM7=relative/path,COM8=", "", 2},
        {"COM7=/dev/a,COM7=/dev/b,COM9=/dev/c", "7=/dev/a 9=/dev/c", 1},
        {"garbage,,COM256=/dev/ttyX", "256=/dev/ttyX", 1},
    };
    for (const Case& c : cases) {
        std::vector<TSerialPort> ports;
        std::vector<std::string> warnings;
        portdetect::ParseExtraPorts(c.text, ports, warnings);
        std::string got;
        for (const auto& p : ports) {
            got += (got.empty() ? "" : " ") + std::to_string(p.Number) + "=" + p.Path;
            EXPECT_TRUE(p.Extra);
        }
        EXPECT_EQ(got, c.want) << c.text;
        EXPECT_EQ(warnings.size(), c.warnings) << c.text;
        for (const auto& w : warnings)
            EXPECT_EQ(w.rfind("ORVO_TAPMETER_PORTS: entry \"", 0), 0u) << w;
    }
}

TSerialDevice Usb(const std::string& path, const std::string& byId, const std::string& serial = "A5") {
    return {path, "FT232R USB UART", "FTDI", serial, byId};
}

int NumberOf(const std::vector<TSerialPort>& ports, const std::string& path) {
    for (const auto& p : ports)
        if (p.Path == path)
            return p.Number;
    return -1;
}

TEST(PortNumbers, StayWithTheAdapterAndGiveWayToExtraPorts) {
    const TSerialDevice s0{"/dev/ttyS0", "Serial port", "", "", ""};
    const TSerialDevice a = Usb("/dev/ttyUSB0", "usb-FTDI_FT232R_USB_UART_A5-if00-port0");
    const TSerialDevice b = Usb("/dev/ttyUSB1", "usb-FTDI_FT232R_USB_UART_B7-if00-port0", "B7");
    const TSerialDevice acm{"/dev/ttyACM0", "USB communications port", "", "", ""};

    const auto first = portdetect::NumberPorts({s0, a, b, acm}, {});
    EXPECT_EQ(NumberOf(first, "/dev/ttyS0"), 1);
    const int na = NumberOf(first, "/dev/ttyUSB0"), nb = NumberOf(first, "/dev/ttyUSB1");
    EXPECT_GT(na, 32);
    EXPECT_GT(nb, 32);
    EXPECT_NE(na, nb);

    // Enumerated in another order, and a replugged with b gone: a gets ttyUSB1 now.
    TSerialDevice aMoved = a;
    aMoved.Path = "/dev/ttyUSB1";
    const auto later = portdetect::NumberPorts({acm, aMoved, s0}, {});
    EXPECT_EQ(NumberOf(later, "/dev/ttyUSB1"), na);
    EXPECT_EQ(NumberOf(later, "/dev/ttyACM0"), NumberOf(first, "/dev/ttyACM0"));
    // Without by-id, the serial number still tells the adapter.
    TSerialDevice noLink = a;
    noLink.ById.clear();
    TSerialDevice noLinkMoved = noLink;
    noLinkMoved.Path = "/dev/ttyUSB3";
    EXPECT_EQ(NumberOf(portdetect::NumberPorts({noLink}, {}), "/dev/ttyUSB0"),
              NumberOf(portdetect::NumberPorts({noLinkMoved}, {}), "/dev/ttyUSB3"));

    for (const auto& ports : {first, later})
        for (size_t i = 1; i < ports.size(); ++i)
            EXPECT_LT(ports[i - 1].Number, ports[i].Number);

    // Extra ports keep their number and come last.
    std::vector<TSerialPort> extras = {{1, "/dev/pts/3", "Extra port /dev/pts/3", true},
                                       {na, "/dev/rfcomm9", "Extra port /dev/rfcomm9", true}};
    const auto ports = portdetect::NumberPorts({s0, a}, extras);
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[2].Path, "/dev/pts/3");
    EXPECT_EQ(ports[2].Number, 1);
    EXPECT_EQ(ports[3].Number, na);
    // The detected ports that wanted those numbers moved on, keeping them unique.
    EXPECT_NE(NumberOf(ports, "/dev/ttyS0"), 1);
    EXPECT_NE(NumberOf(ports, "/dev/ttyUSB0"), na);
    EXPECT_NE(NumberOf(ports, "/dev/ttyS0"), NumberOf(ports, "/dev/ttyUSB0"));
}

TEST(PortList, DetectPortsFillsEntriesByNumber) {
    const std::vector<TSerialPort> ports = {
        {12, "/dev/ttyUSB0", "FT232R USB UART (FTDI)", false},
        {12, "/dev/ttyUSB9", "second one for 12", false},
        {3, "/dev/ttyACM0", "", false},
        {256, "/dev/pts/1", "Extra port (ORVO_TAPMETER_PORTS)", true},
        {257, "/dev/pts/2", "too high", true},
    };
    std::vector<TDetectedPort> list(300, TDetectedPort{"stale", "/dev/stale"});
    EXPECT_TRUE(DetectPorts(ports, list, 255));
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list[11].Name, "FT232R USB UART (FTDI)");
    EXPECT_EQ(list[11].Device, "/dev/ttyUSB0");
    EXPECT_EQ(list[2].Name, "COM3");
    EXPECT_EQ(list[255].Device, "/dev/pts/1");
    int filled = 0;
    for (const auto& e : list)
        filled += !e.Name.empty();
    EXPECT_EQ(filled, 3);
    EXPECT_EQ(portdetect::PortCaption(12, list[11]), "COM12  ttyUSB0  FT232R USB UART (FTDI)");
    EXPECT_FALSE(DetectPorts({}, list, 255));
    EXPECT_TRUE(list[11].Name.empty());
}

// A scratch tree laid out like /sys/class/tty and /dev/serial/by-id.
class SysfsTree {
public:
    TempDir dir;
    fs::path Root() const { return dir.Path(); }
    void Write(const fs::path& rel, const std::string& text) {
        fs::create_directories((Root() / rel).parent_path());
        std::ofstream(Root() / rel) << text << "\n";
    }
    // A tty whose device link points at devicePath below sys/devices.
    void Tty(const std::string& name, const std::string& devicePath) {
        fs::create_directories(Root() / "sys/class/tty" / name);
        fs::create_directories(Root() / "dev");
        std::ofstream(Root() / "dev" / name);
        if (!devicePath.empty()) {
            fs::create_directories(Root() / "sys/devices" / devicePath);
            fs::create_directory_symlink(Root() / "sys/devices" / devicePath,
                                         Root() / "sys/class/tty" / name / "device");
        }
    }
};

TEST(PortList, SysfsEnumerationNamesTheDevices) {
    SysfsTree t;
    t.Tty("ttyS0", "pnp0/00:00");
    t.Write("sys/class/tty/ttyS0/type", "4");
    t.Tty("ttyS1", "platform/serial8250");
    t.Write("sys/class/tty/ttyS1/type", "0");  // no UART behind it
    t.Tty("ttyUSB0", "pci0/usb1/1-2/1-2:1.0/ttyUSB0");
    t.Tty("ttyACM0", "pci0/usb1/1-3/1-3:1.0");
    for (const auto& [file, text] :
         std::vector<std::pair<std::string, std::string>>{{"1-2/idVendor", "0403"},
                                                          {"1-2/idProduct", "6001"},
                                                          {"1-2/product", "FT232R USB UART"},
                                                          {"1-2/manufacturer", "FTDI"},
                                                          {"1-2/serial", "A50285BI"},
                                                          {"1-3/idVendor", "2341"},
                                                          {"1-3/idProduct", "0043"}})
        t.Write("sys/devices/pci0/usb1/" + file, text);
    for (const char* name : {"rfcomm0", "tty0", "console"})
        t.Tty(name, "");
    fs::create_directories(t.Root() / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0",
                       t.Root() / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    const auto devices = TSysfsPortEnumerator(t.Root().string()).Enumerate();
    std::vector<std::string> got;
    for (const auto& d : devices)
        got.push_back(d.KernelName() + "|" + portdetect::DisplayName(d) + "|" + d.SerialNumber + "|" +
                      d.ById);
    const std::vector<std::string> want = {
        "rfcomm0|Bluetooth serial link||",
        "ttyACM0|USB device 2341:0043||",
        "ttyS0|Serial port||",
        "ttyUSB0|FT232R USB UART (FTDI)|A50285BI|usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
    };
    EXPECT_EQ(got, want);
    EXPECT_EQ(devices[0].Path, (t.Root() / "dev/rfcomm0").string());

    // A Bluetooth link is listed under a name the port list can filter.
    std::vector<TDetectedPort> list;
    ASSERT_TRUE(DetectPorts(portdetect::NumberPorts(devices, {}), list, 255));
    EXPECT_EQ(list[0].Name, "Serial port");

    TempDir empty;  // no sysfs, no ports
    EXPECT_TRUE(TSysfsPortEnumerator(empty.Path()).Enumerate().empty());
}

// --- The real backend where no line emulation is needed ----------------------

class Backend : public ::testing::Test {
protected:
    PostQueue queue;
    TSerialLines port{[this](std::function<void()> f) { queue.Post(std::move(f)); }};
};

TEST_F(Backend, PortNumberIsClampedAndZeroNeverOpens) {
    EXPECT_EQ(port.PortNumber(), 1);
    struct Case {
        int set, want;
    } cases[] = {{300, 256}, {-4, 0}, {12, 12}, {256, 256}, {0, 0}};
    for (const Case& c : cases) {
        port.SetPortNumber(c.set);
        EXPECT_EQ(port.PortNumber(), c.want);
    }
    Pty pty;
    int asked = 0;
    port.ResolvePort = [&](int) {
        ++asked;
        return pty.Path();
    };
    port.SetPortNumber(0);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(Backend, RefusedOpensSayWhyAndANonDeviceRaises) {
    Pty pty;
    TempDir dir;
    struct Case {
        std::string path;
        const char* says;
    } cases[] = {
        {"", "COM5 is not present."},
        {dir.File("nothing-here"), "is not present."},
        {pty.Path(), "has no modem control lines"},
    };
    port.SetPortNumber(5);
    for (const Case& c : cases) {
        port.ResolvePort = [&](int n) { return n == 5 ? c.path : std::string(); };
        EXPECT_FALSE(port.Open()) << c.path;
        EXPECT_FALSE(port.IsOpen());
        EXPECT_NE(port.LastError().find(c.says), std::string::npos) << port.LastError();
    }
    // Nothing is open, so nothing changes and nothing throws.
    EXPECT_FALSE(port.SetDtr(true));
    EXPECT_FALSE(port.SetRts(false));
    port.StartMonitor();
    port.Close();
    try {
        port.InitPort();
        FAIL() << "no error on a closed port";
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Port not open, unable to complete operation (Error: -1) ");
        EXPECT_EQ(e.ErrorCode, -1);
    }

    TempDir::WriteBytes(dir.File("plain"), "x");
    port.ResolvePort = [&](int) { return dir.File("plain"); };
    try {
        port.Open();
        FAIL() << "a plain file was opened as a port";
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Invalid device handle, access denied (Error: -1) ");
    }
    EXPECT_FALSE(port.IsOpen());
}

// The operator without access to the device learns about the dialout group.
TEST_F(Backend, NoPermissionNamesTheDialoutGroup) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to an unprivileged user";
    Pty pty;
    ASSERT_EQ(chmod(pty.Path().c_str(), 0600), 0);
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipefd[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        TSerialLines p([](std::function<void()>) {});
        p.ResolvePort = [&](int) { return pty.Path(); };
        const bool opened = p.Open();
        const std::string e = p.LastError();
        if (write(pipefd[1], e.data(), e.size()) < 0)
            _exit(4);
        _exit(opened ? 1 : 0);
    }
    close(pipefd[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;)
        text.append(buf, size_t(n));
    close(pipefd[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "opened without permission";
    for (const std::string& part : {std::string("Permission denied"), std::string("dialout"), pty.Path()})
        EXPECT_NE(text.find(part), std::string::npos) << text;
}

}  // namespace
