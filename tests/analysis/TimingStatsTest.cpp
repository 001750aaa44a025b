#include "analysis/TimingStats.h"

#include <gtest/gtest.h>

namespace {
struct Stats {
    TTimingStats s;
    double dotSamples = 800;  // 60 CpM: reference dot 100 ms
    uint32_t avgSpeed = 0;
    int displays = 0;
    Stats() {
        s.WordTimeout = [] { return 900; };
        s.DotSamples = [this] { return dotSamples; };
        s.AverageSpeed = [this] { return avgSpeed; };
        s.OnDisplay = [this] { ++displays; };
        s.UpdateDisplay();
    }
    int32_t Last(TimingKind k) const { return s.Shown().last[static_cast<int>(k)]; }
    int32_t Avg(TimingKind k) const { return s.Shown().average[static_cast<int>(k)]; }
};
}  // namespace

TEST(TimingStats, PercentOfTargetReference) {
    Stats t;
    EXPECT_DOUBLE_EQ(t.s.RefDot(), 100.0);
    t.s.AddCurrentValue(TimingKind::Dot, 120);
    t.s.UpdateDisplay();
    EXPECT_EQ(t.Last(TimingKind::Dot), 120);
    t.s.ResetValues(0);
    t.s.AddCurrentValue(TimingKind::Dot, 100);
    t.s.AddCurrentValue(TimingKind::Dot, 121);
    t.s.UpdateDisplay();
    EXPECT_EQ(t.Avg(TimingKind::Dot), 110);
    EXPECT_EQ(t.s.Values(0, TimingKind::Dot).average, 110);
    EXPECT_TRUE(t.s.Shown().hasReference);

    // Truncation, not rounding: 48000 div 70 samples = 685, RefDot 85.625.
    t.dotSamples = 685;
    t.s.UpdateDisplay();
    EXPECT_EQ(t.s.Percent(100), 116);
    EXPECT_GT(t.displays, 3);
}

TEST(TimingStats, WordSpaceLimitFreezeAndReset) {
    Stats t;
    t.s.AddCurrentValue(TimingKind::WordSpace, 950);  // beyond the 900 ms word timeout
    EXPECT_EQ(t.s.Values(0, TimingKind::WordSpace).count, 0);
    t.s.AddCurrentValue(TimingKind::WordSpace, 700);
    t.s.UpdateDisplay();
    EXPECT_EQ(t.Last(TimingKind::WordSpace), 700);

    for (int i = 0; i < TTimingStats::kMaxCount; ++i) t.s.AddCurrentValue(TimingKind::Dot, 100);
    t.s.AddCurrentValue(TimingKind::Dot, 300);
    t.s.UpdateDisplay();
    EXPECT_EQ(t.s.Values(0, TimingKind::Dot).count, TTimingStats::kMaxCount);
    EXPECT_EQ(t.Avg(TimingKind::Dot), 100);
    EXPECT_EQ(t.Last(TimingKind::Dot), 300);

    t.s.AddReplayValue(TimingKind::Dash, 300);
    t.s.ResetValues(0);
    EXPECT_EQ(t.s.Values(0, TimingKind::Dot).count, 0);
    EXPECT_EQ(t.s.Values(1, TimingKind::Dash).count, 1);
    t.s.ResetValues(2);
    EXPECT_EQ(t.s.Values(1, TimingKind::Dash).count, 0);
}

TEST(TimingStats, WeightPerSet) {
    Stats t;
    auto feed = [&](int32_t dot, int32_t space) {
        t.s.ResetValues(2);
        t.s.AddCurrentValue(TimingKind::Dot, dot);
        t.s.AddCurrentValue(TimingKind::ElementSpace, space);
        t.s.AddReplayValue(TimingKind::Dot, dot);
        t.s.AddReplayValue(TimingKind::ElementSpace, space);
    };
    auto weight = [&](int set) {
        t.s.SetShownSet(set);
        t.s.UpdateDisplay();
        return t.s.Shown().weight;
    };
    feed(90, 110);
    EXPECT_EQ(weight(0), 45);
    EXPECT_EQ(weight(1), 45);
    feed(3, 5);  // 37.5 %: nearest even for live input, truncated for replay
    EXPECT_EQ(weight(0), 38);
    EXPECT_EQ(weight(1), 37);
    feed(1, 7);  // 12.5 %
    EXPECT_EQ(weight(0), 12);

    // Both averages 0 %: no division by zero, weight 0.
    t.dotSamples = 80000;  // reference dot 10 s
    feed(5, 5);
    EXPECT_EQ(weight(0), 0);
    EXPECT_EQ(weight(1), 0);

    // No dot yet: average and weight stay 0.
    t.dotSamples = 800;
    t.s.ResetValues(2);
    t.s.AddCurrentValue(TimingKind::ElementSpace, 100);
    EXPECT_EQ(weight(0), 0);
    EXPECT_EQ(t.Avg(TimingKind::ElementSpace), 100);
    EXPECT_EQ(t.Avg(TimingKind::Dot), 0);
}

TEST(TimingStats, AverageSpeedReference) {
    Stats t;
    t.s.SetReference(TTimingStats::Reference::AverageSpeed);
    t.s.AddCurrentValue(TimingKind::Dot, 100);
    t.s.UpdateDisplay();
    EXPECT_FALSE(t.s.Shown().hasReference);
    EXPECT_EQ(t.Last(TimingKind::Dot), 0);
    EXPECT_EQ(t.Avg(TimingKind::Dot), 0);
    EXPECT_EQ(t.s.Shown().weight, 0);

    t.avgSpeed = 70;  // 6000 div 70 = 85 ms
    t.s.UpdateDisplay();
    EXPECT_TRUE(t.s.Shown().hasReference);
    EXPECT_DOUBLE_EQ(t.s.RefDot(), 85.0);
    EXPECT_EQ(t.Last(TimingKind::Dot), 117);
}
