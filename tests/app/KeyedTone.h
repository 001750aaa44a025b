#pragma once
// Keyed Morse as sound: a tone switched by given mark and space lengths,
// written as the 8000 Hz mono 16-bit WAV file the sample modes play. Used by
// the end-to-end sound tests and the sound-input benchmark.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace keyed_tone {

// Marks and spaces alternate in `ms`, starting with a mark; `leadMs` of
// silence before, `tailMs` after. Edges are 4 ms raised-cosine ramps
// centred on the keyed instants, so a mark is as long as keyed at half height.
inline std::vector<int16_t> Samples(const std::vector<int>& ms, int leadMs, int tailMs, double hz = 800,
                                    double amplitude = 8000) {
    std::vector<double> key;
    key.insert(key.end(), size_t(leadMs) * 8, 0.0);
    for (size_t i = 0; i < ms.size(); ++i)
        key.insert(key.end(), size_t(ms[i]) * 8, i % 2 == 0 ? 1.0 : 0.0);
    key.insert(key.end(), size_t(tailMs) * 8, 0.0);
    const int ramp = 32;  // 4 ms
    std::vector<int16_t> out(key.size());
    for (size_t n = 0; n < key.size(); ++n) {
        // Smooth the key with a raised-cosine window of `ramp` samples.
        double sum = 0, wsum = 0;
        for (int k = -ramp / 2; k <= ramp / 2; ++k) {
            const long j = long(n) + k;
            const double w = 0.5 + 0.5 * std::cos(M_PI * k / (ramp / 2 + 1));
            wsum += w;
            if (j >= 0 && j < long(key.size()))
                sum += w * key[size_t(j)];
        }
        out[n] =
            int16_t(std::lround(amplitude * (sum / wsum) * std::sin(2 * M_PI * hz * double(n) / 8000.0)));
    }
    return out;
}

// A 16-bit PCM WAV file's bytes; `list` puts a LIST chunk before the data.
inline std::string WavBytes(const std::vector<int16_t>& s, uint16_t channels = 1, uint32_t rate = 8000,
                            bool list = false) {
    std::string b;
    const auto u16 = [&](uint32_t v) { b += char(v & 0xFF), b += char((v >> 8) & 0xFF); };
    const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t bytes = uint32_t(s.size() * 2);
    b += "RIFF", u32(36 + bytes + (list ? 18 : 0));
    b += "WAVEfmt ", u32(16), u16(1), u16(channels), u32(rate), u32(rate * channels * 2), u16(channels * 2u),
        u16(16);
    if (list)
        b += "LIST", u32(10), b += std::string("INFOISFT\x02\x00", 10);
    b += "data", u32(bytes);
    for (int16_t v : s)
        u16(uint16_t(v));
    return b;
}

inline bool WriteWav(const std::string& path, const std::vector<int16_t>& s) {
    const std::string b = WavBytes(s);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && written;
}

// Mark/space lengths of text at exact timing for `cpm` (letters a-z only,
// blanks as word spaces); the last element is a character space.
inline std::vector<int> IdealTiming(const std::string& text, int cpm) {
    static const char* codes[26] = {".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
                                    ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
                                    "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--.."};
    const int dot = 6000 / cpm;
    std::vector<int> ms;
    for (char c : text) {
        if (c == ' ') {
            if (!ms.empty())
                ms.back() = 7 * dot;
            continue;
        }
        const std::string m = codes[c - 'a'];
        for (size_t k = 0; k < m.size(); ++k) {
            ms.push_back(m[k] == '-' ? 3 * dot : dot);
            ms.push_back(k + 1 < m.size() ? dot : 3 * dot);
        }
    }
    return ms;
}

}  // namespace keyed_tone
