// The iambic keyer on a hand-driven clock: single elements, held paddles,
// squeezes in modes A and B, the dot and dash memories and swapped paddles.
// What it forms goes into the analyser as the key input hands transitions
// over (durations between the stamps), and the lengths the analyser records
// and the text decoded are checked exactly.

#include "analysis/CWDecode.h"
#include "analysis/Analyser.h"
#include "devices/ManualClock.h"
#include "session/IambicKeyer.h"
#include "../analysis/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr bool Dit = true, Dah = false;

struct Rig {
    ManualClock clock;
    TIambicKeyer keyer{clock, clock};
    FakeOwner owner;
    TAnalyser calc{clock, &owner, nullptr};
    TCWDecode decoder;
    std::vector<std::pair<bool, uint64_t>> edges;  // (down, stamp)
    std::vector<uint32_t> announced;               // each key-down's mark length
    std::vector<CharRecord> records;
    std::string text;
    uint64_t start = 0;

    explicit Rig(int mode, int cpm = 60) {
        clock.AdvanceTo(100000);
        start = clock.Now();
        keyer.SetMode(mode);
        keyer.SetSpeed(cpm);
        calc.SetTempo(cpm);
        keyer.OnKey = [this](bool down, uint64_t at, uint32_t markMs) {
            if (down)
                announced.push_back(markMs);
            const uint64_t last = edges.empty() ? 0 : edges.back().second;
            edges.emplace_back(down, at);
            calc.KeyTransition(last ? uint32_t(at - last) : 5000u, down);
        };
        calc.OnNewPattern = [this](uint32_t data, bool bl, bool) {
            records.push_back(calc.HistoryRecord(calc.HistHead()));
            text += decoder.Decode(data, bl);
        };
    }
    uint64_t T(uint64_t ms) const { return start + ms; }
    void Press(bool dit, uint64_t at) {
        clock.AdvanceTo(T(at));
        keyer.Paddle(dit, true);
    }
    void Release(bool dit, uint64_t at) {
        clock.AdvanceTo(T(at));
        keyer.Paddle(dit, false);
    }
    // A press of 20 ms.
    void Tap(bool dit, uint64_t at) {
        Press(dit, at);
        Release(dit, at + 20);
    }
    void Settle() { clock.Advance(5000); }

    // Edge times, down, up, down, up ..., from the first (every test's
    // first press is at 0, and the keyer starts the element at the press).
    std::vector<uint64_t> Edges() const {
        std::vector<uint64_t> out;
        for (auto& [down, at] : edges)
            out.push_back(at - edges.front().second);
        return out;
    }
    // The marks as dots and dashes (a mark of another length as '?', one
    // whose key-down announced another length as '!').
    std::string Marks() const {
        std::string s;
        for (size_t i = 0; i + 1 < edges.size(); i += 2) {
            const uint64_t len = edges[i + 1].second - edges[i].second;
            s += announced[i / 2] != len    ? '!'
                 : len == keyer.DotMs()     ? '.'
                 : len == 3 * keyer.DotMs() ? '-'
                                            : '?';
        }
        return s;
    }
};

std::vector<uint32_t> Slots(const CharRecord& r) { return {r.begin(), r.begin() + 2 + r[1]}; }

TEST(IambicKeyer, SingleElementsAreOneDotAndThreeDotsAndTheDownStartsAtThePress) {
    Rig r(TIambicKeyer::IambicA);
    r.Tap(Dit, 0);
    EXPECT_TRUE(r.keyer.KeyDown());
    r.clock.AdvanceTo(r.T(199));
    EXPECT_TRUE(r.keyer.Busy());  // the space after the dot is still the keyer's
    r.clock.AdvanceTo(r.T(200));
    EXPECT_FALSE(r.keyer.Busy());
    r.Tap(Dah, 400);  // a character space of 300 after the dot
    r.Settle();
    EXPECT_EQ(r.Edges(), (std::vector<uint64_t>{0, 100, 400, 700}));
    EXPECT_EQ(r.text, "et");
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(Slots(r.records[0]), (std::vector<uint32_t>{2, 2, 100, 300}));
    EXPECT_EQ(r.records[1][2], 300u);

    // A press longer than the element still gives one element; the repeat
    // of a pressed state (auto-repeat) changes nothing.
    Rig held(TIambicKeyer::IambicB, 100);  // dot 60 ms
    held.Press(Dah, 0);
    held.Press(Dah, 50);
    held.Release(Dah, 200);
    held.Settle();
    EXPECT_EQ(held.Edges(), (std::vector<uint64_t>{0, 180}));
}

TEST(IambicKeyer, HeldPaddleRepeatsAtExactlyTheTargetSpeed) {
    // Released during the fifth dot's space: five dots, "5".
    Rig dits(TIambicKeyer::IambicA);
    dits.Press(Dit, 0);
    dits.Release(Dit, 950);
    dits.Settle();
    EXPECT_EQ(dits.Edges(), (std::vector<uint64_t>{0, 100, 200, 300, 400, 500, 600, 700, 800, 900}));
    EXPECT_EQ(dits.text, "5");
    ASSERT_EQ(dits.records.size(), 1u);
    EXPECT_EQ(Slots(dits.records[0]).size(), 12u);
    for (int i = 2; i < 10; ++i)
        EXPECT_EQ(dits.records[0][i], 100u) << i;

    // 120 CpM: dashes of 150 with 50 between; released in the third dash,
    // which is finished: "o".
    Rig dahs(TIambicKeyer::IambicB, 120);
    dahs.Press(Dah, 0);
    dahs.Release(Dah, 450);
    dahs.Settle();
    EXPECT_EQ(dahs.Edges(), (std::vector<uint64_t>{0, 150, 200, 350, 400, 550}));
    EXPECT_EQ(dahs.text, "o");
    EXPECT_EQ(Slots(dahs.records[0]), (std::vector<uint32_t>{15, 6, 150, 50, 150, 50, 150, 10000}));
}

TEST(IambicKeyer, SqueezeAlternatesAndModeBSendsOneMoreWhenLetGo) {
    for (int mode : {TIambicKeyer::IambicA, TIambicKeyer::IambicB}) {
        Rig r(mode);
        r.Press(Dit, 0);
        r.Press(Dah, 20);
        // dit 0-100, dah 200-500, dit 600-700, dah 800-1100: let go in it.
        r.Release(Dit, 900);
        r.Release(Dah, 910);
        r.Settle();
        if (mode == TIambicKeyer::IambicA) {
            EXPECT_EQ(r.Marks(), ".-.-");
        } else {
            EXPECT_EQ(r.Marks(), ".-.-.");
            EXPECT_EQ(r.Edges().back(), 1300u);
        }
        for (size_t i = 1; i + 1 < r.edges.size(); i += 2)
            EXPECT_EQ(r.edges[i + 1].second - r.edges[i].second, 100u) << "space " << i;
    }
    // Mode A: let go during a dot, the squeeze ends with it; mode B adds the dash.
    for (int mode : {TIambicKeyer::IambicA, TIambicKeyer::IambicB}) {
        Rig r(mode);
        r.Press(Dah, 0);
        r.Press(Dit, 10);
        r.Release(Dah, 420);  // dah 0-300, dit 400-500
        r.Release(Dit, 430);
        r.Settle();
        EXPECT_EQ(r.Marks(), mode == TIambicKeyer::IambicA ? "-." : "-.-") << mode;
        EXPECT_EQ(r.text, mode == TIambicKeyer::IambicA ? "n" : "k");
    }
}

TEST(IambicKeyer, MemoriesSendWhatWasPressedDuringAnElement) {
    // Dah held; dit tapped inside the first dash: "-.--", not four dashes.
    Rig dot(TIambicKeyer::IambicA);
    dot.Press(Dah, 0);
    dot.Tap(Dit, 100);
    dot.Release(Dah, 1250);
    dot.Settle();
    EXPECT_EQ(dot.Marks(), "-.--");
    EXPECT_EQ(dot.text, "y");
    EXPECT_EQ(Slots(dot.records[0]),
              (std::vector<uint32_t>{0x1B, 8, 300, 100, 100, 100, 300, 100, 300, 10000}));

    // Dit tap, dah tapped and let go inside the dot: the dash follows one
    // dot after it, in mode A too.
    Rig dash(TIambicKeyer::IambicA);
    dash.Tap(Dit, 0);
    dash.Tap(Dah, 50);
    dash.Settle();
    EXPECT_EQ(dash.Edges(), (std::vector<uint64_t>{0, 100, 200, 500}));
    EXPECT_EQ(dash.text, "a");

    // Taps at the keyer's pace, each element pressed in the space before it:
    // "paris" with exact elements and spaces.
    Rig paris(TIambicKeyer::IambicA);
    int64_t t = 0, end = -1000;
    for (const char* ch : {".--.", ".-", ".-.", "..", "..."}) {
        for (const char* e = ch; *e; ++e) {
            paris.Tap(*e == '.', uint64_t(t));
            end = std::max(t, end + 100) + (*e == '.' ? 100 : 300);  // as the keyer forms it
            t = end + 50;                                            // into the space after it
        }
        t = end + 300;  // a character space
    }
    paris.Settle();
    EXPECT_EQ(paris.text, "paris");
    for (const CharRecord& rec : paris.records) {
        // Slots: pattern, count, then mark, space ...; the last space ends the character.
        for (uint32_t i = 2; i <= rec[1]; i += 2)
            EXPECT_TRUE(rec[i] == 100 || rec[i] == 300) << rec[i];
        for (uint32_t i = 3; i < 1 + rec[1]; i += 2)
            EXPECT_EQ(rec[i], 100u) << i;
    }
    for (size_t i = 0; i + 1 < paris.records.size(); ++i)
        EXPECT_EQ(paris.records[i][1 + paris.records[i][1]], 300u) << i;
}

TEST(IambicKeyer, SwapExchangesThePaddlesAndStopEndsAMark) {
    Rig r(TIambicKeyer::IambicA);
    r.keyer.SetSwap(true);
    r.Tap(Dit, 0);
    r.Tap(Dah, 400);
    r.Settle();
    EXPECT_EQ(r.Marks(), "-.");
    EXPECT_EQ(r.Edges(), (std::vector<uint64_t>{0, 300, 400, 500}));

    Rig s(TIambicKeyer::IambicB);
    s.Press(Dit, 0);
    s.Press(Dah, 10);
    s.clock.AdvanceTo(s.T(250));
    s.keyer.Stop();
    EXPECT_FALSE(s.keyer.Busy());
    EXPECT_EQ(s.Edges(), (std::vector<uint64_t>{0, 100, 200, 250}));
    s.Settle();
    EXPECT_EQ(s.edges.size(), 4u);  // nothing after the stop
}

}  // namespace
