#include "analysis/SpeedSums.h"

#include <algorithm>

void SpeedSums::Add(ElementKind kind, uint32_t ms, int32_t nominalWordSpace) {
    switch (kind) {
        case ElementKind::Dot:
            ++sums_.dotCount;
            sums_.dotSum += ms;
            break;
        case ElementKind::Dash:
            ++sums_.dashCount;
            sums_.dashSum += ms;
            break;
        case ElementKind::ElementSpace:
            ++sums_.elemCount;
            sums_.elemSum += ms;
            break;
        case ElementKind::CharSpace:
            ++sums_.charCount;
            sums_.charSum += ms;
            break;
        case ElementKind::WordSpace:
            ++sums_.wordCount;
            sums_.wordSum += ms;
            break;
        // No further keying followed: a timed-out space counts as 7 dots.
        case ElementKind::TimedOut:
            ++sums_.wordCount;
            sums_.wordSum += nominalWordSpace;
            break;
    }
}

void SpeedSums::AddRecord(const CharRecord& rec, const Thresholds& thr) {
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    for (uint32_t k = 1; k <= n; k += 2) {
        const uint32_t mark = rec[1 + k];
        const uint32_t space = k + 1 <= n ? rec[2 + k] : 0;
        if (mark > 0)
            Add(thr.Classify(mark, true), mark, thr.nominalWordSpace);
        if (space > 0)
            Add(thr.Classify(space, false), space, thr.nominalWordSpace);
    }
}

CharSpeed SpeedSums::Speed() const {
    CharSpeed s;
    s.timed = sums_.dotCount > 0 || sums_.dashCount > 0;
    if (s.timed) {
        const int64_t total = sums_.dotSum + sums_.dashSum + sums_.elemSum + sums_.charSum + sums_.wordSum;
        const int64_t units = sums_.dotCount + 3 * sums_.dashCount + sums_.elemCount + 3 * sums_.charCount +
                              7 * sums_.wordCount;
        s.dotEstimate = static_cast<int32_t>(std::min<int64_t>(total / units, INT32_MAX));
        s.cpm = s.dotEstimate >= 1 ? static_cast<uint32_t>(6000 / s.dotEstimate) : 0;
    }
    return s;
}

CharSpeed SpeedSums::Measure(const CharRecord& rec, const Thresholds& thr) {
    SpeedSums s;
    s.AddRecord(rec, thr);
    return s.Speed();
}

uint32_t SpeedSums::Take(const CharSpeed& s) {
    if (s.timed)
        dotEstimate_ = s.dotEstimate;
    newRecTempo_ = dotEstimate_ >= 1 ? 6000 / dotEstimate_ : 0;
    return static_cast<uint32_t>(newRecTempo_);
}

uint32_t SpeedSums::ComputeTempo() { return Take(Speed()); }

uint32_t SpeedSums::AverageTempo(uint32_t t, int n) {
    n = std::clamp(n, 1, static_cast<int>(avgRing_.size()));
    avgRing_[avgWrite_] = t;
    avgWrite_ = (avgWrite_ + 1) % n;
    if (avgFill_ < n)
        ++avgFill_;
    uint64_t sum = 0;
    for (int i = 0; i < avgFill_; ++i)
        sum += avgRing_[i];
    avgTempo_ = static_cast<uint32_t>(sum / static_cast<uint64_t>(avgFill_));
    return avgTempo_;
}

void SpeedSums::ResetAverage() {
    avgRing_.fill(0);
    avgWrite_ = 0;
    avgFill_ = 0;
    avgTempo_ = 0;
}
