#include "backends/QtClock.h"

#include <climits>

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(static_cast<int>(interval_));
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (OnTimer)
            OnTimer();
    });
}

void QtTimer::SetInterval(uint32_t ms) {
    interval_ = ms;
    const bool running = timer_.isActive();
    timer_.setInterval(ms > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(ms));
    if (running)
        timer_.start();  // a new interval restarts a running timer
}

void QtTimer::Start() { timer_.start(); }
