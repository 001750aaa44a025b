#pragma once
// Times the operator's key transitions. Durations come from the input
// events' own timestamps (the window system's time of the press), so a busy
// UI thread does not stretch or shrink what was keyed. Events without a
// timestamp fall back to the monotonic clock.

#include "devices/Timer.h"

#include <cstdint>

class TKeyTiming {
public:
    // Longest duration handed to the analyser: one hour.
    static constexpr uint32_t MaxDurationMs = 3600000;

    explicit TKeyTiming(const IClock& clock) : clock_(clock) { Reset(); }

    // Starts timing afresh from now (the next transition measures from here).
    void Reset();
    // Length of the state that ends with an event stamped eventTimestampMs
    // (0 = the event carries no timestamp), capped at MaxDurationMs.
    uint32_t Transition(uint64_t eventTimestampMs);
    // When the last transition happened, on the clock's scale: the reading
    // at Reset advanced by every duration since, so that the differences of
    // these times are exactly the durations handed on.
    uint64_t Time() const { return time_; }

private:
    const IClock& clock_;
    uint32_t lastClock_ = 0;    // clock reading at the previous transition
    uint64_t lastStamp_ = 0;    // event timestamp of the previous transition
    bool lastStamped_ = false;  // the previous transition had a timestamp
    uint64_t time_ = 0;
};
