// The main window's sound end to end: the real output device plays into the
// private sound server of scripts/pulse.sh, the real input device records
// what was played, and the core analyser decodes and times the recording.
// Skips without the server (fails instead when ORVO_REQUIRE_SOUND is set).

#include "../devices/SoundHarness.h"

#include "app/LogoMain.h"
#include "cli/Analysis.h"
#include "controls/CWHighlightLabel.h"
#include "devices/ManualClock.h"
#include "devices/NullSound.h"
#include "devices/SoundIn.h"
#include "devices/SoundOut.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct FakeBoxes : IMessageBoxes {
    QStringList messages;
    void Message(const QString& t) override { messages << t; }
    bool AskYesNo(const QString&) override { return true; }
    bool AskOkCancel(const QString&) override { return true; }
};

// Runs the event loop until done() or the time is up.
template <typename Pred> bool WaitFor(Pred done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
void Pump(int ms) { WaitFor([] { return false; }, ms); }

// Records what the sink plays.
struct Recorder {
    TSoundIn in;
    std::vector<int16_t> samples;
    explicit Recorder(int channels)
    {
        in.SetChannels(channels);
        in.SetBufferTime(50);
        in.SetDevice(sound_harness::RecorderNumber());
        in.OnBufferRecorded = [this](const int16_t* pb, uint32_t, uint32_t bytes) {
            samples.insert(samples.end(), pb, pb + bytes / 2);
        };
    }
    // One channel without the first 50 ms, which may still hold what the
    // sink played before the recording started.
    std::vector<int16_t> Channel(int which) const
    {
        const size_t n = size_t(in.Channels());
        std::vector<int16_t> c;
        for (size_t i = 400 * n + size_t(which); i < samples.size(); i += n)
            c.push_back(samples[i]);
        return c;
    }
    bool Start()
    {
        samples.clear();
        if (!in.Start())
            return false;
        Pump(100);
        return true;
    }
};

// [start, end) of the tone runs: envelope (peak over half a period of the
// 800 Hz tone) above half of the loudest sample.
std::vector<std::pair<long, long>> ToneRuns(const std::vector<int16_t>& s, int floor = 2000)
{
    int top = 0;
    for (int16_t v : s)
        top = std::max(top, std::abs(int(v)));
    const int threshold = std::max(floor, top / 2);
    std::vector<std::pair<long, long>> runs;
    bool on = false;
    long start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        int peak = 0;
        for (size_t k = i; k < std::min(s.size(), i + 5); ++k)
            peak = std::max(peak, std::abs(int(s[k])));
        const bool now = peak > threshold;
        if (now && !on)
            start = long(i);
        if (!now && on)
            runs.emplace_back(start, long(i));
        on = now;
    }
    if (on)
        runs.emplace_back(start, long(s.size()));
    return runs;
}

QString Decode(const std::vector<int16_t>& s, int cpm)
{
    orvo::cli::AnalysisOptions opt;
    opt.speed = cpm;
    auto a = std::make_unique<orvo::cli::AnalysisSession>(opt);
    const size_t block = orvo::cli::AnalysisSession::kBlock;
    for (size_t i = 0; i + block <= s.size(); i += block)
        a->FeedBlock(s.data() + i);
    a->FlushSamples();
    return QString::fromLatin1(a->Result().text.c_str()).trimmed();
}

// "paris" keyed by hand: mark, space, ...; the word timeout ends "s".
const std::vector<std::vector<int>> kParis = {
    {95, 104, 290, 97, 310, 88, 102, 305},
    {108, 92, 296, 312},
    {91, 110, 287, 99, 104, 320},
    {97, 93, 112, 295},
    {99, 101, 94, 96, 105},
};

}  // namespace

class SendingSoundTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ManualClock> clock_;
    std::unique_ptr<FakeBoxes> boxes_;
    std::unique_ptr<TSoundOut> out_;
    std::unique_ptr<TNullSoundIn> in_;
    std::unique_ptr<TLogoAppForm> w_;
    uint64_t t_ = 50000;

    void Create(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty()) {
            QFile f(dir_->path() + "/OrvoTapmeter.ini");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        out_ = std::make_unique<TSoundOut>();
        QVERIFY(out_->SetDevice(sound_harness::OutputNumber()));
        in_ = std::make_unique<TNullSoundIn>();
        w_ = std::make_unique<TLogoAppForm>(clock_.get(), clock_.get(), boxes_.get(), dir_->path(), out_.get(),
                                            in_.get());
        w_->show();
        QVERIFY(out_->IsActive());
        QVERIFY(w_->SoundStatus().isEmpty());
    }
    void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, uint64_t stamp = 0,
             const QString& text = QString())
    {
        QKeyEvent e(type, key, mods, text);
        e.setTimestamp(stamp);
        QApplication::sendEvent(w_.get(), &e);
    }
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        Key(QEvent::KeyPress, key, mods);
        Key(QEvent::KeyRelease, key, mods);
    }
    void Type(const QString& text)
    {
        for (QChar c : text)
            Key(QEvent::KeyPress, c == '\b' ? int(Qt::Key_Backspace) : int(c.toUpper().unicode()), Qt::NoModifier, 0,
                QString(c));
    }
    void KeyParis()
    {
        bool down = false;
        for (const auto& ch : kParis)
            for (int d : ch) {
                down = !down;
                Key(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
                t_ += uint64_t(d);
            }
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
        clock_->Advance(3000);
    }
    // Runs one recorded pass until one is right, at most five times: on a
    // loaded machine the shared sound path (output, server, recorder) now
    // and then drops or delays a few milliseconds, and the output may run
    // dry (counted, and shown with the failure). A fault of the window
    // fails every pass. Returns what was wrong
    // with the last pass, or nothing.
    template <class F> QString Clean(F pass)
    {
        QString problem;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const TSoundOut::Stats before = out_->GetStats();
            problem = pass();
            const TSoundOut::Stats after = out_->GetStats();
            const bool underran =
                after.lateBuffers != before.lateBuffers || after.deviceUnderruns != before.deviceUnderruns;
            if (problem.isEmpty())
                return problem;
            qWarning() << "pass" << attempt + 1 << (underran ? "(output underran)" : "") << problem;
        }
        return problem;
    }
    bool Idle() const { return !w_->CWout1().HasChars() && !w_->SendingBusy() && !w_->PttActive(); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        clock_ = std::make_unique<ManualClock>();
        clock_->AdvanceTo(100000);
        boxes_ = std::make_unique<FakeBoxes>();
        t_ = 50000;
    }
    void cleanup()
    {
        w_.reset();
        out_.reset();
        in_.reset();
        clock_.reset();
    }

    void typedTextIsPlayedAndDecodesBack()
    {
        ORVO_NEED_SOUND_SERVER();
        Create("[Main]\r\nTargetSpeed=120\r\n");
        Recorder rec(1);
        // "<", "s", "o" make one prosign; backspace takes a whole one back.
        QString problem = Clean([&] {
            w_->LowerPanel()->Clear();
            if (!rec.Start())
                return QString("recorder did not start");
            Type("ab<ar\b<so e");
            if (w_->LowerPanel()->Text() != "ab<sos> e")
                return QString("panel: ") + QString::fromStdString(w_->LowerPanel()->Text());
            if (!WaitFor([&] { return w_->LowerPanel()->SentEnd() == 9 && Idle(); }, 20000))
                return QString("not sent");
            Pump(200);
            rec.in.Stop();
            const QString got = Decode(rec.Channel(0), 120);
            return got == "ab<sos> e" ? QString() : "decoded " + got;
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Ctrl+F9 sends the green zone again; ESC stops a second go at once.
        Press(Qt::Key_Home, Qt::ControlModifier);
        problem = Clean([&] {
            if (!rec.Start())
                return QString("recorder did not start");
            Press(Qt::Key_F9, Qt::ControlModifier);
            if (!w_->SendingTyped())
                return QString("no typed replay");
            if (!WaitFor([&] { return !w_->SendingTyped() && Idle(); }, 20000))
                return QString("typed replay did not end");
            Pump(200);
            rec.in.Stop();
            const QString got = Decode(rec.Channel(0), 120);
            return got == "ab<sos> e" ? QString() : "decoded " + got;
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
        Press(Qt::Key_F9, Qt::ControlModifier);
        Pump(600);
        Press(Qt::Key_Escape);
        QVERIFY(!w_->SendingTyped());
        QVERIFY(WaitFor([&] { return Idle(); }, 3000));

        // A full type-ahead warns and keeps nothing it could not queue.
        for (int i = 0; i < 10000; ++i)
            Key(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, 0, "e");
        QCOMPARE(boxes_->messages, QStringList{"Warning: Type-ahead buffer is full: 10000"});
        Press(Qt::Key_Escape);
        QVERIFY(WaitFor([&] { return Idle(); }, 3000));
    }

    void f9PlaysTheOperatorsTiming()
    {
        ORVO_NEED_SOUND_SERVER();
        Create();
        KeyParis();
        QCOMPARE(QString::fromStdString(w_->UpperPanel()->Text()), QString("paris\r"));
        Press(Qt::Key_Home);
        Recorder rec(1);
        std::vector<int> keyed;
        for (const auto& ch : kParis)
            keyed.insert(keyed.end(), ch.begin(), ch.end());
        QString problem = Clean([&] {
            if (!rec.Start())
                return QString("recorder did not start");
            Press(Qt::Key_F9);
            if (!w_->Replaying())
                return QString("no replay");
            if (!WaitFor([&] { return !w_->Replaying(); }, 20000))
                return QString("replay did not end");
            Pump(200);
            rec.in.Stop();
            const auto runs = ToneRuns(rec.Channel(0));
            if (runs.size() != (keyed.size() + 1) / 2)
                return QString("%1 tone runs for %2 marks").arg(runs.size()).arg((keyed.size() + 1) / 2);
            for (size_t k = 0; k < keyed.size(); ++k) {
                const size_t i = k / 2;
                const long got = k % 2 == 0 ? runs[i].second - runs[i].first : runs[i + 1].first - runs[i].second;
                // Within 3 ms (24 samples) of what was keyed.
                if (std::abs(got - keyed[k] * 8L) > 24)
                    return QString("element %1: %2 samples, keyed %3 ms").arg(k).arg(got).arg(keyed[k]);
            }
            return QString();
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(w_->Calculat1().CursorBack(), 4);

        // Shift+F9: only the first red character; the cursor stays.
        Press(Qt::Key_PageDown);
        Press(Qt::Key_PageDown);
        problem = Clean([&] {
            if (!rec.Start())
                return QString("recorder did not start");
            Press(Qt::Key_F9, Qt::ShiftModifier);
            if (!WaitFor([&] { return !w_->Replaying(); }, 5000))
                return QString("replay did not end");
            Pump(200);
            rec.in.Stop();
            const size_t n = ToneRuns(rec.Channel(0)).size();
            return n == 3 ? QString() : QString("%1 marks for \"r\"").arg(n);
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(w_->Calculat1().CursorBack(), 2);
        QCOMPARE(w_->UpperPanel()->RedStart(), 3);

        // ESC ends a replay early.
        Press(Qt::Key_Home);
        QVERIFY(rec.Start());
        Press(Qt::Key_F9);
        Pump(800);
        Press(Qt::Key_Escape);
        QVERIFY(WaitFor([&] { return !w_->Replaying(); }, 1000));
        Pump(300);
        rec.in.Stop();
        QVERIFY(ToneRuns(rec.Channel(0)).size() < 6);
        QCOMPARE(w_->UpperPanel()->RedStart(), 1);
    }

    void binauralKeyAndReplayLeftTextRight()
    {
        ORVO_NEED_SOUND_SERVER();
        Create("[TX]\r\nBinaural=1\r\n");
        QCOMPARE(out_->Channels(), 2);
        Recorder rec(2);
        QString problem = Clean([&] {
            if (!rec.Start())
                return QString("recorder did not start");
            Type("e");
            if (!WaitFor([&] { return Idle(); }, 5000))
                return QString("not sent");
            // The sidetone follows the key on the left.
            Key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, t_);
            Pump(300);
            t_ += 300;
            Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
            Pump(300);
            rec.in.Stop();
            clock_->Advance(3000);  // the key-down ends as a "t"
            const auto left = ToneRuns(rec.Channel(0));
            const auto right = ToneRuns(rec.Channel(1));
            if (right.size() != 1 || left.size() != 1)
                return QString("%1 runs left, %2 right").arg(left.size()).arg(right.size());
            if (left[0].first <= right[0].second || std::abs(left[0].second - left[0].first - 2400) >= 800)
                return QString("key tone at %1..%2, text at %3..%4")
                    .arg(left[0].first).arg(left[0].second).arg(right[0].first).arg(right[0].second);
            return QString();
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // The replay of the keyed "t" sounds on the left only.
        QVERIFY(QString::fromStdString(w_->UpperPanel()->Text()).startsWith("t\r"));
        problem = Clean([&] {
            if (!rec.Start())
                return QString("recorder did not start");
            Press(Qt::Key_F9, Qt::ShiftModifier);
            if (!WaitFor([&] { return !w_->Replaying(); }, 5000))
                return QString("replay did not end");
            Pump(200);
            rec.in.Stop();
            const auto left = ToneRuns(rec.Channel(0));
            if (left.size() != 1 || std::abs(left[0].second - left[0].first - 2400) > 24)
                return QString("%1 runs on the left").arg(left.size());
            return ToneRuns(rec.Channel(1)).empty() ? QString() : QString("replay on the right");
        });
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_MAIN(SendingSoundTest)
#include "SendingSoundTest.moc"
