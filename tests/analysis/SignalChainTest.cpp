#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

TEST(SosFilter, PassThroughAndButterworthDesign) {
    SosSection s;
    EXPECT_DOUBLE_EQ(s.Step(3.5), 3.5);
    EXPECT_DOUBLE_EQ(s.Step(-2.0), -2.0);

    const double deg = std::numbers::pi / 180.0;
    const double q[3] = {1.0 / (2.0 * std::cos(75 * deg)), 1.0 / (2.0 * std::cos(45 * deg)),
                         1.0 / (2.0 * std::cos(15 * deg))};
    const auto c = SosSection::Lowpass(100.0, 8000.0, q[0]);
    EXPECT_NEAR(c[0], 0.0015106566692, 1e-12);
    EXPECT_NEAR(c[1], 0.0030213133384, 1e-12);
    EXPECT_NEAR(c[2], 0.0015106566692, 1e-12);
    EXPECT_NEAR(c[4], -1.9541522675, 1e-9);
    EXPECT_NEAR(c[5], 0.9601948942, 1e-9);

    // Gain of the 1000 Hz second stage per bandwidth index.
    const double cutoff[4] = {12.5, 25.0, 62.5, 125.0};
    const double gain[4] = {3.160701390262691e-09, 1.753654971984057e-07,
                            2.882589194400282e-05, 0.00105164679630761};
    for (int i = 0; i < 4; ++i) {
        double g = 1.0;
        for (int s = 2; s >= 0; --s) g *= SosSection::LowpassGain(cutoff[i], 1000.0, q[s]);
        EXPECT_NEAR(g / gain[i], 1.0, 1e-9) << "index " << i;
    }

    // A section at unity DC gain settles on a constant input.
    SosSection lp;
    lp.Load(c, true);
    double y = 0;
    for (int i = 0; i < 20000; ++i) y = lp.Step(1.0);
    EXPECT_NEAR(y, 1.0, 1e-9);
}

namespace {
struct Traces {
    std::vector<int32_t> env, key;
};

std::unique_ptr<TCalculat> MakeChain(ManualClock& clock, Traces& t, int32_t calcSize = 800) {
    auto c = std::make_unique<TCalculat>(clock, nullptr, nullptr);
    c->SetBandwidthIndex(2);
    c->SetTempo(60);
    c->SetCalcSize(calcSize);
    c->OnDataProcessed = [&t](int l, const int32_t* env, const int32_t*, const int32_t* key) {
        t.env.insert(t.env.end(), env, env + l);
        t.key.insert(t.key.end(), key, key + l);
    };
    return c;
}

double Envelope(int32_t trace) { return (trace + 15000) / 2.0; }
}  // namespace

TEST(SignalChain, CentredToneKeysOnAndStaysOn) {
    ManualClock clock;
    Traces t;
    auto c = MakeChain(clock, t);
    Feed(*c, std::vector<int16_t>(8000, 0));  // 1 s of silence stays off
    ASSERT_EQ(t.key.size(), 1000u);
    EXPECT_TRUE(std::all_of(t.key.begin(), t.key.end(), [](int32_t k) { return k == 0; }));
    EXPECT_EQ(c->InputLevel(), 0);

    Feed(*c, KeyedTone(800, 1000, {2000}));
    ASSERT_EQ(t.key.size(), 3000u);
    const auto firstOn = std::find(t.key.begin() + 1000, t.key.end(), 10000) - t.key.begin();
    EXPECT_LT(firstOn, 1000 + 20);
    EXPECT_TRUE(std::all_of(t.key.begin() + firstOn, t.key.end(), [](int32_t k) { return k == 10000; }));
    const double env = Envelope(t.env.back());
    EXPECT_GT(env, 1100.0);
    EXPECT_LT(env, 1230.0);
    EXPECT_NEAR(c->InputLevel(), env, 30.0);
}

TEST(SignalChain, NarrowRejectsOffCentreToneBroadKeysAnyTone) {
    ManualClock clock;
    Traces t;
    auto c = MakeChain(clock, t);
    // The abrupt start is a broadband click that may key briefly; the tone
    // itself must not.
    Feed(*c, KeyedTone(1000, 32767, {1000}));
    EXPECT_TRUE(std::all_of(t.key.begin() + 100, t.key.end(), [](int32_t k) { return k == 0; }));
    EXPECT_LT(Envelope(*std::max_element(t.env.begin() + 200, t.env.end())), 1.0);

    c->SetProcessMode(tProcessMode::broad);
    t.key.clear();
    Feed(*c, KeyedTone(2500, 3000, {500}));
    EXPECT_EQ(t.key.back(), 10000);
}

TEST(SignalChain, CenterFreqClampsAndPausedBlockChangesNothing) {
    ManualClock clock;
    Traces t;
    auto c = MakeChain(clock, t);
    c->SetCenterFreq(50);
    EXPECT_EQ(c->CenterFreq(), 100u);
    c->SetCenterFreq(4001);
    EXPECT_EQ(c->CenterFreq(), 4000u);
    c->SetCenterFreq(800);
    c->SetCalcSize(10);
    EXPECT_EQ(c->CalcSize(), 80);
    c->SetCalcSize(5000);
    EXPECT_EQ(c->CalcSize(), 1600);
    c->SetCalcSize(800);

    Feed(*c, KeyedTone(800, 4000, {300}));
    const int32_t level = c->InputLevel();
    const int32_t pending = c->PendingCount();
    const size_t traces = t.key.size();
    ASSERT_GT(level, 0);
    c->SetPaused(true);
    Feed(*c, std::vector<int16_t>(8000, 0));
    EXPECT_EQ(c->InputLevel(), level);
    EXPECT_EQ(c->PendingCount(), pending);
    EXPECT_EQ(t.key.size(), traces);
    c->SetPaused(false);
    Feed(*c, std::vector<int16_t>(800, 0));
    EXPECT_EQ(t.key.size(), traces + 100);
}

TEST(SampleStreamTiming, KeyedToneGivesKeyedLengths) {
    ManualClock clock;
    Traces t;
    auto c = MakeChain(clock, t);
    std::vector<PatternEvent> patterns;
    c->OnNewPattern = [&](uint32_t d, bool bl, bool en) { patterns.push_back({d, bl, en}); };

    // Silence, "a" (100/100/300), a character space, "e", then silence.
    Feed(*c, KeyedTone(800, 8000, {0, 500, 100, 100, 300, 400, 100, 1500}));
    ASSERT_EQ(patterns.size(), 2u);
    EXPECT_EQ(patterns[0], (PatternEvent{5, false, false}));
    EXPECT_EQ(patterns[1], (PatternEvent{2, false, true}));

    c->MoveCursor(-1);
    CharRecord rec{};
    c->GetCharRecord(1, rec);
    ASSERT_EQ(rec[1], 4u);
    const uint32_t keyed[4] = {100, 100, 300, 400};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(static_cast<double>(rec[2 + k]), keyed[k], 10.0) << k;
    c->GetCharRecord(0, rec);
    EXPECT_NEAR(static_cast<double>(rec[2]), 100.0, 10.0);
    EXPECT_EQ(rec[3], kTimeoutMarker);
}

TEST(SampleStreamTiming, FirstMarksAfterSilenceKeepTheirLength) {
    // After a silence the threshold has decayed to nearly 0: the first marks
    // must neither start at the foot of the rise nor run through the ring-down.
    // 10 ms blocks put the rise across a block boundary.
    for (int32_t calcSize : {80, 800}) {
        ManualClock clock;
        Traces t;
        auto c = MakeChain(clock, t, calcSize);
        c->SetTempo(300);  // dot 20 ms
        Feed(*c, KeyedTone(800, 4000, {0, 2000, 20, 20, 20, 60, 60, 1000}));
        ASSERT_EQ(c->HistCount(), 2) << calcSize;
        c->MoveCursor(-1);
        CharRecord rec{};
        c->GetCharRecord(1, rec);
        EXPECT_EQ(rec[0], 4u) << calcSize;  // "i"
        ASSERT_EQ(rec[1], 4u);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(static_cast<double>(rec[2 + k]), k < 3 ? 20.0 : 60.0, 2.0) << calcSize << ", element " << k;
        c->GetCharRecord(0, rec);
        EXPECT_EQ(rec[0], 3u) << calcSize;  // "t"
        EXPECT_NEAR(static_cast<double>(rec[2]), 60.0, 2.0) << calcSize;
    }
}

TEST(SampleStreamTiming, SmallBlocksAtSlowSpeedStillTimeOut) {
    ManualClock clock;
    Traces t;
    auto c = MakeChain(clock, t, 80);
    c->SetTempo(10);  // word timeout 5400 ms, far beyond 80 blocks of 10 ms
    std::vector<PatternEvent> patterns;
    c->OnNewPattern = [&](uint32_t d, bool bl, bool en) { patterns.push_back({d, bl, en}); };
    Feed(*c, KeyedTone(800, 8000, {0, 200, 600, 7000}));
    ASSERT_EQ(patterns.size(), 1u);
    EXPECT_EQ(patterns[0], (PatternEvent{2, false, true}));
}
