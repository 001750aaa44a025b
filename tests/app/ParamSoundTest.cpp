// The parameters window's device list against the private sound server of
// scripts/pulse.sh: a second null output is added, the sidetone moved to it
// while keying, and the device then removed under the running program.
// Skips without the server (fails instead when ORVO_REQUIRE_SOUND is set).

#include "../devices/SoundHarness.h"
#include "AppHarness.h"

#include "devices/NullSound.h"
#include "backends/SoundOut.h"
#include "windows/ParamWindow.h"

#include <QComboBox>
#include <QProcess>

using namespace sound_harness;

namespace {

// pactl with arguments; its output, or a null string when it failed.
QString Pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return out.isNull() ? QStringLiteral("") : out;  // succeeded, even when silent
}

}  // namespace

class ParamSoundTest : public QObject, public WindowHarness {
    Q_OBJECT
    std::unique_ptr<TSoundOut> out_;
    std::unique_ptr<TNullSoundIn> in_;
    QStringList modules_;

    void Unload() {
        // The remap source first: it holds the sink's monitor.
        for (auto it = modules_.crbegin(); it != modules_.crend(); ++it)
            Pactl({"unload-module", *it});
        modules_.clear();
    }

    // Peak of `ms` recorded from the recorder with this id, without its
    // first 50 ms.
    int PeakWhile(const char* recorder, int ms) {
        Recorder rec(1, 50);
        rec.in.SetDevice(Find(OrderedInputDevices(), recorder));
        if (!rec.Start())
            return -1;
        Pump(ms);
        rec.in.Stop();
        int top = 0;
        for (int16_t v : Channel(rec.samples, 0, rec.in.Channels(), 400))
            top = std::max(top, std::abs(int(v)));
        return top;
    }

private slots:
    void init() { Reset(); }
    void cleanup() {
        w_.reset();
        out_.reset();
        in_.reset();
        Unload();
    }

    void sidetoneFollowsTheChosenDeviceAndFallsBack() {
        ORVO_NEED_SOUND_SERVER();
        const QString sink = Pactl({"load-module", "module-null-sink", "sink_name=orvo_sink_b", "rate=8000",
                                    "channels=2", "sink_properties=device.description=Orvo-Second-Output"});
        QVERIFY(!sink.isNull());
        modules_ << sink;
        const QString source =
            Pactl({"load-module", "module-remap-source", "master=orvo_sink_b.monitor",
                   "source_name=orvo_rec_b", "source_properties=device.description=Orvo-Second-Recorder"});
        QVERIFY(!source.isNull());
        modules_ << source;
        QVERIFY(WaitFor(
            [] {
                return Find(OrderedOutputDevices(), "orvo_sink_b") >= 0 &&
                       Find(OrderedInputDevices(), "orvo_rec_b") >= 0;
            },
            5000));

        out_ = std::make_unique<TSoundOut>();
        in_ = std::make_unique<TNullSoundIn>();
        Create({}, out_.get(), in_.get());
        QVERIFY(out_->IsActive());
        TParamWindow* p = w_->ParamWindow();
        QVERIFY(p);
        QComboBox* box = p->WavOutBox();
        const int second = box->findText(QStringLiteral("Orvo-Second-Output"));
        QVERIFY2(second > 0, qPrintable(QString::number(box->count())));

        // Chosen while the key is held: the tone moves to the new device.
        KeyDown(true);
        Pump(200);
        box->setCurrentIndex(second);
        p->WavOutBoxChange();
        QVERIFY(out_->IsActive());
        QCOMPARE(w_->Settings().TXDevice, second);
        // A null sink's first stream may stall for up to two seconds.
        QVERIFY2(WaitFor([&] { return PeakWhile("orvo_rec_b", 300) > 2000; }, 6000),
                 "no sidetone on the chosen device");
        QVERIFY2(PeakWhile("orvo_rec", 300) < 300, "the sidetone still plays on the old device");
        // Key up: silence there, no stuck tone.
        t_ += 300;
        KeyDown(false);
        Pump(300);
        QVERIFY2(PeakWhile("orvo_rec_b", 400) < 300, "the tone sticks after key up");

        // The device goes away: back on the default device, with a note.
        Unload();
        QVERIFY2(WaitFor([&] { return box->currentIndex() == 0; }, 5000),
                 "the list kept the vanished device");
        QVERIFY(WaitFor([&] { return out_->IsActive(); }, 3000));
        QVERIFY2(w_->SoundStatus().contains("Orvo-Second-Output"), qPrintable(w_->SoundStatus()));
        QCOMPARE(w_->Settings().TXDevice, 0);
        t_ += 500;
        KeyDown(true);
        Pump(200);
        QVERIFY2(WaitFor([&] { return PeakWhile("orvo_rec", 300) > 2000; }, 4000),
                 "no sidetone on the default device");
        t_ += 600;
        KeyDown(false);
    }
};

QTEST_MAIN(ParamSoundTest)
#include "ParamSoundTest.moc"
