#pragma once
// Key transitions for text keyed with a known timing: each element kind's
// nominal length in dots and its spread (each length off by that fraction,
// up or down at random), so the statistics have a known answer.

#include "analysis/BatchAnalysis.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

struct PlantedTiming {
    double dotMs = 100;
    // Nominal lengths in dots: dot, dash, element space, char space, word space.
    std::array<double, 5> nominal{1, 3, 1, 3, 7};
    std::array<double, 5> spread{};  // fraction of the length, per kind
    uint32_t seed = 1;
    // One letter keyed with its own dash length (dots), when set.
    char odd = 0;
    double oddDash = 3;
};

inline const std::map<char, std::string>& MorseLetters() {
    static const std::map<char, std::string> m = {
        {'a', ".-"},   {'b', "-..."}, {'c', "-.-."}, {'d', "-.."},  {'e', "."},    {'f', "..-."},
        {'g', "--."},  {'h', "...."}, {'i', ".."},   {'j', ".---"}, {'k', "-.-"},  {'l', ".-.."},
        {'m', "--"},   {'n', "-."},   {'o', "---"},  {'p', ".--."}, {'q', "--.-"}, {'r', ".-."},
        {'s', "..."},  {'t', "-"},    {'u', "..-"},  {'v', "...-"}, {'w', ".--"},  {'x', "-..-"},
        {'y', "-.--"}, {'z', "--.."}};
    return m;
}

// Words separated by blanks; starts 1 s into the session.
inline std::vector<orvo::KeyEvent> PlantedKeys(const std::string& text, const PlantedTiming& p) {
    std::mt19937 rng(p.seed);
    auto len = [&](int kind, double nominal) {
        const double sign = (rng() & 1) ? 1.0 : -1.0;
        return static_cast<uint64_t>(std::llround(nominal * p.dotMs * (1.0 + sign * p.spread[kind])));
    };
    std::vector<orvo::KeyEvent> ev;
    uint64_t t = 1000;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ')
            continue;
        const std::string& code = MorseLetters().at(c);
        for (size_t k = 0; k < code.size(); ++k) {
            ev.push_back({t, true});
            const bool dash = code[k] == '-';
            t += len(dash ? 1 : 0, dash ? (c == p.odd ? p.oddDash : p.nominal[1]) : p.nominal[0]);
            ev.push_back({t, false});
            if (k + 1 < code.size())
                t += len(2, p.nominal[2]);
        }
        const bool wordEnd = i + 1 >= text.size() || text[i + 1] == ' ';
        t += wordEnd ? len(4, p.nominal[4]) : len(3, p.nominal[3]);
    }
    return ev;
}

inline std::string KeyListText(const std::vector<orvo::KeyEvent>& ev) {
    std::string s;
    for (const orvo::KeyEvent& e : ev)
        s += std::to_string(e.t) + (e.down ? " down\n" : " up\n");
    return s;
}
