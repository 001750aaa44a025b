// orvo-bench WAVFILE [RAWFILE]: writes a 10-minute generated Morse recording
// to WAVFILE, then times, on this thread, the analyser reading it (as
// `analyze` does, with either detector) and the generator producing it, each
// as a multiple of real time. RAWFILE receives the same recording as raw
// 16-bit mono at 22050 Hz, the input peer decoders take.

#include "analysis/BatchAnalysis.h"
#include "morse/SendText.h"
#include "devices/AudioFileReader.h"
#include "devices/WavWriter.h"
#include "morse/CWout.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <soxr.h>
#include <string>

using namespace orvo;

namespace {

constexpr double kSeconds = 600.0;
constexpr size_t kSamples = static_cast<size_t>(kSeconds * 8000);

std::string Text() {
    std::string t;
    while (t.size() < 2000)
        t += "cq cq de orvo paris 73 the quick brown fox 1234567890 <ar> ";
    return t;
}

// Generates kSamples of Morse into sink; returns the seconds it took.
template <class Sink>
double Generate(const SendOptions& o, Sink&& sink) {
    TCWout gen;
    std::vector<std::string> skipped;
    const std::string text = PrepareText(Text(), gen, skipped);
    size_t produced = 0;
    const auto t0 = std::chrono::steady_clock::now();
    GenerateMorse(text, o, [&](const int16_t* s, size_t n) {
        const size_t take = std::min(n, kSamples - produced);
        sink(s, take);
        produced += take;
        return produced < kSamples;
    });
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Best(int runs, double (*f)(const std::string&), const std::string& arg) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, f(arg));
    return best;
}

double TimeAnalyzeFile(const std::string& path) {
    const auto t0 = std::chrono::steady_clock::now();
    const AnalysisResult r = AnalyzeFile(path, AnalysisOptions{});
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r.characters.size() < 100)
        std::fprintf(stderr, "warning: only %zu characters decoded\n", r.characters.size());
    return s;
}

double TimeAnalyzeRobust(const std::string& path) {
    AnalysisOptions o;
    o.robust = true;
    const auto t0 = std::chrono::steady_clock::now();
    const AnalysisResult r = AnalyzeFile(path, o);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r.characters.size() < 100)
        std::fprintf(stderr, "warning: only %zu characters decoded\n", r.characters.size());
    return s;
}

bool WriteRaw22050(const std::string& wav, const std::string& raw) {
    TAudioFileReader in;
    if (!in.Open(wav))
        return false;
    std::vector<int16_t> s(kSamples + 800);
    s.resize(in.Read(s.data(), s.size()));
    std::vector<float> x(s.size()), y(s.size() * 22050 / 8000 + 64);
    for (size_t i = 0; i < s.size(); ++i)
        x[i] = static_cast<float>(s[i] / 32768.0);
    size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    if (soxr_oneshot(8000, 22050, 1, x.data(), x.size(), nullptr, y.data(), y.size(), &done, &io, nullptr,
                     nullptr))
        return false;
    std::FILE* f = std::fopen(raw.c_str(), "wb");
    if (!f)
        return false;
    for (size_t i = 0; i < done; ++i) {
        const int16_t v = static_cast<int16_t>(std::clamp(std::lround(y[i] * 32768.0), -32768L, 32767L));
        const uint8_t b[2] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)};
        std::fwrite(b, 1, 2, f);
    }
    return std::fclose(f) == 0;
}

double TimeGenerate(const std::string&) {
    volatile int64_t sum = 0;
    return Generate(SendOptions{}, [&](const int16_t* s, size_t n) { sum = sum + (n ? s[n - 1] : 0); });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: orvo-bench WAVFILE [RAWFILE]\n");
        return 2;
    }
    const std::string path = argv[1];
    WavWriter w;
    if (!w.Open(path, 1)) {
        std::fprintf(stderr, "%s\n", w.LastError().c_str());
        return 2;
    }
    Generate(SendOptions{}, [&](const int16_t* s, size_t n) { w.Write(s, n); });
    if (!w.Commit()) {
        std::fprintf(stderr, "%s\n", w.LastError().c_str());
        return 2;
    }

    if (argc == 3 && !WriteRaw22050(path, argv[2])) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 2;
    }
    const double analyze = Best(3, TimeAnalyzeFile, path);
    const double robust = Best(3, TimeAnalyzeRobust, path);
    const double generate = Best(3, TimeGenerate, path);
    std::printf("input: %.0f s of 60 CpM Morse at 8000 Hz (%s)\n", kSeconds, path.c_str());
    std::printf("analyser (analyze, narrow band, reading the WAV): %8.3f s  = %7.0fx real time\n", analyze,
                kSeconds / analyze);
    std::printf("analyser, robust detector:                        %8.3f s  = %7.0fx real time\n", robust,
                kSeconds / robust);
    std::printf("generator (send, mono, 100 ms buffers):           %8.3f s  = %7.0fx real time\n", generate,
                kSeconds / generate);
    return 0;
}
