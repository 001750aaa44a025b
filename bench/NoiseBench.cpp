// orvo-noise-bench: decoding in noise and timing on clean input, the
// analyser's own detector beside the robust one. Prints the character error
// rate per SNR (noise in 500 Hz) and speed over several seeds, characters
// keyed by noise alone and by a steady carrier, and the mean error of each
// element kind in percent of a dot.

#include "../tests/cli/Corpus.h"
#include "analysis/BatchAnalysis.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace orvo;

namespace {

const std::string kText = "the quick brown fox jumps over the lazy dog 0123456789 paris cq de orvo test";
constexpr int kSeeds = 4;

struct Config {
    const char* name;
    bool robust, autoSpeed;
};
const Config kConfigs[] = {{"standard", false, false}, {"robust", true, false}, {"robust+auto", true, true}};

AnalysisOptions Options(const Config& c, int cpm) {
    AnalysisOptions o;
    o.speed = cpm;
    o.robust = c.robust;
    o.autoSpeed = c.autoSpeed;
    return o;
}

// Characters decoded from seconds of noise alone (or a carrier).
size_t Garbage(const std::vector<int16_t>& s, const Config& c) {
    return corpus::Letters(AnalyzeSamples(s, Options(c, 60)).text).size();
}

}  // namespace

int main() {
    const std::string expected = corpus::Letters(kText);
    const int speeds[] = {20, 40, 60, 100, 150, 200, 300};
    std::printf("character error rate, %% (%d seeds x %zu characters; noise power in 500 Hz)\n", kSeeds,
                expected.size());
    std::printf("%6s %5s", "SNR dB", "CpM");
    for (const Config& c : kConfigs)
        std::printf(" %12s", c.name);
    std::printf("\n");
    for (double snr : {30.0, 20.0, 15.0, 10.0}) {
        for (int cpm : speeds) {
            const std::vector<int16_t> clean = corpus::Morse(kText, cpm);
            std::printf("%6.0f %5d", snr, cpm);
            for (const Config& c : kConfigs) {
                size_t errors = 0;
                for (int seed = 1; seed <= kSeeds; ++seed) {
                    const auto s = corpus::WithNoise(clean, snr, static_cast<uint32_t>(seed * 1000 + cpm));
                    errors +=
                        corpus::Distance(corpus::Letters(AnalyzeSamples(s, Options(c, cpm)).text), expected);
                }
                std::printf(" %12.2f", 100.0 * static_cast<double>(errors) /
                                           static_cast<double>(kSeeds * expected.size()));
            }
            std::printf("\n");
        }
    }

    std::printf("\ncharacters from 30 s without keying (sum over %d seeds)\n", kSeeds);
    std::printf("%-28s", "input");
    for (const Config& c : kConfigs)
        std::printf(" %12s", c.name);
    std::printf("\n");
    const std::vector<int16_t> silence(30 * 8000, 0);
    for (int level : {300, 3000}) {
        std::printf("noise, sigma %-15d", level);
        for (const Config& c : kConfigs) {
            size_t n = 0;
            for (int seed = 1; seed <= kSeeds; ++seed) {
                std::vector<int16_t> s(silence.size());
                std::mt19937 rng(static_cast<uint32_t>(seed));
                std::normal_distribution<double> g(0.0, level);
                for (auto& x : s)
                    x = static_cast<int16_t>(std::clamp(std::lround(g(rng)), -32768L, 32767L));
                n += Garbage(s, c);
            }
            std::printf(" %12zu", n);
        }
        std::printf("\n");
    }
    {
        std::vector<int16_t> s(silence.size());
        std::mt19937 rng(7);
        std::normal_distribution<double> g(0.0, 300);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(
                std::lround(8000 * std::sin(2 * 3.14159265358979 * 800 * i / 8000.0) + g(rng)));
        std::printf("%-28s", "steady 800 Hz carrier");
        for (const Config& c : kConfigs)
            std::printf(" %12zu", Garbage(s, c));
        std::printf("\n");
    }

    std::printf("\nmean element error on clean input, %% of a dot (dot / dash / element space)\n");
    for (int cpm : speeds) {
        SendOptions so;
        so.speed = cpm;
        const std::vector<int16_t> s = SynthesizeMorse(kText, so);
        const double dot = 6000.0 / cpm, ramp = so.slope / 8.0;
        // The generator's dash sounds one ramp longer than three dots (mid-ramp
        // to mid-ramp); a dot and an element space keep their length.
        const double ideal[3] = {dot, 3 * dot + ramp, dot};
        std::printf("%5d CpM", cpm);
        for (const Config& c : kConfigs) {
            const AnalysisResult r = AnalyzeSamples(s, Options(c, cpm));
            double sum[3] = {}, n[3] = {};
            for (const CharacterEntry& ch : r.characters)
                for (size_t k = 0; k + 1 < ch.elements.size(); ++k) {
                    const int kind = k % 2 ? 2 : ch.elements[k] < 2 * dot ? 0 : 1;
                    sum[kind] += ch.elements[k];
                    ++n[kind];
                }
            std::printf("  %s %+5.1f/%+5.1f/%+5.1f", c.name, 100 * (sum[0] / n[0] - ideal[0]) / dot,
                        100 * (sum[1] / n[1] - ideal[1]) / dot, 100 * (sum[2] / n[2] - ideal[2]) / dot);
        }
        std::printf("\n");
    }
    return 0;
}
