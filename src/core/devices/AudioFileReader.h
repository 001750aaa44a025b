#pragma once
// Reads a recording of any common format as the detector's input: 16-bit
// mono samples at 8000 Hz. A WAV file that already holds exactly that is read
// byte for byte as it always was; every other file libsndfile decodes (WAV of
// any encoding, rate and channel count, FLAC, Ogg, MP3, ...) is mixed down to
// mono and resampled with libsoxr.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// What was read: format as "<container> <encoding>" (e.g. "wav pcm16",
// "flac pcm24", "ogg vorbis", "mp3"), the file's own rate and channels, and
// its length in seconds.
struct AudioFileInfo {
    std::string format;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    double seconds = 0.0;
    bool native = false;  // read directly, without conversion
};

class TAudioFileReader {
public:
    static constexpr int32_t kRate = 8000;

    TAudioFileReader();
    ~TAudioFileReader();
    TAudioFileReader(const TAudioFileReader&) = delete;
    TAudioFileReader& operator=(const TAudioFileReader&) = delete;

    // Opens the file for reading (a missing file or a folder fails here).
    bool OpenFile(const std::string& path);
    // Identifies the format and prepares reading from the first sample.
    bool ReadHeader();
    // Both steps at once.
    bool Open(const std::string& path) { return OpenFile(path) && ReadHeader(); }
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // Up to n samples into dst; fewer only at the end of the data (0 after
    // it). A read error ends the data and is left in LastError.
    size_t Read(int16_t* dst, size_t n);
    // The last Read came short: the data has ended (or could not be read).
    bool Ended() const { return ended_; }
    // The data ended before the length the file declares.
    bool Truncated() const { return shortData_; }
    // Back to the first sample.
    bool Rewind();

    const AudioFileInfo& Info() const { return info_; }
    // The last failure, as one line naming the file.
    const std::string& LastError() const { return lastError_; }

private:
    struct Converter;

    bool ParseRiff(bool& isRiff, std::string& why, bool& declaresNative, std::string& declared);
    bool OpenConverted(const std::string& riffWhy, const std::string& declared);
    size_t ReadNative(int16_t* dst, size_t n);
    size_t ReadBytes(void* dst, size_t n);
    // From the chunk after the format chunk, steps chunk by chunk to the
    // data chunk and leaves the file right after its id; false when the
    // chunk sizes lead nowhere.
    bool WalkToDataChunk(long long fileSize);

    std::string path_;
    std::FILE* file_ = nullptr;
    long long dataStart_ = 0;
    bool ended_ = false;
    // The data ends before the size its header declares, or decoding
    // stopped after part of it.
    bool shortData_ = false;
    std::vector<uint8_t> bytes_;
    std::unique_ptr<Converter> conv_;
    AudioFileInfo info_;
    std::string lastError_;
};
