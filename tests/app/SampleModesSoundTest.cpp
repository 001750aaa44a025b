// The sample input modes end to end through the private sound server of
// scripts/pulse.sh: keyed Morse in a WAV file played into the null sink
// (paplay) is recorded from the sink's monitor and decoded, and the same
// file is played by the WAV reader; both must give the keyed text with the
// keyed timing. Skips without the server (fails when ORVO_REQUIRE_SOUND is set).

#include "../devices/SoundHarness.h"
#include "AppHarness.h"
#include "KeyedTone.h"

#include "analysis/CWDecode.h"
#include "analysis/Calculat.h"
#include "app/SampleSources.h"
#include "devices/QtClock.h"

#include <QProcess>

using namespace sound_harness;

namespace {

// The analyser fed by a source, as the key-input unit feeds it.
struct AnalyserSink : IKeySink {
    QtTimerFactory timers;
    TCalculat calc{timers, nullptr, nullptr};
    TCWDecode decode;
    std::string text;
    bool ended = false;
    AnalyserSink(int cpm) {
        calc.SetTempo(cpm);
        calc.OnNewPattern = [this](uint32_t d, bool bl, bool) { text += decode.Decode(d, bl); };
    }
    void KeyChanged(bool, uint64_t) override {}
    void SamplesReady(const int16_t* s, uint32_t n) override { calc.ProcessSamples(s, n); }
    void SourceEnded(const std::string&) override { ended = true; }
    // Every element of the history, oldest first.
    std::vector<int> Elements() const {
        std::vector<int> ms;
        for (int i = calc.HistCount() - 1; i >= 0; --i) {
            const CharRecord& rec = calc.HistoryRecord(calc.HistHead() - i);
            for (uint32_t k = 0; k < rec[1]; ++k) ms.push_back(int(rec[2 + k]));
        }
        return ms;
    }
};

// Empty when every mark and space but the last (which ends by timeout)
// is within 3 % of the keyed one.
QString TimingOff(const std::vector<int>& got, const std::vector<int>& keyed) {
    // The last keyed element is a mark; the record adds the timeout after it.
    if (got.size() != keyed.size() + keyed.size() % 2) return QString("%1 elements for %2 keyed").arg(got.size()).arg(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k)
        if (std::abs(got[k] - keyed[k]) > 0.03 * keyed[k])
            return QString("element %1: %2 ms, keyed %3 ms").arg(k).arg(got[k]).arg(keyed[k]);
    return QString();
}

}  // namespace

class SampleModesSoundTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string wav_;

private slots:
    void initTestCase() {
        // kParis is hand keying at about 60 CpM; a second of silence after it.
        wav_ = dir_.filePath("paris.wav").toStdString();
        QVERIFY(keyed_tone::WriteWav(wav_, keyed_tone::Samples(kParis, 400, 1200)));
    }

    void soundInputDecodesWhatIsPlayedIntoTheSink() {
        ORVO_NEED_SOUND_SERVER();
        TSoundIn in;
        TSoundInSource src(in);
        src.SetRXDevice(RecorderNumber() + 1);
        AnalyserSink sink(60);
        std::string error;
        QVERIFY2(src.Open(error), error.c_str());
        sink.calc.SetCalcSize(src.BlockSamples());
        src.Start(sink);
        Pump(300);
        QProcess player;
        player.start("paplay", {"--device=orvo_sink", QString::fromStdString(wav_)});
        QVERIFY(player.waitForStarted(5000));
        QVERIFY(WaitFor([&] { return player.state() == QProcess::NotRunning; }, 15000));
        QVERIFY(WaitFor([&] { return sink.text.size() >= 5; }, 3000));
        src.Close();
        QCOMPARE(QString::fromStdString(sink.text).trimmed(), QString("paris"));
        const QString off = TimingOff(sink.Elements(), kParis);
        QVERIFY2(off.isEmpty(), qPrintable(off));
    }

    void wavFileDecodesTheSame() {
        QtTimerFactory timers;
        TfileIn reader(timers);
        reader.SetTimerInterval(50);
        TWavFileSource src(reader, timers, [&](const std::string&, std::string& p) {
            p = wav_;
            return true;
        });
        AnalyserSink sink(60);
        src.SetEndTailMs(uint32_t(sink.calc.WordTimeout()) + 100);
        std::string error;
        QVERIFY2(src.Open(error), error.c_str());
        sink.calc.SetCalcSize(src.BlockSamples());
        src.Start(sink);
        QVERIFY(WaitFor([&] { return sink.ended; }, 15000));
        QCOMPARE(QString::fromStdString(sink.text).trimmed(), QString("paris"));
        const QString off = TimingOff(sink.Elements(), kParis);
        QVERIFY2(off.isEmpty(), qPrintable(off));
    }
};

QTEST_MAIN(SampleModesSoundTest)
#include "SampleModesSoundTest.moc"
