#pragma once
// Phase-accumulating sine oscillator at 8000 samples per second with an
// integer frequency in hertz and a level.

#include "morse/SinusTab.h"

#include <cstdint>
#include <functional>
#include <string>

class TSinusGen {
public:
    TSinusGen();

    uint32_t SampleFreq() const { return sampleFreq_; }
    // The table is built for 8000 samples per period; any rate given stores 8000.
    void SetSampleFreq(uint32_t) { sampleFreq_ = 8000; }
    uint32_t Frequency() const { return frequency_; }
    void SetFrequency(uint32_t hz) {
        frequency_ = hz;
        step_ = hz % 8000;  // keeps the phase sum from overflowing for any value
    }
    double LeveldB() const { return leveldB_; }
    void SetLeveldB(double db);
    int32_t LevelInt() const { return levelInt_; }
    void SetLevelInt(int32_t v);
    double Level() const { return level_; }
    uint32_t Phase() const { return phase_; }
    bool Valid() const { return tab_.Valid(); }

    double Sine() const { return tab_.Sin(phase_) * level_; }
    double Cosine() const { return tab_.Sin(phase_ + tab_.Quarter()) * level_; }
    void Advance() { phase_ = (phase_ + step_) % sampleFreq_; }
    // The values Sine and Cosine give at phase p, for callers that tabulate
    // a whole period; SetPhase moves the phase on after such a run.
    double SineAt(uint32_t p) const { return tab_.Sin(p) * level_; }
    double CosineAt(uint32_t p) const { return tab_.Sin(p + tab_.Quarter()) * level_; }
    uint32_t Step() const { return step_; }
    void SetPhase(uint32_t p) { phase_ = p % sampleFreq_; }

    // Reports a table that could not be built; the owner words it for the user.
    static constexpr const char* kTableError = "Error: Failed to install sine tables";

private:
    uint32_t sampleFreq_ = 8000;
    uint32_t frequency_ = 400;
    uint32_t step_ = 400;
    uint32_t phase_ = 0;
    double leveldB_ = 0.0;
    double level_ = 1.0;
    int32_t levelInt_ = 32767;
    TSinusTab tab_{8000};
};
