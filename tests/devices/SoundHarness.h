#pragma once
// The private sound server of scripts/pulse.sh as seen from a Qt test: a
// null output "orvo_sink" and the source "orvo_rec" that records what was
// played into it. Without it the sound tests skip, unless ORVO_REQUIRE_SOUND
// is set (scripts/test.sh sets it): then a missing server is a failure.

#include "backends/SoundDeviceNames.h"
#include "backends/SoundIn.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <vector>

namespace sound_harness {

inline bool Required() { return qEnvironmentVariableIntValue("ORVO_REQUIRE_SOUND") != 0; }

// Device number of the device with this id, or -1 when there is none.
inline int Find(const QList<QAudioDevice>& list, const char* id) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].id() == id)
            return i;
    return -1;
}
inline int OutputNumber() { return Find(OrderedOutputDevices(), "orvo_sink"); }
inline int RecorderNumber() { return Find(OrderedInputDevices(), "orvo_rec"); }
inline bool Present() { return OutputNumber() >= 0 && RecorderNumber() >= 0; }

// Runs the event loop until done() or the time is up.
template <typename Pred>
bool WaitFor(Pred done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
inline void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

// Records from the server's recorder; keeps every sample.
struct Recorder {
    TSoundIn in;
    std::vector<int16_t> samples;
    Recorder(int channels, int bufferMs) {
        in.SetChannels(channels);
        in.SetBufferTime(bufferMs);
        in.SetDevice(RecorderNumber());
        in.OnBufferRecorded = [this](const int16_t* pb, uint32_t, uint32_t bytes) {
            samples.insert(samples.end(), pb, pb + bytes / 2);
        };
    }
    // Starts afresh and lets the device settle.
    bool Start() {
        samples.clear();
        if (!in.Start())
            return false;
        Pump(100);
        return true;
    }
};

}  // namespace sound_harness

// In a test function: skip (or fail, when required) without the server.
#define ORVO_NEED_SOUND_SERVER()                                                               \
    do {                                                                                       \
        if (!sound_harness::Present()) {                                                       \
            if (sound_harness::Required())                                                     \
                QFAIL("the sound test server is not running (scripts/pulse.sh start)");        \
            QSKIP("no sound test server: run scripts/pulse.sh start and export PULSE_SERVER"); \
        }                                                                                      \
    } while (0)
