#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {
// Keys n letters "e" (dot 100, character space 300), the last one left pending.
void KeyLetters(Analyser& a, int n) {
    a.Key({100, 300});
    for (int i = 1; i < n; ++i) a.Then({100, 300});
}
}  // namespace

TEST(CalculatHistory, WrapsAt512) {
    Analyser a;
    KeyLetters(a, 513);
    EXPECT_EQ(a.patterns.size(), 513u);
    EXPECT_EQ(a.calc->HistCount(), 512);
    EXPECT_EQ(a.calc->HistHead(), 513 % 512);
    EXPECT_EQ(a.calc->Cursor(), a.calc->HistHead());
    EXPECT_EQ(a.calc->MoveCursor(TCalculat::kToOldest), -511);
    EXPECT_EQ(a.calc->Cursor(), 2);
}

TEST(CalculatHistory, MoveCursorSteps) {
    Analyser a;
    KeyLetters(a, 3);
    TCalculat& c = *a.calc;
    const int head = c.HistHead();
    EXPECT_EQ(c.MoveCursor(-5), -2);  // cut to the oldest of 3
    EXPECT_EQ(c.CursorBack(), 2);
    EXPECT_TRUE(c.Browsing());
    EXPECT_EQ(c.Cursor(), head - 2);
    EXPECT_EQ(c.MoveCursor(-1), 0);
    EXPECT_EQ(c.MoveCursor(1), 1);
    EXPECT_EQ(c.CursorBack(), 1);
    EXPECT_TRUE(c.Browsing());
    EXPECT_EQ(c.MoveCursor(1), 1);
    EXPECT_EQ(c.CursorBack(), 0);
    EXPECT_FALSE(c.Browsing());
    EXPECT_EQ(c.Cursor(), head);
    EXPECT_EQ(c.MoveCursor(1), 0);  // forward while not browsing stays at the newest

    EXPECT_EQ(c.MoveCursor(TCalculat::kToOldest), -2);
    EXPECT_EQ(c.MoveCursor(0), 0);
    EXPECT_FALSE(c.Browsing());
    c.MoveCursor(-1);
    EXPECT_EQ(c.MoveCursor(TCalculat::kToNewest), 0);
    EXPECT_EQ(c.Cursor(), head);

    // A new character brings the cursor back to the newest.
    c.MoveCursor(-2);
    a.Then({100, 300});
    EXPECT_EQ(c.Cursor(), c.HistHead());
    EXPECT_FALSE(c.Browsing());

    // A single record: to the oldest and forward again keeps the cursor sane.
    c.ClearHistory();
    EXPECT_EQ(c.HistCount(), 0);
    EXPECT_EQ(c.MoveCursor(-3), 0);
    a.Then({100, 300});
    EXPECT_EQ(c.MoveCursor(TCalculat::kToOldest), 0);
    EXPECT_EQ(c.MoveCursor(1), 0);
    EXPECT_EQ(c.Cursor(), c.HistHead());
    EXPECT_EQ(c.CursorBack(), 0);
}

TEST(CalculatHistory, GetCharRecordAndReplayRecord) {
    Analyser a;
    a.Key({100, 300});           // e
    a.Then({300, 300});          // t
    a.Then({100, 100, 300});     // a, ends by timeout
    a.clock.Advance(1000);
    ASSERT_EQ(a.patterns.size(), 3u);
    TCalculat& c = *a.calc;

    CharRecord rec;
    rec.fill(0xDEAD);
    c.GetCharRecord(2, rec);  // not browsing: always the newest
    EXPECT_EQ(rec[0], 5u);
    EXPECT_EQ(rec[1], 4u);
    EXPECT_EQ(rec[5], kTimeoutMarker);
    EXPECT_EQ(rec[6], 0xDEADu);  // only count + 2 slots are copied

    c.GetReplayRecord(0, rec);
    EXPECT_EQ(rec[5], 700u);  // the timeout marker becomes a nominal word space

    c.MoveCursor(-1);
    c.GetCharRecord(1, rec);
    EXPECT_EQ(rec[0], 3u);
    c.GetCharRecord(2, rec);  // beyond the cursor: the cursor's record
    EXPECT_EQ(rec[0], 3u);
    c.GetCharRecord(0, rec);
    EXPECT_EQ(rec[0], 5u);
    c.MoveCursor(-1);
    c.GetCharRecord(2, rec);
    EXPECT_EQ(rec[0], 2u);
    c.GetReplayRecord(2, rec);
    EXPECT_EQ(rec[3], 300u);  // a measured space stays as it was
}

TEST(CalculatSpeed, AccumulateAndShowRecordTiming) {
    Analyser a;
    a.Key({100, 100, 300});
    a.clock.Advance(1000);
    TCalculat& c = *a.calc;
    CharRecord rec{};
    c.GetCharRecord(0, rec);

    c.ClearTimingSums();
    c.AccumulateRecord(rec);
    EXPECT_EQ(c.NewRecTempo(), 60);  // (100+100+300+700) div 12
    EXPECT_EQ(a.tempos.back(), 60u);

    // A record without marks keeps the last dot estimate.
    CharRecord empty{};
    empty[1] = 2;
    empty[3] = 400;
    c.ClearTimingSums();
    c.AccumulateRecord(empty);
    EXPECT_EQ(c.DotEstimate(), 100);

    a.sink.replay.clear();
    const int updates = a.sink.updates;
    c.ShowRecordTiming(rec);
    using K = TimingKind;
    const std::vector<std::pair<K, int32_t>> expected{
        {K::Dot, 100}, {K::ElementSpace, 100}, {K::Dash, 300}, {K::LastDash, 300}};
    EXPECT_EQ(a.sink.replay, expected);
    EXPECT_EQ(a.sink.updates, updates + 1);

    CharRecord words{};
    words[1] = 4;
    words[2] = 300;
    words[3] = 100;
    words[4] = 100;
    words[5] = 600;
    a.sink.replay.clear();
    c.ShowRecordTiming(words);
    const std::vector<std::pair<K, int32_t>> expected2{
        {K::Dash, 300}, {K::ElementSpace, 100}, {K::Dot, 100}, {K::WordSpace, 600}};
    EXPECT_EQ(a.sink.replay, expected2);
}

TEST(CalculatSpeed, MovingAverageUsesOwnerLength) {
    Analyser a;
    a.owner.averageLength = 2;
    a.Key({100, 300});   // 400 div 4 = 100 ms -> 60 CpM
    a.Then({60, 240});   // 75 ms -> 80 CpM
    ASSERT_EQ(a.avgTempos.size(), 2u);
    EXPECT_EQ(a.avgTempos[0], 60u);
    EXPECT_EQ(a.avgTempos[1], 70u);
    a.Then({150, 450});  // 150 ms -> 40 CpM, replaces the oldest
    EXPECT_EQ(a.avgTempos.back(), 60u);
    EXPECT_EQ(a.calc->AvgTempo(), 60u);
    a.calc->ResetAvgTempo();
    EXPECT_EQ(a.avgTempos.back(), 0u);
    EXPECT_EQ(a.calc->AvgTempo(), 0u);
    a.Then({100, 300});
    EXPECT_EQ(a.avgTempos.back(), 60u);
}

TEST(CalculatSpeed, NullOwnerAndSinkAverageOverTen) {
    ManualClock clock;
    auto c = std::make_unique<TCalculat>(clock, nullptr, nullptr);
    c->SetTempo(60);
    c->KeyTransition(1000, true);
    for (int i = 0; i < 12; ++i) {
        c->KeyTransition(i < 11 ? 100 : 60, false);
        c->KeyTransition(i < 11 ? 300 : 240, true);
    }
    clock.Advance(5000);  // mute timer with no owner
    // The last 10 values: nine of 60 and one of 80.
    EXPECT_EQ(c->AvgTempo(), 62u);
}
