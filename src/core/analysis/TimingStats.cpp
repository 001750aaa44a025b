#include "analysis/TimingStats.h"

#include <cmath>

namespace {
int Index(TimingKind kind) { return static_cast<int>(kind); }
}  // namespace

int32_t TTimingStats::Percent(int32_t ms) const {
    if (!(refDot_ > 0.0))
        return 0;
    const double p = std::trunc(ms * 100.0 / refDot_);
    if (p >= 2147483647.0)
        return 2147483647;
    if (p <= -2147483647.0)
        return -2147483647;
    return static_cast<int32_t>(p);
}

const TTimingStats::KindValues& TTimingStats::Values(int set, TimingKind kind) const {
    return sets_[set == kLastReplay ? kLastReplay : kCurrentInput][Index(kind)];
}

void TTimingStats::Add(int set, TimingKind kind, int32_t ms) {
    if (kind == TimingKind::WordSpace && WordTimeout && ms > WordTimeout())
        return;
    KindValues& v = sets_[set][Index(kind)];
    v.lastMs = ms;
    if (kind != TimingKind::LastDash)
        v.lastPercent = Percent(ms);
    if (v.count >= kMaxCount)
        return;
    // Saturate rather than wrap: a frozen average beats a negative one.
    const int64_t sum = int64_t{v.sum} + ms;
    if (sum > 2147483647)
        return;
    ++v.count;
    v.sum = static_cast<int32_t>(sum);
    v.average = Percent(v.sum / v.count);
}

bool TTimingStats::ComputeReference() {
    if (reference_ == Reference::TargetSpeed) {
        refDot_ = DotSamples ? DotSamples() / 8.0 : 0.0;
        return true;
    }
    const uint32_t avg = AverageSpeed ? AverageSpeed() : 0;
    if (avg < 1) {
        refDot_ = 0.0;
        return false;
    }
    refDot_ = static_cast<double>(6000 / avg);
    return true;
}

TTimingStats::Display TTimingStats::Compute() const {
    Display d;
    d.refDot = refDot_;
    const auto& set = sets_[shownSet_];
    for (int k = 0; k < kKinds; ++k) {
        const KindValues& v = set[k];
        if (static_cast<TimingKind>(k) != TimingKind::LastDash)
            d.last[k] = Percent(v.lastMs);
        if (v.lastMs != 0 && v.count > 0)
            d.average[k] = Percent(v.sum / v.count);
    }
    const int32_t dot = d.average[Index(TimingKind::Dot)];
    const int32_t space = d.average[Index(TimingKind::ElementSpace)];
    // No dot yet, or both averages 0: the weight is undefined and shows 0.
    if (set[Index(TimingKind::Dot)].lastMs != 0 && dot + space != 0) {
        if (shownSet_ == kCurrentInput)
            d.weight = static_cast<int32_t>(std::nearbyint(dot * 100.0 / (dot + space)));
        else
            d.weight = static_cast<int32_t>(int64_t{dot} * 100 / (int64_t{dot} + space));
    }
    return d;
}

void TTimingStats::UpdateDisplay() {
    if (ComputeReference()) {
        shown_ = Compute();
        shown_.hasReference = true;
    } else {
        shown_ = Display{};
    }
    if (OnDisplay)
        OnDisplay();
}

void TTimingStats::ResetValues(int which) {
    if (which == kCurrentInput || which == 2)
        sets_[kCurrentInput] = {};
    if (which == kLastReplay || which == 2)
        sets_[kLastReplay] = {};
    UpdateDisplay();
}
