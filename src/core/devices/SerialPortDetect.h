#pragma once
// The serial ports a Morse key can be wired to: the serial devices the
// system reports (read from sysfs) and the extra ports named in the
// environment variable ORVO_TAPMETER_PORTS. Every port gets a number n,
// shown as "COM<n>", that stays the same for the same adapter across
// restarts and replugging, so the stored port number finds it again.

#include <cstdint>
#include <string>
#include <vector>

// One entry of the main window's port table: entry n - 1 describes COM<n>.
// An empty Name means there is no such port.
struct TDetectedPort {
    std::string Name;    // display name (product and maker where known)
    std::string Device;  // the device path, /dev/ttyUSB0
};

// A serial device as the system reports it.
struct TSerialDevice {
    std::string Path;          // /dev/ttyUSB0
    std::string Description;   // the product or the kind of port
    std::string Manufacturer;  // USB maker, when known
    std::string SerialNumber;  // USB serial number, when known
    std::string ById;          // its name under /dev/serial/by-id, when any
    // The device's file name: ttyUSB0.
    std::string KernelName() const;
};

// A numbered port, detected or named in ORVO_TAPMETER_PORTS.
struct TSerialPort {
    int Number = 0;  // n of "COM<n>", 1..256
    std::string Path;
    std::string DisplayName;
    bool Extra = false;  // named in ORVO_TAPMETER_PORTS
};

// Lists the serial devices present; the real one reads sysfs, tests fake it.
class IPortEnumerator {
public:
    virtual ~IPortEnumerator() = default;
    virtual std::vector<TSerialDevice> Enumerate() = 0;
};

// Reads <root>/sys/class/tty and <root>/dev/serial/by-id. root "" is the
// running system; tests point it at a scratch tree.
class TSysfsPortEnumerator : public IPortEnumerator {
public:
    explicit TSysfsPortEnumerator(std::string root = {}) : root_(std::move(root)) {}
    std::vector<TSerialDevice> Enumerate() override;

private:
    std::string root_;
};

namespace portdetect {

// Highest port number there can be.
constexpr int MaxPortNumber = 256;

// "COM12" -> 11 (its list entry); -1 for anything that is not "COM" and a
// number from 1 to maxIndex + 1 (COM0, COMX, LPT1, COM257 with 255).
int ParseComName(const std::string& name, int maxIndex);

// Parses "COM7=/dev/pts/3,COM8=/dev/rfcomm0". Good entries land in out,
// each bad one is skipped and described in warnings.
void ParseExtraPorts(const std::string& text, std::vector<TSerialPort>& out,
                     std::vector<std::string>& warnings);

// The extra ports of ORVO_TAPMETER_PORTS; warnings go to stderr.
std::vector<TSerialPort> ExtraPortsFromEnvironment();

// The name a list shows for a device: product and maker where there are.
std::string DisplayName(const TSerialDevice& d);

// What identifies the same adapter after replugging or a restart.
std::string StableIdentity(const TSerialDevice& d);

// Numbers the detected devices and appends the extra ports. Extra ports
// keep exactly their number; built-in ports ttyS<k> are COM<k+1>; other
// devices get a number derived from their stable identity. A number taken
// already moves a detected device on to the next free one. Detected ports
// come first, in number order, then the extra ones.
std::vector<TSerialPort> NumberPorts(const std::vector<TSerialDevice>& devices,
                                     const std::vector<TSerialPort>& extras);

// "COM7  ttyUSB0  FT232R USB UART (FTDI)": what a port list shows.
std::string PortCaption(int number, const TDetectedPort& port);

}  // namespace portdetect

// Fills list (entries 0..maxIndex, emptied first) from the ports: entry
// n - 1 gets the display name of COM<n>, or "COM<n>" when it has none; the
// first port found for a number wins. True when any port was found.
bool DetectPorts(const std::vector<TSerialPort>& ports, std::vector<TDetectedPort>& list, int maxIndex);
