#include "CWoutHarness.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

using StateRuns = std::vector<std::pair<uint32_t, int>>;

CharRecord Rec(std::initializer_list<uint32_t> ms) {
    CharRecord r{1, static_cast<uint32_t>(ms.size())};
    std::copy(ms.begin(), ms.end(), r.begin() + 2);
    return r;
}

// Envelope of a replayed mark of `len` samples starting at k = 0: a 10-sample
// rise within the mark, the fall in the following space.
double Mark(int64_t k, int64_t len) {
    if (k < 0 || k >= len + 10)
        return 0;
    if (k < 10)
        return double(k + 1) / 11;
    return k < len ? 1 : double(10 - (k - len)) / 11;
}

TEST(CWoutReplay, StatesSamplesAndEvents) {
    CwHarness h;
    h.cw.SetKeyFrequency(600);
    h.cw.LoadPattern(Rec({100, 100, 300, 300}));  // the letter a
    h.RunSlots(9700, true);
    EXPECT_EQ(Runs(h.states), (StateRuns{{0, 2400},
                                         {4, 10},
                                         {5, 790},
                                         {7, 10},
                                         {8, 790},
                                         {4, 10},
                                         {5, 2390},
                                         {7, 10},
                                         {8, 2390},
                                         {9, 800},
                                         {0, 100}}));
    EXPECT_EQ(h.Timeline(), "pstart@2400 plast@6400 pend@9600 ");
    ExpectSamples(h.out, 0, h.out.size(), [](int64_t i) {
        return (Mark(i - 2400, 800) + Mark(i - 4000, 2400)) * 32500 * Wave(600, i);
    });

    // A mark shorter than the rise sounds at full level with no rise.
    CwHarness s;
    s.cw.LoadPattern(Rec({1, 50}));
    s.RunSlots(3700, true);
    EXPECT_EQ(Runs(s.states), (StateRuns{{0, 2400}, {5, 8}, {7, 10}, {8, 390}, {9, 800}, {0, 92}}));
    ExpectSamples(s.out, 2400, 2418, [](int64_t i) {
        return (i < 2408 ? 1.0 : (10 - (i - 2408)) / 11.0) * 32500 * Wave(800, i);
    });
}

TEST(CWoutReplay, ChainedRecordKeepsRecordedSpace) {
    CwHarness h;
    bool chained = false;
    auto log = h.cw.OnPatternLastSpace;
    h.cw.OnPatternLastSpace = [&] {
        log();
        if (!std::exchange(chained, true))
            h.cw.LoadPattern(Rec({300, 100}));
    };
    h.cw.LoadPattern(Rec({100, 100, 100, 150}));
    h.Run(14, 800, true);
    // The second starts exactly the recorded 150 ms after the first's last space began.
    EXPECT_EQ(h.Timeline(), "pstart@2400 plast@4800 pstart@6000 plast@8400 pend@10000 ");
    EXPECT_TRUE(h.cw.IsIdle());
    ExpectSamples(h.out, 10000, h.out.size(), [](int64_t) { return 0; });  // no start over
}

TEST(CWoutReplay, AbortStereoAndMalformedRecords) {
    CwHarness h;
    h.cw.LoadPattern(Rec({500, 100}));
    h.Run(1, 2500, true);  // 100 samples into the mark
    h.cw.AbortPattern();
    h.Run(2, 800, true);
    EXPECT_EQ(h.Timeline(), "pstart@2400 pend@3300 ");  // then the closing silence
    ExpectSamples(h.out, 2500, h.out.size(), [](int64_t) { return 0; });

    CwHarness st;  // stereo replay is on the left only
    st.cw.SetStereo(true);
    st.cw.LoadPattern(Rec({100, 100}));
    st.Run(7, 800, true);
    EXPECT_EQ(st.Timeline(), "pstart@2400 plast@3200 pend@4800 ");
    ExpectSamples(st.other, 0, st.other.size(), [](int64_t) { return 0; });
    ExpectSamples(st.out, 2410, 3200, [](int64_t i) { return 32500 * Wave(800, i); });

    CwHarness m;
    CharRecord r{};
    r.fill(20);
    r[1] = 0xFFFFFFFFu;
    m.cw.LoadPattern(r);
    EXPECT_EQ(m.cw.PatCount(), 64);
    m.Run(20, 800, true);
    EXPECT_EQ(m.Named("pend").size(), 1u);
    CwHarness odd;
    odd.cw.LoadPattern(Rec({100, 100, 100}));  // ends on a mark
    odd.Run(8, 800, true);
    EXPECT_EQ(odd.Timeline(), "pstart@2400 plast@4800 pend@5600 ");
}

TEST(CWoutReplay, LoadWhileTextHoldsPtt) {
    CwHarness h;
    h.Send("e", 7);  // e sent at 4800; PTT still held
    ASSERT_TRUE(h.cw.PttOn());
    h.cw.LoadPattern(Rec({100, 100}));
    EXPECT_FALSE(h.cw.PttOn());
    h.Run(7, 800, true);
    h.Run(20);  // back to text: idle, no second PTT-off
    EXPECT_EQ(h.Order(), "run ptt+ start sent last ptt- pstart plast pend ");
    EXPECT_EQ(h.Named("pstart")[0].pos, 5600 + 2400);
}

}  // namespace
