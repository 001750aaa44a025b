#include "session/KeyingSession.h"

#include <algorithm>

namespace {

tProcessMode ProcessModeOf(int mode) { return mode == 0 ? tProcessMode::broad : tProcessMode::narrow; }

}  // namespace

KeyingSession::KeyingSession(IClock& clock, ITimerFactory& timers, ISoundOut* soundOut, ISendingView* view)
    : soundOut_(soundOut), clock_(clock), startMs_(clock.NowMs()), timers_(timers) {
    analyser_ = std::make_unique<TAnalyser>(timers, this, &stats_);
    analyser_->OnNewPattern = [this](uint32_t d, bool bl, bool en) { NewPattern(d, bl, en); };
    analyser_->OnNewTempo = [this](uint32_t t) { Each([t](ISessionListener* l) { l->ActualSpeed(t); }); };
    analyser_->OnNewAvgTempo = [this](uint32_t t) { Each([t](ISessionListener* l) { l->AverageSpeed(t); }); };
    analyser_->OnDataProcessed = [this](int n, const int32_t* e, const int32_t* t, const int32_t* k) {
        Each([&](ISessionListener* l) { l->BlockProcessed(n, e, t, k); });
    };
    analyser_->OnKeyEdge = [this](double ms, bool down) { SignalEdge(ms, down); };
    analyser_->SetBandwidthIndex(2);
    stats_.DotSamples = [this] { return double(cwout_.DotSamples()); };
    stats_.WordTimeout = [this] { return analyser_->WordTimeout(); };
    stats_.AverageSpeed = [this] { return analyser_->AvgTempo(); };

    cwout_.SetMinSpeed(20);
    cwout_.SetTimePttHold(100);
    cwout_.SetLogAmplitude(-10);
    cwout_.OnSpeedChanged = [this](int32_t cpm) {
        settings_.TargetSpeed = cpm;
        if (keyer_)
            keyer_->SetSpeed(cpm);
        Each([cpm](ISessionListener* l) { l->TargetSpeedChanged(cpm); });
    };

    if (!view) {
        ownView_ = std::make_unique<TNoSendingView>();
        view = ownView_.get();
    }
    view_ = view;
    sending_ = std::make_unique<TSending>(cwout_, *analyser_, soundOut_, settings_, *view);
    keyInput_ = std::make_unique<TKeyInput>(*analyser_, cwout_, *sending_, settings_, clock);
    keyer_ = std::make_unique<TIambicKeyer>(clock, timers);
    sending_->InputMode = [this] { return keyInput_->InputMode(); };
    sending_->InputPaused = [this] { return keyInput_->Paused(); };
    keyInput_->OnMessage = [this](const std::string& m) { Notify(m); };
    keyInput_->OnPausedChanged = [this](bool paused) {
        edgeResync_ = true;
        Each([paused](ISessionListener* l) { l->PausedChanged(paused); });
    };
    keyInput_->OnModeChanged = [this](int mode) {
        settings_.RXInput = std::max(0, mode);
        ModeMayHaveChanged();
        Each([mode](ISessionListener* l) { l->InputModeChanged(mode); });
    };
    keyInput_->OnKeyTransition = [this](bool down, uint64_t clockMs) {
        KeyAt(clockMs > startMs_ ? clockMs - startMs_ : 0, down);
    };

    // The generator's own slope is the one in force (the file does not
    // hold it); everything else as a fresh installation has it.
    settings_.Slope = cwout_.Slope();
    ApplyChanges(settings_, true);
    sending_->SetKeyVolume(settings_.Muted ? 0 : 65535);
    // A file plays at the pace of the sound input's buffers.
    fileIn_ = std::make_unique<TFileIn>(timers_);
    fileIn_->SetTimerInterval(50);
}

KeyingSession::~KeyingSession() {
    if (soundOut_) {
        soundOut_->OnBufferPlayed = nullptr;
        soundOut_->OnStatus = nullptr;
    }
    DetachSerialLines();
    keyInput_->SetSource(WavFile, nullptr);
    keyInput_->SetSource(SoundInput, nullptr);
    listeners_.clear();
    cwout_.OnSpeedChanged = nullptr;
    keyInput_->KeyboardMouse().SetKeyer(nullptr);
    keyInput_->OnModeChanged = nullptr;
    keyInput_->OnPausedChanged = nullptr;
    keyInput_->OnMessage = nullptr;
    keyInput_->OnKeyTransition = nullptr;
    analyser_->OnKeyEdge = nullptr;
    analyser_->OnNewPattern = nullptr;
    analyser_->OnNewTempo = nullptr;
    analyser_->OnNewAvgTempo = nullptr;
    analyser_->OnDataProcessed = nullptr;
}

void KeyingSession::AddListener(ISessionListener* l) {
    if (l && std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end())
        listeners_.push_back(l);
}

void KeyingSession::RemoveListener(ISessionListener* l) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

template <class F>
void KeyingSession::Each(F f) {
    // A listener may add or remove listeners while it is told.
    const std::vector<ISessionListener*> now = listeners_;
    for (ISessionListener* l : now)
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end())
            f(l);
}

// ---------------------------------------------------------------------------
// Settings

void KeyingSession::Apply(const TSettings& next) {
    const TSettings before = settings_;
    settings_ = next;
    ApplyChanges(before, false);
    Each([&](ISessionListener* l) { l->SettingsApplied(before, settings_); });
}

std::string KeyingSession::Start(const TSettings& stored) {
    TSettings s = stored;
    // Not in the file: the generator keeps its own. The input mode is
    // entered by EnterInputMode once its sources exist.
    s.Slope = settings_.Slope;
    const int mode = s.RXInput;
    s.RXInput = settings_.RXInput;
    Apply(s);
    settings_.RXInput = mode;

    // Without sound the program still keys and decodes; the status says why.
    if (soundOut_)
        soundOut_->OnStatus = [this](const std::string& m) { SoundStatusChanged(m); };
    const std::string soundOff = sending_->StartOutput();
    started_ = true;
    sending_->SetVolume(1);
    cwout_.SetBuffersize(10000);
    return soundOff;
}

bool KeyingSession::EnterInputMode() {
    const bool ok = SetInputMode(settings_.RXInput);
    const int mode = InputMode();
    Each([mode](ISessionListener* l) { l->InputModeChanged(mode); });
    return ok;
}

void KeyingSession::ApplyChanges(const TSettings& before, bool all) {
    TSettings& s = settings_;
    auto differs = [&](auto member) { return all || before.*member != s.*member; };

    if (differs(&TSettings::TargetSpeed)) {
        cwout_.SetSpeed(s.TargetSpeed);
        analyser_->SetTempo(cwout_.Speed());
        s.TargetSpeed = cwout_.Speed();
    }
    if (differs(&TSettings::TargetSpeed) || differs(&TSettings::Keyer) || differs(&TSettings::PaddleSwap))
        ApplyKeyer();
    const bool tones = differs(&TSettings::Binaural) || differs(&TSettings::TxFrequency) ||
                       differs(&TSettings::TxFrequency2);
    if (differs(&TSettings::Binaural) && started_) {
        // Channels and tones; the side-tone gate closes.
        sending_->SetBinaural(s.Binaural);
    } else if (tones) {
        // Mono output sounds the key tone on both.
        cwout_.SetKeyFrequency(s.TxFrequency2);
        cwout_.SetFrequency(s.Binaural ? s.TxFrequency : s.TxFrequency2);
    }
    s.TxFrequency2 = cwout_.KeyFrequency();
    s.TxFrequency = std::clamp(s.TxFrequency, 100, 2000);  // as the generator takes it
    // A new tone, or a key line read the other way round, must not sound
    // through an open gate: it opens again at the next key-down.
    if (started_ && !all && (tones || differs(&TSettings::Invert)))
        sending_->SetVolume(0);
    if (differs(&TSettings::TxExtended))
        cwout_.SetExtraChars(s.TxExtended);
    s.TxExtended = cwout_.ExtraChars();
    if (differs(&TSettings::OutputLevel))
        cwout_.SetLogAmplitude(std::clamp(s.OutputLevel, -40, 0));
    s.OutputLevel = cwout_.LogAmplitude();
    if (differs(&TSettings::PttStart))
        cwout_.SetTimePttStart(s.PttStart);
    s.PttStart = cwout_.TimePttStart();
    if (!all && differs(&TSettings::Slope))
        cwout_.SetSlope(s.Slope);
    s.Slope = cwout_.Slope();
    if (!all && differs(&TSettings::Muted))
        sending_->SetKeyVolume(s.Muted ? 0 : 65535);

    if (differs(&TSettings::RxFrequency))
        analyser_->SetCenterFreq(uint32_t(std::max(0, s.RxFrequency)));
    s.RxFrequency = int32_t(analyser_->CenterFreq());
    if (differs(&TSettings::Mode))
        analyser_->SetProcessMode(ProcessModeOf(s.Mode));
    s.Mode = analyser_->ProcessMode() == tProcessMode::broad ? 0 : 1;
    if (differs(&TSettings::Detector))
        analyser_->SetRobust(s.Detector == 1);
    s.Detector = analyser_->Robust() ? 1 : 0;
    if (differs(&TSettings::Bounce))
        analyser_->SetNoiseBlank(s.Bounce);
    s.Bounce = analyser_->NoiseBlank();
    if (differs(&TSettings::InputLevel))
        analyser_->SetInputScaledB(std::clamp(s.InputLevel, -30, 12));
    s.InputLevel = analyser_->InputScaledB();
    if (!all && differs(&TSettings::AvgCountIdx))
        analyser_->ResetAvgTempo();

    if (differs(&TSettings::RxExtended))
        cwdecode_.SetSpecialChars(s.RxExtended);
    s.RxExtended = cwdecode_.SpecialChars();
    if (differs(&TSettings::Aring))
        cwdecode_.SetAring(s.Aring);
    s.Aring = cwdecode_.Aring();
    if (differs(&TSettings::ErrQM))
        cwdecode_.SetErrQm(s.ErrQM);
    s.ErrQM = cwdecode_.ErrQm();
    if (differs(&TSettings::DisplayPros))
        cwdecode_.SetDisplay2Prosigns(s.DisplayPros);

    if (!all && serialSource_ &&
        (differs(&TSettings::DTR) || differs(&TSettings::RTS) || differs(&TSettings::Event)))
        serialSource_->Follow(TSerialKeyConfig{s.RXComPort, s.Event, s.Invert, s.RTS, s.DTR});
    if (!all && serialSource_ && differs(&TSettings::RXComPort))
        MovePort(before.RXComPort);

    if (!all && differs(&TSettings::RXInput))
        SetInputMode(s.RXInput);
}

void KeyingSession::MovePort(int before) {
    const int port = settings_.RXComPort;
    switch (serialSource_->MovePort(port)) {
        case TSerialKeySource::TMove::Kept:
            break;
        case TSerialKeySource::TMove::Moved:
            // Another key: the pattern strip and the character history start empty.
            analyser_->ClearHistory();
            view_->RedrawRedStrip();
            break;
        case TSerialKeySource::TMove::Failed:
            // The port in use stays the setting; its lines are gone, so the
            // key's sidetone must not sound on, and COM Port mode ends.
            settings_.RXComPort = before;
            serialSource_->MovePort(before);
            sending_->SetVolume(0);
            SetInputMode(0);
            Notify("Error: cannot use ComPort COM" + std::to_string(port));
            Each([](ISessionListener* l) { l->InputModeChanged(0); });
            break;
    }
}

int KeyingSession::AverageLength() const {
    static const int lengths[4] = {10, 20, 50, 100};
    return lengths[std::clamp(settings_.AvgCountIdx, 0, 3)];
}

// ---------------------------------------------------------------------------
// Operations

bool KeyingSession::SetInputMode(int mode) {
    const bool ok = keyInput_->SetInputMode(mode);
    settings_.RXInput = std::max(0, keyInput_->InputMode());
    ModeMayHaveChanged();
    return ok;
}

void KeyingSession::SetTargetSpeed(int cpm) {
    cwout_.SetSpeed(cpm);
    analyser_->SetTempo(cwout_.Speed());
    settings_.TargetSpeed = cwout_.Speed();
    ApplyKeyer();
}

void KeyingSession::ApplyKeyer() {
    const TSettings& s = settings_;
    if (s.Keyer < TIambicKeyer::Straight || s.Keyer > TIambicKeyer::IambicB)
        settings_.Keyer = TIambicKeyer::Straight;
    // The keyer forms its elements at the target speed.
    keyer_->SetMode(s.Keyer);
    keyer_->SetSwap(s.PaddleSwap);
    keyer_->SetSpeed(cwout_.Speed());
    TIambicKeyer* keyer = s.Keyer != TIambicKeyer::Straight ? keyer_.get() : nullptr;
    keyInput_->KeyboardMouse().SetKeyer(keyer);
    if (serialSource_)
        serialSource_->SetKeyer(keyer);
}

void KeyingSession::ClearDecoded() {
    analyser_->ClearHistory();
    analyser_->ResetAvgTempo();
    stats_.ResetValues(2);
    Each([](ISessionListener* l) { l->DecodedCleared(); });
}

void KeyingSession::SoundStatusChanged(const std::string& message) {
    Each([&](ISessionListener* l) { l->SoundStatus(message); });
    sending_->SoundStateChanged();
}

void KeyingSession::Notify(const std::string& message) {
    Each([&](ISessionListener* l) { l->Message(message); });
}

void KeyingSession::Stop() {
    if (soundOut_)
        soundOut_->Stop();
    keyInput_->CloseSource();
}

void KeyingSession::FlashKeyingDisplay() {
    Each([](ISessionListener* l) { l->FlashKeying(); });
}

void KeyingSession::NewPattern(uint32_t data, bool bl, bool en) {
    Each([&](ISessionListener* l) { l->CharacterEnded(data, bl, en); });
    if (data == 256 && settings_.ErrErase) {
        Each([](ISessionListener* l) { l->ErrorErase(); });
        return;
    }
    const std::string text = cwdecode_.Decode(data, bl);
    Each([&](ISessionListener* l) { l->CharacterDecoded(text, en); });
}

void KeyingSession::ModeMayHaveChanged() {
    const int mode = keyInput_->InputMode();
    if (mode == announcedMode_)
        return;
    announcedMode_ = mode;
    edgeResync_ = true;
    Each([mode](ISessionListener* l) { l->InputModeEntered(mode); });
}

void KeyingSession::KeyAt(uint64_t ms, bool down) {
    Each([=](ISessionListener* l) { l->KeyTransition(ms, down); });
}

void KeyingSession::SignalEdge(double ms, bool down) {
    // The signal's time stands still while no samples come (another mode, a
    // pause): the first edge after that is placed at the session's now, the
    // following ones keep the signal's own spacing.
    const int64_t t = static_cast<int64_t>(ms);
    if (edgeResync_) {
        edgeOffset_ = static_cast<int64_t>(ElapsedMs()) - t;
        edgeResync_ = false;
    }
    KeyAt(static_cast<uint64_t>(std::max<int64_t>(0, t + edgeOffset_)), down);
}

// ---------------------------------------------------------------------------
// Serial key lines

void KeyingSession::AttachSerialLines(ISerialLines& lines) {
    DetachSerialLines();
    serialSource_ = std::make_unique<TSerialKeySource>(lines);
    serialSource_->ReadConfig = [this] {
        const TSettings& s = settings_;
        return TSerialKeyConfig{s.RXComPort, s.Event, s.Invert, s.RTS, s.DTR};
    };
    if (settings_.Keyer != TIambicKeyer::Straight)
        serialSource_->SetKeyer(keyer_.get());
    keyInput_->SetSource(ComPort, serialSource_.get());
}

// ---------------------------------------------------------------------------
// Sample sources

void KeyingSession::AttachSampleSources(ISoundIn* in, AskFile askFile) {
    keyInput_->SetSource(WavFile, nullptr);
    keyInput_->SetSource(SoundInput, nullptr);
    wavSource_.reset();
    soundSource_.reset();
    wavSource_ = std::make_unique<TWavFileSource>(
        *fileIn_, timers_, [this, ask = std::move(askFile)](const std::string& current, std::string& path) {
            // Play on after the end until the analyser has closed the last character.
            wavSource_->SetEndTailMs(static_cast<uint32_t>(analyser_->WordTimeout()) +
                                     2 * fileIn_->TimerInterval());
            return ask && ask(current, path);
        });
    keyInput_->SetSource(WavFile, wavSource_.get());
    if (in) {
        soundSource_ = std::make_unique<TSoundInSource>(*in, [this] { return settings_.RXDevice; });
        keyInput_->SetSource(SoundInput, soundSource_.get());
    }
}

void KeyingSession::DetachSerialLines() {
    if (!serialSource_)
        return;
    keyInput_->SetSource(ComPort, nullptr);
    serialSource_.reset();
}
