#pragma once
// A sound input with two devices that, while started, records what the
// test hands it.

#include "devices/NullSound.h"

#include <vector>

struct FakeSoundIn : TNullSoundIn {
    bool startOk = true, active = false;
    int devices = 2, device = -99;
    int DeviceCount() const override { return devices; }
    bool SetDevice(int id) override {
        device = id;
        return true;
    }
    bool Start() override { return active = startOk; }
    bool Stop() override {
        active = false;
        return true;
    }
    bool IsActive() const override { return active; }
    // In buffers of the set size; a part left over is not recorded.
    void Record(const std::vector<int16_t>& s) {
        const size_t n = size_t(BufferSamples());
        for (size_t i = 0; active && OnBufferRecorded && i + n <= s.size(); i += n)
            OnBufferRecorded(s.data() + i, uint32_t(n), uint32_t(n * 2));
    }
    // One buffer of `value`.
    void Record(int16_t value) { Record(std::vector<int16_t>(size_t(BufferSamples()), value)); }
};
