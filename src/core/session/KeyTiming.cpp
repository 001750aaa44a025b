#include "session/KeyTiming.h"

void TKeyTiming::Reset() {
    lastClock_ = clock_.NowMs();
    lastStamp_ = 0;
    lastStamped_ = false;
    time_ = lastClock_;
}

uint32_t TKeyTiming::Transition(uint64_t eventTimestampMs) {
    const uint32_t now = clock_.NowMs();
    uint64_t duration;
    // Timestamps and clock readings come from different time bases; compare
    // like with like. A timestamp going backwards (a window-system restart
    // or wrap) cannot be trusted either, so the clock measures that one.
    if (eventTimestampMs != 0 && lastStamped_ && eventTimestampMs >= lastStamp_)
        duration = eventTimestampMs - lastStamp_;
    else
        duration = static_cast<uint32_t>(now - lastClock_);
    lastClock_ = now;
    lastStamp_ = eventTimestampMs;
    lastStamped_ = eventTimestampMs != 0;
    const uint32_t taken = duration > MaxDurationMs ? MaxDurationMs : static_cast<uint32_t>(duration);
    time_ += taken;
    return taken;
}
