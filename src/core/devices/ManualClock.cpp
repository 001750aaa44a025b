#include "devices/ManualClock.h"

#include <algorithm>

class ManualClock::Timer : public ITimer {
public:
    explicit Timer(ManualClock* clock) : clock_(clock) {}
    ~Timer() override {
        if (clock_) {
            auto& v = clock_->timers_;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
    }
    void SetInterval(uint32_t ms) override {
        interval_ = ms;
        if (active_)
            Start();
    }
    uint32_t Interval() const override { return interval_; }
    void Start() override {
        if (!clock_)
            return;
        active_ = true;
        due_ = clock_->now_ + std::max<uint32_t>(interval_, 1);
        seq_ = ++clock_->seq_;
    }
    void Stop() override { active_ = false; }
    bool IsActive() const override { return active_; }

    ManualClock* clock_;
    uint32_t interval_ = 1000;
    bool active_ = false;
    uint64_t due_ = 0;
    uint64_t seq_ = 0;
};

ManualClock::~ManualClock() {
    for (Timer* t : timers_)
        t->clock_ = nullptr;
}

std::unique_ptr<ITimer> ManualClock::CreateTimer() {
    auto t = std::make_unique<Timer>(this);
    timers_.push_back(t.get());
    return t;
}

bool ManualClock::AnyTimerActive() const {
    return std::any_of(timers_.begin(), timers_.end(), [](const Timer* t) { return t->active_; });
}

ManualClock::Timer* ManualClock::Earliest() const {
    Timer* first = nullptr;
    for (Timer* t : timers_) {
        if (t->active_ &&
            (!first || t->due_ < first->due_ || (t->due_ == first->due_ && t->seq_ < first->seq_)))
            first = t;
    }
    return first;
}

bool ManualClock::NextDue(uint64_t& due) const {
    const Timer* first = Earliest();
    if (!first)
        return false;
    due = first->due_;
    return true;
}

void ManualClock::AdvanceTo(uint64_t t) {
    for (;;) {
        Timer* first = Earliest();
        if (!first || first->due_ > t)
            break;
        now_ = std::max(now_, first->due_);
        // Periodic: rearm before the handler so a Stop() inside it sticks.
        first->due_ = now_ + std::max<uint32_t>(first->interval_, 1);
        first->seq_ = ++seq_;
        if (first->OnTimer)
            first->OnTimer();
    }
    now_ = std::max(now_, t);
}
