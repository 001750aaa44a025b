#include "morse/CWout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CWoutTiming, TableAtTypicalSpeeds) {
    TCWout cw;
    EXPECT_EQ(cw.Speed(), 60);
    EXPECT_EQ(cw.DotS(), 800);
    EXPECT_EQ(cw.DotMs(), 100);
    EXPECT_EQ(cw.DotMarkS(), 779);
    EXPECT_EQ(cw.DotSpaceS(), 781);
    EXPECT_EQ(cw.DashS(), 2400);
    EXPECT_EQ(cw.CharExtraS(), 1600);
    EXPECT_EQ(cw.WordExtraS(), 3200);
    EXPECT_EQ(cw.PttLeadS(), 800);
    EXPECT_EQ(cw.HoldDots(), 11);
    EXPECT_EQ(cw.DotSamples(), 800);

    cw.SetSpeed(300);
    EXPECT_EQ(cw.DotS(), 160);
    EXPECT_EQ(cw.DotMs(), 20);
    cw.SetSpeed(10);
    EXPECT_EQ(cw.DotS(), 4800);
    cw.SetSpeed(70);
    EXPECT_EQ(cw.DotS(), 685);
    EXPECT_EQ(cw.DotMs(), 85);
}

TEST(CWoutTiming, PttLeadAndHold) {
    TCWout cw;
    cw.SetTimePttStart(0);
    EXPECT_EQ(cw.PttLeadS(), 800);  // never shorter than one dot
    cw.SetTimePttStart(-5);
    EXPECT_EQ(cw.TimePttStart(), 0);
    cw.SetTimePttStart(250);
    EXPECT_EQ(cw.PttLeadS(), 2000);
    cw.SetTimePttHold(100);
    EXPECT_EQ(cw.HoldDots(), 2);
    cw.SetTimePttHold(0);
    EXPECT_EQ(cw.HoldDots(), 1);
    cw.SetTimePttHold(-1);
    EXPECT_EQ(cw.TimePttHold(), 0);
    cw.SetTimePttStart(2147483647);
    EXPECT_GT(cw.PttLeadS(), 0);
}

TEST(CWoutTiming, SlopeCaps) {
    TCWout cw;
    std::vector<int> seen;
    cw.OnSlopeChanged = [&](int v) { seen.push_back(v); };
    cw.SetSlope(500);
    EXPECT_EQ(cw.Slope(), 500);
    EXPECT_EQ(cw.DotMarkS(), 299);
    EXPECT_EQ(cw.DotSpaceS(), 301);
    cw.SetSlope(-4);
    EXPECT_EQ(cw.Slope(), 0);
    EXPECT_EQ(cw.DotMarkS(), 800);
    EXPECT_EQ(cw.DotSpaceS(), 800);
    cw.SetSlope(0);  // unchanged: no event
    EXPECT_EQ(seen, (std::vector<int>{500, 0}));

    cw.SetSlope(20);
    cw.SetSpeed(300);
    cw.SetSlope(500);
    EXPECT_EQ(cw.Slope(), 159);
    EXPECT_EQ(seen.back(), 159);

    // A slope kept from a lower speed stays when the speed rises.
    cw.SetSpeed(60);
    cw.SetSlope(300);
    cw.SetSpeed(300);
    EXPECT_EQ(cw.Slope(), 300);
}

TEST(CWoutProps, ClampsAndChangeEvents) {
    TCWout cw;
    std::vector<int> speeds, freqs, freqs2, weights, ratios;
    cw.OnSpeedChanged = [&](int v) { speeds.push_back(v); };
    cw.OnFreqChanged = [&](int v) { freqs.push_back(v); };
    cw.OnFreq2Changed = [&](int v) { freqs2.push_back(v); };
    cw.OnWeightChanged = [&](int v) { weights.push_back(v); };
    cw.OnRatioChanged = [&](int v) { ratios.push_back(v); };

    cw.SetMinSpeed(20);
    cw.SetSpeed(5);
    cw.SetSpeed(20);  // same value again: silent
    cw.SetSpeed(999);
    EXPECT_EQ(speeds, (std::vector<int>{20, 300}));
    cw.SetMinSpeed(400);
    EXPECT_EQ(cw.MinSpeed(), 300);
    cw.SetMaxSpeed(1);
    EXPECT_EQ(cw.MaxSpeed(), 10);
    EXPECT_EQ(cw.Speed(), 300);  // bounds do not re-clamp the speed

    cw.SetFrequency(50);
    cw.SetFrequency(5000);
    cw.SetFrequency(2000);
    cw.SetFrequency2(600);
    EXPECT_EQ(freqs, (std::vector<int>{100, 2000}));
    EXPECT_EQ(freqs2, (std::vector<int>{600}));

    cw.SetWeight(10);
    cw.SetRatio(1000);
    EXPECT_EQ(weights, (std::vector<int>{30}));
    EXPECT_EQ(ratios, (std::vector<int>{600}));

    cw.SetLogAmplitude(-10);
    EXPECT_NEAR(cw.Amplitude(), 10277.4, 0.1);
    EXPECT_NEAR(cw.PatRampStep(), cw.Amplitude() / 11, 1e-9);
    cw.SetLogAmplitude(3);
    EXPECT_EQ(cw.LogAmplitude(), 0);
    EXPECT_DOUBLE_EQ(cw.Amplitude(), 32500.0);

    EXPECT_EQ(cw.Buffersize(), 30000);
    cw.SetBuffersize(3);
    EXPECT_TRUE(cw.PutChar('a'));
    EXPECT_TRUE(cw.PutChar('b'));
    EXPECT_FALSE(cw.PutChar('c'));  // the reserve slot stays free
}

TEST(CWoutChars, TableAndFolding) {
    TCWout cw;
    EXPECT_EQ(cw.PatternOf('A'), 0x05);
    EXPECT_EQ(cw.PatternOf('a'), 0x05);
    EXPECT_EQ(cw.PatternOf('%'), 0x100);
    EXPECT_EQ(cw.PatternOf('{'), 0x238);
    EXPECT_EQ(cw.PatternOf(' '), 0x01);
    EXPECT_EQ(cw.PatternOf('\xFE'), 0x01);
    EXPECT_EQ(cw.PatternOf('~'), 0);
    EXPECT_EQ(cw.PatternOf('\xC4'), 0x15);  // Ä folds to ä
    EXPECT_EQ(TCWout::Fold('\xC4'), '\xE4');
    EXPECT_EQ(TCWout::Fold('\xC8'), '\xC8');  // È is not folded

    EXPECT_TRUE(cw.IsSendable('}'));
    EXPECT_TRUE(cw.IsSendable('\xE4'));
    EXPECT_TRUE(cw.IsSendable('@'));
    EXPECT_FALSE(cw.IsSendable('\0'));
    EXPECT_FALSE(cw.IsSendable('~'));

    cw.SetExtraChars(false);
    EXPECT_FALSE(cw.IsSendable('}'));
    EXPECT_FALSE(cw.IsSendable('\xE4'));
    EXPECT_FALSE(cw.IsSendable('\xC4'));
    EXPECT_FALSE(cw.PutChar('@'));
    EXPECT_EQ(cw.PatternOf('\xE4'), 0x15);
    EXPECT_TRUE(cw.IsSendable('{'));
    EXPECT_TRUE(cw.IsSendable('\r'));

    // Queued unchanged, taken back last-in first-out.
    EXPECT_TRUE(cw.PutChar('Q'));
    EXPECT_TRUE(cw.PutChar('\r'));
    EXPECT_EQ(cw.DeleteLastChar(), '\r');
    EXPECT_EQ(cw.DeleteLastChar(), 'Q');
    EXPECT_EQ(cw.DeleteLastChar(), '\0');
    cw.PutChar('a');
    cw.PutChar('b');
    EXPECT_EQ(cw.ClearBuffer(), 2);
    EXPECT_FALSE(cw.HasChars());
}

TEST(CWoutChars, Prosigns) {
    TCWout cw;
    EXPECT_EQ(cw.ProsignIndexOfText("<AR>"), 1);
    EXPECT_EQ(cw.ProsignIndexOfText("<sos>"), 9);
    EXPECT_EQ(cw.ProsignIndexOfText("<sos>xyz"), 9);  // only 5 characters count
    EXPECT_EQ(cw.ProsignIndexOfText("<ch>"), 10);
    EXPECT_EQ(cw.ProsignIndexOfText("<zz>"), 0);
    EXPECT_EQ(cw.ProsignIndexOfText(""), 0);
    cw.SetExtraChars(false);
    EXPECT_EQ(cw.ProsignIndexOfText("<ch>"), 0);

    EXPECT_EQ(TCWout::ProsignIndexOfChar('+'), 1);
    EXPECT_EQ(TCWout::ProsignIndexOfChar('}'), 10);
    EXPECT_EQ(TCWout::ProsignIndexOfChar('a'), 0);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(TCWout::ProsignIndexOfChar(TCWout::ProsignChar(i)), i);
    EXPECT_EQ(TCWout::ProsignText(9), "<sos>");
    EXPECT_EQ(TCWout::ProsignChar(0), '\0');
    EXPECT_EQ(TCWout::ProsignText(11), "");
}

}  // namespace
