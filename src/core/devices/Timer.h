#pragma once
// Clock and timer interfaces through which the core sees time. The desktop
// program backs them with a monotonic clock and Qt timers on the UI thread;
// tests and the command-line tool use ManualClock and drive time by hand.

#include <cstdint>
#include <functional>
#include <memory>

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
    virtual uint32_t NowMs() const = 0;
};

// A periodic timer that fires on the owner's thread. start() (re)starts a
// full interval from now; changing the interval of a running timer restarts it.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void SetInterval(uint32_t ms) = 0;
    virtual uint32_t Interval() const = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

    std::function<void()> OnTimer;
};

class ITimerFactory {
public:
    virtual ~ITimerFactory() = default;
    virtual std::unique_ptr<ITimer> CreateTimer() = 0;
};
