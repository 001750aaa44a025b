#include "morse/CWout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

struct CodeTable {
    std::array<uint16_t, 256> main{};
    std::array<uint16_t, 256> extra{};
};

constexpr uint8_t U(char c) { return static_cast<uint8_t>(c); }

constexpr CodeTable MakeTable() {
    CodeTable t;
    constexpr uint16_t letters[26] = {0x05, 0x18, 0x1A, 0x0C, 0x02, 0x12, 0x0E, 0x10, 0x04,
                                      0x17, 0x0D, 0x14, 0x07, 0x06, 0x0F, 0x16, 0x1D, 0x0A,
                                      0x08, 0x03, 0x09, 0x11, 0x0B, 0x19, 0x1B, 0x1C};
    for (int i = 0; i < 26; ++i)
        t.main[U('a') + i] = letters[i];
    constexpr uint16_t digits[10] = {0x3F, 0x2F, 0x27, 0x23, 0x21, 0x20, 0x30, 0x38, 0x3C, 0x3E};
    for (int i = 0; i < 10; ++i)
        t.main[U('0') + i] = digits[i];
    t.main[U(',')] = 0x73;
    t.main[U('.')] = 0x55;
    t.main[U('/')] = 0x32;
    t.main[U('?')] = 0x4C;
    t.main[U('+')] = 0x2A;
    t.main[U('=')] = 0x31;
    t.main[U('*')] = 0x35;
    t.main[U('#')] = 0x45;
    t.main[U('&')] = 0x28;
    t.main[U('\\')] = 0x22;
    t.main[U('%')] = 0x100;
    t.main[U('-')] = 0x61;
    t.main[U('{')] = 0x238;
    t.main[U('}')] = 0x1F;
    // Pauses: no elements.
    t.main[0x20] = 0x01;
    t.main[0xFF] = 0x01;
    t.main[0x0D] = 0x01;
    t.main[0xFE] = 0x01;

    t.extra[0xE4] = 0x15;  // ä
    t.extra[0xE1] = 0x2D;  // á
    t.extra[0xE5] = 0x2D;  // å
    t.extra[0xE9] = 0x24;  // é
    t.extra[0xF1] = 0x3B;  // ñ
    t.extra[0xF6] = 0x1E;  // ö
    t.extra[0xFC] = 0x13;  // ü
    t.extra[0xE7] = 0x34;  // ç
    t.extra[U('$')] = 0x89;
    t.extra[U('"')] = 0x52;
    t.extra[U(':')] = 0x78;
    t.extra[U('\'')] = 0x5E;
    t.extra[U(';')] = 0x6A;
    t.extra[U('(')] = 0x36;
    t.extra[U(')')] = 0x6D;
    t.extra[U('@')] = 0x5A;
    t.extra[U('!')] = 0x26;
    return t;
}

constexpr CodeTable kCodes = MakeTable();

constexpr char kProsignChars[] = "+=*#&\\%-{}";
const char* const kProsignTexts[10] = {"<ar>", "<bt>", "<ka>", "<sk>",  "<as>",
                                       "<ve>", "<hh>", "<du>", "<sos>", "<ch>"};

constexpr uint32_t kNoElementsLeft = 0x80000000u;

inline int16_t Trunc(double v) { return static_cast<int16_t>(v); }

}  // namespace

TCWout::TCWout() {
    gen1_.SetSampleFreq(kSampleRate);
    gen1_.SetLeveldB(0.0);
    gen1_.SetFrequency(800);
    gen2_.SetSampleFreq(kSampleRate);
    gen2_.SetLeveldB(0.0);
    gen2_.SetFrequency(800);

    SetAutoStartStop(true);
    SetFrequency(800);
    SetKeyFrequency(800);
    SetLogAmplitude(0);
    SetMaxSpeed(300);
    SetMinSpeed(10);
    SetSpeed(60);
    SetTimePttStart(100);
    SetTimePttHold(1000);
    SetWeight(100);
    SetSlope(20);
    SetRatio(300);
    SetExtraChars(true);
    queue_.SetBufferSize(30000);
    queue_.SetFillRest(1);
    CalcTiming();
}

// ---------------------------------------------------------------- properties

void TCWout::SetAutoStartStop(bool on) {
    autoStartStop_ = on;
    if (!on)
        holdCount_ = 0;
}

void TCWout::SetFrequency(int32_t hz) {
    hz = std::clamp(hz, 100, 2000);
    if (hz == frequency_)
        return;
    frequency_ = hz;
    gen1_.SetFrequency(static_cast<uint32_t>(hz));
    if (OnFreqChanged)
        OnFreqChanged(hz);
}

void TCWout::SetKeyFrequency(int32_t hz) {
    hz = std::clamp(hz, 100, 2000);
    if (hz == frequency2_)
        return;
    frequency2_ = hz;
    gen2_.SetFrequency(static_cast<uint32_t>(hz));
    if (OnFreq2Changed)
        OnFreq2Changed(hz);
}

void TCWout::SetSpeed(int32_t cpm) {
    if (cpm < minSpeed_)
        cpm = minSpeed_;
    if (cpm > maxSpeed_)
        cpm = maxSpeed_;
    if (cpm == speed_)
        return;
    speed_ = cpm;
    CalcTiming();
    if (OnSpeedChanged)
        OnSpeedChanged(cpm);
}

void TCWout::SetMinSpeed(int32_t cpm) { minSpeed_ = std::clamp(cpm, 10, 300); }
void TCWout::SetMaxSpeed(int32_t cpm) { maxSpeed_ = std::clamp(cpm, 10, 300); }

void TCWout::SetWeight(int32_t percent) {
    percent = std::clamp(percent, 30, 300);
    if (percent == weight_)
        return;
    weight_ = percent;
    CalcTiming();
    if (OnWeightChanged)
        OnWeightChanged(percent);
}

void TCWout::SetRatio(int32_t percent) {
    percent = std::clamp(percent, 150, 600);
    if (percent == ratio_)
        return;
    ratio_ = percent;
    CalcTiming();
    if (OnRatioChanged)
        OnRatioChanged(percent);
}

void TCWout::SetSlope(int32_t samples) {
    if (samples == slope_)
        return;
    // The caps come from the ramp-free table.
    slope_ = 0;
    CalcTiming();
    samples = std::clamp(samples, 0, 500);
    if (samples > dotMarkS_ - 1)
        samples = dotMarkS_ - 1;
    if (samples > dotSpaceS_)
        samples = dotSpaceS_;
    if (samples < 0)
        samples = 0;
    slope_ = samples;
    CalcTiming();
    if (OnSlopeChanged)
        OnSlopeChanged(samples);
}

void TCWout::SetLogAmplitude(int32_t dB) {
    if (dB > 0)
        dB = 0;
    logAmplitude_ = dB;
    amplitude_ = 32500.0 * std::pow(10.0, dB / 20.0);
    rampStep_ = amplitude_ / (rampLen_ + 1);
    patRampStep_ = amplitude_ / (kPatRampLen + 1);
}

void TCWout::SetTimePttStart(int32_t ms) {
    timePttStart_ = ms < 0 ? 0 : ms;
    CalcTiming();
}

void TCWout::SetTimePttHold(int32_t ms) {
    timePttHold_ = ms < 0 ? 0 : ms;
    CalcTiming();
}

void TCWout::CalcTiming() {
    const int32_t s = speed_ > 0 ? speed_ : 1;
    dotMs_ = 6000 / s;
    if (dotMs_ == 0)
        dotMs_ = 1;
    holdDots_ = timePttHold_ == 0 ? 1 : timePttHold_ / dotMs_ + 1;

    dotS_ = 48000 / s;
    charExtraS_ = 2 * dotS_;
    wordExtraS_ = 4 * dotS_;
    pause4S_ = 4 * dotS_;
    dotSpaceS_ = 2 * dotS_ * 100 / (weight_ + 100);
    dotMarkS_ = 2 * dotS_ - dotSpaceS_;
    dashS_ = dotS_ * ratio_ / 100;
    // Huge lead times saturate instead of wrapping around.
    pttLeadS_ = static_cast<int32_t>(std::min<int64_t>(int64_t{timePttStart_} * 8, INT32_MAX));
    if (pttLeadS_ / dotS_ == 0)
        pttLeadS_ = dotS_;
    rampLen_ = slope_;
    if (rampLen_ > 0) {
        dotMarkS_ -= rampLen_ + 1;
        dotSpaceS_ -= rampLen_ - 1;
    }
    rampStep_ = amplitude_ / (rampLen_ + 1);
}

// ------------------------------------------------------------------- running

bool TCWout::Start() {
    if (running_)
        return false;
    CalcTiming();
    pttOn_ = false;
    Hold = false;
    counter_ = 0;
    mState_ = 0;
    stopRequested_ = false;
    pttReleaseRequested_ = false;
    running_ = true;
    if (OnStart)
        OnStart();
    return true;
}

bool TCWout::Stop() {
    if (!running_)
        return false;
    stopRequested_ = true;
    return true;
}

bool TCWout::Resume() {
    pttReleaseRequested_ = false;
    Hold = false;
    if (running_ && mState_ == 0)
        mState_ = 1;
    return running_;
}

bool TCWout::ReleasePtt() {
    if (running_)
        pttReleaseRequested_ = true;
    return running_;
}

bool TCWout::ReleasePttNow() {
    holdCount_ = holdDots_;
    return ReleasePtt();
}

// ---------------------------------------------------------------------- text

char TCWout::Fold(char ch) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c >= 'A' && c <= 'Z')
        return static_cast<char>(c + 32);
    switch (c) {
        case 0xC4:  // Ä
        case 0xD6:  // Ö
        case 0xDC:  // Ü
        case 0xC7:  // Ç
        case 0xD1:  // Ñ
        case 0xC9:  // É
        case 0xC1:  // Á
        case 0xC5:  // Å
            return static_cast<char>(c + 32);
        default:
            return ch;
    }
}

bool TCWout::IsSendable(char ch) const {
    const uint8_t c = static_cast<uint8_t>(Fold(ch));
    if (kCodes.main[c] != 0)
        return c != U('}') || extraChars_;
    return extraChars_ && kCodes.extra[c] != 0;
}

uint16_t TCWout::PatternOf(char ch) const {
    const uint8_t c = static_cast<uint8_t>(Fold(ch));
    return kCodes.main[c] != 0 ? kCodes.main[c] : kCodes.extra[c];
}

bool TCWout::PutChar(char ch) { return IsSendable(ch) && queue_.Write(ch); }

int32_t TCWout::ProsignIndexOfText(const std::string& s) const {
    std::string low = s.substr(0, 5);
    for (char& c : low)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    for (int32_t i = 0; i < 10; ++i) {
        if (low == kProsignTexts[i])
            return (i == 9 && !extraChars_) ? 0 : i + 1;
    }
    return 0;
}

int32_t TCWout::ProsignIndexOfChar(char ch) {
    const char f = Fold(ch);
    for (int32_t i = 0; i < 10; ++i)
        if (kProsignChars[i] == f)
            return i + 1;
    return 0;
}

char TCWout::ProsignChar(int32_t i) { return (i >= 1 && i <= 10) ? kProsignChars[i - 1] : '\0'; }

std::string TCWout::ProsignText(int32_t i) { return (i >= 1 && i <= 10) ? kProsignTexts[i - 1] : ""; }

// ------------------------------------------------------------ text machine

void TCWout::LoadNextChar() {
    curChar_ = queue_.Read();
    curPattern_ = PatternOf(curChar_);
    if (curPattern_ == 0) {
        curChar_ = '\0';
        shift_ = 0;
        return;
    }
    uint32_t s = uint32_t{curPattern_} * 2 + 1;  // end bit appended
    while ((s & 0x80000000u) == 0)
        s <<= 1;
    shift_ = s << 1;  // the start marker drops out
}

// Enters the first element (or the pause) of the character just taken.
void TCWout::BeginChar() {
    if (shift_ == kNoElementsLeft)
        mState_ = 10;
    else
        NextElement();
}

void TCWout::NextElement() { mState_ = (shift_ & 0x80000000u) ? 23 : 20; }

void TCWout::EndChar() {
    mState_ = 3;
    counter_ = 0;
    const char ch = curChar_;
    if (OnCharSent)
        OnCharSent(ch);
    if (!queue_.HasData() && OnLastChar)
        OnLastChar();
}

void TCWout::FirePttOff() {
    if (OnPttChanged)
        OnPttChanged(false);
    pttOn_ = false;
}

void TCWout::FillTextSamples(int16_t* buf, uint32_t bytes) {
    if (buf == nullptr)
        return;
    if (stereo_) {
        const uint32_t frames = bytes / 4;
        // Left: the steady key-sound tone, all the time.
        for (uint32_t i = 0; i < frames; ++i) {
            buf[2 * i] = Trunc(gen2_.Sine() * amplitude_);
            gen2_.Advance();
        }
        for (uint32_t i = 0; i < frames; ++i)
            buf[2 * i + 1] = TextStep(i == 0);
    } else {
        const uint32_t n = bytes / 2;
        for (uint32_t i = 0; i < n; ++i)
            buf[i] = TextStep(i == 0);
    }
}

// One sample slot. Steps that only change state loop back and process the
// same slot in the new state; each path that returns has used the slot.
int16_t TCWout::TextStep(bool firstSlot) {
    const double s = gen1_.Sine();
    int16_t out = 0;
    for (;;) {
        switch (mState_) {
            case 0:  // idle
                holdCount_ = 0;
                if (stopRequested_ && running_) {
                    running_ = false;
                    if (OnStop)
                        OnStop();
                    continue;
                }
                if (!running_)
                    break;  // stopped: silence
                out = KeyTone ? Trunc(s * amplitude_) : 0;
                if (++counter_ >= dotS_)
                    counter_ = 0;
                if (queue_.HasData() && autoStartStop_ && !Hold) {
                    mState_ = 1;
                    if (OnPttChanged)
                        OnPttChanged(true);
                }
                break;
            case 1:  // PTT on: wait for the rest of the current dot period
                pttOn_ = true;
                holdCount_ = 0;
                if (++counter_ >= dotS_) {
                    counter_ = 0;
                    mState_ = 2;
                }
                break;
            case 2:  // PTT lead
                if (counter_ < pttLeadS_) {
                    ++counter_;
                    break;
                }
                counter_ = 0;
                LoadNextChar();
                if (curPattern_ != 0) {
                    if (OnCharStart)
                        OnCharStart(curChar_);
                    BeginChar();
                } else {
                    mState_ = 3;
                    if (OnCharSent)
                        OnCharSent('\0');
                }
                continue;
            case 3: {  // between characters
                if (stopRequested_ && running_) {
                    mState_ = 0;
                    holdCount_ = 0;
                    FirePttOff();
                    running_ = false;
                    if (OnStop)
                        OnStop();
                    continue;
                }
                if (queue_.HasData() && counter_ == 0 && !Hold) {
                    LoadNextChar();
                    if (curPattern_ != 0) {
                        // A character ends the idle stretch: the hold time
                        // counts from the last one sent.
                        holdCount_ = 0;
                        if (OnCharStart)
                            OnCharStart(curChar_);
                        BeginChar();
                        continue;
                    }
                }
                if (++counter_ >= dotS_) {
                    counter_ = 0;
                    if ((autoStartStop_ || pttReleaseRequested_) && !Hold)
                        ++holdCount_;
                }
                // PTT goes off only at the start of a buffer, and never under
                // a character that has already started.
                if (firstSlot && mState_ == 3 && holdCount_ >= holdDots_) {
                    mState_ = 0;
                    holdCount_ = 0;
                    FirePttOff();
                }
                break;
            }
            case 20:  // dot rise
            case 23:  // dash rise
                if (rampLen_ < 1 || counter_ >= rampLen_) {
                    counter_ = 0;
                    mState_ = mState_ == 20 ? 21 : 24;
                    continue;
                }
                out = Trunc((counter_ + 1) * (s * rampStep_));
                ++counter_;
                break;
            case 21:  // dot body
            case 24:  // dash body
                if (counter_ >= (mState_ == 21 ? dotMarkS_ : dashS_)) {
                    mState_ = mState_ == 21 ? 22 : 25;
                    shift_ <<= 1;
                    counter_ = 0;
                    continue;
                }
                out = Trunc(s * amplitude_);
                ++counter_;
                break;
            case 22:  // falls
            case 25:
                if (rampLen_ <= 0 || counter_ >= rampLen_) {
                    mState_ = 8;
                    counter_ = 0;
                    continue;
                }
                out = Trunc((rampLen_ - counter_) * (s * rampStep_));
                ++counter_;
                break;
            case 8:  // element space
                if (counter_ >= dotSpaceS_) {
                    counter_ = 0;
                    if (shift_ == kNoElementsLeft)
                        mState_ = 9;
                    else
                        NextElement();
                    continue;
                }
                ++counter_;
                break;
            case 9:  // character space
                if (counter_ >= charExtraS_) {
                    EndChar();
                    continue;
                }
                ++counter_;
                break;
            case 10: {  // pause of a no-element character
                const uint8_t c = static_cast<uint8_t>(curChar_);
                const int32_t len = (c == 0xFE || c == 0xFF) ? pause4S_ : wordExtraS_;
                if (counter_ >= len) {
                    EndChar();
                    continue;
                }
                ++counter_;
                break;
            }
            default:  // a replay state left behind: fall back to idle
                mState_ = 0;
                counter_ = 0;
                continue;
        }
        break;
    }
    gen1_.Advance();
    return out;
}

// ------------------------------------------------------------ replay machine

void TCWout::LoadPattern(const CharRecord& rec) {
    // Slots 2..65 hold at most 64 elements.
    const uint32_t n = std::min<uint32_t>(rec[1], kMaxRecordElements);
    patCount_ = static_cast<int32_t>(n);
    for (uint32_t k = 1; k <= n; ++k)
        patDur_[k] = static_cast<int32_t>(std::min<uint64_t>(uint64_t{rec[k + 1]} * 8, INT32_MAX));
    // A malformed odd count ends with a zero-length space, not a stale one.
    patDur_[n + 1] = 0;
    patDur_[n + 2] = 0;
    patIndex_ = 1;
    patLoaded_ = true;
    // The text machine may still hold PTT between characters; a replay
    // replaces it, so release it properly first.
    if (mState_ >= 1 && mState_ <= 3) {
        mState_ = 0;
        holdCount_ = 0;
        FirePttOff();
    }
    // A fresh replay gets its full lead-in.
    if (mState_ == 0)
        counter_ = 0;
}

void TCWout::AbortPattern() {
    mState_ = 9;
    counter_ = 0;
}

void TCWout::StartPatternMark() {
    counter_ = 0;
    const bool first = patIndex_ == 1;
    patRemain_ = patIndex_ <= kMaxPatDur ? patDur_[patIndex_] : 0;
    ++patIndex_;
    if (patRemain_ > kPatRampLen) {
        patRemain_ -= kPatRampLen;
        mState_ = 4;
    } else {
        mState_ = 5;
    }
    if (first && OnPatternStart)
        OnPatternStart(curChar_);
}

void TCWout::FillPatternSamples(int16_t* buf, uint32_t bytes) {
    if (buf == nullptr)
        return;
    if (stereo_) {
        const uint32_t frames = bytes / 4;
        for (uint32_t i = 0; i < frames; ++i) {
            buf[2 * i] = PatternStep();
            buf[2 * i + 1] = 0;
        }
    } else {
        const uint32_t n = bytes / 2;
        for (uint32_t i = 0; i < n; ++i)
            buf[i] = PatternStep();
    }
}

int16_t TCWout::PatternStep() {
    const double s = gen2_.Sine();
    int16_t out = 0;
    for (;;) {
        switch (mState_) {
            case 0:  // lead-in
                if (!patLoaded_)
                    break;  // nothing to replay: silence
                if (counter_ < kPatLeadIn) {
                    ++counter_;
                    break;
                }
                StartPatternMark();
                continue;
            case 4:  // rise
                if (counter_ >= kPatRampLen) {
                    counter_ = 0;
                    mState_ = 5;
                    continue;
                }
                out = Trunc((counter_ + 1) * (s * patRampStep_));
                ++counter_;
                break;
            case 5:  // mark
                if (counter_ >= patRemain_) {
                    counter_ = 0;
                    patRemain_ = patIndex_ <= kMaxPatDur ? patDur_[patIndex_] : 0;
                    ++patIndex_;
                    if (patRemain_ > kPatRampLen) {
                        patRemain_ -= kPatRampLen;
                        mState_ = 7;
                    } else {
                        mState_ = 8;
                    }
                    if (patIndex_ > patCount_ && OnPatternLastSpace)
                        OnPatternLastSpace();
                    continue;
                }
                out = Trunc(s * amplitude_);
                ++counter_;
                break;
            case 7:  // fall
                if (counter_ >= kPatRampLen) {
                    counter_ = 0;
                    mState_ = 8;
                    continue;
                }
                out = Trunc((kPatRampLen - counter_) * (s * patRampStep_));
                ++counter_;
                break;
            case 8:  // space
                if (counter_ >= patRemain_) {
                    counter_ = 0;
                    if (patIndex_ <= patCount_)
                        StartPatternMark();
                    else
                        mState_ = 9;
                    continue;
                }
                ++counter_;
                break;
            case 9:  // closing silence
                if (counter_ >= kPatClosing) {
                    mState_ = 0;
                    counter_ = 0;
                    patLoaded_ = false;
                    if (OnPatternEnd)
                        OnPatternEnd();
                    continue;
                }
                ++counter_;
                break;
            default:  // a text state left behind: start over with the lead-in
                mState_ = 0;
                counter_ = 0;
                continue;
        }
        break;
    }
    gen2_.Advance();
    return out;
}
