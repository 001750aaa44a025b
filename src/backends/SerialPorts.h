#pragma once
// The program's serial ports: the 256-entry port table the port lists are
// filled from (entry n - 1 for COM<n>), detected again whenever serial
// devices come or go (a watch on /dev and /dev/serial/by-id stands in for
// the system's device-change message), and the hand-over of the serial
// monitor thread's reports to the UI thread.

#include "devices/SerialLines.h"
#include "devices/SerialPortDetect.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSerialPorts : public QObject {
public:
    // enumerator: null = the system's (sysfs). watchDirs: the folders whose
    // changes mean devices came or went. The extra ports of
    // ORVO_TAPMETER_PORTS are read once, here.
    explicit TSerialPorts(IPortEnumerator* enumerator = nullptr,
                          const QStringList& watchDirs = {QStringLiteral("/dev"),
                                                          QStringLiteral("/dev/serial/by-id")},
                          QObject* parent = nullptr);

    // Detects the ports again (at most maxIndex + 1); true when any was found.
    bool Detect(int maxIndex = 255);
    // Entry n - 1 describes COM<n>; an empty name means no such port.
    const std::vector<TDetectedPort>& Ports() const { return list_; }
    // The device path of COM<n>, empty when there is none.
    std::string DevicePath(int n) const;
    // "COM<n>  ttyUSB0  name" for a port list.
    std::string Caption(int n) const;

    // Devices came or went: detect again and tell OnPortsChanged when the
    // table changed. The watch calls it; tests may too.
    void DeviceChange();
    std::function<void()> OnPortsChanged;

    // Hands functions from the serial monitor thread to this object's thread.
    TSerialLines::PostFn Poster();

    // Quiet time after the last change in a watched folder before detecting:
    // udev adds the by-id links a moment after the device node.
    void SetSettleMs(int ms) { settle_.setInterval(ms); }

private:
    void Watch();

    std::unique_ptr<IPortEnumerator> ownEnumerator_;
    IPortEnumerator* enumerator_;
    std::vector<TSerialPort> extras_;
    std::vector<TSerialPort> ports_;
    std::vector<TDetectedPort> list_;
    QStringList watchDirs_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
};
