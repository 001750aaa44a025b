// Starting with no sound server at all (ctest points PULSE_SERVER nowhere):
// the devices refuse with a clear text, and nothing hangs.

#include "backends/SoundDeviceNames.h"
#include "backends/SoundIn.h"
#include "backends/SoundOut.h"

#include <QtTest>

class SoundNoServerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("PULSE_SERVER", "unix:/nonexistent/orvo-no-server"); }
    void devicesRefuseClearly();
};

void SoundNoServerTest::devicesRefuseClearly() {
    QVERIFY(EnumOutputDeviceNames().empty());
    QCOMPARE(OutputDeviceChoices(), std::vector<std::string>{"Default output device"});
    QCOMPARE(InputDeviceChoices(), std::vector<std::string>{"Default input device"});

    TSoundOut out;
    out.SetBufferTime(100);
    int fills = 0;
    out.OnBufferPlayed = [&](int16_t*, uint32_t) { ++fills; };
    QVERIFY(!out.DeviceAvailable());
    QCOMPARE(out.DeviceCount(), 0);
    QVERIFY(!out.Open());
    QCOMPARE(out.LastError(), std::string("No sound device available"));
    QVERIFY(!out.Start());
    QCOMPARE(out.LastError(), std::string("Wave device not open: No sound device available"));
    QCOMPARE(fills, 0);
    QVERIFY(!out.IsOpen() && !out.IsActive());
    out.SetVolume(0xFFFF);
    QVERIFY(out.Stop() && out.Close());

    TSoundIn in;
    QVERIFY(!in.Start());
    QCOMPARE(in.LastError(), std::string("Wave input device not open: No sound device available"));
    QVERIFY(in.Close());
}

QTEST_GUILESS_MAIN(SoundNoServerTest)
#include "SoundNoServerTest.moc"
