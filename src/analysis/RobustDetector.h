#pragma once
// A keyed-tone detector for noisy recordings: a quadrature mixer with a
// moving-sum filter matched to the keying speed, a noise floor with a
// squelch (noise alone and a steady carrier key nothing), and edge times
// placed between samples at half of each mark's own level. It hands out key
// transitions with their times in ms to a key-edge sink, as the analyser's
// own tone detector does.

#include "analysis/KeyEdgeSink.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TRobustDetector {
public:
    // centerHz: the tone; dotMs: the dot length the filter is matched to.
    TRobustDetector(int32_t centerHz, double dotMs);

    // The dot length now keyed: sets the shortest mark and gap kept and the
    // longest mark before a tone counts as a carrier (not the filter).
    void SetDot(double dotMs);

    // Samples at 8000 Hz, any count.
    void Process(const int16_t* samples, size_t n);
    // The end of the input: a mark still open ends here.
    void Finish();

    // No transition before this time (ms) will be handed out any more.
    double SettledMs() const;

    // Receives the key transitions in time order and, after each call of
    // Process, SettledMs as the time reached; may be null.
    void SetSink(IKeyEdgeSink* sink) { sink_ = sink; }

private:
    enum class State { idle, mark, gap, carrier };

    double Env(int64_t n) const { return env_[static_cast<size_t>(n) & kRingMask]; }
    void EndMark(int64_t start, int64_t end);
    double Crossing(int64_t from, double thr, bool rising, int64_t lo, int64_t hi) const;

    static constexpr size_t kRing = 32768;  // 4 s of envelope
    static constexpr size_t kRingMask = kRing - 1;

    int32_t step_;
    int32_t phase_ = 0;
    std::vector<int16_t> cos_, sin_;
    int32_t len_;  // moving-sum length, samples
    std::vector<int32_t> ringI_, ringQ_;
    size_t pos_ = 0;
    int64_t sumI_ = 0, sumQ_ = 0;
    double scale_;
    std::vector<float> env_;

    int64_t n_ = 0;  // samples processed
    State state_ = State::idle;
    int64_t markStart_ = 0, gapStart_ = 0, lastMarkEnd_ = -1000000;
    double floor_ = 0.0;
    double level_ = 0.0;
    int64_t minMark_ = 0, minGap_ = 0, maxMark_ = 0;
    double lastEdgeMs_ = 0.0;
    IKeyEdgeSink* sink_ = nullptr;
};
