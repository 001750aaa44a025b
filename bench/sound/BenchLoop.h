#pragma once
// What the sound benchmarks share: a steady clock in ns, waiting while the
// Qt event loop runs (the audio and serial events arrive through it), and
// percentiles of the measured delays.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

inline int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs the event loop until done() or ms have passed; false on the time-out.
template <typename Pred>
bool Run(Pred done, int ms, int pollUs = 200) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(pollUs);
    }
    return true;
}

inline void Pause(int ms) {
    Run([] { return false; }, ms);
}

inline double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * double(v.size() - 1) + 0.5));
    return v[i];
}
