#include "cwout_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

namespace {

using StateRuns = std::vector<std::pair<uint32_t, int>>;

CharRecord Rec(std::initializer_list<uint32_t> ms) {
    CharRecord r{};
    r[0] = 1;
    r[1] = static_cast<uint32_t>(ms.size());
    int k = 2;
    for (uint32_t v : ms) r[k++] = v;
    return r;
}

double Wave(int hz, int64_t i) {
    return std::sin(6.283185307179586 * double((hz * i) % 8000) / 8000.0);
}

TEST(CWoutReplay, StatesSamplesAndEvents) {
    CwHarness h;
    h.cw.SetFrequency2(600);
    h.cw.LoadPattern(Rec({100, 100, 300, 300}));  // the letter a
    h.RunSlots(9700, true);
    EXPECT_EQ(Runs(h.states), (StateRuns{{0, 2400}, {4, 10}, {5, 790}, {7, 10}, {8, 790}, {4, 10},
                                         {5, 2390}, {7, 10}, {8, 2390}, {9, 800}, {0, 100}}));
    EXPECT_EQ(h.Order(), "pstart plast pend ");
    EXPECT_EQ(h.Named("pstart")[0].pos, 2400);
    EXPECT_EQ(h.Named("plast")[0].pos, 6400);
    EXPECT_EQ(h.Named("pend")[0].pos, 9600);

    // Marks last exactly their recorded length including a 10-sample rise;
    // the fall belongs to the following space.
    auto env = [](int64_t i) {
        auto mark = [](int64_t k, int64_t len) -> double {
            if (k < 0 || k >= len + 10) return 0;
            if (k < 10) return double(k + 1) / 11;
            if (k < len) return 1;
            return double(10 - (k - len)) / 11;
        };
        return mark(i - 2400, 800) + mark(i - 4000, 2400);
    };
    for (int64_t i = 0; i < int64_t(h.out.size()); ++i)
        ASSERT_NEAR(h.out[i], env(i) * 32500 * Wave(600, i), 1.01) << i;
}

TEST(CWoutReplay, ShortMarkHasNoRise) {
    CwHarness h;
    h.cw.LoadPattern(Rec({1, 50}));
    h.RunSlots(3700, true);
    EXPECT_EQ(Runs(h.states), (StateRuns{{0, 2400}, {5, 8}, {7, 10}, {8, 390}, {9, 800}, {0, 92}}));
    for (int64_t i = 2400; i < 2408; ++i) ASSERT_NEAR(h.out[i], 32500 * Wave(800, i), 1.01);
    for (int64_t k = 0; k < 10; ++k)
        ASSERT_NEAR(h.out[2408 + k], (10 - k) / 11.0 * 32500 * Wave(800, 2408 + k), 1.01);
}

TEST(CWoutReplay, ChainedRecordKeepsRecordedSpace) {
    CwHarness h;
    const CharRecord second = Rec({300, 100});
    bool chained = false;
    auto log = h.cw.OnPatternLastSpace;
    h.cw.OnPatternLastSpace = [&] {
        log();
        if (!chained) {
            chained = true;
            h.cw.LoadPattern(second);
        }
    };
    h.cw.LoadPattern(Rec({100, 100, 100, 150}));
    h.Run(14, 800, true);
    EXPECT_EQ(h.Order(), "pstart plast pstart plast pend ");
    const auto starts = h.Named("pstart");
    EXPECT_EQ(starts[0].pos, 2400);
    EXPECT_EQ(h.Named("plast")[0].pos, 4800);
    EXPECT_EQ(starts[1].pos, 4800 + 1200);  // exactly the recorded 150 ms
    EXPECT_EQ(h.Named("plast")[1].pos, 6000 + 2400);
    EXPECT_EQ(h.Named("pend")[0].pos, 8400 + 800 + 800);
    EXPECT_TRUE(h.cw.IsIdle());
    // After the end the replay stays silent instead of starting over.
    for (int64_t i = 10000; i < int64_t(h.out.size()); ++i) ASSERT_EQ(h.out[i], 0);
}

TEST(CWoutReplay, AbortEndsWithClosingSilence) {
    CwHarness h;
    h.cw.LoadPattern(Rec({500, 100}));
    h.Run(1, 2500, true);  // 100 samples into the mark
    h.cw.AbortPattern();
    h.Run(2, 800, true);
    EXPECT_EQ(h.Order(), "pstart pend ");
    EXPECT_EQ(h.Named("pend")[0].pos, 2500 + 800);
    for (int64_t i = 2500; i < int64_t(h.out.size()); ++i) ASSERT_EQ(h.out[i], 0);
}

TEST(CWoutReplay, StereoReplayIsLeftOnly) {
    CwHarness h;
    h.cw.SetStereo(true);
    h.cw.LoadPattern(Rec({100, 100}));
    h.Run(7, 800, true);
    ASSERT_EQ(h.Order(), "pstart plast pend ");
    EXPECT_EQ(h.Named("pstart")[0].pos, 2400);
    EXPECT_EQ(h.Named("pend")[0].pos, 2400 + 1600 + 800);
    for (int16_t r : h.other) ASSERT_EQ(r, 0);
    for (int64_t i = 2410; i < 3200; ++i) ASSERT_NEAR(h.out[i], 32500 * Wave(800, i), 1.01);
}

TEST(CWoutReplay, LoadWhileTextHoldsPtt) {
    CwHarness h;
    h.cw.Start();
    h.cw.PutChar('e');
    h.Run(7);  // e sent at 4800; PTT still held
    ASSERT_TRUE(h.cw.PttOn());
    h.cw.LoadPattern(Rec({100, 100}));
    EXPECT_FALSE(h.cw.PttOn());
    ASSERT_EQ(h.Named("ptt").size(), 2u);
    EXPECT_EQ(h.Named("ptt")[1].arg, 0);
    h.Run(7, 800, true);
    EXPECT_EQ(h.Named("pstart")[0].pos, 5600 + 2400);
    EXPECT_EQ(h.Named("pend").size(), 1u);
    // Back to text: idle, no second PTT-off.
    h.Run(20);
    EXPECT_EQ(h.Named("ptt").size(), 2u);
}

TEST(CWoutReplay, MalformedRecordsAreClamped) {
    CwHarness h;
    CharRecord r{};
    r.fill(20);
    r[1] = 0xFFFFFFFFu;
    h.cw.LoadPattern(r);
    EXPECT_EQ(h.cw.PatCount(), 64);
    h.Run(20, 800, true);
    EXPECT_EQ(h.Named("pend").size(), 1u);

    CwHarness odd;
    odd.cw.LoadPattern(Rec({100, 100, 100}));  // ends on a mark
    odd.Run(8, 800, true);
    EXPECT_EQ(odd.Order(), "pstart plast pend ");
    EXPECT_EQ(odd.Named("pend")[0].pos, 2400 + 2400 + 800);
}

}  // namespace
