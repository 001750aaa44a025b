#include "analysis/TimingStats.h"

#include <gtest/gtest.h>

namespace {
using K = TimingKind;
struct Stats {
    TTimingStats s;
    double dotSamples = 800;  // 60 CpM: reference dot 100 ms
    uint32_t avgSpeed = 0;
    Stats() {
        s.WordTimeout = [] { return 900; };
        s.DotSamples = [this] { return dotSamples; };
        s.AverageSpeed = [this] { return avgSpeed; };
    }
    const auto& Shown() {
        s.UpdateDisplay();
        return s.Shown();
    }
    int32_t Last(K k) { return Shown().last[static_cast<int>(k)]; }
    int32_t Avg(K k) { return Shown().average[static_cast<int>(k)]; }
    // Fresh values in both sets; the weight shown for one of them.
    int32_t Weight(int set, int32_t dot, int32_t space) {
        s.ResetValues(2);
        for (auto add : {&TTimingStats::AddCurrentValue, &TTimingStats::AddReplayValue}) {
            (s.*add)(K::Dot, dot);
            (s.*add)(K::ElementSpace, space);
        }
        s.SetShownSet(set);
        return Shown().weight;
    }
};
}  // namespace

TEST(TimingStats, PercentOfTargetOrAverageSpeed) {
    Stats t;
    int displays = 0;
    t.s.OnDisplay = [&] { ++displays; };
    t.s.AddCurrentValue(K::Dot, 100);
    t.s.AddCurrentValue(K::Dot, 121);
    EXPECT_EQ(t.Last(K::Dot), 121);
    EXPECT_EQ(t.Avg(K::Dot), 110);
    EXPECT_TRUE(t.Shown().hasReference);
    EXPECT_GT(displays, 0);
    // Truncation, not rounding: 48000 div 70 samples = 685, RefDot 85.625.
    t.dotSamples = 685;
    t.s.UpdateDisplay();
    EXPECT_EQ(t.s.Percent(100), 116);

    Stats a;
    a.s.SetReference(TTimingStats::Reference::AverageSpeed);
    a.s.AddCurrentValue(K::Dot, 100);
    EXPECT_FALSE(a.Shown().hasReference);  // no average speed yet: nothing shown
    EXPECT_EQ(a.Last(K::Dot), 0);
    EXPECT_EQ(a.Avg(K::Dot), 0);
    EXPECT_EQ(a.Shown().weight, 0);
    a.avgSpeed = 70;  // 6000 div 70 = 85 ms
    EXPECT_TRUE(a.Shown().hasReference);
    EXPECT_DOUBLE_EQ(a.s.RefDot(), 85.0);
    EXPECT_EQ(a.Last(K::Dot), 117);
}

TEST(TimingStats, WordSpaceLimitFreezeAndReset) {
    Stats t;
    t.s.AddCurrentValue(K::WordSpace, 950);  // beyond the 900 ms word timeout
    EXPECT_EQ(t.s.Values(0, K::WordSpace).count, 0);
    t.s.AddCurrentValue(K::WordSpace, 700);
    EXPECT_EQ(t.Last(K::WordSpace), 700);

    // Once full, the average freezes; the last value still moves.
    for (int i = 0; i < TTimingStats::kMaxCount; ++i)
        t.s.AddCurrentValue(K::Dot, 100);
    t.s.AddCurrentValue(K::Dot, 300);
    EXPECT_EQ(t.s.Values(0, K::Dot).count, TTimingStats::kMaxCount);
    EXPECT_EQ(t.Avg(K::Dot), 100);
    EXPECT_EQ(t.Last(K::Dot), 300);

    t.s.AddReplayValue(K::Dash, 300);
    t.s.ResetValues(0);
    EXPECT_EQ(t.s.Values(0, K::Dot).count, 0);
    EXPECT_EQ(t.s.Values(1, K::Dash).count, 1);
    t.s.ResetValues(2);
    EXPECT_EQ(t.s.Values(1, K::Dash).count, 0);
}

TEST(TimingStats, WeightPerSet) {
    Stats t;
    // {set, dot, space, weight}: 37.5 % is rounded to even live, truncated in replay.
    for (auto [set, dot, space, weight] :
         {std::array{0, 90, 110, 45}, {1, 90, 110, 45}, {0, 3, 5, 38}, {1, 3, 5, 37}, {0, 1, 7, 12}})
        EXPECT_EQ(t.Weight(set, dot, space), weight) << dot << "/" << space << " set " << set;

    // Both averages 0 %: no division by zero.
    t.dotSamples = 80000;  // reference dot 10 s
    EXPECT_EQ(t.Weight(0, 5, 5), 0);
    EXPECT_EQ(t.Weight(1, 5, 5), 0);

    // No dot yet: average and weight stay 0.
    t.dotSamples = 800;
    t.s.ResetValues(2);
    t.s.AddCurrentValue(K::ElementSpace, 100);
    t.s.SetShownSet(0);
    EXPECT_EQ(t.Shown().weight, 0);
    EXPECT_EQ(t.Avg(K::ElementSpace), 100);
    EXPECT_EQ(t.Avg(K::Dot), 0);
}
