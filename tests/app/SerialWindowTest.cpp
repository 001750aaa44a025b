// The main window in COM Port mode on a fake serial port: started from the
// settings, keyed with the lines' stamps, the side tone gate, leaving, and a
// port that is absent or vanishes while the operator keys.

#include "AppHarness.h"
#include "FakeSerialLines.h"

#include "devices/NullSound.h"
#include "controls/RadioGroup.h"
#include "windows/ParamWindow.h"

#include <QComboBox>
#include <QRadioButton>

class SerialWindowTest : public QObject, public WindowHarness {
    Q_OBJECT
    std::unique_ptr<FakeSerialLines> lines_;
    std::unique_ptr<TNullSoundOut> out_;
    std::unique_ptr<TNullSoundIn> in_;

    void Start(const QByteArray& rx, const QByteArray& more = {}) {
        lines_ = std::make_unique<FakeSerialLines>();
        out_ = std::make_unique<TNullSoundOut>();
        in_ = std::make_unique<TNullSoundIn>();
        serial_ = lines_.get();
        // The ports the fake stands for are listed (and so offered) by number.
        qputenv("ORVO_TAPMETER_PORTS", "COM7=/nonexistent/orvo-test-port7,COM9=/nonexistent/orvo-test-port9");
        Create("[Main]\r\nTargetSpeed=60\r\n[RX]\r\n" + rx + more, out_.get(), in_.get());
        qunsetenv("ORVO_TAPMETER_PORTS");
        w_->ComPortSource().NowMs = [this] { return t_; };
    }
    // Keys marks and spaces (ms) on CTS from t_ (line off = down unless
    // inverted); ends with the key up.
    void KeyCts(const std::vector<int>& ms, bool invert = false) {
        for (size_t i = 0; i < ms.size(); ++i) {
            lines_->Cts((i % 2 == 0) == invert, t_);
            t_ += uint64_t(ms[i]);
        }
        if (ms.size() % 2)
            lines_->Cts(!invert, t_);
    }
    std::vector<int> Exact(const QString& text) {
        static const std::map<QChar, QString> morse = {
            {'a', ".-"}, {'i', ".."}, {'p', ".--."}, {'r', ".-."}, {'s', "..."}};
        std::vector<int> ms;
        for (QChar c : text) {
            const QString m = morse.at(c);
            for (int k = 0; k < m.size(); ++k)
                ms.insert(ms.end(), {m[k] == '-' ? 300 : 100, k + 1 < m.size() ? 100 : 300});
        }
        ms.pop_back();
        return ms;
    }

private slots:
    void init() { Reset(); }
    void cleanup() {
        w_.reset();
        serial_ = nullptr;
    }

    // The stored mode and lines are applied at start, as the parameters window will.
    void startsFromTheSettings_data() {
        QTest::addColumn<QByteArray>("rx");
        QTest::addColumn<unsigned>("events");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("CTS, DTR feeds the key") << QByteArray("RXInput=2\r\nRXComPort=7\r\n") << 2u
                                                << QStringList{"open 7", "dtr 1", "rts 0", "start"};
        QTest::newRow("DSR, RTS feeds the key")
            << QByteArray("RXInput=2\r\nRXComPort=7\r\nEvent=1\r\nRTS=1\r\nDTR=0\r\n") << 4u
            << QStringList{"open 7", "dtr 0", "rts 1", "start"};
        QTest::newRow("CTS + DSR") << QByteArray("RXInput=2\r\nRXComPort=7\r\nEvent=2\r\n") << 6u
                                   << QStringList{"open 7", "dtr 1", "rts 0", "start"};
    }
    void startsFromTheSettings() {
        QFETCH(QByteArray, rx);
        QFETCH(unsigned, events);
        QFETCH(QStringList, log);
        Start(rx);
        QCOMPARE(w_->InputMode(), int(TMainWindow::ComPort));
        QCOMPARE(lines_->MonitorEvents(), events);
        QStringList got;
        for (const auto& l : lines_->log)
            got << QString::fromStdString(l);
        QCOMPARE(got, log);
        QVERIFY(w_->Generator().KeyTone);
        QCOMPARE(w_->OutputVolume(), 0u);
        QVERIFY(boxes_->messages.isEmpty());
    }

    // Durations come from the lines' stamps: the window's clock stands still.
    void keyingDecodesWithTheLinesTiming_data() {
        QTest::addColumn<QByteArray>("rx");
        QTest::newRow("CTS") << QByteArray("RXInput=2\r\nRXComPort=7\r\n");
        QTest::newRow("CTS inverted") << QByteArray("RXInput=2\r\nRXComPort=7\r\nInvert=1\r\n");
    }
    void keyingDecodesWithTheLinesTiming() {
        QFETCH(QByteArray, rx);
        Start(rx);
        KeyCts(Exact("paris"), rx.contains("Invert=1"));
        clock_->Advance(3000);
        QCOMPARE(Upper(), QString("paris\r"));
        const TTimingStats::Display& d = w_->TimingStats().Shown();
        QCOMPARE(d.average[int(TimingKind::Dot)], 100);
        QCOMPARE(d.average[int(TimingKind::Dash)], 300);
        QCOMPARE(d.average[int(TimingKind::CharSpace)], 300);
    }

    // The tone follows the key: the gate opens on key-down, closes on key-up.
    void sidetoneGate_data() {
        QTest::addColumn<QByteArray>("more");
        QTest::addColumn<uint32_t>("open");
        QTest::newRow("mono") << QByteArray() << 0xFFFFFFFFu;
        QTest::newRow("key muted") << QByteArray("[TX]\r\nKeyMuted=1\r\n") << 0u;
        QTest::newRow("binaural") << QByteArray("[TX]\r\nBinaural=1\r\n") << 0x0000FFFFu;
    }
    void sidetoneGate() {
        QFETCH(QByteArray, more);
        QFETCH(uint32_t, open);
        Start("RXInput=2\r\nRXComPort=7\r\nEvent=2\r\n", more);
        QCOMPARE(w_->OutputVolume() & 0xFFFFu, 0u);
        lines_->Dsr(false, t_ += 100);
        QCOMPARE(w_->OutputVolume(), open);
        QVERIFY(w_->KeyIsDown());
        lines_->Dsr(true, t_ += 100);
        QCOMPARE(w_->OutputVolume() & 0xFFFFu, 0u);
        QVERIFY(!w_->KeyIsDown());
    }

    void leavingClosesWithDtrAndRtsOff() {
        Start("RXInput=2\r\nRXComPort=7\r\nRTS=1\r\nDTR=1\r\n");
        lines_->log.clear();
        QVERIFY(w_->SetInputMode(TMainWindow::KeybdMouse));
        QCOMPARE(lines_->log, (std::vector<std::string>{"stop", "dtr 0", "rts 0", "close"}));
        QVERIFY(!lines_->IsOpen());
        QVERIFY(w_->Generator().KeyTone);
        lines_->Cts(false, t_);  // closed: nothing arrives
        QVERIFY(!w_->KeyIsDown());
        // And back in again.
        QVERIFY(w_->SetInputMode(TMainWindow::ComPort));
        QVERIFY(lines_->IsOpen() && lines_->monitoring && lines_->rts && lines_->dtr);
    }

    // The parameters window lists the ports and moves COM mode to another.
    void dialogChoosesThePort() {
        Start("RXInput=2\r\nRXComPort=7\r\n");
        TParamWindow* p = w_->ParamWindow();
        // Besides the machine's own ports, if any.
        const int com7 = p->ComPortBox()->findText("COM7", Qt::MatchStartsWith);
        const int com9 = p->ComPortBox()->findText("COM9", Qt::MatchStartsWith);
        QVERIFY(com7 >= 0 && com9 > com7);
        QCOMPARE(p->ComPortBox()->currentIndex(), com7);
        lines_->present = {7, 9};
        p->ComPortBox()->setCurrentIndex(com9);
        p->ComPortBoxChange();
        QCOMPARE(w_->InputMode(), int(TMainWindow::ComPort));
        QCOMPARE(lines_->PortNumber(), 9);
        QCOMPARE(w_->Settings().RXComPort, 9);
        QCOMPARE(p->LastGoodComIndex(), com9);
        QVERIFY(lines_->monitoring);
        QVERIFY(boxes_->messages.isEmpty());
        // A port that cannot be used: the message, the port in use stays
        // the setting and the list's choice, Keybd/Mouse mode.
        lines_->present = {9};
        p->ComPortBox()->setCurrentIndex(com7);
        p->ComPortBoxChange();
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot use ComPort COM7"});
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QCOMPARE(p->RXInputGroup()->ItemIndex(), 0);
        QCOMPARE(w_->Settings().RXComPort, 9);
        QCOMPARE(p->ComPortBox()->currentIndex(), com9);
        QVERIFY(!lines_->IsOpen());
        QCOMPARE(lines_->PortNumber(), 9);
        QVERIFY(p->RXInputGroup()->Button(2)->isEnabled());
        QVERIFY(w_->SetInputMode(TMainWindow::ComPort));
        // Line choice and polarity act on the running mode.
        p->InputLineBox()->setCurrentIndex(1);
        p->InputLineBoxChange();
        QCOMPARE(lines_->MonitorEvents(), 4u);
        p->DTRBox()->setCurrentIndex(0);
        p->DTRBoxChange();
        QVERIFY(!lines_->dtr);
        QVERIFY(!w_->Settings().DTR);
    }

    void anAbsentPortEndsInKeybdMouse() {
        Start("RXInput=2\r\nRXComPort=9\r\n");
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QCOMPARE(boxes_->messages, QStringList{"Error: cannot open ComPort COM9\nCOM9 is not present."});
        QVERIFY(!lines_->IsOpen());
        QVERIFY(w_->Generator().KeyTone);
        // The Right-arrow key works at once.
        QVERIFY(Tap(100));
    }

    // The port goes while the last dot of "paris" is held: the characters
    // keyed stay, "s" included, the mode ends with a message.
    void vanishingMidKeying_data() {
        QTest::addColumn<bool>("byRedetection");
        QTest::newRow("re-detection finds it gone") << true;
        QTest::newRow("monitor reports the unplug") << false;
    }
    void vanishingMidKeying() {
        QFETCH(bool, byRedetection);
        Start("RXInput=2\r\nRXComPort=7\r\n");
        auto ms = Exact("paris");
        ms.pop_back();  // the last dot goes down and stays
        KeyCts(ms);
        lines_->Cts(false, t_);
        QVERIFY(w_->KeyIsDown());
        // Re-detection with the port still there changes nothing.
        w_->SerialPorts().OnPortsChanged();
        QCOMPARE(w_->InputMode(), int(TMainWindow::ComPort));
        t_ += 100;
        if (byRedetection) {
            lines_->present.clear();
            w_->SerialPorts().OnPortsChanged();
        } else
            lines_->Unplug();
        QCOMPARE(w_->InputMode(), int(TMainWindow::KeybdMouse));
        QVERIFY(!lines_->IsOpen());
        QCOMPARE(boxes_->messages.size(), 1);
        QVERIFY2(
            boxes_->messages[0].startsWith("Error: ComPort COM7 is gone; Keybd/Mouse mode is used now.\n"),
            qPrintable(boxes_->messages[0]));
        QCOMPARE(Upper(), QString("paris\r"));
        QCOMPARE(w_->TimingStats().Shown().last[int(TimingKind::Dot)], 100);
        QCOMPARE(w_->OutputVolume() & 0xFFFFu, 0u);
    }
};

QTEST_MAIN(SerialWindowTest)
#include "SerialWindowTest.moc"
