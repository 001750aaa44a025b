#include "morse/CWout.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// {dot, dot mark, dot space, dash, character extra, word extra} in samples.
std::array<int32_t, 6> Table(const TCWout& cw) {
    return {cw.DotS(), cw.DotMarkS(), cw.DotSpaceS(), cw.DashS(), cw.CharExtraS(), cw.WordExtraS()};
}

TEST(CWoutTiming, TableSlopeAndPtt) {
    TCWout cw;
    std::vector<int> slopes;
    cw.OnSlopeChanged = [&](int v) { slopes.push_back(v); };
    EXPECT_EQ(Table(cw), (std::array{800, 779, 781, 2400, 1600, 3200}));
    EXPECT_EQ(cw.DotMs(), 100);
    // {speed, dot samples, dot ms}: truncated at 70 CpM.
    for (auto [cpm, dotS, dotMs] : {std::array{300, 160, 20}, {10, 4800, 600}, {70, 685, 85}}) {
        cw.SetSpeed(cpm);
        EXPECT_EQ(cw.DotS(), dotS) << cpm;
        EXPECT_EQ(cw.DotMs(), dotMs) << cpm;
    }
    // The ramp eats into the dot mark and is capped below a dot.
    cw.SetSpeed(60);
    cw.SetSlope(500);
    EXPECT_EQ(Table(cw), (std::array{800, 299, 301, 2400, 1600, 3200}));
    cw.SetSlope(-4);
    EXPECT_EQ(cw.Slope(), 0);
    EXPECT_EQ(cw.DotMarkS(), 800);
    cw.SetSlope(0);  // unchanged: no event
    cw.SetSpeed(300);
    cw.SetSlope(500);
    EXPECT_EQ(slopes, (std::vector<int>{500, 0, 159}));
    cw.SetSpeed(60);  // a slope kept from a lower speed stays when the speed rises
    cw.SetSlope(300);
    cw.SetSpeed(300);
    EXPECT_EQ(cw.Slope(), 300);

    // PTT lead never shorter than one dot; hold in whole dots, at least one.
    cw.SetSpeed(60);
    for (auto [ms, lead] : {std::pair{100, 800}, {0, 800}, {-5, 800}, {250, 2000}}) {
        cw.SetTimePttStart(ms);
        EXPECT_EQ(cw.PttLeadS(), lead) << ms;
    }
    EXPECT_EQ(cw.TimePttStart(), 250);
    for (auto [ms, dots] : {std::pair{1000, 11}, {100, 2}, {0, 1}, {-1, 1}}) {
        cw.SetTimePttHold(ms);
        EXPECT_EQ(cw.HoldDots(), dots) << ms;
    }
    cw.SetTimePttStart(2147483647);
    EXPECT_GT(cw.PttLeadS(), 0);
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
    for (int v : {5, 20, 999})
        cw.SetSpeed(v);  // the same value again is silent
    cw.SetMinSpeed(400);
    cw.SetMaxSpeed(1);
    EXPECT_EQ((std::array{cw.MinSpeed(), cw.MaxSpeed(), cw.Speed()}),
              (std::array{300, 10, 300}));  // no re-clamp
    for (int v : {50, 5000, 2000})
        cw.SetFrequency(v);
    cw.SetKeyFrequency(600);
    cw.SetWeight(10);
    cw.SetRatio(1000);
    EXPECT_EQ(speeds, (std::vector<int>{20, 300}));
    EXPECT_EQ(freqs, (std::vector<int>{100, 2000}));
    EXPECT_EQ(freqs2, (std::vector<int>{600}));
    EXPECT_EQ(weights, (std::vector<int>{30}));
    EXPECT_EQ(ratios, (std::vector<int>{600}));

    cw.SetLogAmplitude(-10);
    EXPECT_NEAR(cw.Amplitude(), 10277.4, 0.1);
    EXPECT_NEAR(cw.PatRampStep(), cw.Amplitude() / 11, 1e-9);
    cw.SetLogAmplitude(3);
    EXPECT_EQ(cw.LogAmplitude(), 0);
    EXPECT_DOUBLE_EQ(cw.Amplitude(), 32500.0);
}

TEST(CWoutChars, TableFoldingQueueAndProsigns) {
    TCWout cw;
    // {character, pattern, sendable with the extra set, sendable without}
    struct Row {
        char c;
        uint16_t pattern;
        bool extra, standard;
    };
    for (const Row& r : {Row{'A', 0x05, true, true},
                         {'a', 0x05, true, true},
                         {'%', 0x100, true, true},
                         {'{', 0x238, true, true},
                         {' ', 0x01, true, true},
                         {'\xFE', 0x01, true, true},
                         {'\r', 0x01, true, true},
                         {'~', 0, false, false},
                         {'\0', 0, false, false},
                         {'@', 0x5A, true, false},
                         {'}', 0x1F, true, false},
                         {'\xE4', 0x15, true, false},
                         {'\xC4', 0x15, true, false}}) {
        cw.SetExtraChars(true);
        EXPECT_EQ(cw.PatternOf(r.c), r.pattern) << int(r.c);
        EXPECT_EQ(cw.IsSendable(r.c), r.extra) << int(r.c);
        cw.SetExtraChars(false);
        EXPECT_EQ(cw.IsSendable(r.c), r.standard) << int(r.c);
    }
    EXPECT_EQ(TCWout::Fold('\xC4'), '\xE4');
    EXPECT_EQ(TCWout::Fold('\xC8'), '\xC8');  // È is not folded

    // Queued unchanged, the unsendable refused, taken back last-in first-out;
    // the reserve slot stays free.
    EXPECT_FALSE(cw.PutChar('@'));
    for (char c : {'Q', '\r'})
        EXPECT_TRUE(cw.PutChar(c));
    for (char c : {'\r', 'Q', '\0'})
        EXPECT_EQ(cw.DeleteLastChar(), c);
    cw.SetBuffersize(3);
    for (char c : {'a', 'b'})
        EXPECT_TRUE(cw.PutChar(c));
    EXPECT_FALSE(cw.PutChar('c'));
    EXPECT_EQ(cw.ClearBuffer(), 2);
    EXPECT_FALSE(cw.HasChars());

    cw.SetExtraChars(true);
    for (auto [text, index] :
         {std::pair{"<AR>", 1}, {"<sos>", 9}, {"<sos>xyz", 9}, {"<ch>", 10}, {"<zz>", 0}, {"", 0}})
        EXPECT_EQ(cw.ProsignIndexOfText(text), index) << text;  // only 5 characters count
    cw.SetExtraChars(false);
    EXPECT_EQ(cw.ProsignIndexOfText("<ch>"), 0);
    EXPECT_EQ(TCWout::ProsignIndexOfChar('a'), 0);
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(TCWout::ProsignIndexOfChar(TCWout::ProsignChar(i)), i);
    EXPECT_EQ(TCWout::ProsignIndexOfChar('+'), 1);
    EXPECT_EQ(TCWout::ProsignIndexOfChar('}'), 10);
    EXPECT_EQ(TCWout::ProsignText(9), "<sos>");
    EXPECT_EQ(TCWout::ProsignChar(0), '\0');
    EXPECT_EQ(TCWout::ProsignText(11), "");
}

}  // namespace
