#include "devices/FileIn.h"
#include "devices/ManualClock.h"
#include "devices/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

std::string Le(uint32_t v, int bytes) {
    std::string s(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string Le32(uint32_t v) { return Le(v, 4); }

// A canonical 8000 Hz mono 16-bit PCM file: RIFF, WAVEfmt with a 16-byte
// body, optional extra chunk, then the data chunk.
std::string Wav(const std::vector<int16_t>& samples, const std::string& extraChunk = "") {
    std::string data;
    for (int16_t x : samples)
        data += Le(static_cast<uint16_t>(x), 2);
    const std::string fmt = Le(1, 2) + Le(1, 2) + Le32(8000) + Le32(16000) + Le(2, 2) + Le(16, 2);
    std::string body =
        "WAVEfmt " + Le32(16) + fmt + extraChunk + "data" + Le32(static_cast<uint32_t>(data.size())) + data;
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

class FileInTest : public ::testing::Test {
protected:
    ManualClock clock;
    TempDir dir;
    TFileIn reader{clock};
    std::vector<std::string> events;
    std::vector<std::vector<int16_t>> buffers;

    void SetUp() override {
        reader.OnBufferReady = [this](const int16_t* pb, int l) {
            events.push_back("buffer");
            buffers.emplace_back(pb, pb + l);
        };
        reader.OnEOFReached = [this] { events.push_back("eof"); };
    }
    bool OpenBytes(const std::string& bytes) {
        TempDir::WriteBytes(dir.File("in.wav"), bytes);
        reader.SetFilename(dir.File("in.wav"));
        return reader.Open();
    }
    void Load(const std::string& bytes) {
        ASSERT_TRUE(OpenBytes(bytes));
        ASSERT_TRUE(reader.ReadHeader()) << reader.LastError();
    }
    // The first n samples of buffer i.
    std::vector<int16_t> Head(size_t i, size_t n) const {
        return {buffers.at(i).begin(), buffers.at(i).begin() + n};
    }
};

TEST_F(FileInTest, AcceptsPlainListChunkAndOddLengthFilesAndFindsTheSamples) {
    const std::vector<int16_t> s = {1, -1, 32767, -32768, 256};
    // The LIST chunk's text holds "data": its size leads past it. The one
    // with a wrong size is still found byte by byte.
    for (auto [bytes, head] : {std::pair{Wav(s), s},
                               {Wav(s, "LIST" + Le32(10) + "INFOabcdef"), s},
                               {Wav(s, "LIST" + Le32(16) + "INFOICMTmetadata"), s},
                               {Wav(s, "LIST" + Le32(99) + "INFOabcdef"), s},
                               {Wav({0x1234}) + "\x7f", {0x1234, 0x7f, 0}}}) {  // a stray trailing byte
        Load(bytes);
        reader.SetTimerInterval(10);
        buffers.clear();
        reader.Tick();
        ASSERT_EQ(buffers.size(), 1u);
        ASSERT_EQ(buffers[0].size(), 80u);
        EXPECT_EQ(Head(0, head.size()), head);
        reader.Close();
    }
}

// Every refusal names the file and says why.
TEST_F(FileInTest, RefusesBadHeadersAndWhatCannotOpenButPlaysShortData) {
    const std::string full = Wav({5, 6, 7});
    std::string lower = full, huge = full;
    lower.replace(8, 8, "wavefmt ");         // tags are compared exactly
    huge.replace(16, 4, Le32(0xFFFFFFF0u));  // a fmt size far beyond the file
    // The last three cut inside the fmt body, inside the data tag, inside the data size.
    for (auto [bytes, message] : {std::pair{"RIFX" + full.substr(4), "not a RIFF file"},
                                  {lower, "not a WAVE file with a fmt chunk"},
                                  {std::string(), ""},
                                  {std::string("RIFF\x10\0\0\0WAVE", 12), ""},
                                  {huge, "ends inside its WAV header"},
                                  {full.substr(0, 24), "ends inside its WAV header"},
                                  {full.substr(0, 38), "no data chunk"},
                                  {full.substr(0, 42), "ends inside its WAV header"}}) {
        ASSERT_TRUE(OpenBytes(bytes));
        EXPECT_FALSE(reader.ReadHeader()) << bytes.size();
        EXPECT_NE(reader.LastError().find(message), std::string::npos) << reader.LastError();
        EXPECT_NE(reader.LastError().find("in.wav"), std::string::npos) << reader.LastError();
        reader.Close();
    }
    for (const std::string& path : {dir.File("missing.wav"), dir.Path()}) {
        reader.SetFilename(path);
        EXPECT_FALSE(reader.Open());
        EXPECT_NE(reader.LastError().find("cannot open"), std::string::npos) << path;
    }
    EXPECT_FALSE(reader.IsOpen());
    reader.Tick();  // harmless when closed
    EXPECT_TRUE(events.empty());
    // The data may be shorter than declared: what is there is played.
    std::string cut = full;
    cut.resize(cut.size() - 2);
    Load(cut);
    reader.Start();
    EXPECT_EQ(events, (std::vector<std::string>{"eof", "buffer"}));
    EXPECT_EQ(Head(0, 3), (std::vector<int16_t>{5, 6, 0}));
}

TEST_F(FileInTest, LastPartialBufferIsZeroPaddedFollowsEofAndMayClose) {
    std::vector<int16_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Load(Wav(ten));
    reader.SetTimerInterval(50);  // 400 samples
    reader.Start();
    ASSERT_EQ(events, (std::vector<std::string>{"eof", "buffer"}));
    ten.resize(400, 0);
    EXPECT_EQ(buffers[0], ten);
    clock.Advance(1000);  // stopped: no more ticks
    EXPECT_EQ(events.size(), 2u);
    // Closing in the EOF handler is safe.
    Load(Wav({1, 2}));
    reader.OnEOFReached = [this] { reader.Close(); };
    reader.Start();
    EXPECT_FALSE(reader.IsOpen());
    clock.Advance(1000);
}

TEST_F(FileInTest, TimerPacesBuffersAndRepeatFileStartsAgain) {
    std::vector<int16_t> s(100);
    for (int i = 0; i < 100; ++i)
        s[i] = static_cast<int16_t>(i + 1);
    Load(Wav(s));
    reader.SetTimerInterval(10);  // 80 samples
    reader.SetRepeatFile(true);
    reader.Start();
    EXPECT_EQ(buffers.size(), 1u);
    clock.Advance(9);
    EXPECT_EQ(buffers.size(), 1u);
    clock.Advance(1);
    EXPECT_EQ(buffers.size(), 2u);
    clock.Advance(10);
    ASSERT_EQ(buffers.size(), 3u);
    // Second buffer: samples 81..100 then 60 zeros; the third starts over.
    EXPECT_EQ((std::array{buffers[1][19], buffers[1][20], buffers[2][0]}),
              (std::array<int16_t, 3>{100, 0, 1}));
    EXPECT_TRUE(reader.Running());
    EXPECT_EQ(std::count(events.begin(), events.end(), "eof"), 0);
    reader.Stop();
    clock.Advance(100);
    EXPECT_EQ(buffers.size(), 3u);
}

TEST_F(FileInTest, IntervalClamps) {
    for (auto [ms, interval, samples] : {std::array{5, 10, 80}, {1000, 500, 4000}}) {
        reader.SetTimerInterval(ms);
        EXPECT_EQ((std::array{int(reader.TimerInterval()), reader.BufferSamples()}),
                  (std::array{interval, samples}));
    }
}

}  // namespace
