#pragma once
// Writes an 8000 Hz 16-bit PCM WAV file. The samples go to a temporary file
// beside the target, which replaces the target only when Commit succeeds, so
// a failed write never leaves a partial file under the target's name.

#include <cstddef>
#include <cstdint>
#include <string>

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // channels: 1 (mono) or 2 (stereo, left first).
    bool Open(const std::string& path, int channels);
    // count samples (for stereo: 2 per frame, interleaved).
    bool Write(const int16_t* samples, size_t count);
    // Completes the header and moves the file into place.
    bool Commit();
    // Drops the temporary file; the target is left as it was.
    void Abort();

    uint64_t DataBytes() const { return dataBytes_; }
    const std::string& LastError() const { return lastError_; }

private:
    bool WriteAll(const void* p, size_t n);
    bool Fail(const std::string& what, int err);

    std::string path_;
    std::string tmpPath_;
    int fd_ = -1;
    int channels_ = 1;
    uint64_t dataBytes_ = 0;
    std::string lastError_;
};
