#pragma once
// The private sound server of scripts/pulse.sh as seen from a Qt test: a
// null output "orvo_sink" and the source "orvo_rec" that records what was
// played into it. Without it the sound tests skip, unless ORVO_REQUIRE_SOUND
// is set (scripts/test.sh sets it): then a missing server is a failure.

#include "devices/SoundDeviceNames.h"

#include <QtTest>

namespace sound_harness {

inline bool Required() { return qEnvironmentVariableIntValue("ORVO_REQUIRE_SOUND") != 0; }

// Device number of the device with this id, or -1 when there is none.
inline int Find(const QList<QAudioDevice>& list, const char* id) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].id() == id) return i;
    return -1;
}
inline int OutputNumber() { return Find(OrderedOutputDevices(), "orvo_sink"); }
inline int RecorderNumber() { return Find(OrderedInputDevices(), "orvo_rec"); }
inline bool Present() { return OutputNumber() >= 0 && RecorderNumber() >= 0; }

}  // namespace sound_harness

// In a test function: skip (or fail, when required) without the server.
#define ORVO_NEED_SOUND_SERVER()                                                              \
    do {                                                                                      \
        if (!sound_harness::Present()) {                                                      \
            if (sound_harness::Required())                                                    \
                QFAIL("the sound test server is not running (scripts/pulse.sh start)");       \
            QSKIP("no sound test server: run scripts/pulse.sh start and export PULSE_SERVER"); \
        }                                                                                     \
    } while (0)
