#include "session/KeyInput.h"

#include "analysis/Analyser.h"
#include "session/Sending.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

#include <utility>

TKeyInput::TKeyInput(TAnalyser& calculat, TCWout& cwout, TSending& sending, const TSettings& settings,
                     const IClock& clock)
    : analyser_(calculat), cwout_(cwout), sending_(sending), settings_(settings), keyTiming_(clock) {
    sources_[KeybdMouse] = &keyboardMouse_;
}

void TKeyInput::SetSource(int mode, IKeySource* source) {
    // Keybd/Mouse is always there: it is where every failure ends.
    if (mode > KeybdMouse && mode <= WavFile)
        sources_[size_t(mode)] = source;
}

IKeySource* TKeyInput::Source(int mode) const {
    return mode >= KeybdMouse && mode <= WavFile ? sources_[size_t(mode)] : nullptr;
}

bool TKeyInput::SetInputMode(int newMode) {
    if (newMode < KeybdMouse || newMode > WavFile)
        newMode = KeybdMouse;
    if (switching_) {
        // Asked for from inside a wait of the running change (a click, a
        // port that went): it follows that change, the last one asked winning.
        pendingMode_ = newMode;
        return true;
    }
    bool result = SwitchMode(newMode);
    while (pendingMode_ >= 0) {
        newMode = std::exchange(pendingMode_, -1);
        result = SwitchMode(newMode);
    }
    // False also when the new source ended as soon as it started.
    return result && inputMode_ == newMode;
}

bool TKeyInput::SwitchMode(int newMode) {
    keyIsDown_ = false;
    bool result = true;
    if (newMode == inputMode_)
        return true;
    switching_ = true;

    // Leave the old mode.
    if (IKeySource* old = Source(inputMode_)) {
        if (old->KeyedSidetone()) {
            // The buffers already queued still hold the sidetone: let them
            // play behind the closed gate before opening it.
            cwout_.KeyTone = false;
            sending_.WaitOutput(2 * sending_.BufferTime());
            sending_.SetVolume(sending_.KeyVolume());
        }
        old->Close();
    }

    // Enter the new one.
    int mode = newMode;
    IKeySource* source = Source(newMode);
    if (newMode != KeybdMouse) {
        std::string error;
        if (!source) {
            result = false;
        } else if (!source->Open(error)) {
            result = false;
            if (!error.empty() && OnMessage)
                OnMessage(error);
        } else {
            sending_.SetVolume(0);
            if (source->KeyedSidetone()) {
                sending_.WaitOutput(sending_.BufferTime());
                cwout_.KeyTone = true;
                sending_.WaitOutput(sending_.BufferTime());
            } else if (source->BlockSamples() > 0) {
                analyser_.SetCalcSize(source->BlockSamples());
            }
        }
    }
    if (!result || newMode == KeybdMouse) {
        mode = KeybdMouse;
        source = &keyboardMouse_;
        sending_.SetVolume(0);
        cwout_.KeyTone = true;
    }

    inputMode_ = mode;
    sending_.SetLowLatency(source->KeyedSidetone());
    keyTiming_.Reset();
    analyser_.ResetElements();
    SetPaused(false);
    switching_ = false;
    source->Start(*this);
    return result;
}

void TKeyInput::KeyChanged(bool down, uint64_t timestampMs) { Key(down, timestampMs, 0); }

void TKeyInput::KeyMarkStarted(uint64_t timestampMs, uint32_t markMs) { Key(true, timestampMs, markMs); }

void TKeyInput::Key(bool down, uint64_t timestampMs, uint32_t markMs) {
    if (sending_.KeyBlocked())
        return;
    if (down) {
        if (!settings_.KeyMuted)
            sending_.KeyGate(true, markMs);
        if (!keyIsDown_) {
            analyser_.KeyTransition(keyTiming_.Transition(timestampMs), true);
            keyIsDown_ = true;
            if (OnKeyTransition)
                OnKeyTransition(true, keyTiming_.Time());
        }
    } else {
        sending_.KeyGate(false);
        if (keyIsDown_) {
            analyser_.KeyTransition(keyTiming_.Transition(timestampMs), false);
            keyIsDown_ = false;
            if (OnKeyTransition)
                OnKeyTransition(false, keyTiming_.Time());
        }
    }
}

void TKeyInput::SamplesReady(const int16_t* samples, uint32_t count) {
    analyser_.ProcessSamples(samples, count);
}

void TKeyInput::SourceEnded(const std::string& message) {
    if (switching_ || inputMode_ == KeybdMouse)
        return;
    // What was keyed so far stays: only the source is gone. A character cut
    // off in the middle is ended as a timeout would end it, not dropped.
    analyser_.FinishPending();
    SetInputMode(KeybdMouse);
    if (!message.empty() && OnMessage)
        OnMessage(message);
    if (OnModeChanged)
        OnModeChanged(inputMode_);
}

void TKeyInput::CloseSource() {
    if (IKeySource* source = Source(inputMode_))
        source->Close();
}

void TKeyInput::TogglePause() {
    if (inputMode_ == SoundInput)
        SetPaused(!paused_);
}

void TKeyInput::SetPaused(bool paused) {
    const bool changed = paused != paused_;
    paused_ = paused;
    // A running replay holds the analyser paused until it ends.
    analyser_.SetPaused(paused || sending_.HoldsAnalyser());
    if (changed && OnPausedChanged)
        OnPausedChanged(paused);
}
