#include "analysis/PracticeStats.h"

#include "PlantedKeying.h"
#include "analysis/SessionInput.h"

#include <gtest/gtest.h>

namespace {

const std::string kPangrams =
    "the quick brown fox jumps over the lazy dog pack my box with five dozen liquor jugs "
    "sphinx of black quartz judge my vow how vexingly quick daft zebras jump";

PracticeReport Report(const std::string& text, const PlantedTiming& p, int32_t speed = 60) {
    orvo::AnalysisOptions o;
    o.speed = speed;
    TPracticeStats stats;
    orvo::AddCharacters(stats, orvo::AnalyzeKeys(PlantedKeys(text, p), o));
    return stats.Report();
}

TEST(PracticeStats, SpreadOfEveryKindIsMeasuredAndTheScoreFallsWithIt) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += kPangrams + " ";
    double lastScore = 101;
    for (double spread : {0.0, 0.05, 0.15, 0.25}) {
        PlantedTiming p;
        p.spread.fill(spread);
        const PracticeReport r = Report(text, p);
        EXPECT_EQ(r.unknown, 0) << spread;
        for (int k = 0; k < kElementKinds; ++k) {
            EXPECT_GT(r.elements[k].count, 20) << k;
            EXPECT_NEAR(r.elements[k].cvPct, 100 * spread, 100 * spread / 5 + 1e-9)
                << ElementKindName(static_cast<ElementKind>(k)) << " at " << spread;
        }
        EXPECT_LT(r.score, lastScore) << spread;
        lastScore = r.score;
    }
    // One kind alone lowers the score as well.
    PlantedTiming p;
    p.spread[3] = 0.15;
    EXPECT_LT(Report(text, p).score, 95);
}

TEST(PracticeStats, ExactKeyingScoresHighAtAnySpeed) {
    for (int32_t cpm : {20, 60, 150}) {
        PlantedTiming p;
        p.dotMs = 6000.0 / cpm;
        const PracticeReport r = Report("paris paris paris", p, cpm);
        EXPECT_GE(r.score, 95) << cpm;
        EXPECT_NEAR(r.speedMean, cpm, 1) << cpm;
        EXPECT_EQ(r.characters, 15);
        EXPECT_NEAR(*r.dashDot, 3.0, 0.01);
        EXPECT_NEAR(*r.weightPct, 50.0, 0.1);
        // The last word space ran into the word timeout: not a length.
        EXPECT_EQ(r.elements[static_cast<int>(ElementKind::WordSpace)].count, 2);
    }
}

TEST(PracticeStats, RatiosAndWeightMoveTheScore) {
    PlantedTiming heavy;
    heavy.nominal = {1.2, 3, 0.8, 3, 7};
    const PracticeReport h = Report(kPangrams, heavy);
    EXPECT_NEAR(*h.weightPct, 60, 0.5);
    EXPECT_NEAR(h.score, 100 - 10 - 50 * (2 * std::log(1.2)) - 50 * std::log(7 / 5.833), 1.0);

    PlantedTiming shortDashes;
    shortDashes.nominal = {1, 2.4, 1, 3, 7};
    const PracticeReport s = Report(kPangrams, shortDashes);
    EXPECT_NEAR(*s.dashDot, 2.4, 0.02);
    EXPECT_NEAR(s.score, 100 - 50 * std::log(3 / 2.4), 1.0);
}

TEST(PracticeStats, TheLetterWithShortDashesComesFirst) {
    PlantedTiming p;
    p.spread.fill(0.05);
    p.odd = 'k';
    p.oddDash = 2.2;
    std::string text = "kick the knack keep knocking ";
    text += kPangrams;
    const PracticeReport r = Report(text, p);
    ASSERT_FALSE(r.byScore.empty());
    EXPECT_EQ(r.byScore.front().text, "k");
    EXPECT_GE(r.byScore.front().count, 8);
    EXPECT_LT(r.byScore.front().score + 10, r.byScore[1].score);
}

TEST(PracticeStats, UnknownCodesCountedButNotRanked) {
    TPracticeStats stats;
    const uint32_t e[] = {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 300};
    stats.Add(0b111111111, e, 16, false);  // eight dashes: no such code
    const uint32_t a[] = {100, 100, 300, 300};
    stats.Add(0b101, a, 4, false);
    const PracticeReport r = stats.Report();
    EXPECT_EQ(r.characters, 2);
    EXPECT_EQ(r.unknown, 1);
    ASSERT_EQ(r.byScore.size(), 1u);
    EXPECT_EQ(r.byScore[0].text, "a");
}

TEST(PracticeStats, HistogramBinsAndOverflow) {
    EXPECT_EQ(Histogram({0.05, 0.15, 0.19, 5, 99}, 0.1, 10),
              (std::vector<int32_t>{1, 2, 0, 0, 0, 0, 0, 0, 0, 2}));
}

}  // namespace
