// Key input and sending without a window: input-mode switching through
// fake sources (also with a change arriving during a switch), the side-tone
// gate and the held-key rule, and re-sending the green zone through a device
// the test plays by hand. (Typing with prosign brackets is checked through
// the window's keys.)

#include "analysis/Analyser.h"
#include "session/KeyInput.h"
#include "session/KeyingSession.h"
#include "FakeSerialLines.h"
#include "session/Sending.h"
#include "session/SessionRecorder.h"
#include "analysis/BatchAnalysis.h"
#include "devices/ManualClock.h"
#include "devices/NullSound.h"
#include "morse/CWout.h"

#include "KeyedTone.h"
#include "../devices/TempDir.h"
#include "../analysis/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// What the panels would show, kept as plain text.
struct View : ISendingView {
    std::string typed, sent;
    int32_t green = 0, red = 0;
    std::vector<std::string> messages, status;
    int redraws = 0;
    void AddTypedText(const std::string& s) override { typed += s; }
    void DeleteTyped(int n) override {
        typed.erase(typed.size() - std::min<size_t>(typed.size(), size_t(n)));
    }
    std::string TypedText() const override { return typed; }
    void MarkSent(const std::string& s) override { sent += s; }
    std::string GreenText() const override { return typed.substr(size_t(green)); }
    int32_t GreenStart() const override { return green; }
    int32_t MoveGreenStart(int32_t d) override {
        return green = std::clamp<int32_t>(green + d, 0, int32_t(typed.size()));
    }
    int32_t RedStart() const override { return red; }
    int32_t MoveRedStart(int32_t d) override { return red = std::max(0, red + d); }
    void UpdateStrip() override {}
    void RedrawRedStrip() override { ++redraws; }
    void ResetReplayStats() override {}
    void Message(const std::string& t) override { messages.push_back(t); }
    void Status(const std::string& t) override { status.push_back(t); }
};

// An output device that plays a buffer when the test says so.
struct FakeOut : TNullSoundOut {
    bool active = false;
    bool Open() override { return true; }
    bool Start() override { return active = true; }
    bool Stop() override {
        active = false;
        return true;
    }
    bool IsOpen() const override { return active; }
    bool IsActive() const override { return active; }
    void Play(int buffers) {
        std::vector<int16_t> buf(BufferBytes() / 2);
        for (int i = 0; i < buffers && active; ++i)
            OnBufferPlayed(buf.data(), BufferBytes());
    }
};

// A source that records what the key-input unit asks of it.
struct FakeSource : IKeySource {
    bool keyed = true, openOk = true;
    bool endOnStart = false;  // gone before it could start
    int block = 0;
    std::string error, name;
    std::vector<std::string>* log = nullptr;  // "<name> open", "... start", "... close"
    IKeySink* sink = nullptr;
    int opens = 0, closes = 0;
    void Log(const char* what) {
        if (log)
            log->push_back(name + " " + what);
    }
    bool Open(std::string& e) override {
        ++opens;
        Log("open");
        e = error;
        return openOk;
    }
    void Start(IKeySink& s) override {
        Log("start");
        sink = &s;
        if (endOnStart)
            s.SourceEnded("gone");
    }
    void Close() override {
        ++closes;
        Log("close");
        sink = nullptr;
    }
    bool KeyedSidetone() const override { return keyed; }
    int BlockSamples() const override { return block; }
};

struct Rig {
    ManualClock clock;
    FakeOwner owner;
    TCWout cwout;
    TAnalyser calc{clock, &owner, nullptr};
    TSettings settings;
    View view;
    FakeOut out;
    TSending sending{cwout, calc, &out, settings, view};
    TKeyInput input{calc, cwout, sending, settings, clock};
    std::vector<std::string> messages;
    std::vector<uint32_t> patterns;

    Rig() {
        sending.InputMode = [this] { return input.InputMode(); };
        sending.InputPaused = [this] { return input.Paused(); };
        input.OnMessage = [this](const std::string& m) { messages.push_back(m); };
        calc.OnNewPattern = [this](uint32_t d, bool, bool) { patterns.push_back(d); };
        calc.SetTempo(60);
        cwout.SetSpeed(60);
        out.SetSampleRate(8000);
        out.SetBufferTime(100);
        out.SetChannels(1);
        out.OnBufferPlayed = [this](int16_t* pb, uint32_t n) { sending.BufferPlayed(pb, n); };
        cwout.Start();
        input.SetInputMode(KeybdMouse);
    }
    // Keys marks and spaces (ms) on the keyboard source with event stamps.
    void Key(const std::vector<int>& ms, uint64_t t0 = 1000) {
        uint64_t t = t0;
        for (size_t i = 0; i < ms.size(); ++i) {
            input.KeyboardMouse().Key(i % 2 == 0, t);
            t += uint64_t(ms[i]);
        }
        input.KeyboardMouse().Key(ms.size() % 2 == 0, t);
    }
};

}  // namespace

TEST(KeyInput, ModeSwitchOpensStartsAndClosesSources) {
    struct Case {
        const char* name;
        bool keyed, openOk;
        std::string error;
        int block;
        int expectMode;
        bool expectKeyTone;
        size_t expectMessages;
    };
    const Case cases[] = {
        {"serial key", true, true, "", 0, ComPort, true, 0},
        {"sound input", false, true, "", 800, SoundInput, false, 0},
        {"absent port", true, false, "Error: cannot open ComPort COM3", 0, KeybdMouse, true, 1},
        {"cancelled file", false, false, "", 0, KeybdMouse, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        FakeSource src;
        src.keyed = c.keyed, src.openOk = c.openOk, src.error = c.error, src.block = c.block;
        r.input.SetSource(c.expectMode == KeybdMouse ? ComPort : c.expectMode, &src);
        const int asked = c.expectMode == KeybdMouse ? ComPort : c.expectMode;
        EXPECT_EQ(r.input.SetInputMode(asked), c.expectMode != KeybdMouse);
        EXPECT_EQ(r.input.InputMode(), c.expectMode);
        EXPECT_EQ(r.cwout.KeyTone, c.expectKeyTone);
        EXPECT_EQ(r.messages.size(), c.expectMessages);
        EXPECT_EQ(src.sink != nullptr, c.openOk);
        if (c.block) {
            EXPECT_EQ(r.calc.CalcSize(), c.block);
        }
        // Leaving closes the source and brings the keyboard back.
        r.input.SetInputMode(KeybdMouse);
        EXPECT_EQ(src.sink, nullptr);
        EXPECT_EQ(src.closes, c.openOk ? 1 : 0);
        EXPECT_TRUE(r.cwout.KeyTone);
    }
}

// A change asked for while a switch waits for the output to drain (a click,
// a source that went) is made after that switch, never inside it.
TEST(KeyInput, ChangeDuringTheWaitFollowsTheRunningOne) {
    struct Case {
        const char* name;
        std::vector<int> asked;  // during the first wait
        bool comEnds, wavOpens;
        bool expectResult;
        int expectMode;
        std::vector<std::string> expectLog;
    };
    const Case cases[] = {
        {"click during the wait",
         {SoundInput},
         false,
         true,
         true,
         SoundInput,
         {"com open", "com start", "com close", "mic open", "mic start"}},
        {"the last one asked wins",
         {WavFile, KeybdMouse},
         false,
         true,
         true,
         KeybdMouse,
         {"com open", "com start", "com close"}},
        {"the later change fails",
         {WavFile},
         false,
         false,
         false,
         KeybdMouse,
         {"com open", "com start", "com close", "wav open"}},
        {"port gone before it started",
         {},
         true,
         true,
         false,
         KeybdMouse,
         {"com open", "com start", "com close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.out.Start());  // the switch waits only while sound runs
        std::vector<std::string> log;
        FakeSource com, mic, wav;
        com.name = "com", mic.name = "mic", wav.name = "wav";
        mic.keyed = wav.keyed = false;
        mic.block = wav.block = 800;
        com.endOnStart = c.comEnds;
        wav.openOk = c.wavOpens;
        for (FakeSource* f : {&com, &mic, &wav})
            f->log = &log;
        r.input.SetSource(ComPort, &com);
        r.input.SetSource(SoundInput, &mic);
        r.input.SetSource(WavFile, &wav);
        int waits = 0;
        r.sending.Wait = [&](int) {
            if (waits++ == 0)
                for (int m : c.asked)
                    EXPECT_TRUE(r.input.SetInputMode(m));
        };
        EXPECT_EQ(r.input.SetInputMode(ComPort), c.expectResult);
        EXPECT_EQ(r.input.InputMode(), c.expectMode);
        EXPECT_EQ(log, c.expectLog);
        EXPECT_EQ(r.cwout.KeyTone, c.expectMode != SoundInput);
        EXPECT_EQ(com.sink, nullptr);
        EXPECT_EQ(mic.sink != nullptr, c.expectMode == SoundInput);
    }
}

TEST(KeyInput, KeyboardOnlyInItsModeAndTimedFromStamps) {
    Rig r;
    FakeSource serial;
    r.input.SetSource(ComPort, &serial);
    // "e" then "t": durations come from the stamps, whatever the clock says.
    r.Key({60, 400}, 5000);
    r.Key({290}, 5460);
    r.clock.Advance(10000);
    ASSERT_EQ(r.patterns, (std::vector<uint32_t>{2, 3}));

    ASSERT_TRUE(r.input.SetInputMode(ComPort));
    r.Key({60, 400});  // the keyboard is not the key in this mode
    serial.sink->KeyChanged(true, 100);
    serial.sink->KeyChanged(false, 390);
    r.clock.Advance(10000);
    EXPECT_EQ(r.patterns, (std::vector<uint32_t>{2, 3, 3}));
}

TEST(KeyInput, SidetoneGateAndHeldKey) {
    Rig r;
    auto left = [&] { return r.sending.OutputVolume() & 0xFFFF; };
    auto right = [&] { return r.sending.OutputVolume() >> 16; };
    r.input.KeyboardMouse().Key(true, 100);
    EXPECT_EQ(left(), 65535u);
    EXPECT_EQ(right(), 65535u);
    r.input.KeyboardMouse().Key(true, 130);  // auto-repeat: no second transition
    r.input.KeyboardMouse().Key(false, 160);
    EXPECT_EQ(r.sending.OutputVolume(), 0u);
    EXPECT_FALSE(r.input.KeyIsDown());

    r.settings.Binaural = true;  // the operator's channel only
    r.sending.SetVolumeRight(1234);
    r.input.KeyboardMouse().Key(true, 600);
    EXPECT_EQ(left(), 65535u);
    EXPECT_EQ(right(), 1234u);

    r.settings.KeyMuted = true;
    r.input.KeyboardMouse().Key(false, 700);
    r.input.KeyboardMouse().Key(true, 800);
    EXPECT_EQ(left(), 0u);
    EXPECT_TRUE(r.input.KeyIsDown());  // muted, but still keyed
}

TEST(KeyInput, SourceEndingOrPauseReturnsCleanly) {
    Rig r;
    FakeSource file;
    file.keyed = false;
    file.block = 400;
    r.input.SetSource(WavFile, &file);
    std::vector<int> modes;
    r.input.OnModeChanged = [&](int m) { modes.push_back(m); };
    std::vector<bool> pauses;
    r.input.OnPausedChanged = [&](bool p) { pauses.push_back(p); };

    ASSERT_TRUE(r.input.SetInputMode(WavFile));
    r.input.TogglePause();  // only Sound Input pauses
    EXPECT_FALSE(r.input.Paused());
    file.sink->SourceEnded("");
    EXPECT_EQ(r.input.InputMode(), KeybdMouse);
    EXPECT_EQ(modes, std::vector<int>{KeybdMouse});
    EXPECT_TRUE(r.messages.empty());

    FakeSource mic;
    mic.keyed = false;
    mic.block = 800;
    r.input.SetSource(SoundInput, &mic);
    ASSERT_TRUE(r.input.SetInputMode(SoundInput));
    r.input.TogglePause();
    EXPECT_TRUE(r.input.Paused());
    mic.sink->SourceEnded("Sound input device removed");
    EXPECT_FALSE(r.input.Paused());  // a mode change always resumes
    EXPECT_EQ(pauses, (std::vector<bool>{true, false}));
    EXPECT_EQ(r.messages, std::vector<std::string>{"Sound input device removed"});
}

TEST(Sending, GreenZoneResentOnlyWithSoundAndMarkedBack) {
    Rig r;
    r.view.typed = "ee";
    r.sending.ReplayGreen(false);
    EXPECT_FALSE(r.sending.SendingTyped());  // no running output: nothing to send into
    EXPECT_EQ(r.view.status, std::vector<std::string>{"Green zone not sent: sound output is off"});

    // Typed text still queued would go out unmarked among the zone: refused, and said.
    ASSERT_TRUE(r.out.Start());
    r.sending.KeyPress('t');
    r.sending.ReplayGreen(false);
    EXPECT_FALSE(r.sending.SendingTyped());
    EXPECT_EQ(r.view.status,
              (std::vector<std::string>{"Green zone not sent: sound output is off",
                                        "Green zone not sent: typed text is still being sent"}));
    r.sending.DropTypeAhead();

    r.sending.ReplayGreen(false);
    EXPECT_TRUE(r.sending.SendingTyped());
    EXPECT_TRUE(r.sending.Busy());
    r.sending.KeyPress('x');  // typing waits while the zone is sent
    EXPECT_EQ(r.view.typed, "ee");
    r.out.Play(60);
    EXPECT_FALSE(r.sending.SendingTyped());
    EXPECT_EQ(r.view.green, 0);        // the zone is back where it was
    EXPECT_TRUE(r.view.sent.empty());  // a re-send does not mark typed text as sent

    // Losing the device mid-send ends it rather than waiting forever.
    r.sending.ReplayGreen(false);
    r.out.active = false;
    r.sending.SoundStateChanged();
    EXPECT_FALSE(r.sending.SendingTyped());
    EXPECT_FALSE(r.cwout.HasChars());
}

TEST(Sending, ReplayLeavesTheSoundInputPauseAsFound) {
    Rig r;
    FakeSource mic;
    mic.keyed = false;
    mic.block = 800;
    r.input.SetSource(SoundInput, &mic);
    ASSERT_TRUE(r.input.SetInputMode(SoundInput));
    ASSERT_TRUE(r.out.Start());
    r.view.typed = "ee";

    // Paused by the operator: still paused after the zone has been sent.
    r.input.TogglePause();
    r.sending.ReplayGreen(false);
    ASSERT_TRUE(r.sending.SendingTyped());
    r.out.Play(60);
    ASSERT_FALSE(r.sending.SendingTyped());
    EXPECT_TRUE(r.input.Paused());
    EXPECT_TRUE(r.calc.Paused());

    // Not paused: the replay pauses the analyser while it plays, even when
    // the mode changes under it, and lets it go at its end.
    r.input.TogglePause();
    ASSERT_FALSE(r.calc.Paused());
    r.sending.ReplayGreen(false);
    EXPECT_TRUE(r.calc.Paused());
    r.input.SetInputMode(KeybdMouse);
    r.input.SetInputMode(SoundInput);
    EXPECT_TRUE(r.calc.Paused());
    r.out.Play(60);
    ASSERT_FALSE(r.sending.SendingTyped());
    EXPECT_FALSE(r.calc.Paused());
    EXPECT_FALSE(r.input.Paused());
}

// Tones, output mode, mute and the key line's sense are settings too: mono
// sounds the key tone on both tones, a new tone or line sense closes the
// sidetone gate (it opens at the next key-down), the key volume follows
// Muted from the start on.
TEST(KeyingSessionTest, ToneMuteAndLineSettingsReachTheSidetone) {
    ManualClock clock;
    KeyingSession session(clock, clock, nullptr);
    TSettings s = session.Settings();
    s.Muted = true;
    s.Binaural = false;
    s.TxFrequency = 650;
    s.TxFrequency2 = 900;
    session.Start(s);
    const TCWout& gen = session.CWout();
    EXPECT_EQ(session.Sending().KeyVolume(), 0);
    EXPECT_EQ(gen.Frequency(), 900);
    EXPECT_EQ(gen.KeyFrequency(), 900);
    EXPECT_EQ(session.Settings().TxFrequency, 650);

    const auto apply = [&](auto change) {
        session.Sending().SetVolume(0xFFFF);  // the gate open
        TSettings next = session.Settings();
        change(next);
        session.Apply(next);
        return session.Sending().OutputVolume();
    };
    EXPECT_EQ(apply([](TSettings& n) { n.TxFrequency2 = 1200; }), 0u);
    EXPECT_EQ(gen.Frequency(), 1200);
    EXPECT_EQ(gen.KeyFrequency(), 1200);
    EXPECT_EQ(apply([](TSettings& n) { n.Binaural = true; }), 0u);
    EXPECT_TRUE(gen.Stereo());
    EXPECT_EQ(gen.Frequency(), 650);
    EXPECT_EQ(apply([](TSettings& n) { n.Invert = true; }), 0u);
    EXPECT_EQ(apply([](TSettings& n) { n.AllCaps = true; }), 0xFFFFFFFFu);
    // Beyond the generator's range: kept as it takes it.
    apply([](TSettings& n) {
        n.TxFrequency = 5000;
        n.TxFrequency2 = 20;
    });
    EXPECT_EQ(session.Settings().TxFrequency, 2000);
    EXPECT_EQ(session.Settings().TxFrequency2, 100);
    EXPECT_EQ(gen.Frequency(), 2000);
    apply([](TSettings& n) { n.Muted = false; });
    EXPECT_EQ(session.Sending().KeyVolume(), 65535);
}

// The serial port is a setting: COM Port mode moves to a new port with its
// levels and monitor, the history starting empty; a port that cannot be
// used is refused with a message, the port in use stays the setting and
// Keybd/Mouse mode is in force, and told.
TEST(KeyingSessionTest, SerialPortSettingMovesTheRunningMode) {
    struct Heard : ISessionListener {
        std::vector<std::string> messages;
        std::vector<int> modes;
        void Message(const std::string& m) override { messages.push_back(m); }
        void InputModeChanged(int mode) override { modes.push_back(mode); }
    } heard;
    ManualClock clock;
    FakeSerialLines lines;
    lines.present = {7, 9};
    KeyingSession session(clock, clock, nullptr);
    session.AttachSerialLines(lines);
    session.AddListener(&heard);
    TSettings s = session.Settings();
    s.RXComPort = 7;
    s.DTR = false;
    s.RTS = true;
    session.Apply(s);
    EXPECT_EQ(lines.PortNumber(), 7);
    ASSERT_TRUE(session.SetInputMode(2));

    s = session.Settings();
    s.RXComPort = 9;
    session.Apply(s);
    EXPECT_TRUE(lines.IsOpen() && lines.monitoring);
    EXPECT_EQ(lines.PortNumber(), 9);
    EXPECT_TRUE(!lines.dtr && lines.rts);
    EXPECT_EQ(session.InputMode(), 2);

    session.Sending().SetVolume(0xFFFF);
    s.RXComPort = 8;
    session.Apply(s);
    EXPECT_EQ(heard.messages, std::vector<std::string>{"Error: cannot use ComPort COM8"});
    EXPECT_EQ(heard.modes, std::vector<int>{0});
    EXPECT_EQ(session.InputMode(), 0);
    EXPECT_EQ(session.Settings().RXComPort, 9);
    EXPECT_EQ(lines.PortNumber(), 9);
    EXPECT_FALSE(lines.IsOpen());
    EXPECT_EQ(session.Sending().OutputVolume(), 0u);
    session.DetachSerialLines();
}

// The keying session applies a settings value as a whole: what differs
// reaches the working parts, clamped values are kept as the parts took
// them, and every listener hears of it.
TEST(KeyingSessionTest, AppliesWhatDiffersAndTellsEveryListener) {
    struct Counting : ISessionListener {
        int applied = 0, speeds = 0;
        void SettingsApplied(const TSettings&, const TSettings&) override { ++applied; }
        void TargetSpeedChanged(int) override { ++speeds; }
    } a, b;
    ManualClock clock;
    KeyingSession session(clock, clock, nullptr);
    session.AddListener(&a);
    session.AddListener(&b);

    TSettings s = session.Settings();
    s.TargetSpeed = 100;
    s.RxFrequency = 600;
    s.Mode = 0;
    s.OutputLevel = -99;  // the generator keeps -40 at most
    s.RxExtended = false;
    s.AvgCountIdx = 2;
    session.Apply(s);
    EXPECT_EQ(session.CWout().Speed(), 100);
    EXPECT_EQ(session.Analyser().CenterFreq(), 600u);
    EXPECT_EQ(session.Analyser().ProcessMode(), tProcessMode::broad);
    EXPECT_FALSE(session.Decoder().SpecialChars());
    EXPECT_EQ(session.Settings().OutputLevel, -40);
    EXPECT_EQ(session.AverageLength(), 50);
    EXPECT_EQ(a.applied, 1);
    EXPECT_EQ(b.applied, 1);
    EXPECT_EQ(a.speeds, 1);

    // A speed changed from the keys is the setting in force (and saved).
    session.SetTargetSpeed(500);
    EXPECT_EQ(session.Settings().TargetSpeed, 300);
    session.RemoveListener(&b);
    session.Apply(session.Settings());
    EXPECT_EQ(a.applied, 2);
    EXPECT_EQ(b.applied, 1);

    // The stored input mode is held at start and entered once its sources
    // exist; without a sound input Keybd/Mouse is in force, and told.
    struct Modes : ISessionListener {
        std::vector<int> seen;
        void InputModeChanged(int mode) override { seen.push_back(mode); }
    } modes;
    session.AddListener(&modes);
    TSettings stored = session.Settings();
    stored.RXInput = SoundInput;
    session.Start(stored);
    EXPECT_NE(session.InputMode(), SoundInput);
    EXPECT_TRUE(modes.seen.empty());
    EXPECT_FALSE(session.EnterInputMode());
    EXPECT_EQ(session.InputMode(), KeybdMouse);
    EXPECT_EQ(modes.seen, std::vector<int>{KeybdMouse});
    EXPECT_EQ(session.Settings().RXInput, KeybdMouse);

    // File mode's source is the session's: entering the mode asks for the
    // file through the question it was given; cancelled, Keybd/Mouse stays.
    int asked = 0;
    session.AttachSampleSources(nullptr, [&](const std::string&, std::string&) { return ++asked < 0; });
    EXPECT_FALSE(session.SetInputMode(WavFile));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(session.InputMode(), KeybdMouse);
}

// What is keyed reaches the listeners character by character: the pattern
// as the character ends (the batch analysis records it with its elements),
// then its decoded text.
TEST(KeyingSessionTest, CharacterEndsWithItsPatternBeforeItsText) {
    struct Seen : ISessionListener {
        std::vector<std::string> events;
        TCWDecode* decoder = nullptr;
        void CharacterEnded(uint32_t pattern, bool, bool timeout) override {
            events.push_back("end " + decoder->Decode(pattern, false) + (timeout ? " timeout" : ""));
        }
        void CharacterDecoded(const std::string& text, bool) override { events.push_back("text " + text); }
    } seen;
    ManualClock clock;
    KeyingSession session(clock, clock, nullptr);
    seen.decoder = &session.Decoder();
    session.AddListener(&seen);
    ASSERT_TRUE(session.SetInputMode(KeybdMouse));
    // "A" at 60 CpM: a 100 ms dot and a 300 ms dash, then silence.
    uint64_t t = 1000;
    for (uint64_t len : {100, 100, 300, 100}) {
        clock.AdvanceTo(t);
        session.KeyInput().KeyboardMouse().Key(!session.KeyInput().KeyIsDown(), t);
        t += len;
    }
    clock.AdvanceTo(t + 5000);
    EXPECT_EQ(seen.events, (std::vector<std::string>{"end a timeout", "text a"}));
}

// The session's record hears every input mode's keying: the keyboard's
// transitions spaced exactly as the analyser timed them (event stamps, not
// the clock), the detector's edges in a file on the signal's own time, a
// line at each mode and speed change; the [Practice] Record setting stops it.
TEST(KeyingSessionTest, RecordKeepsEveryModesKeying) {
    TempDir dir;
    const std::string wav = dir.File("paris.wav");
    // "paris" at 60 CpM as a tone, 300 ms of silence before.
    const std::vector<int> paris = {100, 100, 300, 100, 300, 100, 100, 300, 100, 100, 300, 300, 100, 100,
                                    300, 100, 100, 300, 100, 100, 100, 300, 100, 100, 100, 100, 100};
    ASSERT_TRUE(keyed_tone::WriteWav(wav, keyed_tone::Samples(paris, 300, 2500)));

    ManualClock clock;
    clock.AdvanceTo(5000);
    std::string path;
    {
        KeyingSession session(clock, clock, nullptr);
        TSessionRecorder recorder(session, dir.File("sessions"), "orvo-tapmeter 9.9");
        session.AttachSampleSources(nullptr,
                                    [&](const std::string&, std::string& p) { return p = wav, true; });
        TSettings stored = session.Settings();
        stored.TargetSpeed = 60;
        session.Start(stored);
        session.EnterInputMode();

        // "e" on the keyboard: stamps say 100 ms down while the clock, held
        // up, says 700.
        clock.Advance(1000);
        session.KeyInput().KeyboardMouse().Key(true, 70000);
        clock.Advance(700);
        session.KeyInput().KeyboardMouse().Key(false, 70100);
        clock.Advance(2000);
        path = recorder.Record().Path();
        ASSERT_FALSE(path.empty());

        session.SetTargetSpeed(61);
        session.SetTargetSpeed(60);
        ASSERT_TRUE(session.SetInputMode(WavFile));
        for (int i = 0; i < 200 && session.InputMode() == WavFile; ++i)
            clock.Advance(50);
        EXPECT_EQ(session.InputMode(), KeybdMouse);  // the file ended

        TSettings off = session.Settings();
        off.Record = false;
        session.Apply(off);
        session.KeyInput().KeyboardMouse().Key(true, 90000);
        session.KeyInput().KeyboardMouse().Key(false, 90100);
    }
    std::ifstream f(path);
    std::stringstream text;
    text << f.rdbuf();
    const std::string all = text.str();
    EXPECT_EQ(all.rfind("# orvo-tapmeter 9.9\n", 0), 0u) << all;
    EXPECT_NE(all.find("# speed: 60\n# input: Keybd/Mouse\n1000 down\n1100 up\n"), std::string::npos) << all;
    EXPECT_NE(all.find("# speed: 61, from 3700 ms\n# speed: 60, from 3700 ms\n# input: File, from 3700 ms\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("# input: Keybd/Mouse, from"), std::string::npos) << all;

    // The file's part decodes as the analyser decoded it, its marks as keyed.
    std::istringstream keys(all);
    const std::vector<orvo::KeyEvent> events = orvo::ParseKeyEvents(keys);
    ASSERT_EQ(events.size(), 2 + paris.size() + 1);
    for (size_t i = 3; i < events.size(); ++i)
        EXPECT_NEAR(double(events[i].t - events[i - 1].t), paris[i - 3], 8) << i;
    orvo::AnalysisOptions opt;
    opt.speed = 60;
    EXPECT_EQ(orvo::AnalyzeKeys(events, opt).text, "e\rparis\r");
}

// [Keys] Keyer puts the session's keyer behind the keyboard's paddle keys,
// at the target speed in force (also when the keys change it), swap as set;
// Keyer=0 takes it out again.
TEST(KeyingSessionTest, KeyerFollowsTheSettingsAndTheTargetSpeed) {
    ManualClock clock;
    KeyingSession session(clock, clock, nullptr);
    TKeyboardMouseSource& keys = session.KeyInput().KeyboardMouse();
    EXPECT_EQ(keys.Keyer(), nullptr);
    TSettings s = session.Settings();
    s.Keyer = 2;
    s.PaddleSwap = true;
    s.TargetSpeed = 60;
    session.Apply(s);
    ASSERT_EQ(keys.Keyer(), &session.Keyer());
    EXPECT_TRUE(session.Keyer().ModeB());
    EXPECT_TRUE(session.Keyer().Swap());
    EXPECT_EQ(session.Keyer().DotMs(), 100u);
    session.SetTargetSpeed(120);
    EXPECT_EQ(session.Keyer().DotMs(), 50u);

    // A paddle keys through it in Keybd/Mouse mode; the straight key rests.
    ASSERT_TRUE(session.SetInputMode(KeybdMouse));
    keys.Key(true, 10);
    EXPECT_FALSE(session.KeyInput().KeyIsDown());
    keys.Paddle(true, true);
    EXPECT_TRUE(session.KeyInput().KeyIsDown());
    keys.Paddle(true, false);
    clock.Advance(150);  // the dash (swapped) is three dots of 50 ms
    EXPECT_FALSE(session.KeyInput().KeyIsDown());

    s = session.Settings();
    s.Keyer = 0;
    session.Apply(s);
    EXPECT_EQ(keys.Keyer(), nullptr);
    keys.Key(true, 1000);
    EXPECT_TRUE(session.KeyInput().KeyIsDown());
}
