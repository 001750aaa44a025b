#include "analysis/CharAssembler.h"

#include <algorithm>

namespace {

constexpr uint32_t kMaxDurationMs = 3600000;

TimingKind ReportedAs(ElementKind k) {
    switch (k) {
        case ElementKind::Dot:
            return TimingKind::Dot;
        case ElementKind::Dash:
            return TimingKind::Dash;
        case ElementKind::ElementSpace:
            return TimingKind::ElementSpace;
        case ElementKind::CharSpace:
            return TimingKind::CharSpace;
        default:
            return TimingKind::WordSpace;
    }
}

}  // namespace

bool CharAssembler::Add(uint32_t ms) {
    pending_[1 + count_] = ms;
    ++count_;
    return EndCheck();
}

bool CharAssembler::EndCheck() {
    if (count_ <= 2)
        return false;
    if (count_ >= kMaxElements) {
        count_ = kMaxElements;
        pending_[1 + kMaxElements] = kTimeoutMarker;
        return Finish();
    }
    // A new mark has begun after a space long enough to end the character.
    return InMark() && thr_.EndsCharacter(pending_[count_]) && Finish();
}

bool CharAssembler::TimeOut() {
    // Only a character whose last mark has ended can time out.
    if (count_ < 2 || InMark())
        return false;
    pending_[1 + count_] = kTimeoutMarker;
    return Finish();
}

void CharAssembler::Reset() {
    count_ = 0;
    pending_.fill(0);
}

void CharAssembler::MergeGlitches() {
    auto E = [this](int k) -> uint32_t& { return pending_[1 + k]; };
    const int n = count_;
    // When a new mark has begun, element n - 1 is the measured space that ends
    // the character. It is never absorbed into a glitch run (that would lose
    // the character end); a short mark just before it is merged into it.
    const int scanEnd = (n & 1) ? n - 1 : n;
    const uint32_t limit = static_cast<uint32_t>(thr_.glitchLimit);
    int i = 1;
    while (i < scanEnd) {
        int j = i;
        uint32_t acc = 0;
        // A glitch is absorbed together with the element after it, so the
        // elements that follow keep their mark/space parity.
        while (E(j) <= limit) {
            acc += E(j);
            E(j) = 0;
            if (++j >= scanEnd)
                break;
            acc += E(j);
            E(j) = 0;
            if (++j >= scanEnd)
                break;
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

void CharAssembler::Report(TimingKind kind, uint32_t ms) {
    if (stats_)
        stats_->AddCurrentValue(kind, static_cast<int32_t>(std::min(ms, kMaxDurationMs)));
}

bool CharAssembler::Finish() {
    if (noiseBlank_)
        MergeGlitches();
    uint32_t lastDash = 0;
    wordSpaceSeen_ = timedOut_ = false;
    pattern_ = 1;

    const int last = count_ & ~1;
    for (int k = 1; k <= last; ++k) {
        const uint32_t v = pending_[1 + k];
        if (v == 0)
            continue;  // merged away
        const ElementKind kind = thr_.Classify(v, (k & 1) != 0);
        if (k & 1) {
            pattern_ <<= 1;
            if (kind == ElementKind::Dash)
                pattern_ |= 1;
            lastDash = kind == ElementKind::Dash ? v : 0;
            Report(ReportedAs(kind), v);
            continue;
        }
        if (kind == ElementKind::ElementSpace) {
            Report(TimingKind::ElementSpace, v);
            continue;
        }
        // The space that ends the character; a timeout reports no value.
        if (kind == ElementKind::TimedOut)
            timedOut_ = true;
        else
            Report(ReportedAs(kind), v);
        wordSpaceSeen_ = kind == ElementKind::WordSpace;
        if (lastDash > 0)
            Report(TimingKind::LastDash, lastDash);
        pending_[1] = static_cast<uint32_t>(last);
        pending_[0] = pattern_;
        // When odd, the next character's first mark is already in progress.
        count_ = (count_ & 1) ? 1 : 0;
        return true;
    }
    return false;
}
