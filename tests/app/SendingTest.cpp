// The main window's sound side, driven through a fake output device whose
// buffers the test plays by hand: typed-text sending, replay of keyed and
// typed characters, the sidetone gate, binaural layout and sound failures.
// Every sample the generator writes is captured, so timing is checked to
// the sample.

#include "AppHarness.h"
#include "FakeSoundIn.h"
#include "KeyedTone.h"

#include "devices/NullSound.h"
#include "windows/ParamWindow.h"

#include <QComboBox>

#include <algorithm>

// An output device that plays a buffer only when the test says so.
class FakeSoundOut : public TNullSoundOut {
public:
    bool failStart = false;
    uint32_t volumeAtStart = 0;     // the gate when the first buffers were filled
    std::vector<int16_t> captured;  // every sample the owner wrote, in play order
    std::vector<int16_t> heard;     // the same behind the volume gate

    void SetChannels(int n) override {
        TNullSoundOut::SetChannels(n);
        if (active_)
            Fill(), Fill();  // reopened: both buffers are filled afresh
    }
    bool SetDevice(int id) override {
        TNullSoundOut::SetDevice(id);
        if (failStart)
            active_ = false;  // reopened on a device that fails
        return !failStart;
    }
    bool DeviceAvailable() const override { return !failStart; }
    int DeviceCount() const override { return failStart ? 0 : 1; }
    bool Open() override { return !failStart; }
    bool Start() override {
        if (failStart)
            error_ = "No sound device available";
        if (failStart || active_)
            return false;
        volumeAtStart = Volume();
        Fill(), Fill();
        return active_ = true;
    }
    bool Stop() override { return Close(); }
    bool Close() override {
        active_ = false;
        return true;
    }
    bool IsOpen() const override { return active_; }
    bool IsActive() const override { return active_; }
    const std::string& LastError() const override { return error_; }

    // Buffers have been played: the owner refills each.
    void Play(int buffers = 1) {
        for (int n = 0; n < buffers && active_; ++n)
            Fill();
    }
    void Clear() { captured.clear(), heard.clear(); }
    // The server went away.
    void Die(const std::string& why) {
        active_ = false;
        if (OnStatus)
            OnStatus(why);
    }

private:
    void Fill() {
        std::vector<int16_t> buf(BufferBytes() / 2, int16_t(0x5555));
        OnBufferPlayed(buf.data(), BufferBytes());
        captured.insert(captured.end(), buf.begin(), buf.end());
        for (size_t i = 0; i < buf.size(); ++i) {  // the gate as it stands when the buffer goes out
            const uint32_t v = Channels() == 2 && i % 2 ? Volume() >> 16 : Volume() & 0xFFFFu;
            heard.push_back(int16_t(int32_t(buf[i]) * int32_t(v) / 65535));
        }
    }
    bool active_ = false;
    std::string error_;
};

class SendingTest : public QObject, public WindowHarness {
    Q_OBJECT
    std::unique_ptr<FakeSoundOut> out_;
    std::unique_ptr<FakeSoundIn> in_;

    void Start(const QByteArray& ini = {}) { Create(ini, out_.get(), in_.get()); }
    // Plays buffers until the condition holds (at most `limit` of them).
    template <class F>
    bool PlayUntil(F done, int limit = 400) {
        for (int i = 0; i < limit && !done(); ++i)
            out_->Play();
        return done();
    }
    std::vector<std::pair<long, long>> Runs(const std::vector<int16_t>& s) { return ToneRuns(s, 5000); }
    // The output's gate during a 100 ms mark on the key.
    uint32_t VolumeWhileKeyed() {
        KeyDown(true);
        const uint32_t v = out_->Volume();
        t_ += 100;
        KeyDown(false);
        return v;
    }
    static bool Near(const std::pair<long, long>& run, long samples, long tolerance) {
        return std::abs(run.second - run.first - samples) <= tolerance;
    }

private slots:
    void init() {
        Reset();
        out_ = std::make_unique<FakeSoundOut>();
        in_ = std::make_unique<FakeSoundIn>();
    }
    void cleanup() {
        w_.reset();
        out_.reset();
        in_.reset();
    }

    void typingProsignsAndBackspace() {
        Start();
        // "<", "s", "o" make one prosign; the bracket is completed for it.
        Type("ab<s");
        QCOMPARE(w_->ProsignState(), 2);
        const std::pair<QString, QString> steps[] = {
            {"o", "ab<sos>"},
            {"\b", "ab"},  // backspace takes the whole prosign back
            {"<ar", "ab<ar>"},
            {"<x\b", "ab<ar>"},
            {"<\b", "ab<ar>"},                        // an unfinished bracket goes with one backspace
            {"<?", "ab<ar>"},                         // not a prosign letter: the bracket is dropped
            {"[" + QString(QChar(0xDF)), "ab<ar>?"},  // "[" is not sendable, sharp s types "?"
            {"\b\b", "ab"}};
        for (const auto& [typed, shown] : steps) {
            Type(typed);
            QCOMPARE(Lower(), shown);
        }
        QCOMPARE(w_->ProsignState(), 0);
        // ESC drops the whole type-ahead and its unsent text.
        Type("cd");
        QVERIFY(w_->Generator().HasChars());
        Press(Qt::Key_Escape);
        QVERIFY(!w_->Generator().HasChars());
        QCOMPARE(Lower(), QString());
        // A bracket that names no prosign: its letters are queued as
        // ordinary characters, one Backspace each, and the status line says so.
        Type("<xy");
        QCOMPARE(Lower(), QString("xy"));
        QCOMPARE(w_->StatusMessage(), QString("Not a prosign, sent as letters: <xy>"));
        QCOMPARE(w_->ProsignState(), 0);
        Type(" \b\b");
        QCOMPARE(Lower(), QString("x"));
        Type("\b");
        QVERIFY(!w_->Generator().HasChars());
        Type("<[[");  // nothing of it sendable
        QCOMPARE(Lower(), QString());
        QCOMPARE(w_->StatusMessage(), QString("Not a prosign, not sent: <[[>"));
    }

    void typeAheadFullWarnsAt10000() {
        Start("[Form]\r\nDisplayPros=1\r\n");
        QCOMPARE(w_->Generator().Buffersize(), 10000);
        // With "Display + and =" the first two prosigns show as their characters.
        Type("<ar<bt<xy");
        QCOMPARE(Lower(), QString("+=xy"));
        Type("\b\b\b");
        QCOMPARE(Lower(), QString("+"));
        Type(QString(9998, 'e'));
        QVERIFY(boxes_->messages.isEmpty());
        QCOMPARE(w_->LowerPanel()->Length(), 9999);
        Type("e");
        QCOMPARE(boxes_->messages, QStringList{"Warning: Type-ahead buffer is full: 10000"});
        QCOMPARE(w_->LowerPanel()->Length(), 9999);
        Type("<sk");  // a prosign that does not fit is not shown either
        QCOMPARE(boxes_->messages.size(), 2);
        QCOMPARE(w_->LowerPanel()->Length(), 9999);
    }

    void sentTextIsMarkedAndDecodesBack() {
        Start();
        QCOMPARE(out_->Channels(), 1);
        QCOMPARE(out_->BufferBytes(), 1600u);
        out_->Play(3);
        // Idle with the sidetone behind a closed gate.
        QVERIFY(w_->Generator().KeyTone);
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
        QVERIFY(w_->Generator().KeyTone);
        QCOMPARE(Green(), QString("<sos>"));  // marked as sent, one prosign
        QCOMPARE(Decode(out_->heard, 60), QString("paris <sos>"));

        // While sending, the gate is open on both channels and the mono key is out.
        Type("t");
        QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
        QCOMPARE(out_->Volume(), 0xFFFFFFFFu);
        QVERIFY(w_->PttActive());
        QVERIFY(!Tap(100));
        QCOMPARE(w_->Analyser().PendingCount(), 0);
    }

    void f9ReplaysTheKeyedTimingToTheSample() {
        Start();
        KeyMarks(kParis);
        QCOMPARE(Upper(), QString("paris\r"));
        Press(Qt::Key_Home);
        QCOMPARE(w_->Analyser().CursorBack(), 4);
        out_->Play(2);
        out_->Clear();
        Press(Qt::Key_F9);
        QVERIFY(w_->Replaying());
        QVERIFY(!w_->Generator().KeyTone);
        // Keys do nothing while it plays.
        QVERIFY(!Tap(100));
        Press(Qt::Key_Delete);
        QCOMPARE(w_->UpperPanel()->Length(), 6);
        bool advanced = false;
        QVERIFY(PlayUntil([&] {
            advanced = advanced || w_->UpperPanel()->RedStart() > 1;
            return !w_->Replaying();
        }));
        QVERIFY(advanced);  // the red zone walked along
        const auto runs = Runs(out_->heard);
        QVERIFY(!runs.empty() && std::abs(runs[0].first - 2400) <= 8);  // 300 ms lead-in
        const QString problem = TimingProblem(runs, kParis, 8);         // within 1 ms
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Afterwards: zone and cursor as before, gate closed, sidetone back,
        // and the replayed characters' timing in the "Last Replay" set.
        QCOMPARE(w_->UpperPanel()->RedStart(), 1);
        QCOMPARE(w_->Analyser().CursorBack(), 4);
        QVERIFY(!w_->Analyser().Paused());
        QCOMPARE(out_->Volume(), 0u);
        QVERIFY(w_->Generator().KeyTone);
        QCOMPARE(w_->TimingStats().Values(TTimingStats::kLastReplay, TimingKind::Dash).count, 4);
        QCOMPARE(w_->TimingStats().Values(TTimingStats::kLastReplay, TimingKind::Dot).count, 10);
        QVERIFY(Tap(100));
    }

    void shiftF9EscAndEmptyReplay() {
        Start();
        // F9 before anything was decoded: type-ahead dropped, nothing played.
        Type("ab");
        Press(Qt::Key_F9);
        QVERIFY(!w_->Replaying() && !w_->Generator().HasChars());
        QCOMPARE(w_->LowerPanel()->Length(), 0);
        QVERIFY(w_->Generator().KeyTone);

        KeyMarks(kParis);
        Press(Qt::Key_PageUp);
        Press(Qt::Key_PageUp);
        QCOMPARE(w_->UpperPanel()->RedStart(), 3);
        out_->Clear();
        Press(Qt::Key_F9, Qt::ShiftModifier);
        QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
        // Only "r" (.-.), and the cursor where it was.
        const auto runs = Runs(out_->heard);
        QCOMPARE(int(runs.size()), 3);
        QVERIFY(Near(runs[1], 287 * 8, 8));
        QCOMPARE(w_->Analyser().CursorBack(), 2);
        QCOMPARE(w_->UpperPanel()->RedStart(), 3);

        // ESC ends a replay with its closing silence.
        Press(Qt::Key_Home);
        out_->Clear();
        Press(Qt::Key_F9);
        out_->Play(5);  // into "p"
        QVERIFY(w_->Replaying());
        Press(Qt::Key_Escape);
        QVERIFY(PlayUntil([&] { return !w_->Replaying(); }, 3));
        QVERIFY(Runs(out_->heard).size() < 4);
        QCOMPARE(w_->UpperPanel()->RedStart(), 1);

        // F9 while a typed character is on the air waits for its end.
        Type("t");
        QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
        Press(Qt::Key_F9);
        QVERIFY(w_->ReplayPending() && !w_->Replaying());
        QVERIFY(PlayUntil([&] { return w_->Replaying(); }, 10));
        QVERIFY(!w_->SendingBusy());
        QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
    }

    // A bracket that names no prosign goes out as its letters: every later
    // character is marked sent where it stands, and Ctrl+F9 sends the same.
    void unknownBracketSendsItsLettersInStep() {
        Start();
        Type("a<xy");
        Type("e");
        QVERIFY(
            PlayUntil([&] { return !w_->Generator().HasChars() && !w_->SendingBusy() && !w_->PttActive(); }));
        QCOMPARE(Lower(), QString("axye"));
        QCOMPARE(w_->LowerPanel()->SentEnd(), 4);
        QCOMPARE(Green(), QString("e"));
        QCOMPARE(Decode(out_->heard, 60), QString("axye"));
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Green(), QString("axye"));
        out_->Clear();
        Press(Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(PlayUntil([&] { return !w_->SendingTyped() && !w_->PttActive(); }));
        QCOMPARE(Decode(out_->heard, 60), QString("axye"));
        QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
    }

    // F7's pause of the sound input is the operator's: F9 and Ctrl+F9
    // pause the analyser while they play and leave the pause as they found it.
    void replaysLeaveTheSoundInputPauseAsFound() {
        Start("[RX]\r\nRXInput=1\r\n[Main]\r\nTargetSpeed=60\r\n");
        QCOMPARE(w_->InputMode(), int(TMainWindow::SoundInput));
        in_->Record(keyed_tone::Samples(keyed_tone::IdealTiming("te", 60), 100, 700));
        clock_->Advance(2000);
        QCOMPARE(Upper().trimmed(), QString("te"));
        Type("e");
        QVERIFY(
            PlayUntil([&] { return !w_->Generator().HasChars() && !w_->SendingBusy() && !w_->PttActive(); }));
        QLabel* notice = Child<QLabel>("SoundPausedText");
        QLabel* paramNotice = w_->ParamWindow()->PausedText();
        for (bool paused : {true, false}) {
            if (paused)
                Press(Qt::Key_F7);
            Press(Qt::Key_Home);
            Press(Qt::Key_F9);
            QVERIFY(w_->Replaying());
            QVERIFY(w_->Analyser().Paused());
            QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
            Press(Qt::Key_F9, Qt::ControlModifier);
            QVERIFY(w_->SendingTyped());
            QVERIFY(PlayUntil([&] { return !w_->SendingTyped() && !w_->PttActive(); }));
            QCOMPARE(w_->KeyInput().Paused(), paused);
            QCOMPARE(w_->Analyser().Paused(), paused);
            QCOMPARE(notice->isVisibleTo(w_.get()), paused);
            QCOMPARE(!paramNotice->isHidden(), paused);
            // Paused, a signal is not decoded; resumed, it is.
            in_->Record(keyed_tone::Samples(keyed_tone::IdealTiming("t", 60), 100, 700));
            clock_->Advance(2000);
            QCOMPARE(Upper().trimmed(), paused ? QString("te") : QString("te\rt"));
            if (paused)
                Press(Qt::Key_F7);
        }
    }

    void ctrlF9SendsTheGreenZoneAgain() {
        Start();
        Type("ab<ar");
        QVERIFY(PlayUntil([&] { return w_->LowerPanel()->SentEnd() == 6 && !w_->PttActive(); }));
        Press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Green(), QString("ab<ar>"));
        out_->Clear();
        Press(Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(w_->SendingTyped());
        QVERIFY(w_->Analyser().Paused());
        Type("x");  // typing waits for the end
        bool advanced = false;
        QVERIFY(PlayUntil([&] {
            advanced = advanced || w_->LowerPanel()->GreenStart() > 1;
            return !w_->SendingTyped() && !w_->PttActive();
        }));
        QVERIFY(advanced);
        QCOMPARE(Decode(out_->heard, 60), QString("ab<ar>"));
        QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
        QCOMPARE(Lower(), QString("ab<ar>"));  // nothing added, nothing marked twice
        QCOMPARE(w_->LowerPanel()->SentEnd(), 6);
        QVERIFY(!w_->Analyser().Paused());

        // At a new target speed the same zone is sent faster; Shift: the first character only.
        Press(Qt::Key_Up, Qt::ShiftModifier);
        Press(Qt::Key_Up, Qt::ShiftModifier);  // 80 CpM
        out_->Clear();
        Press(Qt::Key_F9, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(PlayUntil([&] { return !w_->SendingTyped() && !w_->PttActive(); }));
        QCOMPARE(Decode(out_->heard, 80), QString("a"));
        const auto runs = Runs(out_->heard);
        QCOMPARE(int(runs.size()), 2);
        QVERIFY(Near(runs[0], 600, 12));  // a dot at 80 CpM

        // ESC stops it at once.
        Press(Qt::Key_F9, Qt::ControlModifier);
        out_->Play(3);
        Press(Qt::Key_Escape);
        QVERIFY(!w_->SendingTyped() && !w_->Generator().HasChars());
        QCOMPARE(w_->LowerPanel()->GreenStart(), 1);
        QVERIFY(!w_->Analyser().Paused());
        // Typed text still to be sent: refused, and the status line says why.
        QVERIFY(w_->StatusMessage().isEmpty());
        Type("t");
        Press(Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(!w_->SendingTyped());
        QCOMPARE(w_->StatusMessage(), QString("Green zone not sent: typed text is still being sent"));
        QCOMPARE(Lower(), QString("ab<ar>t"));
    }

    void sidetoneGateAndBinauralLayout() {
        Start("[TX]\r\nBinaural=1\r\nFrequency=600\r\nFrequency2=800\r\n");
        QVERIFY(w_->Binaural() && w_->Generator().Stereo());
        QCOMPARE(out_->Channels(), 2);
        QCOMPARE(w_->Generator().Frequency(), 600);
        QCOMPARE(out_->volumeAtStart, 0u);  // no burst of the left tone at start
        // The key opens the left channel only.
        QCOMPARE(VolumeWhileKeyed(), 0x0000FFFFu);
        QCOMPARE(out_->Volume(), 0u);

        // Sent text: Morse on the right, the steady sidetone on the left behind
        // its own gate; the key still works while PTT is on.
        out_->Clear();
        Type("e");
        QVERIFY(PlayUntil([&] { return w_->SendingBusy(); }));
        QCOMPARE(out_->Volume(), 0xFFFF0000u);
        QVERIFY(!w_->PttActive());
        QCOMPARE(VolumeWhileKeyed(), 0xFFFFFFFFu);
        QCOMPARE(out_->Volume(), 0xFFFF0000u);
        QVERIFY(PlayUntil([&] { return !w_->SendingBusy(); }));
        out_->Play(5);
        QCOMPARE(int(Runs(Channel(out_->captured, 0)).size()), 1);  // steady all through
        const auto dot = Runs(Channel(out_->heard, 1));
        QCOMPARE(int(dot.size()), 1);
        QVERIFY(Near(dot[0], 800, 12));

        // Replay: left only, right silent.
        clock_->Advance(3000);
        Press(Qt::Key_Delete);
        KeyMarks(kParis);
        QVERIFY(PlayUntil([&] { return !w_->PttActive(); }));
        out_->Clear();
        Press(Qt::Key_F9, Qt::ShiftModifier);
        QVERIFY(PlayUntil([&] { return out_->Volume() == 0x0000FFFFu; }));
        QVERIFY(PlayUntil([&] { return !w_->Replaying(); }));
        QCOMPARE(int(Runs(Channel(out_->captured, 0)).size()), 3);  // "s"
        const auto right = Channel(out_->captured, 1);
        QVERIFY(std::all_of(right.begin(), right.end(), [](int16_t v) { return v == 0; }));

        // Switching to mono closes the gate and sends everything on one channel.
        w_->SetBinaural(false);
        QCOMPARE(out_->Channels(), 1);
        QCOMPARE(out_->Volume(), 0u);
        QCOMPARE(w_->Generator().Frequency(), 800);
    }

    void targetSpeedEditAndDisplays() {
        Start("[Form]\r\nWpM=1\r\n");
        auto* edit = Child<QLineEdit>("CWSpeed");
        QCOMPARE(edit->text(), QString("12.0"));
        // WpM with a point, rounded to CpM; ESC reads the edit as Enter does;
        // junk restores it.
        const struct {
            const char* text;
            Qt::Key key;
            int cpm;
            const char* shown;
        } edits[] = {{"24.5", Qt::Key_Return, 123, "24.6"},
                     {"30", Qt::Key_Escape, 150, "30.0"},
                     {"x", Qt::Key_Return, 150, "30.0"}};
        for (const auto& e : edits) {
            edit->setText(e.text);
            QTest::keyClick(edit, e.key);
            QCOMPARE(Speed(), e.cpm);
            QCOMPARE(w_->Analyser().Tempo(), e.cpm);
            QCOMPARE(edit->text(), QString(e.shown));
        }
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(Speed(), 140);
        QCOMPARE(edit->text(), QString("28.0"));
        // The generator's bounds hold, and its timing follows at once.
        const auto shiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;
        Press(Qt::Key_Up, shiftCtrl);
        Press(Qt::Key_Up, shiftCtrl);
        QCOMPARE(Speed(), 300);
        QCOMPARE(edit->text(), QString("60.0"));
        QCOMPARE(w_->Generator().DotSamples(), 160);
    }

    void soundFailuresKeepKeyingAndSay() {
        out_->failStart = true;
        Start();
        QCOMPARE(w_->SoundStatus(), QString("Sound output is off: No sound device available"));
        QVERIFY(boxes_->messages.isEmpty());
        // Keying and decoding go on; replays cannot hang the window.
        KeyMarks(kParis);
        QCOMPARE(Upper(), QString("paris\r"));
        Press(Qt::Key_F9);
        QVERIFY(!w_->Replaying());
        Type("ab");
        Press(Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(!w_->SendingTyped());
        QCOMPARE(w_->StatusMessage(), QString("Green zone not sent: sound output is off"));
        QVERIFY(Tap(100));
        QVERIFY(w_->close());
        w_.reset();

        // Losing the server mid-replay or mid-sending frees the window.
        out_ = std::make_unique<FakeSoundOut>();
        Start();
        QVERIFY(w_->SoundStatus().isEmpty());
        // A device chosen in the parameters window that fails: the status
        // line says why; the next choice that works clears it.
        QComboBox* box = w_->ParamWindow()->WavOutBox();
        if (box->count() == 0)
            box->addItem("Default output device");
        box->addItem("Broken output");
        box->setCurrentIndex(box->count() - 1);
        out_->failStart = true;
        w_->ParamWindow()->WavOutBoxChange();
        QVERIFY(!out_->IsActive());
        QCOMPARE(w_->SoundStatus(), QString("Sound output is off: No sound device available"));
        out_->failStart = false;
        box->setCurrentIndex(0);
        w_->ParamWindow()->WavOutBoxChange();
        QVERIFY(out_->IsActive());
        QCOMPARE(w_->SoundStatus(), "Sound output is on: " + box->itemText(0));
        KeyMarks(kParis);
        Press(Qt::Key_F9);
        out_->Play(4);
        QVERIFY(w_->Replaying());
        out_->Die("Sound output lost: the sound server has gone");
        QVERIFY(!w_->Replaying());
        QCOMPARE(w_->SoundStatus(), QString("Sound output lost: the sound server has gone"));
        QVERIFY(Tap(100));
        QVERIFY(out_->Start());
        Type("ab");
        QVERIFY(PlayUntil([&] { return !w_->PttActive() && !w_->Generator().HasChars(); }));
        Press(Qt::Key_Home, Qt::ControlModifier);
        Press(Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(w_->SendingTyped());
        out_->Die("Sound output lost");
        QVERIFY(!w_->SendingTyped() && !w_->Generator().HasChars());
        QVERIFY(w_->close());
    }
};

QTEST_MAIN(SendingTest)
#include "SendingTest.moc"
