// The robust detector on signals of every kind: other generators' envelopes
// and rise times, weighted keying, tones away from the band's centre,
// carriers outside the band, every speed; and the speed followed on every
// kind of fist. Signals come from the program's own generator and, so the
// checks do not share its assumptions, from sox.

#include "Corpus.h"
#include "SoxMorse.h"
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
    for (int kind = 0; kind < 3; ++kind) t.mean[kind] = count[kind] ? sum[kind] / count[kind] - nominal[kind] : 1e9;
    (void)dot;
    return t;
}

AnalysisOptions Opt(int cpm, bool robust, bool autoSpeed = false) {
    return {.speed = cpm, .autoSpeed = autoSpeed, .robust = robust};
}

TEST(DetectorSignals, Explore) {
    TempDir dir;
    for (char fade : {'h', 't', 'q', 'p', '\0'})
        for (double rise : {1.0, 5.0, 10.0})
            for (double share : {0.3, 0.5, 0.7})
                for (int cpm : {20, 60, 150, 300}) {
                    const soxmorse::Keying k{.cpm = double(cpm), .markShare = share, .riseMs = rise, .fade = fade};
                    const auto s = soxmorse::Morse(kText, k, dir.Path());
                    double nominal[3];
                    soxmorse::Nominal(k, nominal[0], nominal[1], nominal[2]);
                    const double dot = 6000.0 / cpm;
                    for (bool robust : {false, true}) {
                        const AnalysisResult r = AnalyzeSamples(s, Opt(cpm, robust));
                        const Timing t = TimingOf(r, nominal, dot);
                        const bool ok = corpus::Letters(r.text) == corpus::Letters(kText);
                        std::printf("%c rise %4.1f share %.1f %3d %s %s  %+6.1f %+6.1f %+6.1f worst %5.1f %%\n", fade ? fade : 'X', rise,
                                    share, cpm, robust ? "R" : "S", ok ? "ok " : "BAD", 100 * t.mean[0] / dot, 100 * t.mean[1] / dot,
                                    100 * t.mean[2] / dot, 100 * t.worst / dot);
                    }
                }
}

}  // namespace
}  // namespace orvo
