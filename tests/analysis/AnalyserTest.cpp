#include "TestSupport.h"

#include <gtest/gtest.h>

using K = TimingKind;

TEST(CalculatThresholds, TempoClampedAndTimeoutFloor) {
    Analyser a;
    TAnalyser& c = *a.calc;
    // {set, tempo, dot, word timeout}: 10..300 CpM, timeout 9 dots but at least 300 ms.
    for (auto [set, tempo, dot, timeout] : {std::array{60, 60, 100, 900},
                                            {300, 300, 20, 300},
                                            {1000, 300, 20, 300},
                                            {10, 10, 600, 5400},
                                            {-5, 10, 600, 5400}}) {
        c.SetTempo(set);
        EXPECT_EQ((std::array{c.Tempo(), c.DotMs(), c.WordTimeout()}), (std::array{tempo, dot, timeout}))
            << set;
    }
}

TEST(CalculatKeying, CharacterEndsBySpaceWithTimingAndSpeed) {
    Analyser a;
    a.Key({100, 100, 300, 400});
    ASSERT_EQ(a.patterns, (std::vector<PatternEvent>{{5, false, false}}));
    // (100+100+300+400) div (1+1+3+3) = 112 ms -> 53 CpM
    EXPECT_EQ(a.calc->DotEstimate(), 112);
    EXPECT_EQ(a.tempos.back(), 53u);
    EXPECT_EQ(a.avgTempos.back(), 53u);
    EXPECT_EQ(a.calc->PendingCount(), 1);  // the next mark is already running
    EXPECT_EQ(Slots(a.Record(), 6), (std::vector<uint32_t>{5, 4, 100, 100, 300, 400}));
    EXPECT_EQ(
        a.sink.current,
        (TimingLog{
            {K::Dot, 100}, {K::ElementSpace, 100}, {K::Dash, 300}, {K::CharSpace, 400}, {K::LastDash, 300}}));
    EXPECT_EQ(a.sink.updates, 1);

    // Boundaries: a 199 ms mark is a dot, 200 a dash; a 199 ms space stays
    // inside, 200 ends the character; 499 is a character space, 500 a word space.
    Analyser b;
    b.Key({199, 199, 200, 200, 100, 499, 100, 500});
    EXPECT_EQ(b.patterns,
              (std::vector<PatternEvent>{{5, false, false}, {2, false, false}, {2, true, false}}));
    EXPECT_EQ(b.sink.current[3], std::make_pair(K::CharSpace, 200));
}

TEST(CalculatKeying, TimeoutMuteAndFlash) {
    Analyser a;
    a.calc->KeyTransition(500, false);  // a stray release is ignored
    EXPECT_EQ(a.calc->PendingCount(), 0);
    a.Key({100, 100, 300});
    a.FiresAfter(900, [&] { return a.patterns.size(); });
    ASSERT_EQ(a.patterns, (std::vector<PatternEvent>{{5, false, true}}));
    EXPECT_EQ(a.calc->PendingCount(), 0);
    // The timed-out space counts as 7 dots: (100+100+300+700) div 12 = 100.
    EXPECT_EQ(a.calc->NewRecTempo(), 60);
    EXPECT_EQ(Slots(a.Record(), 6), (std::vector<uint32_t>{5, 4, 100, 100, 300, kTimeoutMarker}));
    EXPECT_EQ(a.sink.current.back(), std::make_pair(K::LastDash, 300));  // no value for the timeout itself

    // Key held for 20 dots mutes the output; the character does not end.
    a.calc->KeyTransition(1000, true);
    a.FiresAfter(2000, [&] { return a.owner.mutes; });
    EXPECT_EQ(a.calc->PendingCount(), 1);
    // Flash 4 dots after a release, only with the option on.
    a.calc->KeyTransition(2000, false);
    a.clock.Advance(400);
    EXPECT_EQ(a.owner.flashes, 0);
    a.owner.flash = true;
    a.calc->KeyTransition(400, true);
    a.Then({100});
    a.FiresAfter(400, [&] { return a.owner.flashes; });
}

TEST(CalculatKeying, EdgesTimedInSignalTime) {
    Analyser a;
    TAnalyser& c = *a.calc;
    c.SetCalcSize(400);  // 50 ms blocks
    for (auto [ms, down] : {std::pair{1000.0, true}, {1100.0, false}, {1200.0, true}, {1500.0, false}})
        c.KeyEdge(ms, down);
    c.KeyTime(2401);  // 900 ms of silence since the last edge: not yet over the timeout
    EXPECT_TRUE(a.patterns.empty());
    c.KeyTime(2402);
    ASSERT_EQ(a.patterns, (std::vector<PatternEvent>{{5, false, true}}));
    EXPECT_EQ(Slots(a.Record(), 6), (std::vector<uint32_t>{5, 4, 100, 100, 300, kTimeoutMarker}));
    // A mark of 10 s saturates at 80 blocks.
    c.KeyEdge(5000, true);
    c.KeyEdge(15000, false);
    EXPECT_EQ(c.PendingElement(1), 4000u);
}

TEST(CalculatKeying, SixtyTwoElementLimitForcesTheEnd) {
    Analyser a;
    a.calc->KeyTransition(1000, true);
    for (int mark = 1; mark <= 31; ++mark) {
        a.calc->KeyTransition(100, false);
        if (mark < 31)
            a.calc->KeyTransition(100, true);
    }
    ASSERT_EQ(a.patterns, (std::vector<PatternEvent>{{0x80000000u, false, true}}));
    EXPECT_EQ(a.Record()[1], 62u);
    EXPECT_EQ(a.Record()[63], kTimeoutMarker);
    EXPECT_EQ(a.calc->PendingCount(), 0);
    a.clock.Advance(5000);  // the still-running word timer finds nothing pending
    EXPECT_EQ(a.patterns.size(), 1u);
}

TEST(CalculatGlitches, MergedIntoMarksWithoutSwallowingTheCharacterEnd) {
    Analyser a;
    // A gap of up to 16 ms (a sixth of a dot) inside a press: one dash.
    a.Key({145, 16, 145, 400});
    EXPECT_EQ(Slots(a.Record(), 6), (std::vector<uint32_t>{3, 4, 306, 0, 0, 400}));
    // "e" with a 10 ms spike before its ending space, then "t": the spike
    // goes into the ending space.
    a.Then({100, 100, 10, 400, 300, 400});
    EXPECT_EQ(Slots(a.Record(1), 6), (std::vector<uint32_t>{2, 4, 100, 100, 0, 410}));
    EXPECT_EQ(Slots(a.Record(), 3), (std::vector<uint32_t>{3, 2, 300}));
    // Dash, spike, bounce gap, spike: the run goes into the ending space.
    a.Then({300, 100, 10, 10, 5, 400});
    EXPECT_EQ(a.patterns.back().data, 3u);
    EXPECT_EQ(a.Record()[7], 425u);
    // A lone spike still ends on its space, stored without elements; the
    // next character starts clean.
    a.Then({12, 600, 100, 300});
    ASSERT_EQ(a.patterns.size(), 6u);
    EXPECT_EQ(a.patterns[4], (PatternEvent{1, true, false}));
    EXPECT_EQ(a.patterns[5].data, 2u);

    // A 17 ms gap, or any gap without the filter, splits the press into two marks.
    a.Then({145, 17, 145, 400});
    EXPECT_EQ(a.patterns.back().data, 4u);
    a.calc->SetNoiseBlank(false);
    a.Then({145, 10, 145, 400});
    EXPECT_EQ(a.patterns.back().data, 4u);
}

TEST(CalculatHistory, WrapsAt512AndMovesTheCursor) {
    Analyser a;
    a.calc->KeyTransition(1000, true);
    for (int i = 0; i < 513; ++i)
        a.Then({100, 300});  // "e", ended by the next mark
    TAnalyser& c = *a.calc;
    EXPECT_EQ(c.HistCount(), 512);
    EXPECT_EQ(c.HistHead(), 513 % 512);
    EXPECT_EQ(c.MoveCursor(TAnalyser::kToOldest), -511);
    EXPECT_EQ(c.Cursor(), 2);

    c.ClearHistory();
    for (int i = 0; i < 3; ++i)
        a.Then({100, 300});
    const int head = c.HistHead();
    // {step, returned, records back}; forward never passes the newest, back
    // never the oldest, 0 and kToNewest return to the newest.
    const std::array<int32_t, 3> steps[] = {{-5, -2, 2}, {-1, 0, 2},  {1, 1, 1},
                                            {1, 1, 0},   {1, 0, 0},   {TAnalyser::kToOldest, -2, 2},
                                            {0, 0, 0},   {-1, -1, 1}, {TAnalyser::kToNewest, 0, 0},
                                            {-2, -2, 2}};
    for (auto [step, moved, back] : steps) {
        EXPECT_EQ(c.MoveCursor(step), moved) << step;
        EXPECT_EQ(c.CursorBack(), back) << step;
        EXPECT_EQ(c.Browsing(), back != 0) << step;
        EXPECT_EQ(c.Cursor(), head - back) << step;
    }
    a.Then({100, 300});  // a new character brings the cursor back to the newest
    EXPECT_EQ(c.Cursor(), c.HistHead());
    EXPECT_FALSE(c.Browsing());

    // No record, then a single one: the cursor stays sane.
    c.ClearHistory();
    EXPECT_EQ(c.HistCount(), 0);
    EXPECT_EQ(c.MoveCursor(-3), 0);
    a.Then({100, 300});
    EXPECT_EQ(c.MoveCursor(TAnalyser::kToOldest), 0);
    EXPECT_EQ(c.MoveCursor(1), 0);
    EXPECT_EQ(c.Cursor(), c.HistHead());
}

TEST(CalculatHistory, GetCharRecordAndReplayRecord) {
    Analyser a;
    a.Key({100, 300, 300, 300, 100, 100, 300});  // e t a, the a ended by timeout
    a.clock.Advance(1000);
    TAnalyser& c = *a.calc;
    CharRecord rec;
    rec.fill(0xDEAD);
    c.GetCharRecord(2, rec);  // not browsing: always the newest
    EXPECT_EQ(Slots(rec, 7), (std::vector<uint32_t>{5, 4, 100, 100, 300, kTimeoutMarker, 0xDEAD}));
    c.GetReplayRecord(0, rec);
    EXPECT_EQ(rec[5], 700u);  // the timeout marker becomes a nominal word space

    c.MoveCursor(-1);
    // {back, pattern}: beyond the cursor gives the cursor's record.
    for (auto [back, pattern] : {std::pair{1u, 3u}, {2u, 3u}, {0u, 5u}}) {
        c.GetCharRecord(back, rec);
        EXPECT_EQ(rec[0], pattern) << back;
    }
    c.MoveCursor(-1);
    c.GetReplayRecord(2, rec);
    EXPECT_EQ(Slots(rec, 4), (std::vector<uint32_t>{2, 2, 100, 300}));  // a measured space stays
}

TEST(CalculatSpeed, AccumulateAndShowRecordTiming) {
    Analyser a;
    a.Key({100, 100, 300});
    a.clock.Advance(1000);
    TAnalyser& c = *a.calc;
    const CharRecord rec = a.Record();
    c.ClearTimingSums();
    c.AccumulateRecord(rec);
    EXPECT_EQ(a.tempos.back(), 60u);  // (100+100+300+700) div 12

    c.ClearTimingSums();
    c.AccumulateRecord(CharRecord{0, 2, 200, 400});  // a 200 ms mark is a dash here too
    EXPECT_EQ(c.DotEstimate(), 100);
    CharRecord empty{0, 2, 0, 400};  // no marks: the last dot estimate stays
    c.ClearTimingSums();
    c.AccumulateRecord(empty);
    EXPECT_EQ(c.DotEstimate(), 100);

    a.sink.replay.clear();
    const int updates = a.sink.updates;
    c.ShowRecordTiming(rec);
    EXPECT_EQ(a.sink.replay,
              (TimingLog{{K::Dot, 100}, {K::ElementSpace, 100}, {K::Dash, 300}, {K::LastDash, 300}}));
    EXPECT_EQ(a.sink.updates, updates + 1);
    a.sink.replay.clear();
    c.ShowRecordTiming(CharRecord{0, 4, 200, 199, 199, 500});  // the same boundaries as live keying
    EXPECT_EQ(a.sink.replay,
              (TimingLog{{K::Dash, 200}, {K::ElementSpace, 199}, {K::Dot, 199}, {K::WordSpace, 500}}));
}

TEST(CalculatSpeed, EachCharacterMeasuredOnItsOwn) {
    Analyser a;
    // "e" ended by an 800 ms word space: (100+800) div 8 = 112 ms -> 53 CpM;
    // then "e" ended by a character space: (100+300) div 4, whatever came before.
    a.Key({100, 800, 100, 300, 100});
    EXPECT_EQ(a.tempos, (std::vector<uint32_t>{53, 60}));

    // Measuring a record changes nothing and fires nothing.
    const CharSpeed s = a.calc->MeasureRecord(a.Record(1));
    EXPECT_TRUE(s.timed);
    EXPECT_EQ(s.dotEstimate, 112);
    EXPECT_EQ(s.cpm, 53u);
    EXPECT_EQ(a.tempos.size(), 2u);
    EXPECT_EQ(a.calc->DotEstimate(), 100);
    EXPECT_FALSE(a.calc->MeasureRecord(CharRecord{0, 2, 0, 400}).timed);
}

TEST(CalculatSpeed, MovingAverage) {
    Analyser a;
    a.owner.averageLength = 2;
    a.Key({100, 300, 60, 240});  // 100 ms -> 60 CpM, 75 ms -> 80 CpM
    EXPECT_EQ(a.avgTempos, (std::vector<uint32_t>{60, 70}));
    a.Then({150, 450});  // 40 CpM replaces the oldest
    EXPECT_EQ(a.avgTempos.back(), 60u);
    a.calc->ResetAvgTempo();
    EXPECT_EQ(a.avgTempos.back(), 0u);
    a.Then({100, 300});
    EXPECT_EQ(a.avgTempos.back(), 60u);

    // No owner or sink: ten values, and the mute timer fires harmlessly.
    ManualClock clock;
    TAnalyser c(clock, nullptr, nullptr);
    c.SetTempo(60);
    c.KeyTransition(1000, true);
    for (int i = 0; i < 12; ++i) {
        c.KeyTransition(i < 11 ? 100 : 60, false);
        c.KeyTransition(i < 11 ? 300 : 240, true);
    }
    clock.Advance(5000);
    EXPECT_EQ(c.AvgTempo(), 62u);  // nine of 60 and one of 80
}
