#pragma once
// The desktop program's clock and timers: a monotonic millisecond clock and
// Qt timers that fire on the UI thread.

#include "devices/Timer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QtClock : public IClock {
public:
    QtClock() { timer_.start(); }
    uint32_t NowMs() const override { return static_cast<uint32_t>(timer_.elapsed()); }
    // The same clock as QElapsedTimer's reference, for comparing with event
    // timestamps taken from the same monotonic source.
    qint64 ElapsedMs() const { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
};

class QtTimer : public ITimer {
public:
    QtTimer();
    void SetInterval(uint32_t ms) override;
    uint32_t Interval() const override { return interval_; }
    void Start() override;
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    uint32_t interval_ = 1000;
};

class QtTimerFactory : public ITimerFactory {
public:
    std::unique_ptr<ITimer> CreateTimer() override { return std::make_unique<QtTimer>(); }
};
