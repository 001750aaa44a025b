// Recordings as operators bring them: other rates, channel counts and
// formats, unknown speed and pitch, drifting speed, bad files.

#include "Corpus.h"
#include "analysis/SpeedFollower.h"
#include "CliRun.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "devices/TempDir.h"
#include "devices/WavWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <sstream>
#include <tuple>

namespace orvo {
namespace {

const std::string kText = "cq de orvo test 73";

TEST(Recordings, EveryCommonFormatDecodesTheSameText) {
    TempDir dir;
    const std::vector<int16_t> morse = corpus::Morse(kText, 100, 700);
    const struct {
        const char* name;
        int rate, channels, format;
        const char* expectFormat;
    } cases[] = {
        {"a.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "wav float32"},
        {"b.wav", 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, "wav pcm24"},
        {"c.flac", 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac pcm16"},
        {"d.ogg", 48000, 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg vorbis"},
        {"e.opus", 48000, 1, SF_FORMAT_OGG | SF_FORMAT_OPUS, "ogg opus"},
        {"f.mp3", 44100, 2, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "mp3"},
        {"g.wav", 8000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav pcm16"},
        {"h.au", 22050, 1, SF_FORMAT_AU | SF_FORMAT_ULAW, "au ulaw"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(corpus::Write(path, corpus::Resampled(morse, c.rate), c.rate, c.channels, c.format))
            << c.name;
        const AnalysisResult r = AnalyzeFile(path, {.speed = 100, .center = 700});
        EXPECT_EQ(r.text, kText + "\r") << c.name;
        EXPECT_EQ(std::tuple(r.input.format, r.input.sampleRate, r.input.channels, r.input.native),
                  std::tuple(std::string(c.expectFormat), c.rate, c.channels, false))
            << c.name;
        EXPECT_NEAR(r.input.seconds, morse.size() / 8000.0, 0.1) << c.name;
    }
}

TEST(Recordings, NativeFilesAreAnalysedExactlyAsTheirSamples) {
    TempDir dir;
    const std::vector<int16_t> morse = corpus::Morse(kText, 120);
    WavWriter w;
    ASSERT_TRUE(w.Open(dir.File("n.wav"), 1));
    ASSERT_TRUE(w.Write(morse.data(), morse.size()));
    ASSERT_TRUE(w.Commit());
    const AnalysisResult file = AnalyzeFile(dir.File("n.wav"), AnalysisOptions{});
    EXPECT_TRUE(file.input.native);
    const std::string fileJson = cli::ToJson(file);
    const std::string samplesJson = cli::ToJson(AnalyzeSamples(morse, AnalysisOptions{}));
    // The same object, with what was read added at its end.
    ASSERT_EQ(fileJson.substr(0, samplesJson.size() - 1), samplesJson.substr(0, samplesJson.size() - 1));
    EXPECT_EQ(
        fileJson.substr(samplesJson.size() - 1),
        ", \"input\": {\"format\": \"wav pcm16\", \"sample_rate\": 8000, \"channels\": 1, \"seconds\": " +
            std::to_string(morse.size() / 8000) + "." + std::to_string(morse.size() % 8000 / 8) + "}}");
}

TEST(Recordings, BadFilesGiveOneClearLineAndNeverSucceed) {
    TempDir dir;
    const std::vector<int16_t> morse = corpus::Morse(kText, 100);
    ASSERT_TRUE(corpus::Write(dir.File("ok.flac"), corpus::Resampled(morse, 44100), 44100, 1,
                              SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    ASSERT_TRUE(corpus::Write(dir.File("ok.wav"), corpus::Resampled(morse, 44100), 44100, 2,
                              SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string flac = TempDir::ReadBytes(dir.File("ok.flac"));
    const std::string wav = TempDir::ReadBytes(dir.File("ok.wav"));
    std::string garbageFmt = wav;
    garbageFmt.replace(20, 16, std::string(16, '\x01'));
    std::string oneHertz = wav;
    oneHertz.replace(24, 4, std::string("\x01\0\0\0", 4));  // a rate that would swell a tiny file
    const std::pair<std::string, std::string> cases[] = {
        {oneHertz, "unusable audio format (2 channels, 1 Hz)"},
        {"This is a note, not a recording.\n", "nor any other audio format"},
        {std::string(), "nor any other audio format"},
        {garbageFmt, "cannot decode this WAV file (format tag 0x0101"},
        {flac.substr(0, 60), ""},
        {wav.substr(0, 30), "ends inside its WAV header"},
    };
    for (const auto& [bytes, message] : cases) {
        TempDir::WriteBytes(dir.File("bad.wav"), bytes);
        const CliRun r = Cli({"analyze", dir.File("bad.wav")});
        EXPECT_EQ(r.code, 2) << message;
        EXPECT_EQ(r.out, "") << message;
        EXPECT_NE(r.err.find(dir.File("bad.wav")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // Cut in the middle of the data: what is there is analysed, and said.
    for (const std::string& cut : {flac.substr(0, flac.size() / 2), wav.substr(0, wav.size() / 2)}) {
        TempDir::WriteBytes(dir.File("cut.wav"), cut);
        const CliRun r = Cli({"analyze", dir.File("cut.wav"), "--speed", "100"});
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("\"text\": \"cq de"), std::string::npos) << r.out;
    }
}

TEST(Recordings, FloatFilesWithNanAndInfinityAreReadSafely) {
    TempDir dir;
    std::vector<float> s = corpus::Resampled(corpus::Morse(kText, 100), 16000);
    for (size_t i = 0; i < 200; ++i)
        s[i * 7] = std::numeric_limits<float>::quiet_NaN();
    s[800] = std::numeric_limits<float>::infinity();
    s[801] = -std::numeric_limits<float>::infinity();
    for (int rate : {8000, 16000}) {  // as it is, and through the resampler
        const std::vector<float> in = rate == 16000 ? s : std::vector<float>(s.begin(), s.begin() + 4000);
        ASSERT_TRUE(corpus::Write(dir.File("f.wav"), in, rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        const AnalysisResult r = AnalyzeFile(dir.File("f.wav"), {.speed = 100});
        if (rate == 16000) {
            EXPECT_EQ(r.text, kText + "\r");
        }
    }
}

TEST(Recordings, AutoSpeedDecodesAnySpeedWithTheTargetLeftAt60) {
    const AnalysisOptions opt{.autoSpeed = true};
    for (int cpm : {20, 30, 45, 60, 90, 120, 160, 200, 250, 300}) {
        const AnalysisResult keys = AnalyzeKeys(corpus::Keyed("paris 0 5 cq de orvo test 73", cpm, cpm), opt);
        EXPECT_EQ(corpus::Letters(keys.text), "paris05cqdeorvotest73") << cpm << " CpM keys";
        EXPECT_NEAR(keys.speedStart, cpm, cpm * 0.05) << cpm;
        EXPECT_NEAR(keys.speedEnd, cpm, cpm * 0.05) << cpm;
    }
    for (int cpm : {20, 60, 150, 300}) {
        const AnalysisResult r = AnalyzeSamples(corpus::Morse("paris 0 5 cq de orvo test 73", cpm), opt);
        EXPECT_EQ(r.text, "paris 0 5 cq de orvo test 73\r") << cpm << " CpM sound";
        EXPECT_NEAR(r.speedEnd, cpm, cpm * 0.08) << cpm;
    }
    // The fixed target stays the default: 80 CpM judged against 60 fails.
    EXPECT_NE(AnalyzeSamples(corpus::Morse("cq test", 300), AnalysisOptions{}).text, "cq test\r");
}

TEST(Recordings, AutoSpeedFollowsADriftFrom60To120) {
    const AnalysisOptions opt{.autoSpeed = true};
    const std::string text = "the quick brown fox jumps over the lazy dog 0123456789 paris cq de orvo";
    const AnalysisResult keys = AnalyzeKeys(corpus::Keyed(text, 60, 120), opt);
    EXPECT_EQ(corpus::Letters(keys.text), corpus::Letters(text));
    EXPECT_NEAR(keys.speedStart, 60, 4);
    EXPECT_NEAR(keys.speedEnd, 120, 10);
    // The same drift as sound: words sent at rising speeds, one after another.
    std::vector<int16_t> s;
    std::string words;
    int cpm = 60;
    for (const char* w :
         {"the", "quick", "brown", "fox", "jumps", "over", "the", "lazy", "dog", "paris", "73"}) {
        const std::vector<int16_t> part = corpus::Morse(w, cpm);
        s.insert(s.end(), part.begin(), part.end());
        words += w;
        cpm += 6;
    }
    const AnalysisResult r = AnalyzeSamples(s, opt);
    EXPECT_EQ(corpus::Letters(r.text), words);
    EXPECT_GT(r.speedEnd, 100);
}

TEST(Recordings, InitialDotFromTheOpeningElements) {
    // Marks at odd positions from 0, spaces between; markers are ignored.
    EXPECT_NEAR(TSpeedFollower::InitialDot({100, 100, 300, 300, 100, 10000}), 100, 1);  // dots and dashes
    EXPECT_NEAR(TSpeedFollower::InitialDot({60, 20, 60, 20, 60, 60}), 20, 1);           // dashes only ("o")
    EXPECT_NEAR(TSpeedFollower::InitialDot({50, 50, 50, 50, 50}), 50, 1);               // dots only ("s")
    EXPECT_NEAR(TSpeedFollower::InitialDot({80}), 80, 1);                               // a lone mark
    EXPECT_EQ(TSpeedFollower::InitialDot({}), 0);
}

TEST(Recordings, AutoCenterFindsTheToneAndDecodes) {
    const AnalysisOptions opt{.autoSpeed = true, .autoCenter = true};
    TempDir dir;
    for (int hz : {300, 450, 800, 1234, 1600, 2000}) {
        const std::vector<int16_t> s = corpus::WithNoise(corpus::Morse("cq de orvo", 90, hz), 40, hz);
        ASSERT_TRUE(corpus::Write(dir.File("t.flac"), corpus::Resampled(s, 44100), 44100, 1,
                                  SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
        const AnalysisResult r = AnalyzeFile(dir.File("t.flac"), opt);
        EXPECT_NEAR(r.centerHz, hz, 10) << hz;
        EXPECT_EQ(r.text, "cq de orvo\r") << hz;
        EXPECT_NE(cli::ToJson(r).find("\"center_hz\": " + std::to_string(r.centerHz)), std::string::npos);
    }
}

AnalysisOptions Robust(int cpm, bool autoSpeed = false) {
    return {.speed = cpm, .autoSpeed = autoSpeed, .robust = true};
}

TEST(RobustDetector, DecodesAt10DbFrom20To300CpmWithOrWithoutTheSpeed) {
    const std::string text = "cq de orvo 5 test paris";
    for (int cpm : {20, 60, 150, 300}) {
        for (uint32_t seed : {1u, 2u}) {
            const auto s =
                corpus::WithNoise(corpus::Morse(text, cpm), 10, seed * 100 + static_cast<uint32_t>(cpm));
            EXPECT_EQ(corpus::Letters(AnalyzeSamples(s, Robust(cpm)).text), corpus::Letters(text))
                << cpm << " seed " << seed;
            const AnalysisResult a = AnalyzeSamples(s, Robust(60, true));
            EXPECT_EQ(corpus::Letters(a.text), corpus::Letters(text)) << cpm << " auto, seed " << seed;
            EXPECT_NEAR(a.speedEnd, cpm, cpm * 0.1) << cpm;
        }
    }
}

TEST(RobustDetector, NoiseAloneSilenceAndACarrierKeyNothing) {
    std::mt19937 rng(99);
    std::normal_distribution<double> g(0.0, 1.0);
    const size_t n = 30 * 8000;
    for (auto [what, noise, carrier] : {std::tuple{"silence", 0.0, 0.0},
                                        {"quiet noise", 30.0, 0.0},
                                        {"loud noise", 5000.0, 0.0},
                                        {"carrier", 200.0, 8000.0},
                                        {"faint carrier", 300.0, 600.0}}) {
        std::vector<int16_t> s(n);
        for (size_t i = 0; i < n; ++i)
            s[i] = static_cast<int16_t>(std::clamp(
                std::lround(carrier * std::sin(2 * 3.14159265358979 * 800 * static_cast<double>(i) / 8000) +
                            noise * g(rng)),
                -32768L, 32767L));
        for (bool autoSpeed : {false, true})
            EXPECT_EQ(AnalyzeSamples(s, Robust(60, autoSpeed)).characters.size(), 0u)
                << what << (autoSpeed ? " auto" : "");
    }
}

TEST(RobustDetector, ElementsKeepTheirLengthOnCleanInput) {
    // Every element kind within 3 % of a dot of what the generator sounds
    // (a dash one ramp longer than three dots), up to 300 CpM.
    for (int cpm : {20, 100, 200, 300}) {
        const SendOptions so{.speed = cpm};
        const AnalysisResult r =
            AnalyzeSamples(SynthesizeMorse("paris 0 5 the quick brown fox", so), Robust(cpm));
        ASSERT_EQ(r.text, "paris 0 5 the quick brown fox\r") << cpm;
        const double dot = 6000.0 / cpm;
        const double ideal[3] = {dot, 3 * dot + so.slope / 8.0, dot};
        double sum[3] = {}, count[3] = {};
        for (const CharacterEntry& ch : r.characters)
            for (size_t k = 0; k + 1 < ch.elements.size(); ++k) {
                const int kind = k % 2 ? 2 : ch.elements[k] < 2 * dot ? 0 : 1;
                sum[kind] += ch.elements[k];
                ++count[kind];
            }
        for (int kind = 0; kind < 3; ++kind)
            EXPECT_LE(std::abs(sum[kind] / count[kind] - ideal[kind]), 0.03 * dot)
                << cpm << " CpM, kind " << kind;
    }
}

TEST(RobustDetector, AnalyzeOptionReachesIt) {
    TempDir dir;
    const auto s = corpus::WithNoise(corpus::Morse("cq test", 100, 600), 10, 5);
    ASSERT_TRUE(corpus::Write(dir.File("n.ogg"), corpus::Resampled(s, 48000), 48000, 2,
                              SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    const CliRun r =
        Cli({"analyze", dir.File("n.ogg"), "--detector", "robust", "--speed", "auto", "--center", "auto"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"text\": \"cq test\\u000d\"", 0), 0u) << r.out;
    const CliRun fast = Cli({"analyze", dir.File("n.ogg"), "--detector", "fast"});
    EXPECT_EQ(fast.code, 2);
    EXPECT_NE(fast.err.find("robust|standard"), std::string::npos) << fast.err;
}

}  // namespace
}  // namespace orvo
