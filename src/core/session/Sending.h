#pragma once
// Sending and replay: typing into the generator's type-ahead (prosigns in
// brackets, backspace), the output loop that has the generator refill each
// played sound buffer, F9's replay of the red zone with the operator's own
// timing, Ctrl+F9's re-sending of the green zone at the target speed, and
// the output volume per channel that gates the side tone. It holds no
// widgets: what the panels and the pattern strip must show goes through
// ISendingView, so it runs with a null or fake sound device and no window.

#include "analysis/CharRecord.h"
#include "devices/SoundDevices.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <string>

class TAnalyser;
class TCWout;

class ISendingView {
public:
    virtual ~ISendingView() = default;
    // The lower panel: typed text with its green zone.
    virtual void AddTypedText(const std::string& s) = 0;
    virtual void DeleteTyped(int n) = 0;
    virtual std::string TypedText() const = 0;
    virtual void MarkSent(const std::string& s) = 0;
    virtual std::string GreenText() const = 0;
    virtual int32_t GreenStart() const = 0;
    virtual int32_t MoveGreenStart(int32_t delta) = 0;
    // The upper panel's red zone, which a replay walks through.
    virtual int32_t RedStart() const = 0;
    virtual int32_t MoveRedStart(int32_t delta) = 0;
    // The green strip must be repainted; the red strip laid out afresh.
    virtual void UpdateStrip() = 0;
    virtual void RedrawRedStrip() = 0;
    // The timing window's "last replay" values start afresh.
    virtual void ResetReplayStats() = 0;
    virtual void Message(const std::string& text) = 0;
    // A line for the status bar: what was done instead of what was asked.
    virtual void Status(const std::string& text) = 0;
};

// The panels when nothing shows them (the command-line tool, tests).
class TNoSendingView : public ISendingView {
public:
    void AddTypedText(const std::string&) override {}
    void DeleteTyped(int) override {}
    std::string TypedText() const override { return std::string(); }
    void MarkSent(const std::string&) override {}
    std::string GreenText() const override { return std::string(); }
    int32_t GreenStart() const override { return 0; }
    int32_t MoveGreenStart(int32_t) override { return 0; }
    int32_t RedStart() const override { return 0; }
    int32_t MoveRedStart(int32_t) override { return 0; }
    void UpdateStrip() override {}
    void RedrawRedStrip() override {}
    void ResetReplayStats() override {}
    void Message(const std::string&) override {}
    void Status(const std::string&) override {}
};

class TSending {
public:
    // Takes over the generator's events for as long as it lives.
    TSending(TCWout& cwout, TAnalyser& calculat, ISoundOut* soundOut, TSettings& settings,
             ISendingView& view);
    ~TSending();
    TSending(const TSending&) = delete;
    TSending& operator=(const TSending&) = delete;

    // The current input mode (the side tone exists in the key modes only).
    std::function<int()> InputMode;
    // Waits ms while the window keeps handling events (the output buffers
    // drain meanwhile); nothing when no sound runs.
    std::function<void(int ms)> Wait;
    // The operator's own pause of the sound input (F7): a replay pauses the
    // analyser while it plays and leaves this pause as it found it.
    std::function<bool()> InputPaused;

    // A character typed into the window (27 = ESC, 8 = backspace, 13 = Enter).
    void KeyPress(unsigned char ch);
    // Drops the unsent type-ahead, an unfinished bracket included, and its
    // characters from the lower panel; returns the panel text dropped.
    std::string DropTypeAhead();
    // F9 / Shift+F9 and Ctrl+F9 / Shift+Ctrl+F9.
    void ReplayRed(bool firstOnly);
    void ReplayGreen(bool firstOnly);

    // Starts the generator and the output to the sound card: two buffers of
    // 100 ms at 8000 Hz, one channel, or two for binaural output. Empty, or
    // why there is no sound.
    std::string StartOutput();
    // A played buffer to refill, and the output device's state changing.
    void BufferPlayed(int16_t* pb, uint32_t bytes);
    void SoundStateChanged();
    bool SoundRunning() const;
    void WaitOutput(int ms);
    // The side tone needs the shortest delay (key modes) or not (sample modes).
    void SetLowLatency(bool on) {
        if (soundOut_)
            soundOut_->SetLowLatency(on);
    }
    // Length of one output buffer in ms (0 without a device).
    int BufferTime() const { return soundOut_ ? soundOut_->BufferTime() : 0; }
    // The steady side tone of the key modes, on or off as the mode wants.
    void RestoreKeyTone();
    void SetBinaural(bool on);

    // Output volume: both channels, or one of them; 0..65535 each.
    void SetVolume(uint16_t v);
    void SetVolumeLeft(uint16_t v);
    void SetVolumeRight(uint16_t v);
    // Opens the side-tone gate (key down) or closes it, on the channel of
    // the operator's own keying. markMs: a keyer's mark of known length,
    // which the sound output then ends by itself (0: the key-up ends it).
    void KeyGate(bool open, uint32_t markMs = 0);
    uint32_t OutputVolume() const { return outputVolume_; }
    uint16_t KeyVolume() const { return keyVolume_; }
    void SetKeyVolume(uint16_t v) { keyVolume_ = v; }

    // The key is ignored during a replay and, in mono, while text is sent.
    bool KeyBlocked() const;
    // A replay or a re-send runs or waits: hot keys and typing pause.
    bool Busy() const { return replaying_ || replayPending_ || sendingTyped_; }
    bool Replaying() const { return replaying_; }
    bool ReplayPending() const { return replayPending_; }
    bool SendingTyped() const { return sendingTyped_; }
    bool SendingBusy() const { return sendingBusy_; }
    // A replay keeps the analyser paused: it would decode its own sound.
    bool HoldsAnalyser() const { return replaying_ || sendingTyped_; }
    bool PttActive() const { return pttActive_; }
    int ProsignState() const { return prosignState_; }

    // What the lower panel shows for a queued character.
    std::string PanelText(char ch) const;
    // The character at text[i] as the generator takes it: a bracketed
    // prosign ("<sos>") becomes its prosign character and i moves to its ">".
    char PanelChar(const std::string& text, size_t& i) const;

    // The generator's events.
    void CWout1CharStart(char ch);
    void CWout1CharSent(char ch);
    void CWout1LastChar();
    void CWout1PttChanged(bool on);
    void CWout1PatternStart();
    void CWout1PatternLastSpace();
    void CWout1PatternEnd();

private:
    void TypeChar(unsigned char ch);
    bool QueueChar(char ch);
    void TypeUnknownBracket();
    void ReleaseAnalyser();
    void TypeBackspace();
    void StartRedReplay();
    bool LoadReplayRecord();
    void RestoreRedStart();

    TCWout& cwout_;
    TAnalyser& analyser_;
    ISoundOut* soundOut_;
    TSettings& settings_;
    ISendingView& view_;

    bool replaying_ = false;
    bool sendingTyped_ = false;
    bool firstOnly_ = false;
    bool pttActive_ = false;
    int prosignState_ = 0;
    std::string prosignBuf_;
    bool sendingBusy_ = false;
    bool replayPending_ = false;  // F9 waits for the character being sent
    CharRecord replayRec_{};
    int32_t replayCount_ = 0;
    int32_t replayTotal_ = 0;
    int32_t redStartSaved_ = 0;
    int32_t greenStartSaved_ = 0;
    uint16_t keyVolume_ = 65535;
    uint32_t outputVolume_ = 0;  // low half left, high half right
};
