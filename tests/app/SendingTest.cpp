// The main window's sound side, driven through a fake output device whose
// buffers the test plays by hand: typed-text sending, replay of keyed and
// typed characters, the sidetone gate, binaural layout and sound failures.
// Every sample the generator writes is captured, so timing is checked to
// the sample.

#include "app/LogoMain.h"
#include "cli/Analysis.h"
#include "controls/CWHighlightLabel.h"
#include "devices/ManualClock.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct FakeBoxes : IMessageBoxes {
    QStringList messages;
    QStringList questions;
    bool answer = true;
    void Message(const QString& t) override { messages << t; }
    bool AskYesNo(const QString& t) override { questions << t; return answer; }
    bool AskOkCancel(const QString& t) override { questions << t; return answer; }
};

// An output device that plays a buffer only when the test says so.
class FakeSoundOut : public ISoundOut {
public:
    bool failStart = false;
    uint32_t volumeAtStart = 0;     // the gate when the first buffers were filled
    std::vector<int16_t> captured;  // every sample the owner wrote, in play order
    std::vector<int16_t> heard;     // the same behind the volume gate

    int SampleRate() const override { return rate_; }
    void SetSampleRate(int hz) override { rate_ = hz; }
    int BufferTime() const override { return time_; }
    void SetBufferTime(int ms) override { time_ = ms; }
    int Channels() const override { return channels_; }
    void SetChannels(int n) override
    {
        channels_ = n < 2 ? 1 : 2;
        if (active_) {  // reopened: both buffers are filled afresh
            Fill();
            Fill();
        }
    }
    uint32_t BufferBytes() const override { return uint32_t(rate_ * 2 * channels_ * time_ / 1000); }
    bool DeviceAvailable() const override { return !failStart; }
    int DeviceCount() const override { return failStart ? 0 : 1; }
    bool DeviceName(int, std::string& name) override { name = "fake"; return true; }
    int DeviceId() const override { return -1; }
    bool SetDevice(int) override { return true; }
    bool Open() override { return !failStart; }
    bool Start() override
    {
        if (failStart) {
            error_ = "No sound device available";
            return false;
        }
        if (active_)
            return false;
        volumeAtStart = volume_;
        Fill();
        Fill();
        active_ = true;
        return true;
    }
    bool Stop() override { active_ = false; return true; }
    bool Close() override { active_ = false; return true; }
    bool IsOpen() const override { return active_; }
    bool IsActive() const override { return active_; }
    const std::string& LastError() const override { return error_; }
    uint32_t Volume() const override { return volume_; }
    void SetVolume(uint32_t lr) override { volume_ = lr; }

    // One buffer has been played: the owner refills it.
    void Play(int buffers = 1)
    {
        for (int i = 0; i < buffers && active_; ++i)
            Fill();
    }
    // The server went away.
    void Clear()
    {
        captured.clear();
        heard.clear();
    }
    void Die(const std::string& why)
    {
        active_ = false;
        if (OnStatus)
            OnStatus(why);
    }

private:
    void Fill()
    {
        std::vector<int16_t> buf(BufferBytes() / 2, int16_t(0x5555));
        OnBufferPlayed(buf.data(), BufferBytes());
        captured.insert(captured.end(), buf.begin(), buf.end());
        // The gate as it stands when the buffer goes out.
        for (size_t i = 0; i < buf.size(); ++i) {
            const uint32_t v = channels_ == 2 && i % 2 ? volume_ >> 16 : volume_ & 0xFFFFu;
            heard.push_back(int16_t(int32_t(buf[i]) * int32_t(v) / 65535));
        }
    }
    int rate_ = 8000, time_ = 500, channels_ = 2;
    bool active_ = false;
    uint32_t volume_ = 0xFFFFFFFFu;
    std::string error_;
};

// Tone runs of a mono capture: [start, end) sample indices where the
// envelope (peak over half a period of the 800 Hz tone) is above half
// the amplitude.
std::vector<std::pair<size_t, size_t>> ToneRuns(const std::vector<int16_t>& s, int threshold)
{
    std::vector<std::pair<size_t, size_t>> runs;
    bool on = false;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        int peak = 0;
        for (size_t k = i; k < std::min(s.size(), i + 5); ++k)
            peak = std::max(peak, std::abs(int(s[k])));
        const bool now = peak > threshold;
        if (now && !on)
            start = i;
        if (!now && on)
            runs.emplace_back(start, i);
        on = now;
    }
    if (on)
        runs.emplace_back(start, s.size());
    return runs;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& s, int which)
{
    std::vector<int16_t> c;
    for (size_t i = size_t(which); i < s.size(); i += 2)
        c.push_back(s[i]);
    return c;
}

// Decodes a mono capture with the core analyser as a fresh installation does.
QString Decode(const std::vector<int16_t>& s, int cpm)
{
    orvo::cli::AnalysisOptions opt;
    opt.speed = cpm;
    orvo::cli::AnalysisSession a(opt);
    const size_t block = orvo::cli::AnalysisSession::kBlock;
    for (size_t i = 0; i + block <= s.size(); i += block)
        a.FeedBlock(s.data() + i);
    a.FlushSamples();
    return QString::fromLatin1(a.Result().text.c_str()).trimmed();
}

// "paris" keyed by hand at about 60 CpM: mark, space, mark, space ...;
// the last space of each character is its character space.
const std::vector<std::vector<int>> kParis = {
    {95, 104, 290, 97, 310, 88, 102, 305},   // p .--.
    {108, 92, 296, 312},                     // a .-
    {91, 110, 287, 99, 104, 320},            // r .-.
    {97, 93, 112, 295},                      // i ..
    {99, 101, 94, 96, 105},                  // s ... (ends by the word timeout)
};

}  // namespace

class SendingTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ManualClock> clock_;
    std::unique_ptr<FakeBoxes> boxes_;
    std::unique_ptr<FakeSoundOut> out_;
    std::unique_ptr<TLogoAppForm> w_;
    uint64_t t_ = 50000;

    void WriteIni(const QByteArray& text)
    {
        QFile f(dir_->path() + "/OrvoTapmeter.ini");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void Create()
    {
        w_ = std::make_unique<TLogoAppForm>(clock_.get(), clock_.get(), boxes_.get(), dir_->path(), out_.get());
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
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
        for (QChar c : text) {
            const int key = c == '\b' ? Qt::Key_Backspace : (c.isLetter() ? int(c.toUpper().unicode()) : int(c.unicode()));
            Key(QEvent::KeyPress, key, Qt::NoModifier, 0, QString(c));
        }
    }
    void KeyDown(bool down) { Key(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_); }
    // Plays buffers until the condition holds (at most `limit` of them).
    template <class F> bool PlayUntil(F done, int limit = 400)
    {
        for (int i = 0; i < limit; ++i) {
            if (done())
                return true;
            out_->Play();
        }
        return done();
    }
    QString LowerText() const { return QString::fromLatin1(w_->LowerPanel()->Text().c_str()); }
    template <class T> T* Child(const char* name) { return w_->findChild<T*>(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        clock_ = std::make_unique<ManualClock>();
        clock_->AdvanceTo(100000);
        boxes_ = std::make_unique<FakeBoxes>();
        out_ = std::make_unique<FakeSoundOut>();
        t_ = 50000;
    }
    void cleanup()
    {
        w_.reset();
        out_.reset();
        clock_.reset();
    }

    void typingProsignsAndBackspace();
    void typeAheadFullWarnsAt10000();
    void sentTextIsMarkedAndDecodesBack();
    void f9ReplaysTheKeyedTimingToTheSample();
    void shiftF9EscAndEmptyReplay();
    void ctrlF9SendsTheGreenZoneAgain();
    void sidetoneGateAndBinauralLayout();
    void targetSpeedEditAndDisplays();
    void soundFailuresKeepKeyingAndSay();

private:
    void KeyRecords();
};

// Keys kParis exactly: press, release, press ... with the chosen lengths.
void SendingTest::KeyRecords()
{
    bool down = false;
    for (const auto& ch : kParis)
        for (int d : ch) {
            down = !down;
            Key(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
            t_ += uint64_t(d);
        }
    if (down)
        Key(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, t_);
    clock_->Advance(3000);  // the word timeout ends "s"
}

void SendingTest::typingProsignsAndBackspace()
{
    Create();
    Type("ab");
    QCOMPARE(LowerText(), QString("ab"));
    // "<", "s", "o" make one prosign; the bracket is completed for it.
    Type("<s");
    QCOMPARE(w_->ProsignState(), 2);
    Type("o");
    QCOMPARE(LowerText(), QString("ab<sos>"));
    QCOMPARE(w_->ProsignState(), 0);
    // Backspace takes the whole prosign back, from the panel and the queue.
    Type("\b");
    QCOMPARE(LowerText(), QString("ab"));
    Type("<ar");
    QCOMPARE(LowerText(), QString("ab<ar>"));
    Type("<x");   // an unfinished bracket goes with one backspace
    Type("\b");
    QCOMPARE(LowerText(), QString("ab<ar>"));
    Type("<\b");
    QCOMPARE(LowerText(), QString("ab<ar>"));
    Type("<?");   // not a prosign letter: the bracket is dropped
    QCOMPARE(LowerText(), QString("ab<ar>"));
    Type("[");    // not sendable: ignored
    Type(QString(QChar(0xDF)));  // sharp s types "?"
    QCOMPARE(LowerText(), QString("ab<ar>?"));
    Type("\b\b");
    QCOMPARE(LowerText(), QString("ab"));

    // ESC drops the whole type-ahead and its unsent text.
    Type("cd");
    QVERIFY(w_->CWout1().HasChars());
    Press(Qt::Key_Escape);
    QVERIFY(!w_->CWout1().HasChars());
    QCOMPARE(LowerText(), QString());

    Type("<xy");  // names no prosign: shown, nothing queued
    QCOMPARE(LowerText(), QString("<xy>"));
    QVERIFY(!w_->CWout1().HasChars());
    Type(" ");
    Type("\b");   // a space goes from the panel too
    QCOMPARE(LowerText(), QString("<xy>"));

    // What is queued is sent in typed order as one "<sos>" prosign.
    w_->LowerPanel()->Clear();
    Type("e<so");
    QVERIFY(PlayUntil([&] { return !w_->CWout1().HasChars() && !w_->SendingBusy(); }));
    QCOMPARE(w_->LowerPanel()->SentEnd(), 6);
    QCOMPARE(QString::fromStdString(w_->LowerPanel()->GreenText()), QString("<sos>"));
}

void SendingTest::typeAheadFullWarnsAt10000()
{
    WriteIni("[Form]\r\nDisplayPros=1\r\n");
    Create();
    QCOMPARE(w_->CWout1().Buffersize(), 10000);
    // With "Display + and =" the first two prosigns show as their characters.
    Type("<ar<bt");
    QCOMPARE(LowerText(), QString("+="));
    Type("<xy");  // no prosign: the bracket disappears
    QCOMPARE(LowerText(), QString("+="));
    Type("\b");
    QCOMPARE(LowerText(), QString("+"));
    for (int i = 1; i < 9999; ++i)
        Key(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, 0, "e");
    QVERIFY(boxes_->messages.isEmpty());
    QCOMPARE(w_->LowerPanel()->Length(), 9999);
    Type("e");
    QCOMPARE(boxes_->messages, QStringList{"Warning: Type-ahead buffer is full: 10000"});
    QCOMPARE(w_->LowerPanel()->Length(), 9999);
    Type("<sk");  // a prosign that does not fit is not shown either
    QCOMPARE(boxes_->messages.size(), 2);
    QCOMPARE(w_->LowerPanel()->Length(), 9999);
}

void SendingTest::sentTextIsMarkedAndDecodesBack()
{
    Create();
    QCOMPARE(out_->Channels(), 1);
    QCOMPARE(out_->BufferBytes(), 1600u);
    out_->Play(3);
    // Idle with the sidetone behind a closed gate.
    QVERIFY(w_->CWout1().KeyTone);
    QCOMPARE(out_->Volume(), 0u);

    out_->Clear();
    Type("paris <so");
    bool sawBusy = false;
    QVERIFY(PlayUntil([&] {
        sawBusy = sawBusy || w_->SendingBusy();
        return w_->LowerPanel()->SentEnd() == 11 && !w_->SendingBusy() && !w_->PttActive();
    }));
    QVERIFY(sawBusy);
    QCOMPARE(out_->Volume(), 0u);  // PTT off closed the gate again
    QVERIFY(w_->CWout1().KeyTone);
    QCOMPARE(Decode(out_->heard, 60), QString("paris <sos>"));

    // While sending, the gate is open on both channels and the mono key is out.
    Type("t");
    QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
    QCOMPARE(out_->Volume(), 0xFFFFFFFFu);
    QVERIFY(w_->PttActive());
    KeyDown(true);
    QVERIFY(!w_->KeyIsDown());
    QCOMPARE(w_->Calculat1().PendingCount(), 0);
}

void SendingTest::f9ReplaysTheKeyedTimingToTheSample()
{
    Create();
    KeyRecords();
    QCOMPARE(QString::fromStdString(w_->UpperPanel()->Text()), QString("paris\r"));
    Press(Qt::Key_Home);
    QCOMPARE(w_->Calculat1().CursorBack(), 4);
    out_->Play(2);
    out_->Clear();
    Press(Qt::Key_F9);
    QVERIFY(w_->Replaying());
    QVERIFY(!w_->CWout1().KeyTone);
    // Keys do nothing while it plays.
    KeyDown(true);
    QVERIFY(!w_->KeyIsDown());
    Press(Qt::Key_Delete);
    QCOMPARE(w_->UpperPanel()->Length(), 6);
    bool advanced = false;
    QVERIFY(PlayUntil([&] {
        advanced = advanced || w_->UpperPanel()->RedStart() > 1;
        return !w_->Replaying();
    }));
    QVERIFY(advanced);  // the red zone walked along

    const auto runs = ToneRuns(out_->heard, 5000);
    std::vector<int> keyed;
    for (const auto& ch : kParis)
        keyed.insert(keyed.end(), ch.begin(), ch.end());
    QCOMPARE(int(runs.size()), int(keyed.size() + 1) / 2);
    QVERIFY(std::abs(long(runs[0].first) - 2400) <= 8);  // 300 ms lead-in
    for (size_t k = 0; k < keyed.size(); ++k) {
        const size_t i = k / 2;
        const long got = k % 2 == 0 ? long(runs[i].second - runs[i].first) : long(runs[i + 1].first - runs[i].second);
        // Within 1 ms (8 samples) of what was keyed.
        QVERIFY2(std::abs(got - keyed[k] * 8L) <= 8,
                 qPrintable(QString("element %1: %2 samples, keyed %3 ms").arg(k).arg(got).arg(keyed[k])));
    }

    // Afterwards: zone and cursor as before, gate closed, sidetone back,
    // and the replayed characters' timing in the "Last Replay" set.
    QCOMPARE(w_->UpperPanel()->RedStart(), 1);
    QCOMPARE(w_->Calculat1().CursorBack(), 4);
    QVERIFY(!w_->Calculat1().Paused());
    QCOMPARE(out_->Volume(), 0u);
    QVERIFY(w_->CWout1().KeyTone);
    QCOMPARE(w_->TimingStats().Values(TTimingStats::kLastReplay, TimingKind::Dash).count, 4);
    QCOMPARE(w_->TimingStats().Values(TTimingStats::kLastReplay, TimingKind::Dot).count, 10);
    KeyDown(true);
    QVERIFY(w_->KeyIsDown());
}

void SendingTest::shiftF9EscAndEmptyReplay()
{
    Create();
    // F9 before anything was decoded: type-ahead dropped, nothing played.
    Type("ab");
    Press(Qt::Key_F9);
    QVERIFY(!w_->Replaying());
    QVERIFY(!w_->CWout1().HasChars());
    QCOMPARE(w_->LowerPanel()->Length(), 0);
    QVERIFY(w_->CWout1().KeyTone);

    KeyRecords();
    Press(Qt::Key_PageUp);
    Press(Qt::Key_PageUp);
    QCOMPARE(w_->UpperPanel()->RedStart(), 3);
    QCOMPARE(w_->Calculat1().CursorBack(), 2);
    out_->Clear();
    Press(Qt::Key_F9, Qt::ShiftModifier);
    QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
    // Only "r" (.-.) and the cursor where it was.
    const auto runs = ToneRuns(out_->heard, 5000);
    QCOMPARE(int(runs.size()), 3);
    QVERIFY(std::abs(long(runs[1].second - runs[1].first) - 287 * 8) <= 8);
    QCOMPARE(w_->Calculat1().CursorBack(), 2);
    QCOMPARE(w_->UpperPanel()->RedStart(), 3);

    // ESC ends a replay with its closing silence.
    Press(Qt::Key_Home);
    out_->Clear();
    Press(Qt::Key_F9);
    out_->Play(5);  // into "p"
    QVERIFY(w_->Replaying());
    Press(Qt::Key_Escape);
    QVERIFY(PlayUntil([&] { return !w_->Replaying(); }, 3));
    QVERIFY(ToneRuns(out_->heard, 5000).size() < 4);
    QCOMPARE(w_->UpperPanel()->RedStart(), 1);

    // F9 while a typed character is on the air waits for its end.
    Type("t");
    QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
    Press(Qt::Key_F9);
    QVERIFY(w_->ReplayPending());
    QVERIFY(!w_->Replaying());
    QVERIFY(PlayUntil([&] { return w_->Replaying(); }, 10));
    QVERIFY(!w_->SendingBusy());
    QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
}

void SendingTest::ctrlF9SendsTheGreenZoneAgain()
{
    Create();
    Type("ab<ar");
    QVERIFY(PlayUntil([&] { return w_->LowerPanel()->SentEnd() == 6 && !w_->PttActive(); }));
    Press(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(w_->LowerPanel()->GreenText()), QString("ab<ar>"));

    out_->Clear();
    Press(Qt::Key_F9, Qt::ControlModifier);
    QVERIFY(w_->SendingTyped());
    QVERIFY(w_->Calculat1().Paused());
    Type("x");  // typing waits for the end
    bool advanced = false;
    QVERIFY(PlayUntil([&] {
        advanced = advanced || w_->LowerPanel()->GreenStart() > 1;
        return !w_->SendingTyped();
    }));
    QVERIFY(advanced);
    QVERIFY(PlayUntil([&] { return !w_->PttActive(); }));
    QCOMPARE(Decode(out_->heard, 60), QString("ab<ar>"));
    QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
    QCOMPARE(LowerText(), QString("ab<ar>"));  // nothing added, nothing marked twice
    QCOMPARE(w_->LowerPanel()->SentEnd(), 6);
    QVERIFY(!w_->Calculat1().Paused());

    // At a new target speed the same zone is sent faster.
    Press(Qt::Key_Up, Qt::ShiftModifier);
    Press(Qt::Key_Up, Qt::ShiftModifier);  // 80 CpM
    out_->Clear();
    Press(Qt::Key_F9, Qt::ControlModifier | Qt::ShiftModifier);  // first character only
    QVERIFY(PlayUntil([&] { return !w_->SendingTyped() && !w_->PttActive(); }));
    QCOMPARE(Decode(out_->heard, 80), QString("a"));
    const auto runs = ToneRuns(out_->heard, 5000);
    QCOMPARE(int(runs.size()), 2);
    QVERIFY(std::abs(long(runs[0].second - runs[0].first) - 600) <= 12);  // a dot at 80 CpM

    // ESC stops it at once.
    Press(Qt::Key_F9, Qt::ControlModifier);
    out_->Play(3);
    Press(Qt::Key_Escape);
    QVERIFY(!w_->SendingTyped());
    QVERIFY(!w_->CWout1().HasChars());
    QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
    QVERIFY(!w_->Calculat1().Paused());
}

void SendingTest::sidetoneGateAndBinauralLayout()
{
    WriteIni("[TX]\r\nBinaural=1\r\nFrequency=600\r\nFrequency2=800\r\n");
    Create();
    QVERIFY(w_->Binaural());
    QCOMPARE(out_->Channels(), 2);
    QVERIFY(w_->CWout1().Stereo());
    QCOMPARE(w_->CWout1().Frequency(), 600);
    QCOMPARE(out_->volumeAtStart, 0u);  // no burst of the left tone at start

    // The key opens the left channel only.
    KeyDown(true);
    QCOMPARE(out_->Volume(), 0x0000FFFFu);
    t_ += 100;
    KeyDown(false);
    QCOMPARE(out_->Volume(), 0u);

    // Sent text: Morse on the right, the steady sidetone on the left behind
    // its own gate; the key still works while PTT is on.
    out_->Clear();
    Type("e");
    QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
    QCOMPARE(out_->Volume(), 0xFFFF0000u);
    QVERIFY(!w_->PttActive());
    KeyDown(true);
    QVERIFY(w_->KeyIsDown());
    QCOMPARE(out_->Volume(), 0xFFFFFFFFu);
    t_ += 100;
    KeyDown(false);
    QCOMPARE(out_->Volume(), 0xFFFF0000u);
    QVERIFY(PlayUntil([&] { return !w_->SendingBusy(); }));
    out_->Play(5);
    const auto left = Channel(out_->captured, 0);
    const auto right = Channel(out_->heard, 1);
    QCOMPARE(int(ToneRuns(left, 5000).size()), 1);  // steady all through
    const auto dot = ToneRuns(right, 5000);
    QCOMPARE(int(dot.size()), 1);
    QVERIFY(std::abs(long(dot[0].second - dot[0].first) - 800) <= 12);

    // Replay: left only, right silent.
    clock_->Advance(3000);
    Press(Qt::Key_Delete);
    KeyRecords();
    QVERIFY(PlayUntil([&] { return !w_->PttActive(); }));
    out_->Clear();
    Press(Qt::Key_F9, Qt::ShiftModifier);
    QVERIFY(PlayUntil([&] { return out_->Volume() == 0x0000FFFFu; }));
    QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
    QCOMPARE(int(ToneRuns(Channel(out_->captured, 0), 5000).size()), 3);  // "s"
    for (int16_t v : Channel(out_->captured, 1))
        QCOMPARE(int(v), 0);

    // Switching to mono closes the gate and sends everything on one channel.
    w_->SetBinaural(false);
    QCOMPARE(out_->Channels(), 1);
    QCOMPARE(out_->Volume(), 0u);
    QCOMPARE(w_->CWout1().Frequency(), 800);
}

void SendingTest::targetSpeedEditAndDisplays()
{
    WriteIni("[Form]\r\nWpM=1\r\n");
    Create();
    auto* edit = Child<QLineEdit>("CWSpeed");
    QCOMPARE(edit->text(), QString("12.0"));
    edit->setText("24.5");  // WpM with a point, rounded to CpM
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(w_->CWout1().Speed(), 123);
    QCOMPARE(w_->Calculat1().Tempo(), 123);
    QCOMPARE(edit->text(), QString("24.6"));
    edit->setText("30");
    QTest::keyClick(edit, Qt::Key_Escape);  // ESC reads the edit as Enter does
    QCOMPARE(w_->CWout1().Speed(), 150);
    edit->setText("x");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(w_->CWout1().Speed(), 150);
    QCOMPARE(edit->text(), QString("30.0"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(w_->CWout1().Speed(), 140);
    QCOMPARE(edit->text(), QString("28.0"));
    // The generator's bounds hold, and its timing follows at once.
    Press(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    Press(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(w_->CWout1().Speed(), 300);
    QCOMPARE(edit->text(), QString("60.0"));
    QCOMPARE(w_->CWout1().DotSamples(), 160);
    // Speeds of keyed characters in WpM, emptied by a clear.
    Press(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    Press(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(w_->CWout1().Speed(), 100);
    for (int i = 0; i < 2; ++i) {
        KeyDown(true);
        t_ += 60;
        KeyDown(false);
        t_ += 180;
    }
    clock_->Advance(3000);
    QVERIFY(!Child<QLineEdit>("RecSpeed")->text().isEmpty());
    QVERIFY(Child<QLineEdit>("RecSpeed")->text().contains('.'));
    boxes_->answer = false;
    Press(Qt::Key_Up);
    QCOMPARE(boxes_->questions.size(), 1);
    QCOMPARE(w_->CWout1().Speed(), 100);
    Press(Qt::Key_Delete);
    QVERIFY(Child<QLineEdit>("RecSpeed")->text().isEmpty());
    QVERIFY(Child<QLineEdit>("AvgSpeed")->text().isEmpty());
}

void SendingTest::soundFailuresKeepKeyingAndSay()
{
    out_->failStart = true;
    Create();
    QCOMPARE(w_->SoundStatus(), QString("Sound output is off: No sound device available"));
    QVERIFY(boxes_->messages.isEmpty());
    // Keying and decoding go on; replays cannot hang the window.
    KeyRecords();
    QCOMPARE(QString::fromStdString(w_->UpperPanel()->Text()), QString("paris\r"));
    Press(Qt::Key_F9);
    QVERIFY(!w_->Replaying());
    Type("ab");
    Press(Qt::Key_F9, Qt::ControlModifier);
    QVERIFY(!w_->SendingTyped());
    KeyDown(true);
    QVERIFY(w_->KeyIsDown());
    t_ += 100;
    KeyDown(false);
    QVERIFY(w_->close());
    w_.reset();

    // Losing the server mid-replay or mid-sending frees the window.
    out_ = std::make_unique<FakeSoundOut>();
    Create();
    QVERIFY(w_->SoundStatus().isEmpty());
    KeyRecords();
    Press(Qt::Key_F9);
    out_->Play(4);
    QVERIFY(w_->Replaying());
    out_->Die("Sound output lost: the sound server has gone");
    QVERIFY(!w_->Replaying());
    QCOMPARE(w_->SoundStatus(), QString("Sound output lost: the sound server has gone"));
    KeyDown(true);
    QVERIFY(w_->KeyIsDown());
    t_ += 100;
    KeyDown(false);
    QVERIFY(out_->Start());
    Type("ab");
    QVERIFY(PlayUntil([&] { return !w_->PttActive() && !w_->CWout1().HasChars(); }));
    Press(Qt::Key_Home, Qt::ControlModifier);
    Press(Qt::Key_F9, Qt::ControlModifier);
    QVERIFY(w_->SendingTyped());
    out_->Die("Sound output lost");
    QVERIFY(!w_->SendingTyped());
    QVERIFY(!w_->CWout1().HasChars());
    QVERIFY(w_->close());
}

QTEST_MAIN(SendingTest)
#include "SendingTest.moc"
