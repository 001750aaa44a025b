// The parameters window's devices against the fake target: the sound
// devices and the mixer, the serial ports as they come and go, and what the
// window offers and refuses when one is absent.

#include "ParamFake.h"
#include "backends/Mixer.h"
#include "controls/RadioGroup.h"
#include "windows/ParamLogic.h"
#include "windows/ParamWindow.h"

#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

class ParamDevicesTest : public QObject {
    Q_OBJECT
private slots:
    void portList() {
        // Entry n-1 names port n; empty entries are no port.
        QCOMPARE(ListedPorts({"", "USB Serial", "Standard Serial over Bluetooth link", "", "ttyS4",
                              "BLUETOOTH", "my bLuEt adapter"}),
                 (std::vector<std::string>{"COM2", "COM5"}));
        QVERIFY(ListedPorts({}).empty());
        QCOMPARE(ListedPorts(std::vector<std::string>(300, "x")).size(), size_t(256));
        const std::pair<const char*, int> numbers[] = {
            {"COM5", 5}, {"COM256", 256}, {"COM1234", 123}, {"none", 0}, {"COM", 0}};
        for (const auto& [item, n] : numbers)
            QCOMPARE(PortNumberOf(item), n);
    }

    void mixerChoice() {
        struct Case {
            std::set<std::string> installed;
            bool input;
            std::string program, arg;
        };
        const Case cases[] = {
            {{"pavucontrol", "gnome-control-center"}, true, "pavucontrol", "--tab=4"},
            {{"pavucontrol"}, false, "pavucontrol", "--tab=3"},
            {{"gnome-control-center", "systemsettings"}, false, "gnome-control-center", "sound"},
            {{"systemsettings"}, true, "systemsettings", "kcm_pulseaudio"},
            {{}, true, "", ""},
        };
        for (const Case& c : cases) {
            const TMixerCommand m =
                ChooseMixer(c.input, [&](const std::string& p) { return c.installed.count(p) > 0; });
            QCOMPARE(m.program, c.program);
            QCOMPARE(m.arguments.empty() ? std::string() : m.arguments[0], c.arg);
        }
        QVERIFY(QString::fromStdString(NoMixerMessage()).contains("pavucontrol"));
        // With nothing on the PATH the buttons say what to install.
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toLocal8Bit());
        FakeTarget t;
        TParamWindow f(t);
        f.InputMixerButton()->click();
        f.OutputMixerButton()->click();
        qputenv("PATH", path);
        QCOMPARE(t.messages.size(), 2);
        QCOMPARE(t.messages[0], QString::fromStdString(NoMixerMessage()));
    }

    void deviceLists() {
        struct Case {
            int stored, selected;
            int device;  // last device number set, -2: none set
        };
        const Case cases[] = {{0, 0, -2}, {2, 2, 1}, {1, 1, 0}, {3, 0, -2}, {99, 0, -2}, {-4, 0, -2}};
        for (const Case& c : cases) {
            FakeTarget t;
            t.s.RXDevice = t.s.TXDevice = c.stored;
            TParamWindow f(t);
            QCOMPARE(f.WavInBox()->count(), 3);
            QCOMPARE(f.WavInBox()->itemText(0), QString("Default input device"));
            QCOMPARE(f.WavInBox()->currentIndex(), c.selected);
            QCOMPARE(f.WavOutBox()->currentIndex(), c.selected);
            QCOMPARE(t.out.setDevices.empty() ? -2 : t.out.setDevices.back(), c.device);
            QCOMPARE(t.in.id, c.device == -2 ? -1 : c.device);
            QVERIFY(t.out.active);
            QCOMPARE(t.s.TXDevice, c.selected);
            QCOMPARE(t.s.RXDevice, c.selected);
        }
        // No device at all: empty lists, the device and the stored choice stay.
        FakeTarget none;
        none.inChoices.clear();
        none.outChoices.clear();
        none.s.TXDevice = 2;
        TParamWindow f(none);
        QCOMPARE(f.WavOutBox()->count(), 0);
        QVERIFY(none.out.setDevices.empty());
        QCOMPARE(none.s.TXDevice, 2);
        // The user's choice moves the running output to that device.
        FakeTarget t;
        TParamWindow g(t);
        g.WavOutBox()->setCurrentIndex(2);
        g.WavOutBoxChange();
        QCOMPARE(t.out.id, 1);
        QVERIFY(t.out.active);
        QCOMPARE(t.s.TXDevice, 2);
    }

    void deviceVanishes() {
        FakeTarget t;
        t.s.TXDevice = 2;  // "Speaker B"
        t.s.RXDevice = 1;  // "Mic A"
        TParamWindow f(t);
        QCOMPARE(t.out.id, 1);
        const std::vector<std::string> withB = {"Default output device", "HDMI", "Speaker A", "Speaker B"};
        // A device appears in front: the choice follows its name.
        t.outChoices = withB;
        f.RefillOutputDevices();
        QCOMPARE(f.WavOutBox()->currentText(), QString("Speaker B"));
        QCOMPARE(t.out.id, 2);
        QCOMPARE(t.s.TXDevice, 3);
        QVERIFY(t.status.isEmpty());
        // The chosen device goes away while the output has stopped with it.
        t.out.active = false;
        t.outChoices = {"Default output device", "HDMI", "Speaker A"};
        f.RefillOutputDevices();
        QCOMPARE(f.WavOutBox()->currentIndex(), 0);
        QCOMPARE(t.out.id, -1);
        QVERIFY(t.out.active);
        QCOMPARE(t.s.TXDevice, 0);
        QCOMPARE(t.status.size(), 1);
        QVERIFY(t.status[0].contains("Speaker B") && t.status[0].contains("default"));
        // It coming back does not take the default's place again.
        t.outChoices = withB;
        f.RefillOutputDevices();
        QCOMPARE(f.WavOutBox()->currentIndex(), 0);
        // Input in Sound Input mode: restarted on the default device.
        f.RXInputGroup()->SetItemIndex(1);
        t.in.active = false;
        t.inChoices = {"Default input device", "Mic B"};
        f.RefillInputDevices();
        QCOMPARE(f.WavInBox()->currentIndex(), 0);
        QCOMPARE(t.in.id, -1);
        QVERIFY(t.in.active);
        QCOMPARE(t.s.RXDevice, 0);
    }

    void comPortsListedChosenAndRefused() {
        struct Case {
            std::vector<std::string> ports;
            int stored;
            QStringList items;
            int selected, port;
            bool comEnabled;
        };
        const Case cases[] = {
            {{"", "USB Serial", "", "Bluetooth COM"}, 2, {"COM2"}, 0, 2, true},
            {{"a", "b", "c"}, 3, {"COM1", "COM2", "COM3"}, 2, 3, true},
            {{"a", "b", "c"}, 9, {"COM1", "COM2", "COM3"}, 0, 1, true},
            {{"BlueTooth"}, 1, {"none"}, 0, 0, false},
            {{}, 4, {"none"}, 0, 0, false},
        };
        for (const Case& c : cases) {
            FakeTarget t;
            t.ports = c.ports;
            t.s.RXComPort = c.stored;
            t.s.RXInput = 2;
            t.openable = {1, 2, 3};
            TParamWindow f(t);
            t.EnterStoredMode(f);
            QStringList items;
            for (int i = 0; i < f.ComPortBox()->count(); ++i)
                items << f.ComPortBox()->itemText(i);
            QCOMPARE(items, c.items);
            QCOMPARE(f.ComPortBox()->currentIndex(), c.selected);
            QCOMPARE(t.port, c.port);
            QCOMPARE(t.s.RXComPort, c.port);
            QCOMPARE(f.RXInputGroup()->Button(2)->isEnabled(), c.comEnabled);
            // Without a port the stored COM mode is not even tried.
            QCOMPARE(t.mode, c.comEnabled ? 2 : 0);
            QCOMPARE(std::count(t.modeCalls.begin(), t.modeCalls.end(), 2), c.comEnabled ? 1L : 0L);
            if (c.comEnabled)
                QVERIFY(t.open && f.DTRBox()->isEnabled());
        }
        // Ports refilled while the port is open in COM mode: the port in use
        // stays open untouched (its lines may feed the key).
        FakeTarget t;
        t.ports = {"a", "b"};
        t.openable = {1, 2};
        t.s.RXComPort = t.s.RXInput = 2;
        t.s.RTS = true;
        TParamWindow f(t);
        t.EnterStoredMode(f);
        const int starts = t.monitorStarts;
        t.ports = {"a", "b", "c"};
        f.RefillComPorts();
        QVERIFY(t.open);
        QCOMPARE(t.monitorStarts, starts);
        QCOMPARE(f.ComPortBox()->count(), 3);
        QCOMPARE(f.ComPortBox()->currentText(), QString("COM2"));
        QCOMPARE(t.mode, 2);
        // The port in use is no longer listed: the first takes its place;
        // when that cannot be opened COM mode ends, with the message.
        t.ports = {"", "", "c"};
        t.openable = {};
        f.RefillComPorts();
        QCOMPARE(f.ComPortBox()->currentText(), QString("COM3"));
        QCOMPARE(t.mode, 0);
        QVERIFY(!t.open);
        QCOMPARE(t.messages, QStringList{"Error: cannot use ComPort COM3"});
        QCOMPARE(t.s.RXComPort, 2);
        t.ports = {"a", "b", "c"};
        t.openable = {1, 2, 3};
        f.RXInputGroup()->SetItemIndex(2);
        QCOMPARE(t.mode, 2);
        // The ports vanish: Keybd/Mouse mode, "none".
        t.ports.clear();
        f.RefillComPorts();
        QCOMPARE(f.ComPortBox()->itemText(0), QString("none"));
        QCOMPARE(t.mode, 0);
        QCOMPARE(f.RXInputGroup()->ItemIndex(), 0);
        QVERIFY(!f.RXInputGroup()->Button(2)->isEnabled());
        // Line choice and polarity.
        FakeTarget l;
        l.s.Event = 2;
        TParamWindow g(l);
        QCOMPARE(g.InputLineBox()->currentIndex(), 2);
        g.InputLineBox()->setCurrentIndex(1);
        g.InputLineBoxChange();
        QCOMPARE(l.s.Event, 1);
        g.InputInvertedGroup()->SetItemIndex(1);
        QVERIFY(l.s.Invert);
        QCOMPARE(l.Changes(&TSettings::Invert, false), 1);
        // DTR/RTS act only on an open port.
        g.DTRBox()->setCurrentIndex(0);
        g.DTRBoxChange();
        QVERIFY(l.s.DTR);
        // A port chosen that cannot be opened.
        FakeTarget c;
        c.ports = {"a", "b", "", "", "e"};
        c.openable = {2};
        c.s.RXComPort = 2;
        TParamWindow h(c);
        const auto choose = [&](int index) {
            h.ComPortBox()->setCurrentIndex(index);
            h.ComPortBoxChange();
        };
        // Outside COM mode a choice is only stored.
        choose(2);
        QCOMPARE(c.s.RXComPort, 5);
        choose(1);
        h.RXInputGroup()->SetItemIndex(2);
        QVERIFY(c.open);
        // Port 1 cannot be opened.
        choose(0);
        QCOMPARE(c.messages, QStringList{"Error: cannot use ComPort COM1"});
        QCOMPARE(c.port, 2);
        QCOMPARE(h.ComPortBox()->currentText(), QString("COM2"));
        QCOMPARE(c.mode, 0);
        QCOMPARE(h.RXInputGroup()->ItemIndex(), 0);
        QCOMPARE(c.s.RXComPort, 2);
    }
};

QTEST_MAIN(ParamDevicesTest)
#include "ParamDevicesTest.moc"
