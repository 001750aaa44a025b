#include "morse/SinusGen.h"
#include "morse/SinusTab.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

TEST(SinusTab, QuarterPointsExactAndSizeChecked) {
    TSinusTab t(8000);
    ASSERT_TRUE(t.Valid());
    for (auto [p, v] : {std::pair{0u, 0.0}, {2000u, 1.0}, {4000u, 0.0}, {6000u, -1.0}})
        EXPECT_EQ(t.Sin(p), v) << p;
    for (uint32_t p : {1u, 777u, 1999u, 2001u, 3999u, 4001u, 5999u, 6001u, 7999u, 8000u + 123u})
        EXPECT_NEAR(t.Sin(p), std::sin(p * kTwoPi / 8000), 1e-12) << p;
    EXPECT_FALSE(TSinusTab(999).Valid());
    EXPECT_FALSE(TSinusTab(8001).Valid());
    EXPECT_EQ(TSinusTab(500).Sin(2000), 0.0);
}

TEST(SinusGen, PeriodsRepeatExactlyAndLevels) {
    for (auto [hz, period] : {std::pair{800u, 10}, {960u, 25}}) {
        TSinusGen g;
        g.SetFrequency(hz);
        int n = 0;
        do
            g.Advance();
        while (++n < 10000 && g.Phase() != 0);
        EXPECT_EQ(n, period) << hz;
    }
    TSinusGen g;
    g.SetFrequency(800);
    g.Advance();
    g.Advance();  // phase 1600
    EXPECT_NEAR(g.Cosine(), std::cos(1600 * kTwoPi / 8000), 1e-12);
    g.SetFrequency(0xFFFFFFFFu);  // absurd frequencies must not wrap the phase arithmetic
    for (int i = 0; i < 3; ++i)
        g.Advance();
    EXPECT_LT(g.Phase(), 8000u);

    TSinusGen l;
    l.SetSampleFreq(44100);  // the rate is fixed
    EXPECT_EQ(l.SampleFreq(), 8000u);
    l.SetLeveldB(-6);
    EXPECT_EQ(l.LevelInt(), 16422);
    l.SetFrequency(2000);
    l.Advance();
    EXPECT_DOUBLE_EQ(l.Sine(), l.Level());
    EXPECT_NEAR(l.Level(), 0.501, 0.001);
    l.SetLevelInt(0);
    EXPECT_NEAR(l.LeveldB(), -90.31, 0.01);
    EXPECT_EQ(l.Sine(), 0.0);
    l.SetLevelInt(40000);
    EXPECT_EQ(l.LevelInt(), 32767);
    EXPECT_NEAR(l.LeveldB(), 0.0, 1e-12);
}

}  // namespace
