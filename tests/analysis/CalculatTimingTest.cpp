#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(CalculatThresholds, DerivedFromTempoAndClamped) {
    Analyser a(60);
    TCalculat& c = *a.calc;
    EXPECT_EQ(c.DotMs(), 100);
    EXPECT_EQ(c.DotDashLimit(), 200);
    EXPECT_EQ(c.ElementSpaceLimit(), 200);
    EXPECT_EQ(c.WordSpaceLimit(), 500);
    EXPECT_EQ(c.GlitchLimit(), 16);
    EXPECT_EQ(c.NominalWordSpace(), 700);
    EXPECT_EQ(c.WordTimeout(), 900);
    EXPECT_EQ(c.MuteDelay(), 2000);
    EXPECT_EQ(c.FlashDelay(), 400);

    c.SetTempo(300);
    EXPECT_EQ(c.DotMs(), 20);
    EXPECT_EQ(c.WordTimeout(), 300);  // floor, not 180
    c.SetTempo(1000);
    EXPECT_EQ(c.Tempo(), 300);
    c.SetTempo(10);
    EXPECT_EQ(c.DotMs(), 600);
    EXPECT_EQ(c.WordTimeout(), 5400);
    c.SetTempo(-5);
    EXPECT_EQ(c.Tempo(), 10);
}

TEST(CalculatKeying, LetterAEndedByNextMark) {
    Analyser a;
    a.Key({100, 100, 300, 400});
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0], (PatternEvent{5, false, false}));
    // (100+100+300+400) div (1+1+3+3) = 112 ms -> 53 CpM
    EXPECT_EQ(a.calc->DotEstimate(), 112);
    EXPECT_EQ(a.calc->NewRecTempo(), 53);
    ASSERT_FALSE(a.tempos.empty());
    EXPECT_EQ(a.tempos.back(), 53u);
    EXPECT_EQ(a.avgTempos.back(), 53u);
    // The next character's first mark is already in progress.
    EXPECT_EQ(a.calc->PendingCount(), 1);

    const CharRecord rec = a.Newest();
    EXPECT_EQ(rec[0], 5u);
    EXPECT_EQ(rec[1], 4u);
    EXPECT_EQ(rec[2], 100u);
    EXPECT_EQ(rec[3], 100u);
    EXPECT_EQ(rec[4], 300u);
    EXPECT_EQ(rec[5], 400u);

    using K = TimingKind;
    const std::vector<std::pair<K, int32_t>> expected{
        {K::Dot, 100}, {K::ElementSpace, 100}, {K::Dash, 300}, {K::CharSpace, 400}, {K::LastDash, 300}};
    EXPECT_EQ(a.sink.current, expected);
    EXPECT_EQ(a.sink.updates, 1);
}

TEST(CalculatKeying, ClassificationBoundaries) {
    Analyser a;
    // 199 ms mark is a dot, 200 ms a dash; a 199 ms space stays inside.
    a.Key({199, 199, 200, 200});
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0], (PatternEvent{5, false, false}));
    EXPECT_EQ(a.sink.current[3], std::make_pair(TimingKind::CharSpace, 200));

    // 499 ms is still a character space, 500 ms a word space (bl).
    a.Then({100, 499});
    a.Then({100, 500});
    ASSERT_EQ(a.patterns.size(), 3u);
    EXPECT_FALSE(a.patterns[1].bl);
    EXPECT_EQ(a.patterns[2], (PatternEvent{2, true, false}));
}

TEST(CalculatKeying, TimeoutEndsCharacterThroughWordTimer) {
    Analyser a;
    a.Key({100, 100, 300});
    a.clock.Advance(899);
    EXPECT_TRUE(a.patterns.empty());
    a.clock.Advance(1);
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0], (PatternEvent{5, false, true}));
    EXPECT_EQ(a.calc->PendingCount(), 0);
    // The timed-out space counts as 7 dots: (100+100+300+700) div 12 = 100.
    EXPECT_EQ(a.calc->NewRecTempo(), 60);
    const CharRecord rec = a.Newest();
    EXPECT_EQ(rec[1], 4u);
    EXPECT_EQ(rec[5], kTimeoutMarker);
    // Nothing is reported for the timeout space itself.
    EXPECT_EQ(a.sink.current.back(), std::make_pair(TimingKind::LastDash, 300));
}

TEST(CalculatKeying, StrayReleaseMuteAndFlash) {
    Analyser a;
    a.calc->KeyTransition(500, false);
    EXPECT_EQ(a.calc->PendingCount(), 0);

    // Key held for 20 dots mutes the output; the character does not end.
    a.calc->KeyTransition(1000, true);
    a.clock.Advance(1999);
    EXPECT_EQ(a.owner.mutes, 0);
    a.clock.Advance(1);
    EXPECT_EQ(a.owner.mutes, 1);
    EXPECT_EQ(a.calc->PendingCount(), 1);

    // Flash 4 dots after a release, only with the option on.
    a.calc->KeyTransition(2000, false);
    a.clock.Advance(400);
    EXPECT_EQ(a.owner.flashes, 0);
    a.owner.flash = true;
    a.calc->KeyTransition(400, true);
    a.clock.Advance(100);
    a.calc->KeyTransition(100, false);
    a.clock.Advance(399);
    EXPECT_EQ(a.owner.flashes, 0);
    a.clock.Advance(1);
    EXPECT_EQ(a.owner.flashes, 1);
}

TEST(CalculatKeying, SixtyTwoElementLimitForcesTheEnd) {
    Analyser a;
    a.calc->KeyTransition(1000, true);
    for (int mark = 1; mark <= 31; ++mark) {
        a.calc->KeyTransition(100, false);
        if (mark < 31) a.calc->KeyTransition(100, true);
    }
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0], (PatternEvent{0x80000000u, false, true}));
    const CharRecord rec = a.Newest();
    EXPECT_EQ(rec[1], 62u);
    EXPECT_EQ(rec[63], kTimeoutMarker);
    EXPECT_EQ(a.calc->PendingCount(), 0);
    // The still-running word timer finds nothing pending.
    a.clock.Advance(5000);
    EXPECT_EQ(a.patterns.size(), 1u);
}

TEST(CalculatGlitches, GapInsideAPressBecomesOneDash) {
    Analyser a;
    a.Key({145, 10, 145, 400});
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0].data, 3u);
    const CharRecord rec = a.Newest();
    EXPECT_EQ(rec[2], 300u);
    EXPECT_EQ(rec[3], 0u);
    EXPECT_EQ(rec[4], 0u);
    EXPECT_EQ(rec[5], 400u);

    // Without the filter the same keying gives two marks.
    a.calc->SetNoiseBlank(false);
    a.Then({145, 10, 145, 400});
    EXPECT_EQ(a.patterns[1].data, 4u);
}

TEST(CalculatGlitches, SpikeBeforeTheEndingSpaceKeepsTheCharacterEnd) {
    Analyser a;
    // "e" with a 10 ms spike before its ending space, then "t".
    a.Key({100, 100, 10, 400, 300, 400});
    ASSERT_EQ(a.patterns.size(), 2u);
    EXPECT_EQ(a.patterns[0].data, 2u);
    EXPECT_EQ(a.patterns[1].data, 3u);
    const CharRecord rec = a.Newest();
    EXPECT_EQ(rec[1], 2u);
    EXPECT_EQ(rec[2], 300u);

    CharRecord first{};
    a.calc->MoveCursor(-1);
    a.calc->GetCharRecord(1, first);
    EXPECT_EQ(first[1], 4u);
    EXPECT_EQ(first[4], 0u);
    EXPECT_EQ(first[5], 410u);  // the spike went into the ending space

    // A dash, then spike, bounce gap and spike: the run goes into the ending
    // space instead of swallowing it.
    a.Then({300, 100, 10, 10, 5, 400});
    ASSERT_EQ(a.patterns.size(), 3u);
    EXPECT_EQ(a.patterns[2].data, 3u);
    EXPECT_EQ(a.Newest()[7], 425u);

    // A lone spike still ends on its space: stored as a character without
    // elements, and the next character starts clean.
    a.Then({12, 600, 100, 300});
    ASSERT_EQ(a.patterns.size(), 5u);
    EXPECT_EQ(a.patterns[3], (PatternEvent{1, true, false}));
    EXPECT_EQ(a.patterns[4].data, 2u);
}
