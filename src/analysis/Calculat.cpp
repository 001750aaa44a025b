#include "analysis/Calculat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint32_t kMaxDurationMs = 3600000;
constexpr int32_t kEdgeBlockCap = 80;

// First-order high-pass with its corner at 150 Hz.
constexpr double kDcA = 0.9443111;
constexpr double kDcB = 0.8886221;

constexpr double kBroadScale = 1.6;
constexpr double kMixerScale = 2.4;
constexpr double kHysteresis = 40.0;
constexpr double kPeakDecay = 0.99;
// The threshold never falls below this fraction of the peak. While keying
// goes on, 0.5 x average lies above it (near 0.45 of the envelope, against
// 0.35 x the envelope's overshoot, about 0.40), so it only acts after a
// silence long enough for the average to decay.
constexpr double kPeakFloor = 0.35;

// 6th-order Butterworth as three sections, Q = 1 / (2 cos(theta)) for theta
// 75, 45 and 15 degrees (1.9319, 0.7071, 0.5176).
const double kQ[3] = {1.0 / (2.0 * std::cos(75.0 * std::numbers::pi / 180.0)),
                      1.0 / (2.0 * std::cos(45.0 * std::numbers::pi / 180.0)),
                      1.0 / (2.0 * std::cos(15.0 * std::numbers::pi / 180.0))};
constexpr double kFirstStageCutoff = 100.0;
constexpr double kSecondStageCutoff[4] = {12.5, 25.0, 62.5, 125.0};

int Wrap(int64_t index) {
    const int64_t m = index % TCalculat::kHistorySize;
    return static_cast<int>(m < 0 ? m + TCalculat::kHistorySize : m);
}


// Two vector lanes of doubles; lane-wise arithmetic is the scalar arithmetic.
typedef double V2 __attribute__((vector_size(16)));

bool SameCoefficients(const std::array<SosSection, 3>& a, const std::array<SosSection, 3>& b) {
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].Coeffs() != b[k].Coeffs()) return false;
    return true;
}

// Two cascades with equal coefficients (the I and the Q path) stepped
// together; the expression keeps SosSection::Step's order of operations.
class PairedCascade {
public:
    PairedCascade(const std::array<SosSection, 3>& a, const std::array<SosSection, 3>& b) {
        for (size_t k = 0; k < 3; ++k) {
            const auto& c = a[k].Coeffs();
            for (int j = 0; j < 6; ++j) c_[k][j] = V2{c[static_cast<size_t>(j)], c[static_cast<size_t>(j)]};
            const SosSection::State sa = a[k].GetState(), sb = b[k].GetState();
            x1_[k] = V2{sa.x1, sb.x1};
            x2_[k] = V2{sa.x2, sb.x2};
            y1_[k] = V2{sa.y1, sb.y1};
            y2_[k] = V2{sa.y2, sb.y2};
        }
    }
    V2 Step(V2 x) {
        for (size_t k = 0; k < 3; ++k) {
            const V2 y = c_[k][0] * x + c_[k][1] * x1_[k] + c_[k][2] * x2_[k] - c_[k][4] * y1_[k] - c_[k][5] * y2_[k];
            x2_[k] = x1_[k];
            x1_[k] = x;
            y2_[k] = y1_[k];
            y1_[k] = y;
            x = y;
        }
        return x;
    }
    void Store(std::array<SosSection, 3>& a, std::array<SosSection, 3>& b) const {
        for (size_t k = 0; k < 3; ++k) {
            a[k].SetState({x1_[k][0], x2_[k][0], y1_[k][0], y2_[k][0]});
            b[k].SetState({x1_[k][1], x2_[k][1], y1_[k][1], y2_[k][1]});
        }
    }

private:
    V2 c_[3][6];
    V2 x1_[3], x2_[3], y1_[3], y2_[3];
};

}  // namespace

TCalculat::TCalculat(ITimerFactory& timers, ICalcOwner* owner, ITimingSink* stats)
    : owner_(owner), stats_(stats) {
    wordTimer_ = timers.CreateTimer();
    muteTimer_ = timers.CreateTimer();
    flashTimer_ = timers.CreateTimer();
    wordTimer_->OnTimer = [this] { OnWordTimer(); };
    muteTimer_->OnTimer = [this] { OnMuteTimer(); };
    flashTimer_->OnTimer = [this] { OnFlashTimer(); };
    osc_.SetSampleFreq(8000);
    osc_.SetFrequency(centerFreq_);
    osc_.SetLeveldB(0.0);
    // The oscillator's values over one period, so the mixer reads a table
    // instead of dividing twice per sample; the values are the same.
    mixCos_.resize(8000);
    mixSin_.resize(8000);
    for (uint32_t p = 0; p < 8000; ++p) {
        mixCos_[p] = osc_.CosineAt(p);
        mixSin_[p] = osc_.SineAt(p);
    }
    // Derive the thresholds for the default speed at once, so that a timer
    // never runs with a zero interval before the owner assigns the speed.
    SetTempo(tempo_);
}

TCalculat::~TCalculat() = default;

// ---------------------------------------------------------------------------
// Properties

void TCalculat::SetTempo(int32_t cpm) {
    tempo_ = std::clamp(cpm, 10, 300);
    DeriveThresholds();
    wordTimer_->SetInterval(static_cast<uint32_t>(wordTimeout_));
    muteTimer_->SetInterval(static_cast<uint32_t>(muteDelay_));
    flashTimer_->SetInterval(static_cast<uint32_t>(flashDelay_));
    LoadFilters();
}

void TCalculat::FollowDot(int32_t dotMs) {
    DeriveThresholds(std::clamp(dotMs, 20, 600));
    wordTimer_->SetInterval(static_cast<uint32_t>(wordTimeout_));
    muteTimer_->SetInterval(static_cast<uint32_t>(muteDelay_));
    flashTimer_->SetInterval(static_cast<uint32_t>(flashDelay_));
}

void TCalculat::DeriveThresholds() { DeriveThresholds(6000 / tempo_); }

void TCalculat::DeriveThresholds(int32_t dotMs) {
    dotMs_ = dotMs;
    dotDashLimit_ = 2 * dotMs_;
    elementSpaceLimit_ = 2 * dotMs_;
    wordSpaceLimit_ = 5 * dotMs_;
    glitchLimit_ = dotMs_ / 6;
    nominalWordSpace_ = 7 * dotMs_;
    wordTimeout_ = std::max(9 * dotMs_, 300);
    muteDelay_ = 20 * dotMs_;
    flashDelay_ = 4 * dotMs_;
}

void TCalculat::SetCalcSize(int32_t samples) { calcSize_ = std::clamp(samples, 80, kMaxBlock); }

void TCalculat::SetCenterFreq(uint32_t hz) {
    centerFreq_ = std::clamp<uint32_t>(hz, 100, 4000);
    osc_.SetFrequency(centerFreq_);
}

void TCalculat::SetInputScaledB(int32_t db) {
    inputScaledB_ = db;
    gain_ = std::pow(10.0, db / 20.0);
}

void TCalculat::SetBandwidthIndex(uint32_t index) {
    bandwidthIndex_ = std::min<uint32_t>(index, 3);
    LoadFilters();
}

void TCalculat::LoadFilters() {
    for (int s = 0; s < 3; ++s) {
        const auto c = SosSection::Lowpass(kFirstStageCutoff, 8000.0, kQ[s]);
        broad_[s].Load(c, true);
        firstI_[s].Load(c, false);
        firstQ_[s].Load(c, false);
    }
    // Second stage at 1000 Hz, sections in reverse Q order; the first carries
    // the gain of the whole cascade.
    const double fc = kSecondStageCutoff[bandwidthIndex_];
    double g = 1.0;
    for (int s = 0; s < 3; ++s) g *= SosSection::LowpassGain(fc, 1000.0, kQ[2 - s]);
    for (int s = 0; s < 3; ++s) {
        auto c = SosSection::Lowpass(fc, 1000.0, kQ[2 - s]);
        const double b = s == 0 ? g : 1.0;
        c[0] = b;
        c[1] = 2.0 * b;
        c[2] = b;
        secondI_[s].Load(c, true);
        secondQ_[s].Load(c, true);
    }
}

// ---------------------------------------------------------------------------
// Key transitions and character assembly

void TCalculat::KeyTransition(uint32_t durationMs, bool keyDown) {
    if (pendingCount_ == 0 && !keyDown) return;
    if (keyDown) {
        wordTimer_->Stop();
        muteTimer_->Start();
        flashTimer_->Stop();
    } else {
        wordTimer_->Start();
        muteTimer_->Stop();
        if (owner_ && owner_->FlashForWordSpace()) flashTimer_->Start();
    }
    pending_[1 + pendingCount_] = std::min(durationMs, kMaxDurationMs);
    ++pendingCount_;
    if (pendingCount_ > 2) CharacterEndCheck();
}

void TCalculat::CharacterEndCheck() {
    if (pendingCount_ <= 2) return;
    if (pendingCount_ >= kMaxElements) {
        pendingCount_ = kMaxElements;
        pending_[1 + kMaxElements] = kTimeoutMarker;
        FinishCharacter();
        return;
    }
    if ((pendingCount_ & 1) &&
        pending_[pendingCount_] >= static_cast<uint32_t>(elementSpaceLimit_))
        FinishCharacter();
}

void TCalculat::OnWordTimer() {
    wordTimer_->Stop();
    // Only a character whose last mark has ended can time out.
    if (pendingCount_ < 2 || (pendingCount_ & 1)) return;
    pending_[1 + pendingCount_] = kTimeoutMarker;
    FinishCharacter();
}

void TCalculat::OnMuteTimer() {
    muteTimer_->Stop();
    if (owner_) owner_->MuteOutput();
}

void TCalculat::OnFlashTimer() {
    flashTimer_->Stop();
    if (owner_ && owner_->FlashForWordSpace()) owner_->FlashKeyingDisplay();
}

void TCalculat::MergeGlitches() {
    // Element k lives in slot 1 + k.
    auto E = [this](int k) -> uint32_t& { return pending_[1 + k]; };
    const int n = pendingCount_;
    // When a new mark has begun, element n - 1 is the measured space that ends
    // the character. It is never absorbed into a glitch run (that would lose
    // the character end); a short mark just before it is merged into it.
    const int scanEnd = (n & 1) ? n - 1 : n;
    const uint32_t limit = static_cast<uint32_t>(glitchLimit_);
    int i = 1;
    while (i < scanEnd) {
        int j = i;
        uint32_t acc = 0;
        // A glitch is absorbed together with the element after it, so the
        // elements that follow keep their mark/space parity.
        while (E(j) <= limit) {
            acc += E(j);
            E(j) = 0;
            if (++j >= scanEnd) break;
            acc += E(j);
            E(j) = 0;
            if (++j >= scanEnd) break;
        }
        if (acc > 0) {
            if (i & 1)
                E(j < n ? j : i) += acc;
            else
                E(i - 1) += acc;  // a gap inside a mark: the mark swallows it
        }
        i = j + 1;
    }
}

void TCalculat::Report(TimingKind kind, uint32_t ms) {
    if (stats_) stats_->AddCurrentValue(kind, static_cast<int32_t>(std::min(ms, kMaxDurationMs)));
}

void TCalculat::FinishCharacter() {
    if (noiseBlank_) MergeGlitches();
    sums_.dotSum = sums_.dotCount = sums_.dashSum = sums_.dashCount = 0;
    sums_.elemSum = sums_.elemCount = sums_.charSum = sums_.charCount = 0;
    lastDash_ = 0;
    wordSpaceSeen_ = timedOut_ = false;
    pattern_ = 1;

    const int last = pendingCount_ & ~1;
    for (int k = 1; k <= last; ++k) {
        const uint32_t v = pending_[1 + k];
        if (v == 0) continue;  // merged away
        if (k & 1) {
            pattern_ <<= 1;
            if (v < static_cast<uint32_t>(dotDashLimit_)) {
                ++sums_.dotCount;
                sums_.dotSum += v;
                Report(TimingKind::Dot, v);
                lastDash_ = 0;
            } else {
                pattern_ |= 1;
                ++sums_.dashCount;
                sums_.dashSum += v;
                Report(TimingKind::Dash, v);
                lastDash_ = v;
            }
            continue;
        }
        if (v < static_cast<uint32_t>(elementSpaceLimit_)) {
            ++sums_.elemCount;
            sums_.elemSum += v;
            Report(TimingKind::ElementSpace, v);
            continue;
        }
        // The space that ends the character.
        if (v >= kTimeoutMarker) {
            ++sums_.wordCount;
            sums_.wordSum += nominalWordSpace_;
            timedOut_ = true;
        } else if (v < static_cast<uint32_t>(wordSpaceLimit_)) {
            ++sums_.charCount;
            sums_.charSum += v;
            Report(TimingKind::CharSpace, v);
        } else {
            ++sums_.wordCount;
            sums_.wordSum += v;
            wordSpaceSeen_ = true;
            Report(TimingKind::WordSpace, v);
        }
        if (lastDash_ > 0) Report(TimingKind::LastDash, lastDash_);
        StoreRecord();
        ComputeTempo();
        AverageTempo(static_cast<uint32_t>(newRecTempo_));
        if (stats_) stats_->UpdateDisplay();
        return;
    }
}

void TCalculat::StoreRecord() {
    pending_[1] = static_cast<uint32_t>(pendingCount_ & ~1);
    pending_[0] = pattern_;
    // When odd, the next character's first mark is already in progress.
    pendingCount_ = (pendingCount_ & 1) ? 1 : 0;
    histHead_ = (histHead_ + 1) % kHistorySize;
    history_[histHead_] = pending_;
    browsing_ = false;
    cursor_ = histHead_;
    cursorBack_ = 0;
    histCount_ = std::min(histCount_ + 1, kHistorySize);
    if (OnNewPattern) OnNewPattern(pattern_, wordSpaceSeen_, timedOut_);
}

void TCalculat::ComputeTempo() {
    if (sums_.dotCount > 0 || sums_.dashCount > 0) {
        const int64_t total =
            sums_.dotSum + sums_.dashSum + sums_.elemSum + sums_.charSum + sums_.wordSum;
        const int64_t units = sums_.dotCount + 3 * sums_.dashCount + sums_.elemCount +
                              3 * sums_.charCount + 7 * sums_.wordCount;
        dotEstimate_ = static_cast<int32_t>(std::min<int64_t>(total / units, INT32_MAX));
    }
    newRecTempo_ = dotEstimate_ >= 1 ? 6000 / dotEstimate_ : 0;
    if (OnNewTempo) OnNewTempo(static_cast<uint32_t>(newRecTempo_));
}

void TCalculat::AverageTempo(uint32_t t) {
    const int n = std::clamp(owner_ ? owner_->AverageLength() : 10, 1,
                             static_cast<int>(avgRing_.size()));
    avgRing_[avgWrite_] = t;
    avgWrite_ = (avgWrite_ + 1) % n;
    if (avgFill_ < n) ++avgFill_;
    uint64_t sum = 0;
    for (int i = 0; i < avgFill_; ++i) sum += avgRing_[i];
    avgTempo_ = static_cast<uint32_t>(sum / static_cast<uint64_t>(avgFill_));
    if (OnNewAvgTempo) OnNewAvgTempo(avgTempo_);
}

// ---------------------------------------------------------------------------
// Resets and history

void TCalculat::ResetElements() {
    pendingCount_ = 0;
    pending_.fill(0);
}

void TCalculat::ClearHistory() {
    pending_.fill(0);
    for (auto& rec : history_) rec.fill(0);
    histCount_ = 0;
    browsing_ = false;
}

void TCalculat::ResetAvgTempo() {
    avgRing_.fill(0);
    avgWrite_ = 0;
    avgFill_ = 0;
    avgTempo_ = 0;
    if (OnNewAvgTempo) OnNewAvgTempo(0);
}

void TCalculat::ClearTimingSums() { sums_ = Sums{}; }

void TCalculat::AddToSums(uint32_t mark, uint32_t space) {
    if (mark > 0) {
        if (mark < static_cast<uint32_t>(dotDashLimit_)) {
            ++sums_.dotCount;
            sums_.dotSum += mark;
        } else {
            ++sums_.dashCount;
            sums_.dashSum += mark;
        }
    }
    if (space > 0) {
        if (space < static_cast<uint32_t>(elementSpaceLimit_)) {
            ++sums_.elemCount;
            sums_.elemSum += space;
        } else if (space >= kTimeoutMarker) {
            ++sums_.wordCount;
            sums_.wordSum += nominalWordSpace_;
        } else if (space < static_cast<uint32_t>(wordSpaceLimit_)) {
            ++sums_.charCount;
            sums_.charSum += space;
        } else {
            ++sums_.wordCount;
            sums_.wordSum += space;
        }
    }
}

void TCalculat::AccumulateRecord(const CharRecord& rec) {
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    for (uint32_t k = 1; k <= n; k += 2) AddToSums(rec[1 + k], k + 1 <= n ? rec[2 + k] : 0);
    ComputeTempo();
}

void TCalculat::ShowRecordTiming(const CharRecord& rec) {
    if (!stats_) return;
    auto report = [this](TimingKind kind, uint32_t ms) {
        stats_->AddReplayValue(kind, static_cast<int32_t>(std::min(ms, kMaxDurationMs)));
    };
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    uint32_t lastDash = 0;
    for (uint32_t k = 1; k <= n; k += 2) {
        const uint32_t mark = rec[1 + k];
        const uint32_t space = k + 1 <= n ? rec[2 + k] : 0;
        if (mark > 0) {
            if (mark < static_cast<uint32_t>(dotDashLimit_)) {
                report(TimingKind::Dot, mark);
                lastDash = 0;
            } else {
                report(TimingKind::Dash, mark);
                lastDash = mark;
            }
        }
        if (space == 0) continue;
        if (space < static_cast<uint32_t>(elementSpaceLimit_)) {
            report(TimingKind::ElementSpace, space);
            continue;
        }
        if (space < kTimeoutMarker)
            report(space < static_cast<uint32_t>(wordSpaceLimit_) ? TimingKind::CharSpace
                                                                  : TimingKind::WordSpace,
                   space);
        if (lastDash > 0) report(TimingKind::LastDash, lastDash);
    }
    stats_->UpdateDisplay();
}

void TCalculat::GetCharRecord(uint32_t back, CharRecord& rec) const {
    int index = histHead_;
    if (browsing_)
        index = static_cast<int64_t>(back) > cursorBack_ ? cursor_
                                                          : Wrap(int64_t{histHead_} - back);
    const CharRecord& src = history_[index];
    const uint32_t n = std::min(src[1], kMaxRecordElements);
    rec[0] = src[0];
    rec[1] = n;
    std::copy_n(src.begin() + 2, n, rec.begin() + 2);
}

void TCalculat::GetReplayRecord(uint32_t back, CharRecord& rec) const {
    GetCharRecord(back, rec);
    const uint32_t n = rec[1];
    if (n >= 2 && rec[1 + n] >= kTimeoutMarker) rec[1 + n] = static_cast<uint32_t>(nominalWordSpace_);
}

int32_t TCalculat::MoveCursor(int32_t step) {
    if (step == kToOldest) {
        cursorBack_ = std::max(histCount_ - 1, 0);
        cursor_ = Wrap(int64_t{histHead_} - cursorBack_);
        browsing_ = true;
        return -cursorBack_;
    }
    if (step == kToNewest || step == 0 || (step > 0 && !browsing_)) {
        cursorBack_ = 0;
        cursor_ = histHead_;
        browsing_ = false;
        return 0;
    }
    if (step < 0) {
        int64_t m = -int64_t{step};
        // Never past the oldest record held.
        if (histCount_ - cursorBack_ <= m) m = histCount_ - cursorBack_ - 1;
        m = std::max<int64_t>(m, 0);
        cursor_ = Wrap(cursor_ - m);
        cursorBack_ += static_cast<int32_t>(m);
        if (m != 0) browsing_ = true;
        return static_cast<int32_t>(-m);
    }
    // Forward while browsing: never past the newest record, so the cursor
    // stays (HistHead - CursorBack) mod 512.
    const int32_t m = std::min(step, cursorBack_);
    cursor_ = Wrap(int64_t{cursor_} + m);
    cursorBack_ -= m;
    if (cursorBack_ == 0) browsing_ = false;
    return m;
}

// ---------------------------------------------------------------------------
// Signal chain

void TCalculat::ProcessSamples(const int16_t* samples, uint32_t count) {
    if (paused_ || samples == nullptr) return;
    // The owner sends blocks of exactly CalcSize samples. Anything else is cut
    // into CalcSize pieces, the last padded with silence, so that the element
    // timing stays in step with the samples.
    const uint32_t size = static_cast<uint32_t>(calcSize_);
    while (count > 0) {
        if (count >= size) {
            ProcessBlock(samples, static_cast<int>(size));
            samples += size;
            count -= size;
        } else {
            std::copy_n(samples, count, padded_.begin());
            std::fill(padded_.begin() + count, padded_.begin() + size, int16_t{0});
            ProcessBlock(padded_.data(), static_cast<int>(size));
            count = 0;
        }
    }
}

void TCalculat::ProcessBlock(const int16_t* samples, int n) {
    const int spb = n / 8;

    for (int i = 0; i < n; ++i) x_[i] = samples[i] * gain_;

    if (dcFilter_) {
        double prevIn = dcPrevIn_, prevOut = dcPrevOut_;
        for (int i = 0; i < n; ++i) {
            const double y = kDcA * x_[i] - kDcA * prevIn + kDcB * prevOut;
            prevIn = x_[i];
            prevOut = y;
            x_[i] = y;
        }
        dcPrevIn_ = prevIn;
        dcPrevOut_ = prevOut;
    }

    if (processMode_ == tProcessMode::broad) {
        for (int i = 0; i < n; ++i) {
            double y = std::fabs(x_[i]);
            for (auto& s : broad_) y = s.Step(y);
            if ((i & 7) == 7) envelope_[i / 8] = kBroadScale * y;
        }
    } else {
        uint32_t phase = osc_.Phase();
        const uint32_t step = osc_.Step();
        if (SameCoefficients(firstI_, firstQ_)) {
            // I and Q side by side in one vector: each lane does exactly the
            // arithmetic of its own section, in the same order.
            PairedCascade pair(firstI_, firstQ_);
            for (int i = 0; i < n; ++i) {
                const double s = kMixerScale * x_[i];
                V2 y = {s * mixCos_[phase], s * mixSin_[phase]};
                phase += step;
                if (phase >= 8000) phase -= 8000;
                y = pair.Step(y);
                if ((i & 7) == 7) {
                    decI_[i / 8] = y[0];
                    decQ_[i / 8] = y[1];
                }
            }
            pair.Store(firstI_, firstQ_);
        } else {
            // Local copies of the sections: their state stays in registers
            // instead of going through memory at every sample.
            std::array<SosSection, 3> fi = firstI_, fq = firstQ_;
            for (int i = 0; i < n; ++i) {
                const double s = kMixerScale * x_[i];
                double yi = s * mixCos_[phase];
                double yq = s * mixSin_[phase];
                phase += step;
                if (phase >= 8000) phase -= 8000;
                for (auto& f : fi) yi = f.Step(yi);
                for (auto& f : fq) yq = f.Step(yq);
                if ((i & 7) == 7) {
                    decI_[i / 8] = yi;
                    decQ_[i / 8] = yq;
                }
            }
            firstI_ = fi;
            firstQ_ = fq;
        }
        osc_.SetPhase(phase);
        if (SameCoefficients(secondI_, secondQ_)) {
            PairedCascade pair(secondI_, secondQ_);
            for (int j = 0; j < spb; ++j) {
                const V2 y = pair.Step(V2{decI_[j], decQ_[j]});
                envelope_[j] = std::sqrt(y[0] * y[0] + y[1] * y[1]);
            }
            pair.Store(secondI_, secondQ_);
        } else {
            for (int j = 0; j < spb; ++j) {
                double yi = decI_[j];
                double yq = decQ_[j];
                for (auto& f : secondI_) yi = f.Step(yi);
                for (auto& f : secondQ_) yq = f.Step(yq);
                envelope_[j] = std::sqrt(yi * yi + yq * yq);
            }
        }
    }

    double attack = 0.01, decay = 0.001;
    switch (timeConstant_) {
    case tTimeConstant::fast: attack = decay = 0.01; break;
    case tTimeConstant::medium: attack = decay = 0.003; break;
    case tTimeConstant::slow: attack = decay = 0.001; break;
    case tTimeConstant::off: attack = decay = 0.0; break;
    case tTimeConstant::dual: break;
    }

    const uint64_t blockStart = msCount_;
    for (int j = 0; j < spb; ++j) {
        const double env = envelope_[j];
        const double d = env - envAverage_;
        envAverage_ += d * (d > 0 ? attack : decay);
        peak_ = env > peak_ ? env : kPeakDecay * peak_;
        inputLevel_ = static_cast<int32_t>(peak_);
        // After a silence the average is near 0; without the floor the key
        // would stay down through the whole ring-down of the filters.
        threshold_[j] = std::max(0.5 * envAverage_, kPeakFloor * peak_);

        const double v = std::trunc(env - threshold_[j]);
        const bool wasOn = detectorState_;
        detectorState_ = detectorState_ ? v > 0.0 : v > kHysteresis;

        const uint64_t t = msCount_++;
        const size_t slot = t % kOnsetRing;
        envRing_[slot] = env;
        thrRing_[slot] = threshold_[j];
        stateRing_[slot] = detectorState_ ? 1 : 0;
        keyTrace_[j] = detectorState_ ? 10000 : 0;
        if (detectorState_ && !wasOn) {
            onsetOpen_ = true;
            onsetMs_ = t;
            onsetMax_ = env;
        } else if (onsetOpen_) {
            onsetMax_ = std::max(onsetMax_, env);
        }
        if (onsetOpen_ && (!detectorState_ || t - onsetMs_ >= kOnsetLag - 1)) ResolveOnset(t, blockStart);
        // The element timing runs kOnsetLag ms behind, so that a mark's start
        // is final before it is timed.
        keyStates_[j] = t >= kOnsetLag ? stateRing_[(t - kOnsetLag) % kOnsetRing] : 0;

        envTrace_[j] = static_cast<int32_t>(2.0 * env - 15000.0);
        thrTrace_[j] = static_cast<int32_t>(2.0 * threshold_[j] - 15000.0);
    }
    if (OnDataProcessed) OnDataProcessed(spb, envTrace_.data(), thrTrace_.data(), keyTrace_.data());

    TimeKeyStates(spb);
}

void TCalculat::ResolveOnset(uint64_t now, uint64_t blockStart) {
    // After a silence the threshold is near 0 and the key goes down at the
    // very foot of the envelope's rise, long before the tone is half up. Once
    // the mark's level is known, its start moves to where the envelope first
    // stood clear of the peak floor. Settled, the floor lies below the
    // threshold the key went down on, and nothing moves.
    onsetOpen_ = false;
    const double floor = kPeakFloor * onsetMax_;
    for (uint64_t m = onsetMs_; m <= now; ++m) {
        const size_t slot = m % kOnsetRing;
        if (std::trunc(envRing_[slot] - std::max(thrRing_[slot], floor)) > kHysteresis) break;
        stateRing_[slot] = 0;
        if (m >= blockStart) keyTrace_[m - blockStart] = 0;
    }
}

void TCalculat::TimeKeyStates(int spb) {
    // Elapsed times saturate after kEdgeBlockCap blocks; with small blocks at
    // slow speeds that cap would lie below the word timeout, and a character
    // followed by silence would never finish, so the cap reaches past it.
    const int64_t cap = std::max<int64_t>(kEdgeBlockCap, wordTimeout_ / std::max(spb, 1) + 2);
    for (int i = 0; i < spb; ++i) {
        const bool state = keyStates_[i] != 0;
        const int64_t blocks = std::min<int64_t>(blockNo_ - lastEdgeBlock_, cap);
        const int64_t elapsed = spb * blocks + (i - lastEdgeIndex_);
        const bool inMark = (pendingCount_ & 1) != 0;
        const bool edge = state != prevKeyState_ && state != inMark;
        prevKeyState_ = state;
        if (edge) {
            pending_[1 + pendingCount_] = static_cast<uint32_t>(std::max<int64_t>(elapsed, 0));
            ++pendingCount_;
            lastEdgeIndex_ = i;
            lastEdgeBlock_ = blockNo_;
            CharacterEndCheck();
        } else if (!inMark && pendingCount_ >= 2 && elapsed > wordTimeout_) {
            pending_[1 + pendingCount_] = kTimeoutMarker;
            FinishCharacter();
        }
    }
    ++blockNo_;
}
