#pragma once
// Bookkeeping behind the "Show Timing Values" window: two independent sets of
// element timings ("Current Input" from live keying, "Last Replay" from
// replayed characters) and the numbers the window shows, in percent of a
// reference dot (dot 100, dash 300, element space 100, character space 300,
// word space 700, weight 50 %). The window itself only draws the result.

#include "analysis/AnalyserOwner.h"

#include <array>
#include <cstdint>
#include <functional>

class TTimingStats : public ITimingSink {
public:
    static constexpr int kCurrentInput = 0;
    static constexpr int kLastReplay = 1;
    static constexpr int kKinds = 6;
    // Averages stop changing once a kind has this many values.
    static constexpr int32_t kMaxCount = 32767;

    enum class Reference { TargetSpeed, AverageSpeed };

    struct KindValues {
        int32_t lastMs = 0;
        int32_t lastPercent = 0;
        int32_t count = 0;
        int32_t sum = 0;
        int32_t average = 0;
    };

    // What the window shows for the chosen set.
    struct Display {
        // False when the average speed is the reference and none is known:
        // the caption is empty and every number is 0.
        bool hasReference = false;
        double refDot = 0.0;
        // Indexed by TimingKind; the last-dash kind has no last value.
        std::array<int32_t, kKinds> last{};
        std::array<int32_t, kKinds> average{};
        int32_t weight = 0;
    };

    // The analyser's word timeout in ms; longer word spaces are ignored.
    std::function<int32_t()> WordTimeout;
    // The generator's dot length in samples at 8000 Hz ("Target Speed").
    std::function<double()> DotSamples;
    // The analyser's moving average speed in CpM ("Average Speed").
    std::function<uint32_t()> AverageSpeed;
    // Called after every recomputation of the display.
    std::function<void()> OnDisplay;

    TTimingStats() = default;

    void AddCurrentValue(TimingKind kind, int32_t ms) override { Add(kCurrentInput, kind, ms); }
    void AddReplayValue(TimingKind kind, int32_t ms) override { Add(kLastReplay, kind, ms); }
    // Recomputes the reference and the shown numbers, then calls OnDisplay.
    void UpdateDisplay() override;
    // 0 = Current Input, 1 = Last Replay, 2 = both, 3 = none; then redisplays.
    void ResetValues(int which);

    int ShownSet() const { return shownSet_; }
    void SetShownSet(int set) { shownSet_ = set == kLastReplay ? kLastReplay : kCurrentInput; }
    Reference ReferenceKind() const { return reference_; }
    void SetReference(Reference r) { reference_ = r; }

    double RefDot() const { return refDot_; }
    // ms in percent of the reference dot, truncated; 0 without a reference.
    int32_t Percent(int32_t ms) const;
    const KindValues& Values(int set, TimingKind kind) const;
    // The numbers computed by the last UpdateDisplay.
    const Display& Shown() const { return shown_; }

private:
    void Add(int set, TimingKind kind, int32_t ms);
    bool ComputeReference();
    Display Compute() const;

    std::array<std::array<KindValues, kKinds>, 2> sets_{};
    int shownSet_ = kCurrentInput;
    Reference reference_ = Reference::TargetSpeed;
    double refDot_ = 0.0;
    Display shown_{};
};
