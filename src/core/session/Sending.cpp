#include "session/Sending.h"

#include "analysis/Analyser.h"
#include "session/KeySource.h"
#include "morse/CWout.h"

namespace {
constexpr const char* kTypeAheadFull = "Warning: Type-ahead buffer is full: ";
}

TSending::TSending(TCWout& cwout, TAnalyser& calculat, ISoundOut* soundOut, TSettings& settings,
                   ISendingView& view)
    : cwout_(cwout), analyser_(calculat), soundOut_(soundOut), settings_(settings), view_(view) {
    cwout_.OnPttChanged = [this](bool on) { CWout1PttChanged(on); };
    cwout_.OnCharStart = [this](char ch) { CWout1CharStart(ch); };
    cwout_.OnCharSent = [this](char ch) { CWout1CharSent(ch); };
    cwout_.OnLastChar = [this] { CWout1LastChar(); };
    cwout_.OnPatternStart = [this](char) { CWout1PatternStart(); };
    cwout_.OnPatternLastSpace = [this] { CWout1PatternLastSpace(); };
    cwout_.OnPatternEnd = [this] { CWout1PatternEnd(); };
}

TSending::~TSending() {
    // The generator may outlive this unit: it must not call back.
    cwout_.OnPttChanged = nullptr;
    cwout_.OnCharStart = nullptr;
    cwout_.OnCharSent = nullptr;
    cwout_.OnLastChar = nullptr;
    cwout_.OnPatternStart = nullptr;
    cwout_.OnPatternLastSpace = nullptr;
    cwout_.OnPatternEnd = nullptr;
}

// ---------------------------------------------------------------------------
// Typing into the lower panel

std::string TSending::PanelText(char ch) const {
    const int32_t idx = TCWout::ProsignIndexOfChar(ch);
    if (idx > 0 && !(settings_.DisplayPros && idx < 3))
        return TCWout::ProsignText(idx);
    return std::string(1, ch);
}

char TSending::PanelChar(const std::string& text, size_t& i) const {
    if (text[i] == '<') {
        const size_t close = text.find('>', i + 1);
        if (close != std::string::npos && close - i <= 5) {
            const int32_t idx = cwout_.ProsignIndexOfText(text.substr(i, close - i + 1));
            if (idx > 0) {
                i = close;
                return TCWout::ProsignChar(idx);
            }
        }
    }
    return text[i];
}

void TSending::KeyPress(unsigned char ch) {
    if (ch == 27) {
        if (replaying_) {
            cwout_.AbortPattern();
            // Without a running output no buffer would ever end the replay.
            if (!SoundRunning())
                CWout1PatternEnd();
        } else if (replayPending_) {
            replayPending_ = false;
            firstOnly_ = false;
        } else if (sendingTyped_) {
            cwout_.ClearBuffer();
            cwout_.AbortPattern();
            CWout1LastChar();
            sendingTyped_ = false;
        } else {
            DropTypeAhead();
        }
        return;
    }
    if (Busy())
        return;
    if (ch == 8) {
        TypeBackspace();
        return;
    }
    if (ch == 223)  // sharp s: the "?" key on German keyboards
        ch = '?';
    if (settings_.EqKeyOpt) {
        if (ch == '-')
            ch = '=';
        else if (ch == '_')
            ch = '-';
    }
    TypeChar(ch);
}

void TSending::TypeChar(unsigned char uch) {
    const char ch = char(uch);
    const std::string full = kTypeAheadFull + std::to_string(cwout_.Buffersize());
    switch (prosignState_) {
        case 0:
            if (ch == '<') {
                view_.AddTypedText("<");
                prosignBuf_ = "<";
                prosignState_ = 1;
                return;
            }
            QueueChar(ch);
            return;
        case 1:
            view_.AddTypedText(std::string(1, ch));
            prosignBuf_ += ch;
            prosignState_ = 2;
            if (ch == '?' || ch == '>' || ch == '<') {
                view_.DeleteTyped(2);
                prosignState_ = 0;
                prosignBuf_.clear();
            }
            return;
        default: {
            if ((prosignBuf_ == "<s" || prosignBuf_ == "<S") && (ch == 'o' || ch == 'O'))
                prosignBuf_ += ch == 'o' ? "os>" : "OS>";
            else
                prosignBuf_ += std::string(1, ch) + ">";
            const int32_t idx = cwout_.ProsignIndexOfText(prosignBuf_);
            if (idx == 0) {
                TypeUnknownBracket();
            } else if (!settings_.DisplayPros || idx >= 3) {
                view_.AddTypedText(prosignBuf_.substr(2));
                if (!cwout_.PutChar(TCWout::ProsignChar(idx))) {
                    // Neither queued nor shown.
                    view_.DeleteTyped(int(prosignBuf_.size()));
                    view_.Message(full);
                }
            } else {
                view_.DeleteTyped(2);
                const char p = TCWout::ProsignChar(idx);
                if (cwout_.PutChar(p))
                    view_.AddTypedText(std::string(1, p));
                else
                    view_.Message(full);
            }
            prosignState_ = 0;
            prosignBuf_.clear();
            return;
        }
    }
}

bool TSending::QueueChar(char ch) {
    // A character the generator cannot send is ignored.
    if (!cwout_.IsSendable(ch))
        return false;
    if (cwout_.PutChar(ch)) {
        view_.AddTypedText(PanelText(ch));
        return true;
    }
    view_.Message(kTypeAheadFull + std::to_string(cwout_.Buffersize()));
    return false;
}

void TSending::TypeUnknownBracket() {
    // Nothing could send the bracket as one sign, and a bracket left in the
    // panel unqueued would shift every later sent mark: its letters go out
    // as ordinary characters instead, and the status line says so.
    const std::string bracket = prosignBuf_;
    view_.DeleteTyped(2);
    prosignState_ = 0;
    prosignBuf_.clear();
    bool queued = false;
    for (size_t i = 1; i + 1 < bracket.size(); ++i)
        queued = QueueChar(bracket[i]) || queued;
    view_.Status((queued ? "Not a prosign, sent as letters: " : "Not a prosign, not sent: ") + bracket);
}

void TSending::TypeBackspace() {
    if (prosignState_ != 0) {
        // The unfinished bracket: "<" or "<" and one letter.
        view_.DeleteTyped(prosignState_);
        prosignState_ = 0;
        prosignBuf_.clear();
        return;
    }
    const char c = cwout_.DeleteLastChar();
    if (c == '\0')
        return;  // everything typed is sent already
    if (c == '\r') {
        cwout_.PutChar('\r');  // a line break stays
        return;
    }
    if (c == ' ') {
        const std::string t = view_.TypedText();
        if (!t.empty() && t.back() == ' ') {
            view_.DeleteTyped(1);
        } else if (!t.empty() && t.back() == '>') {
            view_.DeleteTyped(1);
            if (t.size() >= 2 && t[t.size() - 2] == '?') {
                view_.DeleteTyped(2);
                cwout_.DeleteLastChar();
                cwout_.DeleteLastChar();
            }
        }
        return;
    }
    view_.DeleteTyped(int(PanelText(c).size()));
}

std::string TSending::DropTypeAhead() {
    // An unfinished bracket is the newest typed text, behind the queue.
    std::string dropped = prosignBuf_;
    if (prosignState_ != 0) {
        view_.DeleteTyped(prosignState_);
        prosignState_ = 0;
        prosignBuf_.clear();
    }
    for (;;) {
        const char c = cwout_.DeleteLastChar();
        if (c == '\0')
            break;
        const std::string shown = PanelText(c);
        view_.DeleteTyped(int(shown.size()));
        dropped.insert(0, shown);
    }
    return dropped;
}

// ---------------------------------------------------------------------------
// Sound output loop

std::string TSending::StartOutput() {
    // The generator refills each played buffer, so it must run before the
    // output starts.
    if (soundOut_) {
        soundOut_->OnBufferPlayed = [this](int16_t* pb, uint32_t bytes) { BufferPlayed(pb, bytes); };
        soundOut_->SetSampleRate(8000);
        soundOut_->SetBufferTime(100);
        soundOut_->SetChannels(settings_.Binaural ? 2 : 1);
        // Gate closed before the first buffers: in stereo the left channel
        // carries the steady sidetone from the first sample on.
        soundOut_->SetVolume(0);
    }
    cwout_.SetStereo(soundOut_ ? soundOut_->Channels() == 2 : settings_.Binaural);
    cwout_.Start();
    if (!soundOut_)
        return "Sound output is off: no sound output device";
    if (!soundOut_->Start())
        return "Sound output is off: " + soundOut_->LastError();
    return std::string();
}

bool TSending::SoundRunning() const { return soundOut_ && soundOut_->IsActive(); }

void TSending::BufferPlayed(int16_t* pb, uint32_t bytes) {
    if (replaying_)
        cwout_.FillPatternSamples(pb, bytes);
    else
        cwout_.FillTextSamples(pb, bytes);
    // F9 waits for the character on the air to finish.
    if (replayPending_ && !sendingBusy_)
        StartRedReplay();
}

void TSending::SoundStateChanged() {
    if (SoundRunning())
        return;
    // No more buffers will come: nothing may wait for one.
    sendingBusy_ = false;
    if (replayPending_)
        StartRedReplay();
    if (replaying_)
        CWout1PatternEnd();
    if (sendingTyped_) {
        cwout_.ClearBuffer();
        CWout1LastChar();
    }
}

void TSending::WaitOutput(int ms) {
    if (!SoundRunning() || ms <= 0 || !Wait)
        return;
    Wait(ms);
}

void TSending::RestoreKeyTone() {
    // The steady idle tone is the sidetone of the key modes only; in the
    // sample modes it would sound whenever the gate is open for sending.
    const int mode = InputMode ? InputMode() : KeybdMouse;
    cwout_.KeyTone = mode == KeybdMouse || mode == ComPort;
}

void TSending::SetBinaural(bool on) {
    SetVolume(0);
    settings_.Binaural = on;
    // The generator's layout first: changing the channels refills the buffers.
    cwout_.SetStereo(on);
    if (soundOut_)
        soundOut_->SetChannels(on ? 2 : 1);
    cwout_.SetFrequency(on ? settings_.TxFrequency : settings_.TxFrequency2);
    cwout_.SetKeyFrequency(settings_.TxFrequency2);
}

// ---------------------------------------------------------------------------
// Output volume

void TSending::SetVolume(uint16_t v) {
    outputVolume_ = uint32_t(v) | (uint32_t(v) << 16);
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TSending::SetVolumeLeft(uint16_t v) {
    // The device's own value is the current one: read it first.
    if (soundOut_)
        outputVolume_ = soundOut_->Volume();
    outputVolume_ = (outputVolume_ & 0xFFFF0000u) | v;
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TSending::SetVolumeRight(uint16_t v) {
    if (soundOut_)
        outputVolume_ = soundOut_->Volume();
    outputVolume_ = (outputVolume_ & 0xFFFFu) | (uint32_t(v) << 16);
    if (soundOut_)
        soundOut_->SetVolume(outputVolume_);
}

void TSending::KeyGate(bool open, uint32_t markMs) {
    const uint16_t v = open ? keyVolume_ : 0;
    if (settings_.Binaural) {
        SetVolumeLeft(v);
    } else if (open && markMs > 0 && soundOut_) {
        // The volume in force stays that of a key up: the device closes the
        // gate after the mark by itself.
        soundOut_->HoldVolume(uint32_t(v) | (uint32_t(v) << 16), markMs);
    } else {
        SetVolume(v);
    }
}

bool TSending::KeyBlocked() const {
    return replaying_ || replayPending_ || (pttActive_ && !settings_.Binaural);
}

// ---------------------------------------------------------------------------
// The generator's events

void TSending::CWout1CharStart(char ch) {
    if (settings_.Binaural)
        SetVolumeRight(keyVolume_);
    else
        SetVolume(keyVolume_);
    if (!replaying_ && !sendingTyped_) {
        sendingBusy_ = true;
        view_.MarkSent(PanelText(ch));
        view_.UpdateStrip();
    }
}

void TSending::CWout1CharSent(char ch) {
    sendingBusy_ = false;
    if (sendingTyped_ && ch != ' ' && ch != '\r' && ch != '\0') {
        view_.MoveGreenStart(1);
        view_.UpdateStrip();
    }
}

void TSending::CWout1LastChar() {
    if (!sendingTyped_)
        return;
    // Back to the zone as it was before the replay.
    for (int guard = 0; guard < 100000 && view_.GreenStart() > greenStartSaved_; ++guard) {
        const int32_t before = view_.GreenStart();
        if (view_.MoveGreenStart(-1) == before)
            break;
    }
    view_.UpdateStrip();
    sendingTyped_ = false;
    firstOnly_ = false;
    ReleaseAnalyser();
}

void TSending::ReleaseAnalyser() {
    // Back to the operator's own pause, whatever it was before the replay.
    analyser_.SetPaused(InputPaused && InputPaused());
}

void TSending::CWout1PttChanged(bool on) {
    if (on) {
        if (!cwout_.Stereo())
            pttActive_ = true;
        cwout_.KeyTone = false;
    } else {
        if (!InputMode || InputMode() != SoundInput) {
            if (settings_.Binaural)
                SetVolumeRight(0);
            else
                SetVolume(0);
            RestoreKeyTone();
        }
        pttActive_ = false;
    }
}

// ---------------------------------------------------------------------------
// Replay of the red zone and re-sending of the green zone

void TSending::ReplayRed(bool firstOnly) {
    if (Busy())
        return;
    DropTypeAhead();
    firstOnly_ = firstOnly;
    if (sendingBusy_ && SoundRunning()) {
        // Starts from the buffer loop once the character has been sent.
        replayPending_ = true;
        return;
    }
    sendingBusy_ = false;
    StartRedReplay();
}

void TSending::StartRedReplay() {
    replayPending_ = false;
    cwout_.KeyTone = false;
    view_.ResetReplayStats();
    redStartSaved_ = view_.RedStart();
    replayCount_ = replayTotal_ = analyser_.Browsing() ? analyser_.CursorBack() % TAnalyser::kHistorySize : 0;
    // Without a running output nothing would play or end the replay.
    if (!SoundRunning() || !LoadReplayRecord()) {
        RestoreKeyTone();
        firstOnly_ = false;
    }
}

bool TSending::LoadReplayRecord() {
    analyser_.GetReplayRecord(uint32_t(replayCount_), replayRec_);
    if (replayRec_[1] == 0)
        return false;
    cwout_.LoadPattern(replayRec_);
    replaying_ = true;
    analyser_.ClearTimingSums();
    analyser_.AccumulateRecord(replayRec_);
    analyser_.SetPaused(true);
    return true;
}

void TSending::CWout1PatternStart() {
    if (settings_.Binaural)
        SetVolumeLeft(keyVolume_);
    else
        SetVolume(keyVolume_);
}

void TSending::CWout1PatternLastSpace() {
    CharRecord rec{};
    analyser_.GetCharRecord(uint32_t(replayCount_), rec);
    analyser_.ShowRecordTiming(rec);
    if (firstOnly_)
        return;
    if (--replayCount_ >= 0) {
        // The next character follows with exactly the space that was keyed.
        LoadReplayRecord();
        view_.MoveRedStart(1);
        analyser_.MoveCursor(1);
        view_.RedrawRedStrip();
    }
}

void TSending::RestoreRedStart() {
    for (int guard = 0; guard < 100000 && view_.RedStart() > redStartSaved_; ++guard) {
        const int32_t before = view_.RedStart();
        if (view_.MoveRedStart(-1) == before)
            break;
    }
}

void TSending::CWout1PatternEnd() {
    replaying_ = false;
    SetVolume(0);
    RestoreKeyTone();
    ReleaseAnalyser();
    RestoreRedStart();
    if (!firstOnly_) {
        analyser_.MoveCursor(TAnalyser::kToNewest);
        if (replayTotal_ > 0)
            analyser_.MoveCursor(-replayTotal_);
        view_.RedrawRedStrip();
    }
    firstOnly_ = false;
}

void TSending::ReplayGreen(bool firstOnly) {
    if (Busy())
        return;
    // Typed text still going out would be sent unmarked among the replay.
    if (!SoundRunning()) {
        view_.Status("Green zone not sent: sound output is off");
        return;
    }
    if (sendingBusy_ || cwout_.HasChars()) {
        view_.Status("Green zone not sent: typed text is still being sent");
        return;
    }
    const std::string text = view_.GreenText();
    if (text.empty())
        return;
    greenStartSaved_ = view_.GreenStart();
    bool queued = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = PanelChar(text, i);
        queued = cwout_.PutChar(ch) || queued;
        if (firstOnly)
            break;
    }
    if (!queued)
        return;
    firstOnly_ = firstOnly;
    sendingTyped_ = true;
    analyser_.SetPaused(true);
}
