// The sample input modes end to end through the private sound server of
// scripts/pulse.sh: keyed Morse in a WAV file played into the null sink
// (paplay) is recorded from the sink's monitor and decoded, and the same
// file is played by the WAV reader; both must give the keyed text with the
// keyed timing. Skips without the server (fails when ORVO_REQUIRE_SOUND is set).

#include "../devices/SoundHarness.h"
#include "AppHarness.h"
#include "KeyedTone.h"

#include "analysis/CWDecode.h"
#include "analysis/Analyser.h"
#include "session/SampleSources.h"
#include "backends/QtClock.h"
#include "morse/CWout.h"

#include <QProcess>

#include <random>

using namespace sound_harness;

namespace {

// Every element of the analyser's history, oldest first.
std::vector<int> Elements(const TAnalyser& c) {
    std::vector<int> ms;
    for (int i = c.HistCount() - 1; i >= 0; --i) {
        const CharRecord& rec = c.HistoryRecord(c.HistHead() - i);
        for (uint32_t k = 0; k < rec[1]; ++k)
            ms.push_back(int(rec[2 + k]));
    }
    return ms;
}

// The analyser fed by a source, as the key-input unit feeds it.
struct AnalyserSink : IKeySink {
    QtTimerFactory timers;
    TAnalyser calc{timers, nullptr, nullptr};
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
};

// Empty when every mark and space but the last (which ends by timeout)
// is within 3 % of the keyed one.
QString TimingOff(const std::vector<int>& got, const std::vector<int>& keyed) {
    // The last keyed element is a mark; the record adds the timeout after it.
    if (got.size() != keyed.size() + keyed.size() % 2)
        return QString("%1 elements for %2 keyed").arg(got.size()).arg(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k)
        if (std::abs(got[k] - keyed[k]) > 0.03 * keyed[k])
            return QString("element %1: %2 ms, keyed %3 ms").arg(k).arg(got[k]).arg(keyed[k]);
    return QString();
}

// Marks and spaces of `text` keyed at 60 CpM (dot 100 ms).
std::vector<int> KeyedText(const std::string& text) {
    TCWout gen;
    std::vector<int> ms;
    for (char c : text) {
        if (c == ' ') {
            ms.back() += 400;
            continue;
        }
        const uint32_t p = gen.PatternOf(c);
        int top = 31;
        while (top > 0 && !(p >> top))
            --top;
        for (int b = top - 1; b >= 0; --b)
            ms.insert(ms.end(), {((p >> b) & 1) ? 300 : 100, b ? 100 : 300});
    }
    ms.pop_back();
    return ms;
}

// Edit distance of two texts, blanks left out.
int CharErrors(std::string a, std::string b) {
    std::erase(a, ' ');
    std::erase(b, ' ');
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int diag = row[0];
        row[0] = int(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
            diag = up;
        }
    }
    return row[b.size()];
}

}  // namespace

class SampleModesSoundTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string wav_;

    // The program as a user starts it: its settings file, real clock,
    // timers and sound devices; only the dialogs and message boxes are fakes.
    struct Program {
        QTemporaryDir dir;
        FakeBoxes boxes;
        FakeFileDialogs dialogs;
        std::unique_ptr<TMainWindow> w;
        explicit Program(const QByteArray& ini, const std::string& wavAnswer = {}) {
            if (QFile f(dir.filePath("OrvoTapmeter.ini")); f.open(QIODevice::WriteOnly))
                f.write(ini);
            dialogs.answer = wavAnswer;
            w = std::make_unique<TMainWindow>(nullptr, nullptr, &boxes, dir.path(), nullptr, nullptr, nullptr,
                                              &dialogs);
            w->show();
            // Offscreen windows are exposed at once; nothing to fail on here.
            (void)QTest::qWaitForWindowExposed(w.get());
        }
        QString Upper() const { return QString::fromLatin1(w->UpperPanel()->Text().c_str()).trimmed(); }
        // Ctrl+S into the program's folder; what was written.
        QByteArray Save() {
            dialogs.answer = dir.filePath("decoded.txt").toStdString();
            QKeyEvent p(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier);
            QApplication::sendEvent(w.get(), &p);
            QFile f(dir.filePath("decoded.txt"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
    };

    // Once the recording has begun, paplay plays the keyed file into the
    // null sink, and ends.
    void PlayIntoTheSink() {
        Pump(300);
        QProcess player;
        player.start("paplay", {"--device=orvo_sink", QString::fromStdString(wav_)});
        QVERIFY(player.waitForStarted(5000));
        QVERIFY(WaitFor([&] { return player.state() == QProcess::NotRunning; }, 15000));
    }

private slots:
    void initTestCase() {
        // kParis is hand keying at about 60 CpM; a second of silence after it.
        wav_ = dir_.filePath("paris.wav").toStdString();
        QVERIFY(keyed_tone::WriteWav(wav_, keyed_tone::Samples(kParis, 400, 1200)));
    }

    // Up to three passes: a loaded machine now and then drops or clicks a
    // few ms of a recording; a real fault fails every pass.
    void soundInputDecodesWhatIsPlayedIntoTheSink() {
        ORVO_NEED_SOUND_SERVER();
        QString problem;
        for (int pass = 0; pass < 3; ++pass) {
            TSoundIn in;
            TSoundInSource src(in);
            src.SetRXDevice(RecorderNumber() + 1);
            AnalyserSink sink(60);
            std::string error;
            QVERIFY2(src.Open(error), error.c_str());
            sink.calc.SetCalcSize(src.BlockSamples());
            src.Start(sink);
            PlayIntoTheSink();
            if (QTest::currentTestFailed())
                return;
            WaitFor([&] { return sink.text.size() >= 5; }, 3000);
            src.Close();
            const QString text = QString::fromStdString(sink.text).trimmed();
            problem = text != "paris" ? "decoded \"" + text + "\"" : TimingOff(Elements(sink.calc), kParis);
            if (problem.isEmpty())
                break;
            qWarning("pass %d: %s", pass + 1, qPrintable(problem));
        }
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void wavFileDecodesTheSame() {
        QtTimerFactory timers;
        TFileIn reader(timers);
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
        const QString off = TimingOff(Elements(sink.calc), kParis);
        QVERIFY2(off.isEmpty(), qPrintable(off));
    }

    // The whole program in each sample mode, started from its settings.
    void programDecodesSoundInputAndTheWavFileAlike() {
        ORVO_NEED_SOUND_SERVER();
        QByteArray sound, wav;
        // Up to three passes through the sound server, as above.
        QString problem;
        for (int pass = 0; pass < 3; ++pass) {
            Program p("[Main]\r\nTargetSpeed=60\r\n[RX]\r\nRXInput=1\r\nRXDevice=0\r\n");
            QCOMPARE(p.w->InputMode(), int(TMainWindow::SoundInput));
            QCOMPARE(p.w->Analyser().CalcSize(), 800);
            PlayIntoTheSink();
            if (QTest::currentTestFailed())
                return;
            WaitFor([&] { return p.Upper() == "paris"; }, 3000);
            problem = p.Upper() != "paris" ? "decoded \"" + p.Upper() + "\""
                                           : TimingOff(Elements(p.w->Analyser()), kParis);
            if (!problem.isEmpty()) {
                qWarning("pass %d: %s", pass + 1, qPrintable(problem));
                continue;
            }
            sound = p.Save();
            QCOMPARE(p.w->InputMode(), int(TMainWindow::SoundInput));
            QVERIFY(p.boxes.messages.isEmpty());
            break;
        }
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        {
            Program p("[Main]\r\nTargetSpeed=60\r\n[RX]\r\nRXInput=3\r\n", wav_);
            QCOMPARE(p.w->InputMode(), int(TMainWindow::WavFile));
            QVERIFY(WaitFor([&] { return p.w->InputMode() == TMainWindow::KeybdMouse; }, 15000));
            QCOMPARE(p.Upper(), QString("paris"));
            const QString off = TimingOff(Elements(p.w->Analyser()), kParis);
            QVERIFY2(off.isEmpty(), qPrintable(off));
            wav = p.Save();
            QVERIFY(p.boxes.messages.isEmpty());
        }
        QCOMPARE(sound, QByteArray("paris\r\n"));
        QCOMPARE(wav, sound);
    }

    // An operator's practice oscillator through a noisy cable: 9 dB in
    // 500 Hz. With "Detector=1" the program decodes it with at most one
    // character in twenty wrong; what "Detector=0" makes of it is logged.
    void robustDetectorDecodesANoisyToneFromTheSoundServer() {
        ORVO_NEED_SOUND_SERVER();
        const std::string text = "cq cq de orvo test paris 73 the quick fox";
        std::vector<int16_t> s = keyed_tone::Samples(KeyedText(text), 600, 1500);
        std::mt19937 rng(9);
        std::normal_distribution<double> noise(0.0, std::sqrt(8000.0 * 8000.0 / 2 / std::pow(10.0, 0.9) * 8));
        for (auto& x : s)
            x = int16_t(std::clamp(std::lround(x + noise(rng)), -32768L, 32767L));
        const std::string wav = dir_.filePath("noisy.wav").toStdString();
        QVERIFY(keyed_tone::WriteWav(wav, s));
        for (int detector : {0, 1}) {
            Program p(QByteArray("[Main]\r\nTargetSpeed=60\r\n[RX]\r\nRXInput=1\r\nRXDevice=0\r\nDetector=") +
                      QByteArray::number(detector) + "\r\n");
            QCOMPARE(p.w->Analyser().Robust(), detector == 1);
            Pump(300);
            QProcess player;
            player.start("paplay", {"--device=orvo_sink", QString::fromStdString(wav)});
            QVERIFY(player.waitForStarted(5000));
            QVERIFY(WaitFor([&] { return player.state() == QProcess::NotRunning; }, 60000));
            Pump(2500);
            const std::string got = p.Upper().toStdString();
            const int errors = CharErrors(got, text);
            qInfo("Detector=%d: \"%s\", %d character errors in %d", detector, got.c_str(), errors,
                  int(text.size()) - 8);
            if (detector == 1)
                QVERIFY2(errors * 20 <= int(text.size()) - 8, got.c_str());
        }
        // The WAV file mode keys through it too.
        Program p("[Main]\r\nTargetSpeed=60\r\n[RX]\r\nRXInput=3\r\nDetector=1\r\n", wav);
        QCOMPARE(p.w->InputMode(), int(TMainWindow::WavFile));
        QVERIFY(WaitFor([&] { return p.w->InputMode() == TMainWindow::KeybdMouse; }, 60000));
        const std::string got = p.Upper().toStdString();
        QVERIFY2(CharErrors(got, text) * 20 <= int(text.size()) - 8, got.c_str());
    }

    // Ctrl+L loads a text, Ctrl+F9 sends it: what the sink hears decodes
    // back to the normalised text.
    void loadedTextIsSentThroughTheSoundServer() {
        ORVO_NEED_SOUND_SERVER();
        Program p("[Main]\r\nTargetSpeed=100\r\n");
        QFile f(p.dir.filePath("send.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("test\t  <xx>de\r\n");
        f.close();
        p.dialogs.answer = f.fileName().toStdString();
        QVERIFY(QTest::qWaitForWindowExposed(p.w.get()));
        QKeyEvent load(QEvent::KeyPress, Qt::Key_L, Qt::ControlModifier);
        QApplication::sendEvent(p.w.get(), &load);
        QCOMPARE(p.boxes.messages, QStringList{});
        QCOMPARE(QString::fromLatin1(p.w->LowerPanel()->GreenText().c_str()), QString("test de"));
        Recorder rec(1, 100);
        QVERIFY(rec.Start());
        QKeyEvent send(QEvent::KeyPress, Qt::Key_F9, Qt::ControlModifier);
        QApplication::sendEvent(p.w.get(), &send);
        QVERIFY(WaitFor([&] { return p.w->SendingTyped(); }, 3000));
        QVERIFY(WaitFor([&] { return !p.w->SendingTyped() && !p.w->PttActive(); }, 20000));
        Pump(300);
        rec.in.Stop();
        QCOMPARE(Decode(rec.samples, 100), QString("test de"));
    }
};

QTEST_MAIN(SampleModesSoundTest)
#include "SampleModesSoundTest.moc"
