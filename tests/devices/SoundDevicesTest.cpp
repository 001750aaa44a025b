// The sound devices: property rules (no server needed), then real playback
// and recording through the private sound server of scripts/pulse.sh.

#include "SoundHarness.h"

#include "cli/Analysis.h"
#include "cli/Send.h"
#include "devices/NullSound.h"
#include "devices/SoundIn.h"
#include "devices/SoundOut.h"
#include "morse/CWout.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <vector>

class SoundDevicesTest : public QObject {
    Q_OBJECT
private slots:
    void outputSizesAndClamps();
    void inputSizesAndClamps();
    void nullDevicesRefuse();
    void deviceNames();
    void startStopAndCallbacks();
    void playedMorseRecordsBackAndDecodes();
    void volumeGatesEachChannel();
};

namespace {

// Runs the event loop until done() or the time is up.
template <typename Pred>
bool WaitFor(Pred done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Records from the harness's recorder; keeps every sample.
struct Recorder {
    TSoundIn in;
    std::vector<int16_t> samples;
    explicit Recorder(int channels, int bufferMs) {
        in.SetChannels(channels);
        in.SetBufferTime(bufferMs);
        in.SetDevice(sound_harness::RecorderNumber());
        in.OnBufferRecorded = [this](const int16_t* pb, uint32_t, uint32_t bytes) {
            samples.insert(samples.end(), pb, pb + bytes / 2);
        };
    }
};

// Root mean square of one channel of interleaved samples [from, to) frames.
double Rms(const std::vector<int16_t>& s, int channels, int channel, size_t from, size_t to) {
    double sum = 0;
    size_t n = 0;
    for (size_t f = from; f < to && (f + 1) * size_t(channels) <= s.size(); ++f, ++n) {
        const double v = s[f * size_t(channels) + size_t(channel)];
        sum += v * v;
    }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

}  // namespace

void SoundDevicesTest::outputSizesAndClamps() {
    TSoundOut real;
    TNullSoundOut null;
    for (ISoundOut* o : {static_cast<ISoundOut*>(&real), static_cast<ISoundOut*>(&null)}) {
        QCOMPARE(o->SampleRate(), 8000);
        QCOMPARE(o->BufferTime(), 500);
        QCOMPARE(o->Channels(), 2);
        QCOMPARE(o->DeviceId(), -1);
        o->SetBufferTime(100);
        o->SetChannels(1);
        QCOMPARE(o->BufferBytes(), 1600u);
        o->SetChannels(2);
        QCOMPARE(o->BufferBytes(), 3200u);
        o->SetChannels(0);
        QCOMPARE(o->Channels(), 1);
        o->SetChannels(5);
        QCOMPARE(o->Channels(), 2);
        o->SetVolume(0x1234ABCDu);
        QCOMPARE(o->Volume(), 0x1234ABCDu);
    }
    real.SetVolumeBoth(0);
    real.SetVolumeLeft(7);
    QCOMPARE(real.Volume(), 7u);
    real.SetVolumeRight(9);
    QCOMPARE(real.Volume(), (9u << 16) | 7u);
}

void SoundDevicesTest::inputSizesAndClamps() {
    TSoundIn real;
    TNullSoundIn null;
    for (ISoundIn* i : {static_cast<ISoundIn*>(&real), static_cast<ISoundIn*>(&null)}) {
        QCOMPARE(i->BufferSamples(), 1600);
        QCOMPARE(i->BufferTime(), 200);
        QCOMPARE(i->Channels(), 2);
        QCOMPARE(i->NumBuffers(), 4);
        QCOMPARE(i->BufferBytes(), 6400u);
        // Whichever size property was set last decides.
        i->SetBufferSamples(800);
        QCOMPARE(i->BufferBytes(), 3200u);
        i->SetBufferTime(100);
        QCOMPARE(i->BufferBytes(), 3200u);
        i->SetChannels(1);
        QCOMPARE(i->BufferBytes(), 1600u);
        i->SetBufferSamples(400);
        QCOMPARE(i->BufferBytes(), 800u);
        i->SetNumBuffers(1);
        QCOMPARE(i->NumBuffers(), 2);
        i->SetNumBuffers(9);
        QCOMPARE(i->NumBuffers(), 6);
        i->SetChannels(-3);
        QCOMPARE(i->Channels(), 1);
    }
}

void SoundDevicesTest::nullDevicesRefuse() {
    TNullSoundOut out;
    TNullSoundIn in;
    QVERIFY(!out.DeviceAvailable());
    QVERIFY(!out.Open());
    QCOMPARE(out.LastError(), std::string("No sound device available"));
    QVERIFY(!out.Start());
    QVERIFY(out.LastError().find("No sound device available") != std::string::npos);
    QVERIFY(!out.IsOpen() && !out.IsActive());
    QVERIFY(out.Stop() && out.Close());
    QVERIFY(!in.Open());
    QCOMPARE(in.LastError(), std::string("No sound device available"));
    QVERIFY(!in.Start());
    QVERIFY(!in.IsActive());
    std::string name;
    QVERIFY(!out.DeviceName(0, name));
    QCOMPARE(out.LastError(), std::string("Waveform output device #0 not available"));
}

void SoundDevicesTest::deviceNames() {
    ORVO_NEED_SOUND_SERVER();
    const std::vector<std::string> outs = EnumOutputDeviceNames();
    const std::vector<std::string> choices = OutputDeviceChoices();
    QCOMPARE(choices.size(), outs.size() + 1);
    QCOMPARE(choices[0], std::string("Default output device"));
    QCOMPARE(InputDeviceChoices()[0], std::string("Default input device"));
    const int n = sound_harness::OutputNumber();
    QCOMPARE(outs[size_t(n)], std::string("Orvo-Null-Output"));
    QCOMPARE(EnumInputDeviceNames()[size_t(sound_harness::RecorderNumber())], std::string("Orvo-Null-Recorder"));
    // The server's default recorder is found by id.
    QCOMPARE(InputDeviceFor(-1).id(), QByteArray("orvo_rec"));
    QCOMPARE(OutputDeviceFor(n).id(), QByteArray("orvo_sink"));
    // The order is stable between calls.
    QCOMPARE(EnumOutputDeviceNames(), outs);

    TSoundOut out;
    std::string name;
    QVERIFY(out.DeviceName(n, name));
    QCOMPARE(name, std::string("Orvo-Null-Output"));
    const int count = out.DeviceCount();
    QVERIFY(!out.DeviceName(count, name));
    QCOMPARE(out.LastError(), "Waveform output device #" + std::to_string(count) + " not available");
    QVERIFY(!out.Open() || out.Close());
    out.SetDevice(count);  // no such device
    QVERIFY(!out.Open());
    QCOMPARE(out.LastError(), "Error opening waveout device # " + std::to_string(count));
}

void SoundDevicesTest::startStopAndCallbacks() {
    ORVO_NEED_SOUND_SERVER();
    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(1);
    out.SetDevice(sound_harness::OutputNumber());
    int fills = 0;
    bool offThread = false;
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) {
        ++fills;
        offThread |= QThread::currentThread() != qApp->thread();
        QCOMPARE(bytes, 1600u);
        for (uint32_t i = 0; i < bytes / 2; ++i) pb[i] = 0;
    };
    QVERIFY2(out.Start(), out.LastError().c_str());
    QCOMPARE(fills, 2);  // both buffers filled before playback
    QVERIFY(out.IsOpen() && out.IsActive());
    QVERIFY(!out.Start());
    QCOMPARE(fills, 2);
    QVERIFY(!out.Open());
    QCOMPARE(out.LastError(), std::string("Waveout device already opened"));
    // Buffers come back at the device's pace, about ten a second.
    QVERIFY(WaitFor([&] { return fills >= 6; }, 3000));
    QVERIFY(!offThread);
    QVERIFY(out.Stop());
    QVERIFY(!out.IsActive() && out.IsOpen());
    const int stopped = fills;
    WaitFor([] { return false; }, 300);
    QCOMPARE(fills, stopped);
    QVERIFY(out.Start());
    QVERIFY(WaitFor([&] { return fills >= stopped + 4; }, 3000));
    QVERIFY(out.Close());
    QVERIFY(!out.IsOpen() && !out.IsActive());
    QCOMPARE(out.GetStats().lateBuffers, 0u);

    TSoundIn in;
    in.SetBufferSamples(800);
    in.SetBufferTime(100);
    in.SetChannels(1);
    in.SetDevice(sound_harness::RecorderNumber());
    int recorded = 0;
    in.OnBufferRecorded = [&](const int16_t*, uint32_t samples, uint32_t bytes) {
        ++recorded;
        offThread |= QThread::currentThread() != qApp->thread();
        QCOMPARE(samples, 800u);
        QCOMPARE(bytes, 1600u);
    };
    QVERIFY2(in.Start(), in.LastError().c_str());
    QVERIFY(!in.Start());
    QVERIFY(!in.Open());
    QCOMPARE(in.LastError(), std::string("WaveIn device already opened"));
    QVERIFY(WaitFor([&] { return recorded >= 3; }, 3000));
    QVERIFY(!offThread);
    QVERIFY(in.Close());
    const int closed = recorded;
    WaitFor([] { return false; }, 200);
    QCOMPARE(recorded, closed);
}

void SoundDevicesTest::playedMorseRecordsBackAndDecodes() {
    ORVO_NEED_SOUND_SERVER();
    orvo::cli::SendOptions opt;
    opt.speed = 120;
    TCWout gen;
    orvo::cli::ConfigureGenerator(gen, opt);
    bool done = false, lastQueued = false;
    gen.OnLastChar = [&] { lastQueued = true; };
    gen.OnPttChanged = [&](bool on) { done |= !on && lastQueued; };
    gen.Start();
    for (char c : std::string("paris")) QVERIFY(gen.PutChar(c));

    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(1);
    out.SetDevice(sound_harness::OutputNumber());
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) { gen.FillTextSamples(pb, bytes); };
    Recorder rec(1, 100);
    QVERIFY2(rec.in.Start(), rec.in.LastError().c_str());
    QVERIFY2(out.Start(), out.LastError().c_str());
    QVERIFY(WaitFor([&] { return done; }, 15000));
    WaitFor([] { return false; }, 500);  // the tail reaches the recorder
    out.Close();
    rec.in.Close();
    QCOMPARE(out.GetStats().deviceUnderruns, 0u);

    orvo::cli::AnalysisOptions a;
    a.speed = opt.speed;
    const orvo::cli::AnalysisResult r = orvo::cli::AnalyzeSamples(rec.samples, a);
    QString text = QString::fromLatin1(r.text.c_str()).simplified();
    QCOMPARE(text.toUpper(), QStringLiteral("PARIS"));
}

void SoundDevicesTest::volumeGatesEachChannel() {
    ORVO_NEED_SOUND_SERVER();
    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(2);
    out.SetDevice(sound_harness::OutputNumber());
    double phase = 0;
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) {
        for (uint32_t f = 0; f < bytes / 4; ++f, phase += 2 * M_PI * 600 / 8000) {
            pb[2 * f] = pb[2 * f + 1] = static_cast<int16_t>(10000 * std::sin(phase));
        }
    };
    Recorder rec(2, 50);
    QVERIFY2(rec.in.Start(), rec.in.LastError().c_str());
    out.SetVolume(0);
    QVERIFY2(out.Start(), out.LastError().c_str());

    // Each setting is held for 600 ms; the last 250 ms of what was recorded
    // then must show it (the recording lags the output by far less).
    struct Step {
        uint32_t volume;
        bool left, right;
    };
    const Step steps[] = {{0, false, false}, {0x0000FFFFu, true, false}, {0xFFFF0000u, false, true},
                          {0xFFFFFFFFu, true, true}, {0, false, false}};
    for (const Step& s : steps) {
        out.SetVolume(s.volume);
        WaitFor([] { return false; }, 600);
        const size_t frames = rec.samples.size() / 2;
        QVERIFY(frames > 2000);
        const double l = Rms(rec.samples, 2, 0, frames - 2000, frames);
        const double r = Rms(rec.samples, 2, 1, frames - 2000, frames);
        const QByteArray what = QByteArray::number(s.volume, 16) + ": left " + QByteArray::number(l) +
                                ", right " + QByteArray::number(r);
        QVERIFY2(s.left ? l > 5000 : l < 30, what);
        QVERIFY2(s.right ? r > 5000 : r < 30, what);
    }
    out.Close();
    rec.in.Close();
}

QTEST_GUILESS_MAIN(SoundDevicesTest)
#include "SoundDevicesTest.moc"
