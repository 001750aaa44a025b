#pragma once
// The keying session: owns the working parts of the program (analyser,
// decoder, timing statistics, generator, sending and replay, key input,
// the iambic keyer, the serial key source and the two sample sources) and the settings in
// force. A settings value is
// applied as a whole: what differs from the settings in force is changed,
// and the value held is what gets saved. What happens is reported to any
// number of listeners (the windows, tests). No Qt: devices, clock and
// timers come in through their interfaces.

#include "analysis/CWDecode.h"
#include "analysis/AnalyserOwner.h"
#include "analysis/Analyser.h"
#include "analysis/TimingStats.h"
#include "devices/SerialLines.h"
#include "devices/SoundDevices.h"
#include "devices/Timer.h"
#include "morse/CWout.h"
#include "session/IambicKeyer.h"
#include "devices/FileIn.h"
#include "session/KeyInput.h"
#include "session/SampleSources.h"
#include "session/Sending.h"
#include "session/SerialKeySource.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What a session reports. Every call has an empty default, so a listener
// takes only what it shows.
class ISessionListener {
public:
    virtual ~ISessionListener() = default;
    // A character ended, before it is decoded: its pattern; wordSpace: a
    // word space followed it; timeout: the word timeout ended it.
    virtual void CharacterEnded(uint32_t /*pattern*/, bool /*wordSpace*/, bool /*timeout*/) {}
    // A character was decoded; wordEnd: a word space follows it.
    virtual void CharacterDecoded(const std::string& /*text*/, bool /*wordEnd*/) {}
    // The error pattern (eight dots) with "erase on error" set: the decoded
    // text is to be cleared.
    virtual void ErrorErase() {}
    // The decoded characters and their statistics were cleared.
    virtual void DecodedCleared() {}
    // Speed of the last character and the moving average, CpM.
    virtual void ActualSpeed(uint32_t /*cpm*/) {}
    virtual void AverageSpeed(uint32_t /*cpm*/) {}
    // The target speed in force changed (CpM).
    virtual void TargetSpeedChanged(int /*cpm*/) {}
    virtual void PausedChanged(bool /*paused*/) {}
    // The input mode changed without being asked for (a source ended, the
    // stored mode entered at start-up).
    virtual void InputModeChanged(int /*mode*/) {}
    // The input mode in force is now `mode`, asked for or not.
    virtual void InputModeEntered(int /*mode*/) {}
    // The key went down or up, in any input mode: the key sources' own
    // transitions and the edges the detector finds in the sound input or a
    // file. ms: from the session's start, spaced as the analyser timed them.
    virtual void KeyTransition(uint64_t /*ms*/, bool /*down*/) {}
    // A message for the user, and the state of the sound devices (empty:
    // sound works).
    virtual void Message(const std::string& /*text*/) {}
    virtual void SoundStatus(const std::string& /*text*/) {}
    // The word-space flash of the keying display.
    virtual void FlashKeying() {}
    // A block of samples went through the signal chain (for the scope).
    virtual void BlockProcessed(int /*l*/, const int32_t* /*env*/, const int32_t* /*thr*/,
                                const int32_t* /*key*/) {}
    // A settings value was applied; before and now differ in what changed.
    virtual void SettingsApplied(const TSettings& /*before*/, const TSettings& /*now*/) {}
};

class KeyingSession : public IAnalyserOwner {
public:
    // soundOut may be null (no sound); view: null = nothing shows the panels.
    KeyingSession(IClock& clock, ITimerFactory& timers, ISoundOut* soundOut, ISendingView* view = nullptr);
    ~KeyingSession() override;
    KeyingSession(const KeyingSession&) = delete;
    KeyingSession& operator=(const KeyingSession&) = delete;

    void AddListener(ISessionListener* l);
    void RemoveListener(ISessionListener* l);

    // --- Settings ------------------------------------------------------------
    const TSettings& Settings() const { return settings_; }
    // Changes what differs from the settings in force; values a component
    // clamps are kept as the component took them. The input mode is entered
    // as asked; when it cannot be, Keybd/Mouse is in force and kept.
    void Apply(const TSettings& next);
    // Start-up: the stored settings through Apply, then the generator and
    // the sound output. The stored input mode is held, not yet entered.
    // Empty, or why there is no sound.
    std::string Start(const TSettings& stored);
    // Start-up, once every source is in place and the windows follow: the
    // input mode held enters through the same switch as a later choice (a
    // WAV file is asked for then); every listener hears the mode in force.
    bool EnterInputMode();

    // --- Operations ------------------------------------------------------------
    // Switches the Morse input mode; false when it could not be entered.
    bool SetInputMode(int mode);
    int InputMode() const { return keyInput_->InputMode(); }
    // The target speed (generator and analyser), CpM; the generator clamps.
    void SetTargetSpeed(int cpm);
    // Upper panel's characters: history, average and statistics.
    void ClearDecoded();
    // Signal level of the sound input (the meter), and its reset.
    int InputLevel() const { return analyser_->InputLevel(); }
    void ResetInputLevel() { analyser_->SetInputLevel(0); }
    // The sound devices changed state.
    void SoundStatusChanged(const std::string& message);
    // Reports a message to the listeners.
    void Notify(const std::string& message);
    // ms since the session was made.
    uint64_t ElapsedMs() const { return uint32_t(clock_.NowMs() - startMs_); }
    // The program ends: the generator's PTT let go, devices stopped.
    void Stop();

    // --- Serial key lines ------------------------------------------------------
    // The lines of COM Port mode; the session owns the key source on them
    // until DetachSerialLines (before the lines go).
    void AttachSerialLines(ISerialLines& lines);
    void DetachSerialLines();
    TSerialKeySource* SerialSource() const { return serialSource_.get(); }

    // --- Sample sources --------------------------------------------------------
    // The sound input (when there is one) as Sound Input mode's source, and
    // the WAV file as File mode's; askFile asks for the file as the mode is
    // entered (false: cancelled). The file plays in 50 ms blocks.
    using AskFile = std::function<bool(const std::string& current, std::string& path)>;
    void AttachSampleSources(ISoundIn* in, AskFile askFile);
    TFileIn& FileIn() { return *fileIn_; }
    TSoundInSource* SoundSource() const { return soundSource_.get(); }
    TWavFileSource& WavSource() { return *wavSource_; }

    // --- Working parts ---------------------------------------------------------
    TAnalyser& Analyser() { return *analyser_; }
    const TAnalyser& Analyser() const { return *analyser_; }
    TCWout& CWout() { return cwout_; }
    const TCWout& CWout() const { return cwout_; }
    TCWDecode& Decoder() { return cwdecode_; }
    TTimingStats& Stats() { return stats_; }
    TSending& Sending() { return *sending_; }
    const TSending& Sending() const { return *sending_; }
    TKeyInput& KeyInput() { return *keyInput_; }
    const TKeyInput& KeyInput() const { return *keyInput_; }
    // The iambic keyer; with [Keys] Keyer on, the keyboard's paddle keys
    // and the serial port's paddle lines go through it.
    TIambicKeyer& Keyer() { return *keyer_; }
    ISoundOut* SoundOut() const { return soundOut_; }

    // IAnalyserOwner
    int AverageLength() const override;
    bool FlashForWordSpace() const override { return settings_.WordSpaceFlash; }
    void FlashKeyingDisplay() override;
    void MuteOutput() override { sending_->SetVolume(0); }

private:
    void ApplyChanges(const TSettings& before, bool all);
    // The keyer's mode, swap and speed, and the sources it sits behind.
    void ApplyKeyer();
    void MovePort(int before);
    void NewPattern(uint32_t data, bool bl, bool en);
    void ModeMayHaveChanged();
    void KeyAt(uint64_t ms, bool down);
    void SignalEdge(double ms, bool down);
    template <class F>
    void Each(F f);

    ISoundOut* soundOut_;
    IClock& clock_;
    uint32_t startMs_;
    TSettings settings_;
    TCWout cwout_;
    TCWDecode cwdecode_;
    TTimingStats stats_;
    std::unique_ptr<TAnalyser> analyser_;
    std::unique_ptr<ISendingView> ownView_;
    ISendingView* view_ = nullptr;
    std::unique_ptr<TSending> sending_;
    std::unique_ptr<TKeyInput> keyInput_;
    std::unique_ptr<TIambicKeyer> keyer_;
    std::unique_ptr<TSerialKeySource> serialSource_;
    ITimerFactory& timers_;
    std::unique_ptr<TFileIn> fileIn_;
    std::unique_ptr<TSoundInSource> soundSource_;
    std::unique_ptr<TWavFileSource> wavSource_;
    std::vector<ISessionListener*> listeners_;
    bool started_ = false;
    int announcedMode_ = -1;
    // Signal time to session time for the detector's edges; taken afresh
    // at the first edge after a mode change or a pause.
    int64_t edgeOffset_ = 0;
    bool edgeResync_ = true;
};
