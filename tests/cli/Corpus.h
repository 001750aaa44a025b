#pragma once
// Test recordings made from generated Morse: resampled with libsoxr, given
// channels, noise or drift, and written in any format with libsndfile. Also
// key lists keyed from text at any speed.

#include "analysis/BatchAnalysis.h"
#include "morse/CWout.h"
#include "morse/SendText.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace corpus {

// Generated Morse at 8000 Hz.
inline std::vector<int16_t> Morse(const std::string& text, int32_t cpm, int32_t freq = 800) {
    return orvo::SynthesizeMorse(text, {.speed = cpm, .freq = freq});
}

// Samples scaled to -1..1 and resampled from 8000 Hz to `rate`.
inline std::vector<float> Resampled(const std::vector<int16_t>& s, int rate) {
    std::vector<float> in(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        in[i] = static_cast<float>(s[i] / 32768.0);
    if (rate == 8000)
        return in;
    std::vector<float> out(static_cast<size_t>(static_cast<double>(s.size()) * rate / 8000.0) + 16);
    size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_oneshot(8000, rate, 1, in.data(), in.size(), nullptr, out.data(), out.size(), &done, &io, nullptr,
                 nullptr);
    out.resize(done);
    return out;
}

// Writes mono float samples as `channels` equal copies of each frame.
inline bool Write(const std::string& path, const std::vector<float>& mono, int rate, int channels,
                  int format) {
    SF_INFO info{0, rate, channels, format, 0, 0};  // frames, rate, channels, format, sections, seekable
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<float> frames(mono.size() * static_cast<size_t>(channels));
    for (size_t i = 0; i < mono.size(); ++i)
        for (int c = 0; c < channels; ++c)
            frames[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = mono[i];
    const bool ok = sf_writef_float(f, frames.data(), static_cast<sf_count_t>(mono.size())) ==
                    static_cast<sf_count_t>(mono.size());
    return sf_close(f) == 0 && ok;
}

// White noise over the whole band, added so that the tone stands `snrDb`
// above the noise that falls in 500 Hz (tone power over noise power in
// 500 Hz). The tone's amplitude is taken from the loudest sample.
inline std::vector<int16_t> WithNoise(const std::vector<int16_t>& s, double snrDb, uint32_t seed) {
    double peak = 0;
    for (int16_t x : s)
        peak = std::max(peak, std::fabs(static_cast<double>(x)));
    const double tonePower = peak * peak / 2.0;
    const double noisePower = tonePower / std::pow(10.0, snrDb / 10.0);
    // Noise of variance v spread over 4000 Hz holds v/8 in 500 Hz.
    const double sigma = std::sqrt(noisePower * 8.0);
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, sigma);
    std::vector<int16_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(std::lround(s[i] + n(rng)), -32768L, 32767L));
    return out;
}

// Edit distance between two texts: the character errors of a decode.
inline size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
            diag = up;
        }
    }
    return row[b.size()];
}

// Key transitions keying `text` at a speed that moves from cpmStart to
// cpmEnd character by character (ideal timing, weight 100, dash 3 dots).
inline std::vector<orvo::KeyEvent> Keyed(const std::string& text, double cpmStart, double cpmEnd) {
    TCWout gen;
    std::vector<orvo::KeyEvent> ev;
    double t = 1000;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const double cpm = cpmStart + (cpmEnd - cpmStart) * static_cast<double>(i) /
                                          static_cast<double>(std::max<size_t>(n - 1, 1));
        const double dot = 6000.0 / cpm;
        if (text[i] == ' ') {
            t += 4 * dot;  // with the 3 after the character: 7
            continue;
        }
        const uint32_t p = gen.PatternOf(text[i]);
        int top = 31;
        while (top > 0 && !(p >> top))
            --top;
        for (int b = top - 1; b >= 0; --b) {
            ev.push_back({static_cast<uint64_t>(std::lround(t)), true});
            t += ((p >> b) & 1) ? 3 * dot : dot;
            ev.push_back({static_cast<uint64_t>(std::lround(t)), false});
            t += dot;
        }
        t += 2 * dot;
    }
    return ev;
}

// The decoded text without blanks and line ends.
inline std::string Letters(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\r')
            out += c;
    return out;
}

}  // namespace corpus
