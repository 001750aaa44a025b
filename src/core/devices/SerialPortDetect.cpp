#include "devices/SerialPortDetect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string ReadLine(const fs::path& p) {
    std::ifstream f(p);
    std::string line;
    if (f)
        std::getline(f, line);
    return Trim(line);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Decimal digits only, no sign, value up to limit; -1 otherwise.
int SmallNumber(const std::string& digits, int limit) {
    if (digits.empty() || digits.size() > 6)
        return -1;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n <= limit ? n : -1;
}

// Only the kinds of tty a key can be wired to; consoles and pseudo
// terminals are not serial ports.
bool SerialKind(const std::string& name) {
    static const char* const kinds[] = {"ttyS",  "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB", "ttyMAX",
                                        "ttySC", "ttyHS",  "ttyO",   "ttymxc", "rfcomm"};
    for (const char* k : kinds)
        if (StartsWith(name, k))
            return true;
    return false;
}

// FNV-1a: stable across runs and builds, unlike std::hash.
uint32_t Fnv1a(const std::string& s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

// Built-in ports keep the numbers the operator knows from other systems.
constexpr int kBuiltinPorts = 32;
constexpr int kHashedFirst = kBuiltinPorts + 1;

}  // namespace

std::string TSerialDevice::KernelName() const { return fs::path(Path).filename().string(); }

std::vector<TSerialDevice> TSysfsPortEnumerator::Enumerate() {
    std::vector<TSerialDevice> devices;
    std::error_code ec;
    const fs::path root = root_.empty() ? fs::path("/") : fs::path(root_);

    // /dev/serial/by-id names, by the device they point to.
    std::map<std::string, std::string> byId;
    for (const auto& e : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
        std::error_code ec2;
        const fs::path target = fs::canonical(e.path(), ec2);
        if (!ec2)
            byId[target.filename().string()] = e.path().filename().string();
    }

    for (const auto& e : fs::directory_iterator(root / "sys/class/tty", ec)) {
        const std::string name = e.path().filename().string();
        if (!SerialKind(name))
            continue;
        const fs::path cls = e.path();
        const bool hasDevice = fs::exists(cls / "device", ec);
        // The kernel keeps ttyS entries for UARTs that are not there: type 0.
        if (StartsWith(name, "ttyS") && (!hasDevice || ReadLine(cls / "type") == "0"))
            continue;
        if (!hasDevice && !StartsWith(name, "rfcomm"))
            continue;

        TSerialDevice d;
        d.Path = (root / "dev" / name).string();
        if (hasDevice) {
            // The USB device's own strings sit in the first parent with idVendor.
            std::error_code ec2;
            fs::path p = fs::canonical(cls / "device", ec2);
            for (int up = 0; !ec2 && up < 8 && !p.empty() && p != p.root_path(); ++up, p = p.parent_path()) {
                if (fs::exists(p / "idVendor", ec2)) {
                    d.Description = ReadLine(p / "product");
                    d.Manufacturer = ReadLine(p / "manufacturer");
                    d.SerialNumber = ReadLine(p / "serial");
                    if (d.Description.empty())
                        d.Description =
                            "USB device " + ReadLine(p / "idVendor") + ":" + ReadLine(p / "idProduct");
                    break;
                }
            }
        }
        if (d.Description.empty()) {
            if (StartsWith(name, "rfcomm"))
                d.Description = "Bluetooth serial link";
            else if (StartsWith(name, "ttyACM"))
                d.Description = "USB communications port";
            else if (StartsWith(name, "ttyUSB"))
                d.Description = "USB serial port";
            else
                d.Description = "Serial port";
        }
        auto it = byId.find(name);
        if (it != byId.end())
            d.ById = it->second;
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(),
              [](const TSerialDevice& a, const TSerialDevice& b) { return a.Path < b.Path; });
    return devices;
}

namespace portdetect {

int ParseComName(const std::string& name, int maxIndex) {
    if (!StartsWith(name, "COM"))
        return -1;
    const int n = SmallNumber(name.substr(3), 1000000);
    return n >= 1 && n <= maxIndex + 1 ? n - 1 : -1;
}

void ParseExtraPorts(const std::string& text, std::vector<TSerialPort>& out,
                     std::vector<std::string>& warnings) {
    std::set<int> used;
    for (const auto& p : out)
        used.insert(p.Number);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string entry = Trim(text.substr(start, end - start));
        start = end + 1;
        if (entry.empty())
            continue;

        const auto eq = entry.find('=');
        const std::string name = eq == std::string::npos ? entry : Trim(entry.substr(0, eq));
        const std::string path = eq == std::string::npos ? std::string() : Trim(entry.substr(eq + 1));
        const int index = ParseComName(name, MaxPortNumber - 1);
        std::string why;
        if (eq == std::string::npos)
            why = "expected COM<n>=<device path>";
        else if (index < 0)
            why = "the port name must be COM1 to COM256";
        else if (path.empty() || path[0] != '/')
            why = "the device must be an absolute path";
        else if (used.count(index + 1))
            why = name + " is named twice";
        if (!why.empty()) {
            warnings.push_back("ORVO_TAPMETER_PORTS: entry \"" + entry + "\" skipped: " + why);
            continue;
        }
        used.insert(index + 1);
        TSerialPort p;
        p.Number = index + 1;
        p.Path = path;
        p.DisplayName = "Extra port (ORVO_TAPMETER_PORTS)";
        p.Extra = true;
        out.push_back(std::move(p));
    }
}

std::vector<TSerialPort> ExtraPortsFromEnvironment() {
    std::vector<TSerialPort> ports;
    const char* text = std::getenv("ORVO_TAPMETER_PORTS");
    if (!text)
        return ports;
    std::vector<std::string> warnings;
    ParseExtraPorts(text, ports, warnings);
    for (const auto& w : warnings)
        std::fprintf(stderr, "%s\n", w.c_str());
    return ports;
}

std::string DisplayName(const TSerialDevice& d) {
    std::string name = d.Description;
    if (!d.Manufacturer.empty() && name.find(d.Manufacturer) == std::string::npos)
        name = name.empty() ? d.Manufacturer : name + " (" + d.Manufacturer + ")";
    return name;
}

std::string StableIdentity(const TSerialDevice& d) {
    // by-id names carry maker, product and serial number, and survive
    // replugging into another socket; without a serial number the device
    // path is all there is.
    if (!d.ById.empty())
        return "id:" + d.ById;
    if (!d.SerialNumber.empty())
        return "usb:" + d.Manufacturer + "/" + d.Description + "/" + d.SerialNumber;
    return "path:" + d.Path;
}

std::vector<TSerialPort> NumberPorts(const std::vector<TSerialDevice>& devices,
                                     const std::vector<TSerialPort>& extras) {
    std::set<int> taken;
    for (const auto& e : extras)
        taken.insert(e.Number);

    // Identity order, not enumeration order, decides who moves on when two
    // devices want the same number.
    std::vector<const TSerialDevice*> order;
    for (const auto& d : devices)
        order.push_back(&d);
    std::sort(order.begin(), order.end(), [](const TSerialDevice* a, const TSerialDevice* b) {
        return StableIdentity(*a) < StableIdentity(*b);
    });

    std::vector<TSerialPort> ports;
    auto place = [&](const TSerialDevice& d, int wanted) {
        int n = wanted;
        const int span = MaxPortNumber - kHashedFirst + 1;
        for (int tries = 0; taken.count(n) && tries < span; ++tries)
            n = n < kHashedFirst ? kHashedFirst : (n - kHashedFirst + 1) % span + kHashedFirst;
        if (taken.count(n))
            return;  // every number in use
        taken.insert(n);
        ports.push_back({n, d.Path, DisplayName(d), false});
    };
    // Built-in ports first: their numbers are fixed, hashed ones move around them.
    std::vector<const TSerialDevice*> rest;
    for (const TSerialDevice* d : order) {
        const std::string k = d->KernelName();
        const int unit = StartsWith(k, "ttyS") ? SmallNumber(k.substr(4), 1000) : -1;
        if (unit >= 0 && unit < kBuiltinPorts)
            place(*d, unit + 1);
        else
            rest.push_back(d);
    }
    for (const TSerialDevice* d : rest)
        place(*d, kHashedFirst + int(Fnv1a(StableIdentity(*d)) % uint32_t(MaxPortNumber - kHashedFirst + 1)));

    std::sort(ports.begin(), ports.end(),
              [](const TSerialPort& a, const TSerialPort& b) { return a.Number < b.Number; });
    ports.insert(ports.end(), extras.begin(), extras.end());
    return ports;
}

std::string PortCaption(int number, const TDetectedPort& port) {
    std::string s = "COM" + std::to_string(number);
    // The device as the operator knows it: ttyUSB0, pts/3.
    if (!port.Device.empty())
        s += "  " + (StartsWith(port.Device, "/dev/") ? port.Device.substr(5) : port.Device);
    if (!port.Name.empty())
        s += "  " + port.Name;
    return s;
}

}  // namespace portdetect

bool DetectPorts(const std::vector<TSerialPort>& ports, std::vector<TDetectedPort>& list, int maxIndex) {
    if (maxIndex < 0)
        maxIndex = -1;
    list.assign(size_t(maxIndex + 1), TDetectedPort{});
    bool found = false;
    for (const auto& p : ports) {
        const std::string name = "COM" + std::to_string(p.Number);
        const int index = portdetect::ParseComName(name, maxIndex);
        if (index < 0)
            continue;
        found = true;
        TDetectedPort& entry = list[size_t(index)];
        if (entry.Name.empty()) {
            entry.Name = p.DisplayName.empty() ? name : p.DisplayName;
            entry.Device = p.Path;
        }
    }
    return found;
}
