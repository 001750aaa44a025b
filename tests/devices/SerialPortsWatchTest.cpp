// The port table and its hot-plug watch: detection with ORVO_TAPMETER_PORTS,
// re-detection when a watched folder changes, reports only on real changes.

#include "backends/SerialPorts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <thread>

namespace {

struct FakeEnumerator : IPortEnumerator {
    std::vector<TSerialDevice> devices;
    int calls = 0;
    std::vector<TSerialDevice> Enumerate() override {
        ++calls;
        return devices;
    }
};

const TSerialDevice kFtdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A5",
                          "usb-FTDI_FT232R_USB_UART_A5-if00-port0"};

}  // namespace

class SerialPortsWatchTest : public QObject {
    Q_OBJECT

private slots:
    // Detection, and the poster that brings the monitor's reports to the owner's thread.
    void detectsWithExtraPortsAndPostsToItsThread() {
        qputenv("ORVO_TAPMETER_PORTS", "COM7=/dev/pts/9,COMX=/dev/bad");
        FakeEnumerator e;
        e.devices = {kFtdi};
        TSerialPorts ports(&e, {});
        qunsetenv("ORVO_TAPMETER_PORTS");
        QVERIFY(ports.Detect());
        QCOMPARE(ports.Ports().size(), size_t(256));
        QCOMPARE(ports.DevicePath(7), std::string("/dev/pts/9"));
        QCOMPARE(ports.Caption(7), std::string("COM7  pts/9  Extra port (ORVO_TAPMETER_PORTS)"));
        int ftdi = 0;
        for (int n = 1; n <= 256; ++n)
            if (ports.DevicePath(n) == "/dev/ttyUSB0")
                ftdi = n;
        QVERIFY(ftdi > 32);
        QCOMPARE(ports.Caption(ftdi), "COM" + std::to_string(ftdi) + "  ttyUSB0  FT232R USB UART (FTDI)");
        QCOMPARE(ports.DevicePath(0), std::string());
        QCOMPARE(ports.DevicePath(300), std::string());

        auto post = ports.Poster();
        QThread* ran = nullptr;
        std::thread([&] { post([&] { ran = QThread::currentThread(); }); }).join();
        QTRY_VERIFY(ran != nullptr);
        QCOMPARE(ran, QThread::currentThread());
    }

    void watchedFolderChangeDetectsAgain() {
        QTemporaryDir dir;
        FakeEnumerator e;
        TSerialPorts ports(&e, {dir.path()});
        ports.SetSettleMs(20);
        ports.Detect();
        int reports = 0;
        ports.OnPortsChanged = [&] { ++reports; };

        // An adapter plugged in: its node appears, the table changes.
        e.devices = {kFtdi};
        QFile(dir.path() + "/ttyUSB0").open(QIODevice::WriteOnly);
        QTRY_COMPARE(reports, 1);

        // Something unrelated changes in the folder: detected again, not reported.
        const int calls = e.calls;
        QFile(dir.path() + "/unrelated").open(QIODevice::WriteOnly);
        QTRY_VERIFY(e.calls > calls);
        QTest::qWait(50);
        QCOMPARE(reports, 1);

        // Unplugged again.
        e.devices.clear();
        QFile::remove(dir.path() + "/ttyUSB0");
        QTRY_COMPARE(reports, 2);
        QVERIFY(std::all_of(ports.Ports().begin(), ports.Ports().end(),
                            [](const auto& p) { return p.Name.empty(); }));
    }
};

QTEST_GUILESS_MAIN(SerialPortsWatchTest)
#include "SerialPortsWatchTest.moc"
