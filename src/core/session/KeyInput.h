#pragma once
// Key input: which of the four input modes is in force and the switch
// between them (leaving and entering each mode, the waits that let the
// output drain, the steady side tone of the key modes), the key transitions
// timed from their events' own timestamps, the side-tone gate and the rule
// that keying is ignored during a replay. Each mode's source of keying
// plugs in through IKeySource; the keyboard and mouse are the source of
// Keybd/Mouse mode. No widgets: tests drive it without a window.

#include "session/KeySource.h"
#include "session/KeyTiming.h"
#include "session/IambicKeyer.h"

#include <array>
#include <functional>
#include <string>
#include <utility>

class TAnalyser;
class TCWout;
class TSending;
struct TSettings;

// The keyboard and mouse: the window hands it the straight key and the
// left mouse button, and it passes them on while Keybd/Mouse mode runs.
// With a keyer attached the paddle keys go through it instead, and the
// straight key and mouse button rest (the keyer's stamps are on a scale of
// their own).
class TKeyboardMouseSource : public IKeySource {
public:
    bool Open(std::string&) override { return true; }
    void Start(IKeySink& sink) override {
        sink_ = &sink;
        if (keyer_)
            keyer_->OnKey = [this](bool down, uint64_t at, uint32_t markMs) {
                if (sink_)
                    TIambicKeyer::Forward(*sink_, down, at, markMs);
            };
    }
    void Close() override {
        if (keyer_) {
            keyer_->Stop();
            keyer_->OnKey = nullptr;
        }
        sink_ = nullptr;
    }
    bool KeyedSidetone() const override { return true; }
    // The key went down or up; timestampMs from the input event (0 = none).
    void Key(bool down, uint64_t timestampMs) {
        if (sink_ && !keyer_)
            sink_->KeyChanged(down, timestampMs);
    }
    // A paddle key went down or up (with a keyer attached).
    void Paddle(bool dit, bool down) {
        if (sink_ && keyer_)
            keyer_->Paddle(dit, down);
    }
    // The keyer the paddles go through; null = straight key.
    void SetKeyer(TIambicKeyer* keyer) {
        if (keyer == keyer_)
            return;
        IKeySink* sink = sink_;
        Close();
        keyer_ = keyer;
        if (sink)
            Start(*sink);
    }
    TIambicKeyer* Keyer() const { return keyer_; }

private:
    IKeySink* sink_ = nullptr;
    TIambicKeyer* keyer_ = nullptr;
};

// A mode without its device in this build: opening fails with a message
// (empty: silently, as a cancelled choice).
class TUnavailableSource : public IKeySource {
public:
    explicit TUnavailableSource(std::function<std::string()> message) : message_(std::move(message)) {}
    bool Open(std::string& error) override {
        error = message_ ? message_() : std::string();
        return false;
    }
    void Start(IKeySink&) override {}
    void Close() override {}
    bool KeyedSidetone() const override { return false; }

private:
    std::function<std::string()> message_;
};

class TKeyInput : public IKeySink {
public:
    TKeyInput(TAnalyser& calculat, TCWout& cwout, TSending& sending, const TSettings& settings,
              const IClock& clock);

    // The source of a mode; null = that mode cannot be entered.
    void SetSource(int mode, IKeySource* source);
    IKeySource* Source(int mode) const;
    TKeyboardMouseSource& KeyboardMouse() { return keyboardMouse_; }

    // Switches the input mode; false when the requested mode could not be
    // entered (Keybd/Mouse is then in force). The switch waits for the
    // output to drain while events run; a change asked for meanwhile is
    // made after it, and the result is that of the last change.
    bool SetInputMode(int newMode);
    int InputMode() const { return inputMode_; }
    bool KeyIsDown() const { return keyIsDown_; }

    // The program ends: the current source lets its device go (the mode
    // stays what it was, for the settings).
    void CloseSource();

    // F7 / Pause: Sound Input pauses and resumes; other modes ignore it.
    void TogglePause();
    bool Paused() const { return paused_; }

    // A message for the user (a source that could not be opened or ended).
    std::function<void(const std::string&)> OnMessage;
    // The pause state changed (the scope freezes, the notice shows).
    std::function<void(bool paused)> OnPausedChanged;
    // The mode changed by itself (a source ended): the new mode.
    std::function<void(int mode)> OnModeChanged;
    // A key transition the analyser took, at `clockMs` on the clock's scale
    // (spaced by exactly the durations it was given).
    std::function<void(bool down, uint64_t clockMs)> OnKeyTransition;

    // IKeySink
    void KeyChanged(bool down, uint64_t timestampMs) override;
    void KeyMarkStarted(uint64_t timestampMs, uint32_t markMs) override;
    void SamplesReady(const int16_t* samples, uint32_t count) override;
    void SourceEnded(const std::string& message) override;

private:
    void Key(bool down, uint64_t timestampMs, uint32_t markMs);
    bool SwitchMode(int newMode);
    void SetPaused(bool paused);

    TAnalyser& analyser_;
    TCWout& cwout_;
    TSending& sending_;
    const TSettings& settings_;
    TKeyTiming keyTiming_;
    TKeyboardMouseSource keyboardMouse_;
    std::array<IKeySource*, 4> sources_{};
    int inputMode_ = -1;
    bool keyIsDown_ = false;
    bool paused_ = false;
    bool switching_ = false;
    int pendingMode_ = -1;  // asked for during a switch, -1 = none
};
