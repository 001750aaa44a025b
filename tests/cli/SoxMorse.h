#pragma once
// Keyed tones made by another route than the program's own generator: sox
// synthesises every mark with its own envelope (fade shape and rise time, or
// hard keyed with clicks) and joins marks and silences. Times are those of
// the half-amplitude points, so the element lengths are known exactly.

#include "morse/CWout.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace soxmorse {

struct Keying {
    double cpm = 60;
    double markShare = 0.5;  // weighting: a dot's share of dot + element space
    double riseMs = 5;
    char fade = 'h';  // sox fade: h (raised cosine), t (linear), q, p; 0: hard keyed
    int freq = 800;
    double volume = 0.5;
    double dashDots = 3;
};

inline bool Available() { return std::system("sox --version >/dev/null 2>&1") == 0; }

// The nominal element lengths in ms: dot, dash, element space.
inline void Nominal(const Keying& k, double& dot, double& dash, double& space) {
    const double u = 6000.0 / k.cpm, extra = 2 * u * k.markShare - u;
    dot = u + extra;
    dash = k.dashDots * u + extra;
    space = u - extra;
}

// 8000 Hz samples of `text` (letters, digits, blanks), made in `dir`.
inline std::vector<int16_t> Morse(const std::string& text, const Keying& k, const std::string& dir) {
    const double u = 6000.0 / k.cpm, extra = 2 * u * k.markShare - u;
    double dot, dash, space;
    Nominal(k, dot, dash, space);
    // Samples from the start of a fade to its half-amplitude point.
    const double halfShare = k.fade == 't' || k.fade == 'h' ? 0.5
                             : k.fade == 'q'                ? 1.0 / 3
                             : k.fade == 'p'                ? 0.2929
                                                            : 0.0;
    const long rise = k.fade ? std::lround(k.riseMs * 8) : 0;
    const long half = std::lround(rise * halfShare);
    std::map<std::string, std::string> made;  // sox effect -> file
    std::string list;
    auto piece = [&](const std::string& effect) {
        auto it = made.find(effect);
        if (it == made.end()) {
            const std::string f = dir + "/p" + std::to_string(made.size()) + ".wav";
            const std::string cmd =
                "sox -D -r 8000 -n -r 8000 -c 1 -b 16 " + f + " " + effect + " 2>/dev/null";
            if (std::system(cmd.c_str()) != 0)
                return false;
            it = made.emplace(effect, f).first;
        }
        list += " " + it->second;
        return true;
    };
    auto mark = [&](double ms) {
        const long n = std::lround(ms * 8) + 2 * half;
        char buf[160];
        if (k.fade)
            std::snprintf(buf, sizeof buf, "synth %lds sine %d fade %c %lds %lds %lds vol %.3f", n, k.freq,
                          k.fade, rise, n, rise, k.volume);
        else
            std::snprintf(buf, sizeof buf, "synth %lds sine %d vol %.3f", n, k.freq, k.volume);
        return piece(buf);
    };
    // A silence between two marks loses the fades' outer halves.
    auto gap = [&](double ms, bool between = true) {
        return piece("trim 0 " + std::to_string(std::lround(ms * 8) - (between ? 2 * half : 0)) + "s");
    };
    TCWout gen;
    bool ok = gap(500, false);
    for (char c : text) {
        if (c == ' ') {
            ok = ok && gap(4 * u, false);  // with the character space before: 7 dots less the weighting
            continue;
        }
        const uint32_t p = gen.PatternOf(c);
        int top = 31;
        while (top > 0 && !(p >> top))
            --top;
        for (int b = top - 1; b >= 0; --b) {
            ok = ok && mark(((p >> b) & 1) ? dash : dot);
            ok = ok && gap(b ? space : 3 * u - extra);
        }
    }
    ok = ok && gap(1500, false);
    std::vector<int16_t> out;
    if (!ok)
        return out;
    FILE* f = popen(("sox -D" + list + " -t raw -r 8000 -c 1 -e signed -b 16 - 2>/dev/null").c_str(), "r");
    if (!f)
        return out;
    int16_t buf[4096];
    size_t got;
    while ((got = fread(buf, sizeof(int16_t), 4096, f)) > 0)
        out.insert(out.end(), buf, buf + got);
    pclose(f);
    return out;
}

}  // namespace soxmorse
