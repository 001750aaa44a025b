#pragma once
// A clock and timer source driven by hand: time moves only in Advance/AdvanceTo,
// and every timer due on the way fires at its own moment, in due order.

#include "devices/Timer.h"

#include <cstdint>
#include <vector>

class ManualClock : public IClock, public ITimerFactory {
public:
    ManualClock() = default;
    ~ManualClock() override;
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    uint32_t NowMs() const override { return static_cast<uint32_t>(now_); }
    uint64_t Now() const { return now_; }

    std::unique_ptr<ITimer> CreateTimer() override;

    // Moves time forward to t (never backwards), firing due timers on the way.
    void AdvanceTo(uint64_t t);
    void Advance(uint64_t ms) { AdvanceTo(now_ + ms); }
    // True while any timer is running.
    bool AnyTimerActive() const;
    // Due time of the earliest running timer; false when none runs.
    bool NextDue(uint64_t& due) const;

private:
    class Timer;
    Timer* Earliest() const;
    uint64_t now_ = 0;
    uint64_t seq_ = 0;  // keeps timers due at the same moment in start order
    std::vector<Timer*> timers_;
};
