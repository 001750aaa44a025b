// The robust detector on signals of every kind: other generators' envelopes
// and rise times, weighted keying, tones away from the band's centre,
// carriers outside the band, every speed; and the speed followed on every
// kind of fist. Signals come from the program's own generator and, so the
// checks do not share its assumptions, from sox.

#include "Corpus.h"
#include "SoxMorse.h"
#include "analysis/SpeedFollower.h"
#include "devices/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace orvo {
namespace {

const std::string kText = "paris 0 5 the quick brown fox";

// Mean error of dots, dashes and element spaces from their nominal lengths,
// and the largest single error, in ms.
struct Timing {
    double mean[3] = {};
    double worst = 0;
};
Timing TimingOf(const AnalysisResult& r, const double nominal[3], double dot) {
    Timing t;
    double sum[3] = {}, count[3] = {};
    for (const CharacterEntry& ch : r.characters)
        for (size_t k = 0; k + 1 < ch.elements.size(); ++k) {
            const int kind = k % 2 ? 2 : ch.elements[k] < 0.5 * (nominal[0] + nominal[1]) ? 0 : 1;
            sum[kind] += ch.elements[k];
            ++count[kind];
            t.worst = std::max(t.worst, std::abs(ch.elements[k] - nominal[kind]));
        }
    for (int kind = 0; kind < 3; ++kind)
        t.mean[kind] = count[kind] ? sum[kind] / count[kind] - nominal[kind] : 1e9;
    (void)dot;
    return t;
}

AnalysisOptions Opt(int cpm, bool robust, bool autoSpeed = false) {
    return {.speed = cpm, .autoSpeed = autoSpeed, .robust = robust};
}

// Decodes a sox-made signal with the robust detector and checks the text
// and the mean length of each element kind: within 3 % of a dot, beside the
// half ms the analyser's whole ms may add.
void ExpectDecodedAndTimed(const std::vector<int16_t>& s, const soxmorse::Keying& k,
                           const AnalysisOptions& opt, const std::string& what) {
    const AnalysisResult r = AnalyzeSamples(s, opt);
    ASSERT_EQ(corpus::Letters(r.text), corpus::Letters(kText)) << what;
    double nominal[3];
    soxmorse::Nominal(k, nominal[0], nominal[1], nominal[2]);
    const double dot = 6000.0 / k.cpm;
    const Timing t = TimingOf(r, nominal, dot);
    for (int kind = 0; kind < 3; ++kind)
        EXPECT_LE(std::abs(t.mean[kind]), 0.03 * dot + 0.5) << what << ", kind " << kind;
}

std::string Describe(const soxmorse::Keying& k) {
    char buf[120];
    std::snprintf(buf, sizeof buf, "%.0f CpM, fade %c, rise %.0f ms, weighting %.0f %%, %d Hz", k.cpm,
                  k.fade ? k.fade : '-', k.riseMs, 100 * k.markShare, k.freq);
    return buf;
}

TEST(DetectorSignals, OtherEnvelopesRiseTimesAndWeightingDecodeAndKeepTheirTiming) {
    if (!soxmorse::Available())
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    for (int cpm : {20, 100, 300})
        for (double share : {0.3, 0.5, 0.7})
            for (char fade : {'h', 't', 'q', '\0'})
                for (double rise : {1.0, 10.0}) {
                    const soxmorse::Keying k{
                        .cpm = double(cpm), .markShare = share, .riseMs = rise, .fade = fade};
                    double dot, dash, space;
                    soxmorse::Nominal(k, dot, dash, space);
                    if (!fade && rise > 1)
                        continue;
                    if (2 * rise > std::min(dot, space))
                        continue;  // the fades would overlap
                    ExpectDecodedAndTimed(soxmorse::Morse(kText, k, dir.Path()), k, Opt(cpm, true),
                                          Describe(k));
                }
}

TEST(DetectorSignals, OwnGeneratorAnyRampAndWeightDecodes) {
    for (int cpm : {20, 100, 300})
        for (int weight : {43, 100, 233})  // a dot's share of dot and space: 30, 50, 70 %
            for (int slope : {0, 8, 40, 80}) {
                const SendOptions so{.speed = cpm, .weight = weight, .slope = slope};
                if (slope > 6000 * 8 / cpm * 2 / 10)
                    continue;  // ramps beyond a fifth of two dots
                const AnalysisResult r = AnalyzeSamples(SynthesizeMorse(kText, so), Opt(cpm, true));
                EXPECT_EQ(corpus::Letters(r.text), corpus::Letters(kText))
                    << cpm << " CpM, weight " << weight << ", slope " << slope;
            }
}

TEST(DetectorSignals, ToneAwayFromTheCentreIsTimedAsAtTheCentre) {
    if (!soxmorse::Available())
        GTEST_SKIP() << "sox not installed";
    TempDir dir;
    // Anywhere in the chosen band (62.5 Hz either side by default), slow or fast.
    for (int cpm : {20, 40, 150})
        for (int offset : {-60, -25, 0, 30, 55}) {
            const soxmorse::Keying k{.cpm = double(cpm), .riseMs = 5, .freq = 800 + offset};
            ExpectDecodedAndTimed(soxmorse::Morse(kText, k, dir.Path()), k, Opt(cpm, true), Describe(k));
        }
    // The wider bands and the broadband mode reach further.
    const soxmorse::Keying far{.cpm = 60, .riseMs = 5, .freq = 1000};
    const auto s = soxmorse::Morse(kText, far, dir.Path());
    AnalysisOptions wide = Opt(60, true);
    wide.bandwidth = 3;
    ExpectDecodedAndTimed(soxmorse::Morse(kText, {.cpm = 60, .riseMs = 5, .freq = 910}, dir.Path()),
                          {.cpm = 60, .riseMs = 5, .freq = 910}, wide, "910 Hz, bandwidth 3");
    AnalysisOptions broad = Opt(60, true);
    broad.mode = tProcessMode::broad;
    ExpectDecodedAndTimed(s, far, broad, "1000 Hz, broadband");
    // The centre is honoured: outside the band nothing is keyed.
    EXPECT_EQ(AnalyzeSamples(s, Opt(60, true)).characters.size(), 0u);
    AnalysisOptions there = Opt(60, true);
    there.center = 1000;
    ExpectDecodedAndTimed(s, far, there, "1000 Hz, --center 1000");
}

TEST(DetectorSignals, CarrierOutsideTheBandIsIgnored) {
    const std::vector<int16_t> keyed = corpus::Morse(kText, 100);
    for (int hz : {950, 1100, 1500, 500}) {
        std::vector<int16_t> s = keyed;
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(
                std::clamp<long>(s[i] + std::lround(8000 * std::sin(2 * 3.14159265358979 * hz * i / 8000.0)),
                                 -32768L, 32767L));
        EXPECT_EQ(corpus::Letters(AnalyzeSamples(s, Opt(100, true)).text), corpus::Letters(kText))
            << hz << " Hz beside";
        // Alone, steady, in faint noise.
        std::vector<int16_t> alone(30 * 8000);
        std::mt19937 rng(static_cast<uint32_t>(hz));
        std::normal_distribution<double> g(0.0, 30.0);
        for (size_t i = 0; i < alone.size(); ++i)
            alone[i] = static_cast<int16_t>(
                std::lround(8000 * std::sin(2 * 3.14159265358979 * hz * i / 8000.0) + g(rng)));
        // Or switched on for a second at a time, with 50 ms ramps that
        // splash nothing into the band: never as long as a carrier must
        // last to be known for one.
        std::vector<int16_t> bursts(20 * 8000);
        for (size_t i = 0; i < bursts.size(); ++i) {
            const double t = static_cast<double>(i % 24000), ramp = 400;
            const double gain =
                t < 8000
                    ? 0.5 - 0.5 * std::cos(3.14159265358979 * std::min({1.0, t / ramp, (8000 - t) / ramp}))
                    : 0.0;
            bursts[i] = static_cast<int16_t>(
                std::lround(gain * 8000 * std::sin(2 * 3.14159265358979 * hz * i / 8000.0) + g(rng)));
        }
        for (bool autoSpeed : {false, true}) {
            EXPECT_EQ(AnalyzeSamples(alone, Opt(60, true, autoSpeed)).characters.size(), 0u)
                << hz << " Hz alone";
            EXPECT_EQ(AnalyzeSamples(bursts, Opt(60, true, autoSpeed)).characters.size(), 0u)
                << hz << " Hz bursts";
        }
    }
}

// Key transitions of `text` as a fist keys it: element lengths jittered by
// up to `jitter` (a share), dashes of `dashDots`, and every mark opening
// with `bounces` short contact bounces.
std::vector<KeyEvent> Fist(const std::string& text, double cpmStart, double cpmEnd, double jitter,
                           int bounces, uint32_t seed) {
    TCWout gen;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(1 - jitter, 1 + jitter);
    std::vector<KeyEvent> ev;
    double t = 1000;
    for (size_t i = 0; i < text.size(); ++i) {
        const double dot = 6000.0 / (cpmStart + (cpmEnd - cpmStart) * static_cast<double>(i) /
                                                    static_cast<double>(text.size()));
        if (text[i] == ' ') {
            t += 4 * dot * u(rng);
            continue;
        }
        const uint32_t p = gen.PatternOf(text[i]);
        int top = 31;
        while (top > 0 && !(p >> top))
            --top;
        for (int b = top - 1; b >= 0; --b) {
            const double mark = (((p >> b) & 1) ? 3 : 1) * dot * u(rng);
            const double end = t + mark;
            for (int k = 0; k < bounces; ++k) {
                ev.push_back({static_cast<uint64_t>(std::lround(t)), true});
                ev.push_back({static_cast<uint64_t>(std::lround(t + 2)), false});
                t += 4;
            }
            ev.push_back({static_cast<uint64_t>(std::lround(t)), true});
            ev.push_back({static_cast<uint64_t>(std::lround(end)), false});
            t = end + dot * u(rng);
        }
        t += 2 * dot * u(rng);
    }
    return ev;
}

// The same keying as sound (800 Hz, 2.5 ms ramps), with noise at `snr` dB.
std::vector<int16_t> Sounded(const std::vector<KeyEvent>& ev, double snr, uint32_t seed) {
    const size_t n = static_cast<size_t>((ev.back().t + 1500) * 8);
    std::vector<int16_t> s(n);
    bool down = false;
    size_t e = 0;
    double a = 0;
    for (size_t i = 0; i < n; ++i) {
        while (e < ev.size() && ev[e].t * 8 <= i)
            down = ev[e++].down;
        a = std::clamp(a + (down ? 1.0 : -1.0) / 20, 0.0, 1.0);
        s[i] = static_cast<int16_t>(
            std::lround(10000 * a * std::sin(2 * 3.14159265358979 * 800 * static_cast<double>(i) / 8000)));
    }
    return snr < 100 ? corpus::WithNoise(s, snr, seed) : s;
}

TEST(DetectorFists, AutoSpeedDecodesEveryFistAtLeastAsWellAsTheRightFixedSpeed) {
    // Keys, and sound through the robust detector (12 dB) and the standard
    // one (30 dB), over four seeds each. The standard detector keys the
    // noise before the first tone, which garbles the first word whatever
    // the speed: its count begins at the second word.
    const std::string text = "the quick brown fox jumps over the lazy dog 0123456789 paris cq de orvo test";
    const std::string want = corpus::Letters(text);
    auto fromQuick = [](const std::string& s) {
        const std::string l = corpus::Letters(s);
        const size_t at = l.find("quick");
        return at == std::string::npos ? l : l.substr(at);
    };
    struct FistKind {
        const char* name;
        double cpmStart, cpmEnd, jitter;
        int bounces;
    };
    for (const FistKind& f :
         {FistKind{"contact bounce", 100, 100, 0.05, 2}, FistKind{"bounce, fast", 150, 150, 0.2, 3},
          FistKind{"mixed quality", 90, 90, 0.3, 0}, FistKind{"drift up", 60, 130, 0.1, 0},
          FistKind{"drift down", 150, 60, 0.2, 1}, FistKind{"fast", 200, 200, 0.1, 0},
          FistKind{"slow", 30, 30, 0.1, 0}}) {
        size_t fixedKeys = 0, autoKeys = 0, fixedSound = 0, autoSound = 0, fixedStd = 0, autoStd = 0;
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            const auto ev = Fist(text, f.cpmStart, f.cpmEnd, f.jitter, f.bounces, seed);
            const int right = static_cast<int>(std::lround((f.cpmStart + f.cpmEnd) / 2));
            const auto s = Sounded(ev, 12, seed);
            fixedKeys += corpus::Distance(corpus::Letters(AnalyzeKeys(ev, Opt(right, false)).text), want);
            autoKeys += corpus::Distance(corpus::Letters(AnalyzeKeys(ev, Opt(60, false, true)).text), want);
            fixedSound += corpus::Distance(corpus::Letters(AnalyzeSamples(s, Opt(right, true)).text), want);
            autoSound += corpus::Distance(corpus::Letters(AnalyzeSamples(s, Opt(60, true, true)).text), want);
            const auto clean = Sounded(ev, 30, seed);
            fixedStd +=
                corpus::Distance(fromQuick(AnalyzeSamples(clean, Opt(right, false)).text), fromQuick(text));
            autoStd += corpus::Distance(fromQuick(AnalyzeSamples(clean, Opt(60, false, true)).text),
                                        fromQuick(text));
        }
        EXPECT_LE(autoKeys, fixedKeys) << f.name << ", keys";
        EXPECT_LE(autoSound, fixedSound) << f.name << ", robust detector";
        EXPECT_LE(autoStd, fixedStd) << f.name << ", standard detector";
    }
}

TEST(DetectorFists, OpeningSpeedIgnoresContactBounces) {
    // Every mark opens with two bounces of 2 ms.
    EXPECT_NEAR(TSpeedFollower::InitialDot({2, 2, 2, 2, 100, 100, 2, 2, 2, 2, 300, 100, 2, 2, 2, 2, 100}),
                100, 5);
    EXPECT_EQ(TSpeedFollower::Debounced({2, 3, 97, 100}), (std::vector<uint32_t>{102, 100}));
}

}  // namespace
}  // namespace orvo
