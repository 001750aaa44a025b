#include "devices/WavWriter.h"
#include "devices/ManualClock.h"
#include "devices/TempDir.h"
#include "devices/FileIn.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <vector>

namespace {

TEST(WavWriterTest, WritesHeaderTheReaderAcceptsAndSamplesLittleEndian) {
    TempDir dir;
    const std::string path = dir.File("out.wav");
    for (int channels : {1, 2}) {
        WavWriter w;
        ASSERT_TRUE(w.Open(path, channels)) << w.LastError();
        std::vector<int16_t> s = {0x0102, -2, 32767, -32768};
        ASSERT_TRUE(w.Write(s.data(), s.size()));
        ASSERT_TRUE(w.Commit()) << w.LastError();

        const std::string bytes = TempDir::ReadBytes(path);
        ASSERT_EQ(bytes.size(), 44u + 8u);
        auto le = [&](size_t at, int n) {  // little-endian field
            uint32_t v = 0;
            for (int k = n - 1; k >= 0; --k)
                v = v << 8 | static_cast<uint8_t>(bytes[at + k]);
            return v;
        };
        EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
        // RIFF size 36 + data, channels, rate, byte rate, data size, first sample
        EXPECT_EQ((std::array{le(4, 4), le(22, 2), le(24, 4), le(28, 4), le(40, 4), le(44, 2)}),
                  (std::array<uint32_t, 6>{44, uint32_t(channels), 8000, 16000u * channels, 8, 0x0102}));

        ManualClock clock;
        TFileIn r(clock);
        std::vector<int16_t> got;
        r.OnBufferReady = [&](const int16_t* pb, int) { got.assign(pb, pb + 4); };
        r.SetFilename(path);
        ASSERT_TRUE(r.Open());
        ASSERT_TRUE(r.ReadHeader());
        r.Tick();
        // Stereo frames are mixed down to mono: (258 - 2) / 2, (32767 - 32768) / 2.
        const std::vector<int16_t> mixed = {128, 0, 0, 0};
        EXPECT_EQ(got, channels == 1 ? s : mixed);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.wav"});  // no temporary left
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "ordinary permissions, not a private temp file's";
}

TEST(WavWriterTest, FailedOrAbandonedWritesLeaveNothingBehind) {
    TempDir dir;
    WavWriter w;
    EXPECT_FALSE(w.Open(dir.File("no/such/dir/out.wav"), 1));
    EXPECT_NE(w.LastError().find("cannot write"), std::string::npos);
    EXPECT_FALSE(w.Open(dir.Path(), 1));  // a directory
    int16_t s = 0;
    EXPECT_FALSE(w.Write(&s, 1));
    EXPECT_FALSE(w.Commit());

    const std::string path = dir.File("keep.wav");
    TempDir::WriteBytes(path, "old contents");
    {
        WavWriter abandoned;
        ASSERT_TRUE(abandoned.Open(path, 1));
        ASSERT_TRUE(abandoned.Write(&s, 1));
    }  // destroyed without Commit
    EXPECT_EQ(TempDir::ReadBytes(path), "old contents");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.wav"});
}

}  // namespace
