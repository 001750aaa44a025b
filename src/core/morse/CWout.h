#pragma once
// The Morse generator: turns queued text characters into 16-bit PCM at 8000
// samples per second, keeps the transmitter-keying (PTT) state, and replays a
// keyed character with the operator's own recorded timing.
//
// The owner hands it every played output buffer: FillTextSamples normally,
// FillPatternSamples while a keyed character is replayed. Everything runs on
// the caller's thread; events fire from inside the fill calls.

#include "analysis/CharRecord.h"
#include "morse/SinusGen.h"
#include "morse/CharBuf.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

using TNotifyCWCharSent = std::function<void(char ch)>;
using TNotifyCharStart = std::function<void(char ch)>;
using TNotifyLastChar = std::function<void()>;
using TNotifyPTT = std::function<void(bool pttOn)>;
using TNotifyStart = std::function<void()>;
using TNotifyStop = std::function<void()>;
using TNotifyValChange = std::function<void(int32_t newVal)>;
using TNotifyPatternStart = std::function<void(char ch)>;
using TNotifyPatternLastSpace = std::function<void()>;
using TNotifyPatternEnd = std::function<void()>;

class TCWout {
public:
    static constexpr int32_t kSampleRate = 8000;
    static constexpr int32_t kMaxPatDur = 500;
    static constexpr int32_t kPatRampLen = 10;
    static constexpr int32_t kPatLeadIn = 2400;  // 300 ms before a replay
    static constexpr int32_t kPatClosing = 800;  // 100 ms after it

    TCWout();

    // --- properties ---
    bool AutoStartStop() const { return autoStartStop_; }
    void SetAutoStartStop(bool on);
    int32_t Buffersize() const { return queue_.BufferSize(); }
    void SetBuffersize(int32_t size) { queue_.SetBufferSize(size); }
    bool ExtraChars() const { return extraChars_; }
    void SetExtraChars(bool on) { extraChars_ = on; }
    int32_t Frequency() const { return frequency_; }
    void SetFrequency(int32_t hz);
    int32_t KeyFrequency() const { return frequency2_; }
    void SetKeyFrequency(int32_t hz);
    int32_t Speed() const { return speed_; }
    void SetSpeed(int32_t cpm);
    int32_t MinSpeed() const { return minSpeed_; }
    void SetMinSpeed(int32_t cpm);
    int32_t MaxSpeed() const { return maxSpeed_; }
    void SetMaxSpeed(int32_t cpm);
    int32_t Weight() const { return weight_; }
    void SetWeight(int32_t percent);
    int32_t Ratio() const { return ratio_; }
    void SetRatio(int32_t percent);
    int32_t Slope() const { return slope_; }
    void SetSlope(int32_t samples);
    int32_t LogAmplitude() const { return logAmplitude_; }
    void SetLogAmplitude(int32_t dB);
    int32_t TimePttStart() const { return timePttStart_; }
    void SetTimePttStart(int32_t ms);
    int32_t TimePttHold() const { return timePttHold_; }
    void SetTimePttHold(int32_t ms);
    bool Stereo() const { return stereo_; }
    void SetStereo(bool on) { stereo_ = on; }

    // Set: no new character starts and the PTT hold time does not run.
    bool Hold = false;
    // Set: the idle generator sounds a steady tone at Frequency (side tone).
    bool KeyTone = false;

    // --- events ---
    TNotifyCharStart OnCharStart;
    TNotifyCWCharSent OnCharSent;
    TNotifyLastChar OnLastChar;
    TNotifyPTT OnPttChanged;
    TNotifyStart OnStart;
    TNotifyStop OnStop;
    TNotifyPatternStart OnPatternStart;
    TNotifyPatternLastSpace OnPatternLastSpace;
    TNotifyPatternEnd OnPatternEnd;
    TNotifyValChange OnFreqChanged;
    TNotifyValChange OnFreq2Changed;
    TNotifyValChange OnSpeedChanged;
    TNotifyValChange OnWeightChanged;
    TNotifyValChange OnRatioChanged;
    TNotifyValChange OnSlopeChanged;

    // --- running ---
    bool Start();
    bool Stop();
    bool Resume();
    bool ReleasePtt();
    bool ReleasePttNow();
    bool IsIdle() const { return mState_ == 0; }
    bool IsRunning() const { return running_; }
    bool PttOn() const { return pttOn_; }

    // --- text ---
    bool PutChar(char ch);
    bool IsSendable(char ch) const;
    uint16_t PatternOf(char ch) const;
    int32_t ClearBuffer() { return queue_.Clear(); }
    bool HasChars() const { return queue_.HasData(); }
    char DeleteLastChar() { return queue_.DeleteLast(); }
    static char Fold(char ch);

    // --- prosigns: indices 1..10 ---
    int32_t ProsignIndexOfText(const std::string& s) const;
    static int32_t ProsignIndexOfChar(char ch);
    // '\0' and "" for an index outside 1..10.
    static char ProsignChar(int32_t i);
    static std::string ProsignText(int32_t i);

    // --- sample generation (bytes: buffer length; mono or stereo frames) ---
    void FillTextSamples(int16_t* buf, uint32_t bytes);
    void LoadPattern(const CharRecord& rec);
    void AbortPattern();
    void FillPatternSamples(int16_t* buf, uint32_t bytes);

    // --- timing table ---
    int32_t DotSamples() const { return dotS_; }
    int32_t DotS() const { return dotS_; }
    int32_t DotMarkS() const { return dotMarkS_; }
    int32_t DotSpaceS() const { return dotSpaceS_; }
    int32_t DashS() const { return dashS_; }
    int32_t CharExtraS() const { return charExtraS_; }
    int32_t WordExtraS() const { return wordExtraS_; }
    int32_t Pause4S() const { return pause4S_; }
    int32_t PttLeadS() const { return pttLeadS_; }
    int32_t RampLen() const { return rampLen_; }
    int32_t DotMs() const { return dotMs_; }
    int32_t HoldDots() const { return holdDots_; }
    int32_t HoldCount() const { return holdCount_; }
    double Amplitude() const { return amplitude_; }
    double RampStep() const { return rampStep_; }
    double PatRampStep() const { return patRampStep_; }
    uint32_t MState() const { return mState_; }
    int32_t PatCount() const { return patCount_; }

private:
    void CalcTiming();
    void LoadNextChar();
    void BeginChar();
    void EndChar();
    void NextElement();
    void FirePttOff();
    int16_t TextStep(bool firstSlot);
    int16_t PatternStep();
    void StartPatternMark();

    TCharBuf queue_;
    TSinusGen gen1_;
    TSinusGen gen2_;

    bool autoStartStop_ = true;
    bool extraChars_ = true;
    int32_t frequency_ = 0;
    int32_t frequency2_ = 0;
    int32_t speed_ = 60;
    int32_t minSpeed_ = 10;
    int32_t maxSpeed_ = 300;
    int32_t weight_ = 100;
    int32_t ratio_ = 300;
    int32_t slope_ = 20;
    int32_t logAmplitude_ = 0;
    int32_t timePttStart_ = 100;
    int32_t timePttHold_ = 1000;
    bool stereo_ = false;

    uint32_t mState_ = 0;
    int32_t counter_ = 0;
    bool running_ = false;
    bool stopRequested_ = false;
    bool pttReleaseRequested_ = false;
    bool pttOn_ = false;
    int32_t holdCount_ = 0;

    char curChar_ = '\0';
    uint16_t curPattern_ = 0;
    uint32_t shift_ = 0;

    int32_t dotS_ = 0, charExtraS_ = 0, wordExtraS_ = 0, pause4S_ = 0;
    int32_t dotMarkS_ = 0, dotSpaceS_ = 0, dashS_ = 0, pttLeadS_ = 0, rampLen_ = 0;
    int32_t dotMs_ = 0, holdDots_ = 1;
    double amplitude_ = 32500.0;
    double rampStep_ = 0.0;

    // Replay of a keyed character; entry 0 is unused.
    std::array<int32_t, kMaxPatDur + 1> patDur_{};
    int32_t patCount_ = 0;
    int32_t patIndex_ = 1;
    int32_t patRemain_ = 0;
    double patRampStep_ = 0.0;
    bool patLoaded_ = false;
};
