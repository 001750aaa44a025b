#include "CWoutHarness.h"

#include <gtest/gtest.h>

namespace {

// Envelope of a 60 CpM text dot starting at `start`: 20 samples rising
// linearly from 1/21, 779 steady, 20 falling.
double DotEnvelope(int64_t i, int64_t start) {
    const int64_t k = i - start;
    if (k < 0 || k >= 819)
        return 0;
    if (k < 20)
        return double(k + 1) / 21;
    return k < 799 ? 1 : double(20 - (k - 799)) / 21;
}

TEST(CWoutText, SingleDotAt60CpmFromIdle) {
    CwHarness h;
    ASSERT_TRUE(h.cw.Start());
    EXPECT_FALSE(h.cw.Start());
    h.Run(1);  // one idle buffer
    ASSERT_TRUE(h.cw.PutChar('e'));
    h.Run(20);
    // PTT on at once; silence to the end of the current dot period, an
    // 800-sample lead, the dot and its 3-dot space; 11 idle dots of hold,
    // then PTT off at the start of the next buffer.
    EXPECT_EQ(h.Timeline(), "run@0 ptt+@800 start:e@2400 sent:e@5600 last@5600 ptt-@14400 ");
    EXPECT_TRUE(h.cw.IsIdle());
    EXPECT_FALSE(h.cw.PttOn());
    ExpectSamples(h.out, 0, h.out.size(),
                  [](int64_t i) { return DotEnvelope(i, 2400) * 32500 * Wave(800, i); });

    // At 2000 Hz each sample sits on 0, +1, 0 or -1 of the sine table: the
    // ramp values are exact.
    CwHarness r;
    r.cw.SetFrequency(2000);
    r.Send("e", 8);
    const int64_t s = r.Named("start")[0].pos, f = s + 20 + 779;  // first rising, first falling sample
    ASSERT_EQ(s % 4, 0);
    const double step = 32500.0 / 21;
    const std::pair<int64_t, int16_t> exact[] = {{s, 0},
                                                 {s + 1, int16_t(2 * step)},
                                                 {s + 3, int16_t(4 * -step)},
                                                 {s + 19, int16_t(20 * -step)},
                                                 {s + 21, 32500},
                                                 {s + 797, 32500},
                                                 {f, int16_t(20 * -step)},
                                                 {f + 1, 0},
                                                 {f + 2, int16_t(18 * step)},
                                                 {f + 18, int16_t(2 * step)},
                                                 {f + 20, 0}};
    for (auto [i, v] : exact)
        EXPECT_EQ(r.out[i], v) << i - s;
}

TEST(CWoutText, DashAndPausesWithoutRamps) {
    CwHarness h;
    h.cw.SetSlope(0);
    h.cw.SetTimePttHold(0);
    h.Send(
        "t\xFE"
        "e e\re",
        40);
    const auto st = h.Named("start"), sent = h.Named("sent");
    ASSERT_EQ(st.size(), 7u);
    ASSERT_EQ(sent.size(), 7u);
    // t: dash 2400 + element space 800 + 1600; the pause characters (\xFE,
    // space, CR) 4 dots each.
    for (auto [k, len] : {std::pair{0, 4800}, {1, 3200}, {3, 3200}, {5, 3200}})
        EXPECT_EQ(sent[k].pos - st[k].pos, len) << k;
    EXPECT_EQ(st[1].pos, sent[0].pos);
    EXPECT_EQ(st[6].arg, 'e');
    EXPECT_EQ(h.Named("last").size(), 1u);
    // Dash: 2400 full-level samples, no ramps, then silence.
    ExpectSamples(h.out, st[0].pos, st[0].pos + 2400, [](int64_t i) { return 32500 * Wave(800, i); });
    ExpectSamples(h.out, st[0].pos + 2400, st[2].pos, [](int64_t) { return 0; });
    // TimePttHold 0: PTT drops at the first buffer start after one idle dot.
    ASSERT_EQ(h.Named("ptt-").size(), 1u);
    EXPECT_EQ(h.Named("ptt-")[0].pos, sent[6].pos + 800);

    // A slope kept from a lower speed makes bodies and spaces negative: the
    // character still ends.
    CwHarness o;
    o.cw.SetSlope(500);
    o.cw.SetSpeed(300);
    o.Send("5", 20);
    EXPECT_EQ(o.Named("sent").size(), 1u);
}

TEST(CWoutText, StereoSteadyToneLeftAndKeyToneWhileIdle) {
    CwHarness h;
    h.cw.SetStereo(true);
    h.cw.SetKeyFrequency(600);
    h.cw.Start();
    h.Run(2);
    h.cw.PutChar('e');
    h.Run(10);
    EXPECT_EQ(h.Timeline(), "run@0 ptt+@1600 start:e@3200 sent:e@6400 last@6400 ");
    ExpectSamples(h.other, 0, h.other.size(), [](int64_t i) { return 32500 * Wave(600, i); });
    ExpectSamples(h.out, 0, h.out.size(),
                  [](int64_t i) { return DotEnvelope(i, 3200) * 32500 * Wave(800, i); });

    CwHarness k;
    k.cw.Start();
    k.cw.KeyTone = true;
    k.Run(1);
    k.cw.KeyTone = false;
    k.Run(1);
    ExpectSamples(k.out, 0, 1600, [](int64_t i) { return i < 800 ? 32500 * Wave(800, i) : 0; });
}

TEST(CWoutText, ManualPttResumeAndRelease) {
    CwHarness h;
    h.cw.SetAutoStartStop(false);
    h.cw.SetTimePttHold(100);
    h.Send("e", 5);  // nothing sent before Resume
    EXPECT_EQ(h.Order(), "run ");
    EXPECT_TRUE(h.cw.Resume());  // PTT on without an event
    h.Run(10);
    EXPECT_EQ(h.Order(), "run start sent last ");
    h.cw.PutChar('e');  // sent at once: PTT is still on
    h.Run(30);
    EXPECT_EQ(h.Named("start").size(), 2u);
    EXPECT_TRUE(h.cw.PttOn());
    h.cw.ReleasePtt();
    h.Run(4);
    EXPECT_EQ(h.Order(), "run start sent last start sent last ptt- ");
    EXPECT_TRUE(h.cw.IsIdle());

    // Resume with an empty queue sends "nothing" after one dot period and
    // the lead; ReleasePttNow drops the PTT at the next slot.
    CwHarness e;
    e.cw.Start();
    e.cw.Resume();
    e.Run(3);
    EXPECT_TRUE(e.cw.PttOn());
    e.cw.ReleasePttNow();
    e.Run(1);
    EXPECT_EQ(e.Timeline(), "run@0 sent@1600 ptt-@2400 ");
    EXPECT_FALSE(e.cw.PttOn());
}

TEST(CWoutText, HoldTimeKeepsPttAndDefersCharacters) {
    CwHarness h;
    h.cw.SetTimePttHold(100);  // 2 dots
    h.cw.OnCharSent = [&](char) { h.cw.Hold = true; };
    h.Send("et", 40);  // Hold: t waits, PTT stays on
    EXPECT_EQ(h.Order(), "run ptt+ start ");
    EXPECT_TRUE(h.cw.PttOn());
    h.cw.OnCharSent = nullptr;
    h.cw.Resume();
    h.Run(20);
    EXPECT_EQ(h.Order(), "run ptt+ start start last ptt- ");
    CwHarness idle;  // Hold while idle: nothing starts
    idle.cw.Start();
    idle.cw.Hold = true;
    idle.Send("e", 10);
    EXPECT_EQ(idle.Order(), "run ");

    // A character arriving just as the hold count reaches its limit (at the
    // end of a buffer) is sent, and the PTT drops after a fresh hold time.
    CwHarness a;
    a.cw.SetTimePttHold(100);
    a.Send("e", 8);
    ASSERT_EQ(a.cw.HoldCount(), a.cw.HoldDots());
    ASSERT_TRUE(a.cw.PttOn());
    a.cw.PutChar('t');
    a.Run(10);
    EXPECT_EQ(a.Order(), "run ptt+ start sent last start sent last ptt- ");
    EXPECT_EQ(a.Named("start")[1].pos, 6400);
    EXPECT_GT(a.Named("ptt-")[0].pos, a.Named("sent")[1].pos);
}

TEST(CWoutText, StopFinishesCurrentCharacter) {
    CwHarness h;
    EXPECT_FALSE(h.cw.Stop());
    h.Send("ee", 4);
    EXPECT_TRUE(h.cw.Stop());
    h.Run(10);
    EXPECT_EQ(h.Timeline(), "run@0 ptt+@0 start:e@1600 sent:e@4800 ptt-@4800 stop@4800 ");
    EXPECT_FALSE(h.cw.IsRunning());
    EXPECT_TRUE(h.cw.HasChars());  // the second character was not taken
    ExpectSamples(h.out, 4800, h.out.size(), [](int64_t) { return 0; });

    // Stopping while idle takes effect at the next slot.
    CwHarness idle;
    idle.Send("", 1);
    idle.cw.Stop();
    idle.Run(1);
    EXPECT_EQ(idle.Timeline(), "run@0 stop@800 ");
    EXPECT_TRUE(idle.cw.Start());
}

}  // namespace
