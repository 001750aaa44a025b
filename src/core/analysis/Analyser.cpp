#include "analysis/Analyser.h"

#include <algorithm>
#include <cmath>

namespace {

// The main window passes at most one hour as a key-mode duration.
constexpr uint32_t kMaxDurationMs = 3600000;
// Elapsed signal time saturates after this many blocks (at least).
constexpr int64_t kEdgeBlockCap = 80;

}  // namespace

TAnalyser::TAnalyser(ITimerFactory& timers, IAnalyserOwner* owner, ITimingSink* stats)
    : owner_(owner), stats_(stats), assembler_(thr_, stats) {
    wordTimer_ = timers.CreateTimer();
    muteTimer_ = timers.CreateTimer();
    flashTimer_ = timers.CreateTimer();
    wordTimer_->OnTimer = [this] { OnWordTimer(); };
    muteTimer_->OnTimer = [this] { OnMuteTimer(); };
    flashTimer_->OnTimer = [this] { OnFlashTimer(); };
    // Derive the thresholds for the default speed at once, so that a timer
    // never runs with a zero interval before the owner assigns the speed.
    SetTempo(tempo_);
}

TAnalyser::~TAnalyser() = default;

// ---------------------------------------------------------------------------
// Properties

void TAnalyser::SetTempo(int32_t cpm) {
    tempo_ = std::clamp(cpm, 10, 300);
    SetThresholds(6000 / tempo_);
    detector_.LoadFilters();
    RenewRobust();
}

void TAnalyser::SetRobust(bool on) {
    if (on == Robust())
        return;
    if (!on) {
        robust_.reset();
        return;
    }
    robust_ = std::make_unique<TRobustDetector>(0, 0.0, 100.0);  // replaced at once
    RenewRobust();
}

void TAnalyser::RenewRobust() {
    // A new band or speed: a new detector, starting from the samples to come.
    if (!robust_)
        return;
    const bool broad = detector_.ProcessMode() == tProcessMode::broad;
    robust_ = std::make_unique<TRobustDetector>(
        static_cast<int32_t>(detector_.CenterFreq()),
        TRobustDetector::HalfBand(broad, static_cast<int32_t>(detector_.BandwidthIndex())), 6000.0 / tempo_);
    robustEdges_.offsetMs = static_cast<double>(detector_.ElapsedMs());
    robust_->SetSink(&robustEdges_);
}

void TAnalyser::RobustTraces(int spb) {
    // In the tone detector's units: its mixer and gain applied to the
    // amplitude the robust detector measures.
    const double scale = 1.2 * std::pow(10.0, detector_.InputScaledB() / 20.0);
    const std::vector<float>& levels = robust_->Levels();
    const std::vector<uint8_t>& keyed = robust_->Keyed();
    const int32_t thr = static_cast<int32_t>(2.0 * scale * robust_->OnLevel() - 15000.0);
    for (int j = 0; j < spb && j < kMaxDecimated; ++j) {
        const size_t k = std::min(static_cast<size_t>(j), levels.empty() ? 0 : levels.size() - 1);
        const double v = levels.empty() ? 0.0 : levels[k];
        robustEnv_[static_cast<size_t>(j)] = static_cast<int32_t>(std::min(2.0 * scale * v - 15000.0, 1e9));
        robustThr_[static_cast<size_t>(j)] = thr;
        robustKey_[static_cast<size_t>(j)] = !keyed.empty() && keyed[k] ? 10000 : 0;
    }
}

void TAnalyser::FollowDot(int32_t dotMs) { SetThresholds(std::clamp(dotMs, 20, 600)); }

void TAnalyser::SetThresholds(int32_t dotMs) {
    thr_ = Thresholds::ForDot(dotMs);
    wordTimer_->SetInterval(static_cast<uint32_t>(thr_.wordTimeout));
    muteTimer_->SetInterval(static_cast<uint32_t>(thr_.muteDelay));
    flashTimer_->SetInterval(static_cast<uint32_t>(thr_.flashDelay));
}

void TAnalyser::SetCalcSize(int32_t samples) { calcSize_ = std::clamp(samples, 80, kMaxBlock); }

// ---------------------------------------------------------------------------
// Key transitions and finished characters

void TAnalyser::KeyTransition(uint32_t durationMs, bool keyDown) {
    if (assembler_.Count() == 0 && !keyDown)
        return;
    if (keyDown) {
        wordTimer_->Stop();
        muteTimer_->Start();
        flashTimer_->Stop();
    } else {
        wordTimer_->Start();
        muteTimer_->Stop();
        if (owner_ && owner_->FlashForWordSpace())
            flashTimer_->Start();
    }
    if (assembler_.Add(std::min(durationMs, kMaxDurationMs)))
        CharacterFinished();
}

void TAnalyser::OnWordTimer() {
    wordTimer_->Stop();
    if (assembler_.TimeOut())
        CharacterFinished();
}

void TAnalyser::OnMuteTimer() {
    muteTimer_->Stop();
    if (owner_)
        owner_->MuteOutput();
}

void TAnalyser::OnFlashTimer() {
    flashTimer_->Stop();
    if (owner_ && owner_->FlashForWordSpace())
        owner_->FlashKeyingDisplay();
}

void TAnalyser::CharacterFinished() {
    const CharRecord& rec = assembler_.Record();
    // The character's own speed, measured at the thresholds it was keyed
    // at: the OnNewPattern handler may move them.
    const CharSpeed speed = SpeedSums::Measure(rec, thr_);
    history_.Store(rec);
    if (OnNewPattern)
        OnNewPattern(assembler_.Pattern(), assembler_.WordSpaceSeen(), assembler_.TimedOut());
    const uint32_t t = speed_.Take(speed);
    if (OnNewTempo)
        OnNewTempo(t);
    const uint32_t avg = speed_.AverageTempo(t, owner_ ? owner_->AverageLength() : 10);
    if (OnNewAvgTempo)
        OnNewAvgTempo(avg);
    if (stats_)
        stats_->UpdateDisplay();
}

// ---------------------------------------------------------------------------
// Resets, history and records

void TAnalyser::ClearHistory() {
    assembler_.ClearLive();
    history_.Clear();
}

void TAnalyser::ResetAvgTempo() {
    speed_.ResetAverage();
    if (OnNewAvgTempo)
        OnNewAvgTempo(0);
}

void TAnalyser::AccumulateRecord(const CharRecord& rec) {
    speed_.AddRecord(rec, thr_);
    const uint32_t t = speed_.ComputeTempo();
    if (OnNewTempo)
        OnNewTempo(t);
}

void TAnalyser::ShowRecordTiming(const CharRecord& rec) {
    if (!stats_)
        return;
    auto report = [this](TimingKind kind, uint32_t ms) {
        stats_->AddReplayValue(kind, static_cast<int32_t>(std::min(ms, kMaxDurationMs)));
    };
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    uint32_t lastDash = 0;
    for (uint32_t k = 1; k <= n; k += 2) {
        const uint32_t mark = rec[1 + k];
        const uint32_t space = k + 1 <= n ? rec[2 + k] : 0;
        if (mark > 0) {
            const bool dash = thr_.Classify(mark, true) == ElementKind::Dash;
            report(dash ? TimingKind::Dash : TimingKind::Dot, mark);
            lastDash = dash ? mark : 0;
        }
        if (space == 0)
            continue;
        switch (thr_.Classify(space, false)) {
            case ElementKind::ElementSpace:
                report(TimingKind::ElementSpace, space);
                continue;
            case ElementKind::CharSpace:
                report(TimingKind::CharSpace, space);
                break;
            case ElementKind::WordSpace:
                report(TimingKind::WordSpace, space);
                break;
            default:
                break;  // the timeout marker has no value of its own
        }
        if (lastDash > 0)
            report(TimingKind::LastDash, lastDash);
    }
    stats_->UpdateDisplay();
}

void TAnalyser::GetReplayRecord(uint32_t back, CharRecord& rec) const {
    GetCharRecord(back, rec);
    const uint32_t n = rec[1];
    if (n >= 2 && rec[1 + n] >= kTimeoutMarker)
        rec[1 + n] = static_cast<uint32_t>(thr_.nominalWordSpace);
}

// ---------------------------------------------------------------------------
// Samples, and elements timed in the signal's time

void TAnalyser::ProcessSamples(const int16_t* samples, uint32_t count) {
    if (paused_ || samples == nullptr)
        return;
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

void TAnalyser::ProcessBlock(const int16_t* samples, int n) {
    const int spb = detector_.ProcessBlock(samples, n);
    if (robust_) {
        robust_->Process(samples, static_cast<size_t>(n));
        RobustTraces(spb);
        if (OnDataProcessed)
            OnDataProcessed(spb, robustEnv_.data(), robustThr_.data(), robustKey_.data());
        return;
    }
    if (OnDataProcessed)
        OnDataProcessed(spb, detector_.EnvTrace(), detector_.ThrTrace(), detector_.KeyTrace());
    detector_.EmitEdges(*this);
}

int64_t TAnalyser::SignalElapsed(int64_t ms) const {
    // Elapsed times saturate after kEdgeBlockCap blocks, counted in whole
    // blocks plus the offsets within them; with small blocks at slow speeds
    // that cap would lie below the word timeout, and a character followed by
    // silence would never finish, so the cap reaches past it.
    const int64_t spb = std::max(calcSize_ / 8, 1);
    const int64_t cap = std::max<int64_t>(kEdgeBlockCap, thr_.wordTimeout / spb + 2);
    const int64_t blocks = ms / spb - lastEdgeMs_ / spb;
    return spb * std::min(blocks, cap) + (ms % spb - lastEdgeMs_ % spb);
}

void TAnalyser::SignalTimeout(int64_t ms) {
    // Silence up to `ms` since the last edge: past the word timeout, the
    // character in progress is finished (the cap lies beyond the timeout, so
    // the plain difference decides).
    if (!assembler_.InMark() && assembler_.Count() >= 2 && ms - lastEdgeMs_ > thr_.wordTimeout &&
        assembler_.TimeOut())
        CharacterFinished();
}

void TAnalyser::KeyEdge(double ms, bool down) {
    const int64_t t = static_cast<int64_t>(ms);
    SignalTimeout(t - 1);
    // A transition the element count already shows (the key went up while
    // nothing was pending) starts no element.
    if (down == assembler_.InMark())
        return;
    if (OnKeyEdge)
        OnKeyEdge(ms, down);
    const int64_t elapsed = SignalElapsed(t);
    lastEdgeMs_ = t;
    if (assembler_.Add(static_cast<uint32_t>(std::max<int64_t>(elapsed, 0))))
        CharacterFinished();
}

void TAnalyser::KeyTime(double ms) { SignalTimeout(static_cast<int64_t>(ms) - 1); }
