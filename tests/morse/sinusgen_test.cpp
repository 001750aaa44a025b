#include "morse/SinusGen.h"
#include "morse/sinustab.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(SinusTab, QuarterPointsAreExact) {
    TSinusTab t(8000);
    ASSERT_TRUE(t.Valid());
    EXPECT_EQ(t.Sin(0), 0.0);
    EXPECT_EQ(t.Sin(2000), 1.0);
    EXPECT_EQ(t.Sin(4000), 0.0);
    EXPECT_EQ(t.Sin(6000), -1.0);
    for (uint32_t p : {1u, 777u, 1999u, 2001u, 3999u, 4001u, 5999u, 6001u, 7999u, 8000u + 123u})
        EXPECT_NEAR(t.Sin(p), std::sin(p * 6.283185307179586 / 8000), 1e-12) << p;
    EXPECT_FALSE(TSinusTab(999).Valid());
    EXPECT_FALSE(TSinusTab(8001).Valid());
    EXPECT_EQ(TSinusTab(500).Sin(2000), 0.0);
}

int Period(uint32_t hz) {
    TSinusGen g;
    g.SetFrequency(hz);
    int n = 0;
    do {
        g.Advance();
        ++n;
    } while (g.Phase() != 0 && n < 10000);
    return n;
}

TEST(SinusGen, PeriodsRepeatExactly) {
    EXPECT_EQ(Period(800), 10);
    EXPECT_EQ(Period(960), 25);
    TSinusGen g;
    g.SetFrequency(800);
    g.Advance();
    g.Advance();  // phase 1600
    EXPECT_NEAR(g.Cosine(), std::cos(1600 * 6.283185307179586 / 8000), 1e-12);
    // Absurd frequencies must not wrap the phase arithmetic.
    g.SetFrequency(0xFFFFFFFFu);
    for (int i = 0; i < 3; ++i) g.Advance();
    EXPECT_LT(g.Phase(), 8000u);
    EXPECT_EQ(g.Frequency(), 0xFFFFFFFFu);
}

TEST(SinusGen, Levels) {
    TSinusGen g;
    EXPECT_EQ(g.SampleFreq(), 8000u);
    EXPECT_EQ(g.Frequency(), 400u);
    EXPECT_EQ(g.LevelInt(), 32767);
    g.SetSampleFreq(44100);
    EXPECT_EQ(g.SampleFreq(), 8000u);

    g.SetLeveldB(-6);
    EXPECT_NEAR(g.Level(), 0.501, 0.001);
    EXPECT_EQ(g.LevelInt(), 16422);
    g.SetFrequency(2000);
    g.Advance();
    EXPECT_DOUBLE_EQ(g.Sine(), g.Level());

    g.SetLevelInt(0);
    EXPECT_NEAR(g.LeveldB(), -90.31, 0.01);
    EXPECT_EQ(g.Sine(), 0.0);
    g.SetLevelInt(40000);
    EXPECT_EQ(g.LevelInt(), 32767);
    EXPECT_NEAR(g.LeveldB(), 0.0, 1e-12);
}

}  // namespace
