#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

TEST(SosFilter, ButterworthDesign) {
    const double deg = std::numbers::pi / 180.0;
    const double q[3] = {1 / (2 * std::cos(75 * deg)), 1 / (2 * std::cos(45 * deg)),
                         1 / (2 * std::cos(15 * deg))};
    const auto c = SosSection::Lowpass(100.0, 8000.0, q[0]);
    EXPECT_NEAR(c[0], 0.0015106566692, 1e-12);
    EXPECT_NEAR(c[4], -1.9541522675, 1e-9);
    EXPECT_NEAR(c[5], 0.9601948942, 1e-9);

    // Gain of the 1000 Hz second stage per bandwidth cutoff.
    for (auto [cutoff, gain] : {std::pair{12.5, 3.160701390262691e-09},
                                {25.0, 1.753654971984057e-07},
                                {62.5, 2.882589194400282e-05},
                                {125.0, 0.00105164679630761}}) {
        double g = 1.0;
        for (double qs : q)
            g *= SosSection::LowpassGain(cutoff, 1000.0, qs);
        EXPECT_NEAR(g / gain, 1.0, 1e-9) << cutoff;
    }

    SosSection lp;  // unity DC gain settles on a constant input
    lp.Load(c, true);
    double y = 0;
    for (int i = 0; i < 20000; ++i)
        y = lp.Step(1.0);
    EXPECT_NEAR(y, 1.0, 1e-9);
}

namespace {
// A chain at 60 CpM, bandwidth index 2, logging its key trace and envelope.
struct Chain {
    ManualClock clock;
    TAnalyser c{clock, nullptr, nullptr};
    std::vector<int32_t> env, key;
    std::vector<PatternEvent> patterns;
    explicit Chain(int32_t calcSize = 800, int32_t tempo = 60) {
        c.SetBandwidthIndex(2);
        c.SetTempo(tempo);
        c.SetCalcSize(calcSize);
        LogPatterns(c, patterns);
        c.OnDataProcessed = [this](int l, const int32_t* e, const int32_t*, const int32_t* k) {
            env.insert(env.end(), e, e + l);
            key.insert(key.end(), k, k + l);
        };
    }
    bool KeyAll(size_t from, int32_t value) const {
        return std::all_of(key.begin() + from, key.end(), [value](int32_t k) { return k == value; });
    }
};

double Envelope(int32_t trace) { return (trace + 15000) / 2.0; }
}  // namespace

TEST(SignalChain, CentredToneKeysOnOffCentreOnlyInBroadMode) {
    Chain ch;
    Feed(ch.c, std::vector<int16_t>(8000, 0));  // 1 s of silence stays off
    ASSERT_EQ(ch.key.size(), 1000u);
    EXPECT_TRUE(ch.KeyAll(0, 0));
    EXPECT_EQ(ch.c.InputLevel(), 0);

    Feed(ch.c, KeyedTone(800, 1000, {2000}));
    const auto firstOn = std::find(ch.key.begin() + 1000, ch.key.end(), 10000) - ch.key.begin();
    EXPECT_LT(firstOn, 1000 + 20);
    EXPECT_TRUE(ch.KeyAll(firstOn, 10000));
    const double env = Envelope(ch.env.back());
    EXPECT_GT(env, 1100.0);
    EXPECT_LT(env, 1230.0);
    EXPECT_NEAR(ch.c.InputLevel(), env, 30.0);

    // Off-centre: the abrupt start is a broadband click that may key
    // briefly; the tone itself must not.
    Chain off;
    Feed(off.c, KeyedTone(1000, 32767, {1000}));
    EXPECT_TRUE(off.KeyAll(100, 0));
    EXPECT_LT(Envelope(*std::max_element(off.env.begin() + 200, off.env.end())), 1.0);
    off.c.SetProcessMode(tProcessMode::broad);
    Feed(off.c, KeyedTone(2500, 3000, {500}));
    EXPECT_EQ(off.key.back(), 10000);
}

TEST(SignalChain, ClampsAndPausedBlocksChangeNothing) {
    Chain ch;
    TAnalyser& c = ch.c;
    for (auto [set, freq] : {std::pair{50u, 100u}, {4001u, 4000u}, {800u, 800u}}) {
        c.SetCenterFreq(set);
        EXPECT_EQ(c.CenterFreq(), freq);
    }
    for (auto [set, size] : {std::pair{10, 80}, {5000, 1600}, {800, 800}}) {
        c.SetCalcSize(set);
        EXPECT_EQ(c.CalcSize(), size);
    }
    Feed(c, KeyedTone(800, 4000, {300}));
    const int32_t level = c.InputLevel(), pending = c.PendingCount();
    const size_t traces = ch.key.size();
    ASSERT_GT(level, 0);
    c.SetPaused(true);
    Feed(c, std::vector<int16_t>(8000, 0));
    EXPECT_EQ(c.InputLevel(), level);
    EXPECT_EQ(c.PendingCount(), pending);
    EXPECT_EQ(ch.key.size(), traces);
    c.SetPaused(false);
    Feed(c, std::vector<int16_t>(800, 0));
    EXPECT_EQ(ch.key.size(), traces + 100);
}

TEST(SampleStreamTiming, KeyedToneGivesKeyedLengths) {
    Chain ch;
    // Silence, "a" (100/100/300), a character space, "e", then silence.
    Feed(ch.c, KeyedTone(800, 8000, {0, 500, 100, 100, 300, 400, 100, 1500}));
    ASSERT_EQ(ch.patterns, (std::vector<PatternEvent>{{5, false, false}, {2, false, true}}));
    const CharRecord& a = ch.c.HistoryRecord(ch.c.HistHead() - 1);
    ASSERT_EQ(a[1], 4u);
    const uint32_t keyed[4] = {100, 100, 300, 400};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(a[2 + k], keyed[k], 10.0) << k;
    const CharRecord& e = ch.c.HistoryRecord(ch.c.HistHead());
    EXPECT_NEAR(e[2], 100.0, 10.0);
    EXPECT_EQ(e[3], kTimeoutMarker);

    // Blocks of 10 ms at 10 CpM: the 5400 ms word timeout still fires.
    Chain slow(80, 10);
    Feed(slow.c, KeyedTone(800, 8000, {0, 200, 600, 7000}));
    EXPECT_EQ(slow.patterns, (std::vector<PatternEvent>{{2, false, true}}));
}

TEST(SampleStreamTiming, FirstMarksAfterSilenceKeepTheirLength) {
    // After a silence the threshold has decayed to nearly 0: the first marks
    // must neither start at the foot of the rise nor run through the ring-down.
    // 10 ms blocks put the rise across a block boundary.
    for (int32_t calcSize : {80, 800}) {
        Chain ch(calcSize, 300);  // dot 20 ms
        Feed(ch.c, KeyedTone(800, 4000, {0, 2000, 20, 20, 20, 60, 60, 1000}));
        ASSERT_EQ(ch.c.HistCount(), 2) << calcSize;
        const CharRecord& i = ch.c.HistoryRecord(ch.c.HistHead() - 1);
        ASSERT_EQ(Slots(i, 2), (std::vector<uint32_t>{4, 4})) << calcSize;
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(i[2 + k], k < 3 ? 20.0 : 60.0, 2.0) << calcSize << ", " << k;
        const CharRecord& t = ch.c.HistoryRecord(ch.c.HistHead());
        EXPECT_EQ(t[0], 3u) << calcSize;
        EXPECT_NEAR(t[2], 60.0, 2.0) << calcSize;
    }
}

TEST(SampleStreamTiming, RobustDetectorKeysTheAnalyserThroughNoise) {
    // "a" and "e" as above, at 8 dB in 500 Hz; switched over after a second
    // of the tone detector, so its edges must land on the same time line.
    std::vector<int16_t> tone = KeyedTone(800, 8000, {0, 500, 100, 100, 300, 400, 100, 1500});
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, std::sqrt(8000.0 * 8000.0 / 2 / std::pow(10.0, 0.8) * 8));
    for (auto& x : tone)
        x = static_cast<int16_t>(std::clamp(std::lround(x + noise(rng)), -32768L, 32767L));
    for (bool robust : {false, true}) {
        Chain ch;
        Feed(ch.c, std::vector<int16_t>(8000, 0));
        ch.c.SetRobust(robust);
        EXPECT_EQ(ch.c.Robust(), robust);
        ch.env.clear();
        Feed(ch.c, tone);
        if (!robust) {
            // The tone detector keys the noise: more than the two characters.
            EXPECT_NE(ch.patterns, (std::vector<PatternEvent>{{5, false, false}, {2, false, true}}));
            continue;
        }
        ASSERT_EQ(ch.patterns, (std::vector<PatternEvent>{{5, false, false}, {2, false, true}}));
        const CharRecord& a = ch.c.HistoryRecord(ch.c.HistHead() - 1);
        const uint32_t keyed[4] = {100, 100, 300, 400};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(a[2 + k], keyed[k], 6.0) << k;
        // The scope shows the robust detector's level: the tone's amplitude
        // in the tone detector's units (8000 x 1.2) during the dash.
        EXPECT_NEAR(Envelope(ch.env[500 + 100 + 100 + 150]), 9600, 1000);
        EXPECT_GT(ch.c.InputLevel(), 0);  // the level meter goes on
    }
}
