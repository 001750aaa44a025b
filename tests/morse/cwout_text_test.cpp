#include "cwout_harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

double Wave(int hz, int64_t i) { return std::sin(kTwoPi * double((hz * i) % 8000) / 8000.0); }

// Envelope of a text dot starting at `start` (ramps linear from 1/(R+1)).
double DotEnvelope(int64_t i, int64_t start, int R, int body) {
    const int64_t k = i - start;
    if (k < 0) return 0;
    if (k < R) return double(k + 1) / (R + 1);
    if (k < R + body) return 1;
    if (k < 2 * R + body) return double(R - (k - R - body)) / (R + 1);
    return 0;
}

TEST(CWoutText, SingleDotAt60CpmFromIdle) {
    CwHarness h;
    ASSERT_TRUE(h.cw.Start());
    EXPECT_FALSE(h.cw.Start());
    h.Run(1);  // one idle buffer
    ASSERT_TRUE(h.cw.PutChar('e'));
    h.Run(20);

    EXPECT_EQ(h.Order(), "run ptt start sent last ptt ");
    const auto ptt = h.Named("ptt");
    EXPECT_EQ(ptt[0].pos, 800);
    EXPECT_EQ(ptt[0].arg, 1);
    const int64_t start = h.Named("start")[0].pos;
    // Silence to the end of the current dot period, then an 800-sample lead.
    EXPECT_EQ(start, 800 + 800 + 800);
    EXPECT_EQ(h.Named("start")[0].arg, 'e');
    EXPECT_EQ(h.Named("sent")[0].pos - start, 3200);
    EXPECT_EQ(h.Named("sent")[0].arg, 'e');
    EXPECT_EQ(h.Named("last")[0].pos, h.Named("sent")[0].pos);
    // 11 idle dot periods, then off at the start of the next buffer.
    EXPECT_EQ(ptt[1].arg, 0);
    EXPECT_EQ(ptt[1].pos, 5600 + 11 * 800);
    EXPECT_EQ(ptt[1].pos % 800, 0);
    EXPECT_TRUE(h.cw.IsIdle());
    EXPECT_FALSE(h.cw.PttOn());

    // 20 rising, 779 steady, 20 falling samples, silence everywhere else.
    for (int64_t i = 0; i < int64_t(h.out.size()); ++i) {
        const double expect = DotEnvelope(i, start, 20, 779) * 32500 * Wave(800, i);
        ASSERT_NEAR(h.out[i], expect, 1.01) << "sample " << i;
    }
}

TEST(CWoutText, RampValuesAreExact) {
    // At 2000 Hz each sample sits on 0, +1, 0 or -1 of the sine table.
    CwHarness h;
    h.cw.SetFrequency(2000);
    h.cw.Start();
    h.cw.PutChar('e');
    h.Run(8);
    const int64_t s = h.Named("start")[0].pos;
    ASSERT_EQ(s % 4, 0);  // rise starts at phase 0
    const double step = 32500.0 / 21;
    EXPECT_EQ(h.out[s], 0);
    EXPECT_EQ(h.out[s + 1], int16_t(2 * step));
    EXPECT_EQ(h.out[s + 3], int16_t(4 * -step));
    EXPECT_EQ(h.out[s + 19], int16_t(20 * -step));
    EXPECT_EQ(h.out[s + 21], 32500);
    EXPECT_EQ(h.out[s + 797], 32500);  // near the end of the body
    const int64_t f = s + 20 + 779;  // first falling sample
    EXPECT_EQ(h.out[f], int16_t(20 * -step));
    EXPECT_EQ(h.out[f + 1], 0);
    EXPECT_EQ(h.out[f + 2], int16_t(18 * step));
    EXPECT_EQ(h.out[f + 18], int16_t(2 * step));
    EXPECT_EQ(h.out[f + 20], 0);
}

TEST(CWoutText, DashAndPausesWithoutRamps) {
    CwHarness h;
    h.cw.SetSlope(0);
    h.cw.SetTimePttHold(0);
    h.cw.Start();
    for (char c : std::string("t\xFE" "e e\re")) h.cw.PutChar(c);
    h.Run(40);
    const auto st = h.Named("start");
    const auto sent = h.Named("sent");
    ASSERT_EQ(st.size(), 7u);
    ASSERT_EQ(sent.size(), 7u);
    // t: dash 2400 + element space 800 + 1600; the pause characters add 4 dots.
    EXPECT_EQ(sent[0].pos - st[0].pos, 4800);
    EXPECT_EQ(sent[1].pos - st[1].pos, 3200);
    EXPECT_EQ(st[1].pos, sent[0].pos);
    EXPECT_EQ(sent[3].pos - st[3].pos, 3200);  // space
    EXPECT_EQ(sent[5].pos - st[5].pos, 3200);  // CR
    EXPECT_EQ(st[6].arg, 'e');
    // Dash: 2400 full-level samples, no ramps, then silence.
    for (int64_t i = st[0].pos; i < st[0].pos + 2400; ++i)
        ASSERT_NEAR(h.out[i], 32500 * Wave(800, i), 1.01) << i;
    for (int64_t i = st[0].pos + 2400; i < st[2].pos; ++i) ASSERT_EQ(h.out[i], 0) << i;
    EXPECT_EQ(h.Named("last").size(), 1u);
    // TimePttHold 0: PTT drops at the first buffer start after one idle dot.
    const auto ptt = h.Named("ptt");
    ASSERT_EQ(ptt.size(), 2u);
    EXPECT_EQ(ptt[1].pos, sent[6].pos + 800);
}

TEST(CWoutText, StereoKeepsSteadyToneOnLeft) {
    CwHarness h;
    h.cw.SetStereo(true);
    h.cw.SetFrequency2(600);
    h.cw.Start();
    h.Run(2);
    h.cw.PutChar('e');
    h.Run(10);
    const int64_t start = h.Named("start")[0].pos;
    EXPECT_EQ(start, 1600 + 800 + 800);
    EXPECT_EQ(h.Named("sent")[0].pos - start, 3200);
    for (int64_t i = 0; i < int64_t(h.other.size()); ++i) {
        ASSERT_NEAR(h.other[i], 32500 * Wave(600, i), 1.01) << "left " << i;
        ASSERT_NEAR(h.out[i], DotEnvelope(i, start, 20, 779) * 32500 * Wave(800, i), 1.01) << "right " << i;
    }
}

TEST(CWoutText, KeyToneWhileIdle) {
    CwHarness h;
    h.cw.Start();
    h.cw.KeyTone = true;
    h.Run(1);
    for (int64_t i = 0; i < 800; ++i) ASSERT_NEAR(h.out[i], 32500 * Wave(800, i), 1.01);
    h.cw.KeyTone = false;
    h.Run(1);
    for (int64_t i = 800; i < 1600; ++i) ASSERT_EQ(h.out[i], 0);
}

TEST(CWoutText, ManualPttWithAutoStartStopOff) {
    CwHarness h;
    h.cw.SetAutoStartStop(false);
    h.cw.SetTimePttHold(100);
    h.cw.Start();
    h.cw.PutChar('e');
    h.Run(5);
    EXPECT_TRUE(h.cw.IsIdle());
    EXPECT_EQ(h.Order(), "run ");

    EXPECT_TRUE(h.cw.Resume());  // PTT on without an event
    h.Run(10);
    EXPECT_EQ(h.Order(), "run start sent last ");
    EXPECT_TRUE(h.cw.PttOn());
    h.cw.PutChar('e');  // sent at once: PTT is still on
    h.Run(30);
    EXPECT_EQ(h.Named("start").size(), 2u);
    EXPECT_TRUE(h.cw.PttOn());

    h.cw.ReleasePtt();
    h.Run(4);
    ASSERT_EQ(h.Named("ptt").size(), 1u);
    EXPECT_EQ(h.Named("ptt")[0].arg, 0);
    EXPECT_TRUE(h.cw.IsIdle());
}

TEST(CWoutText, ResumeWithEmptyQueueAndReleaseNow) {
    CwHarness h;
    h.cw.Start();
    h.cw.Resume();
    h.Run(3);
    const auto sent = h.Named("sent");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].arg, 0);
    EXPECT_EQ(sent[0].pos, 800 + 800);  // one dot period, then the lead
    EXPECT_TRUE(h.cw.PttOn());
    EXPECT_TRUE(h.Named("ptt").empty());
    h.cw.ReleasePttNow();
    h.Run(1);
    ASSERT_EQ(h.Named("ptt").size(), 1u);
    EXPECT_EQ(h.Named("ptt")[0].pos, 2400);
    EXPECT_FALSE(h.cw.PttOn());
}

TEST(CWoutText, HoldKeepsPttAndDefersCharacters) {
    CwHarness h;
    h.cw.SetTimePttHold(100);
    h.cw.Start();
    h.cw.OnCharSent = [&](char) { h.cw.Hold = true; };
    h.cw.PutChar('e');
    h.cw.PutChar('t');
    h.Run(40);
    EXPECT_EQ(h.Named("start").size(), 1u);
    EXPECT_TRUE(h.cw.PttOn());
    EXPECT_TRUE(h.Named("ptt").size() == 1u);
    h.cw.OnCharSent = nullptr;
    h.cw.Resume();
    h.Run(20);
    EXPECT_EQ(h.Named("start").size(), 2u);
    EXPECT_EQ(h.Named("ptt").size(), 2u);
}

TEST(CWoutText, CharacterArrivingAsHoldTimeEndsIsSent) {
    CwHarness h;
    h.cw.SetTimePttHold(100);  // 2 dots
    h.cw.Start();
    h.cw.PutChar('e');
    // Sent at sample 4800; the hold count reaches its limit at the end of a buffer.
    h.Run(8);
    ASSERT_EQ(h.cw.HoldCount(), h.cw.HoldDots());
    ASSERT_TRUE(h.cw.PttOn());
    h.cw.PutChar('t');
    h.Run(10);
    const auto st = h.Named("start");
    ASSERT_EQ(st.size(), 2u);
    EXPECT_EQ(st[1].pos, 6400);
    EXPECT_EQ(h.Named("sent").size(), 2u);
    // PTT stays on through the character and drops after a fresh hold time.
    const auto ptt = h.Named("ptt");
    ASSERT_EQ(ptt.size(), 2u);
    EXPECT_GT(ptt[1].pos, h.Named("sent")[1].pos);
}

TEST(CWoutText, StopFinishesCurrentCharacter) {
    CwHarness h;
    EXPECT_FALSE(h.cw.Stop());
    h.cw.Start();
    h.cw.PutChar('e');
    h.cw.PutChar('e');
    h.Run(4);
    ASSERT_EQ(h.Named("start").size(), 1u);
    EXPECT_TRUE(h.cw.Stop());
    h.Run(10);
    EXPECT_EQ(h.Order(), "run ptt start sent ptt stop ");
    EXPECT_EQ(h.Named("stop")[0].pos, h.Named("sent")[0].pos);
    EXPECT_FALSE(h.cw.IsRunning());
    EXPECT_TRUE(h.cw.HasChars());  // the second character was not taken
    for (int64_t i = h.Named("stop")[0].pos; i < int64_t(h.out.size()); ++i) ASSERT_EQ(h.out[i], 0);

    // Stopping while idle takes effect at the next slot.
    CwHarness idle;
    idle.cw.Start();
    idle.Run(1);
    idle.cw.Stop();
    idle.Run(1);
    EXPECT_EQ(idle.Order(), "run stop ");
    EXPECT_EQ(idle.Named("stop")[0].pos, 800);
    EXPECT_TRUE(idle.cw.Start());
}

TEST(CWoutText, OversizedSlopeStillTerminates) {
    CwHarness h;
    h.cw.SetSlope(500);
    h.cw.SetSpeed(300);  // slope kept: element bodies and spaces go negative
    h.cw.Start();
    h.cw.PutChar('5');
    h.Run(20);
    EXPECT_EQ(h.Named("sent").size(), 1u);
}

}  // namespace
