#pragma once
// The property rules every sound device shares, real or null: 16-bit PCM,
// one or two channels, buffers sized from a time (or, for input, a sample
// count), and the error texts the owner shows. Kept free of any sound
// library so the null devices and the real ones cannot drift apart.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sound_format {

inline int ClampChannels(int n) { return n < 2 ? 1 : 2; }

// A device number below -1 means the system's default device (-1).
inline int ClampDeviceId(int id) { return id < -1 ? -1 : id; }

// Bytes of 16-bit PCM for ms milliseconds.
inline uint32_t BytesForTime(int sampleRate, int channels, int ms) {
    return static_cast<uint32_t>(int64_t(sampleRate) * 2 * channels * ms / 1000);
}

}  // namespace sound_format

// Output: SampleRate, BufferTime and Channels; one buffer holds BufferTime.
// Setters answer whether the value changed, so an open device reopens only then.
struct TSoundOutFormat {
    int SampleRate() const { return sampleRate_; }
    int BufferTime() const { return bufferTime_; }
    int Channels() const { return channels_; }
    uint32_t BufferBytes() const { return sound_format::BytesForTime(sampleRate_, channels_, bufferTime_); }

    bool SetSampleRate(int hz) { return Change(sampleRate_, hz, hz > 0); }
    bool SetBufferTime(int ms) { return Change(bufferTime_, ms, ms > 0); }
    bool SetChannels(int n) { return Change(channels_, sound_format::ClampChannels(n), true); }

private:
    static bool Change(int& field, int value, bool valid) {
        if (!valid || value == field)
            return false;
        field = value;
        return true;
    }

    int sampleRate_ = 8000;
    int bufferTime_ = 500;
    int channels_ = 2;
};

// Input: the buffer size follows BufferTime or BufferSamples, whichever was
// set last; a change of SampleRate or Channels sizes it from BufferTime again.
// Setters answer whether the value was taken (an open device then reopens,
// even for an unchanged value).
struct TSoundInFormat {
    int SampleRate() const { return sampleRate_; }
    int BufferSamples() const { return bufferSamples_; }
    int BufferTime() const { return bufferTime_; }
    int Channels() const { return channels_; }
    int NumBuffers() const { return numBuffers_; }
    uint32_t BufferBytes() const { return bufferBytes_; }

    // Samples one recording buffer holds: all of BufferBytes (an odd count
    // rounded up) and at least BufferSamples, so a reader that takes the
    // reported count never reads past the end even when BufferTime made the
    // recorded part shorter. 0: too small to record.
    size_t BufferAllocSamples() const {
        if (bufferBytes_ < 2)
            return 0;
        return std::max<size_t>((size_t(bufferBytes_) + 1) / 2, static_cast<size_t>(bufferSamples_));
    }

    bool SetSampleRate(int hz) { return ResizeFromTime(sampleRate_, hz); }
    bool SetBufferSamples(int n) {
        if (n <= 0)
            return false;
        bufferSamples_ = n;
        bufferBytes_ = static_cast<uint32_t>(int64_t(channels_) * 2 * n);
        return true;
    }
    bool SetBufferTime(int ms) { return ResizeFromTime(bufferTime_, ms); }
    bool SetChannels(int n) {
        channels_ = sound_format::ClampChannels(n);
        SizeFromTime();
        return true;
    }
    // Stored only: the devices keep two buffers in turn whatever it says.
    void SetNumBuffers(int n) { numBuffers_ = std::clamp(n, 2, 6); }

private:
    void SizeFromTime() { bufferBytes_ = sound_format::BytesForTime(sampleRate_, channels_, bufferTime_); }
    bool ResizeFromTime(int& field, int value) {
        if (value <= 0)
            return false;
        field = value;
        SizeFromTime();
        return true;
    }

    int sampleRate_ = 8000;
    int bufferSamples_ = 1600;
    int bufferTime_ = 200;
    int channels_ = 2;
    int numBuffers_ = 4;
    uint32_t bufferBytes_ = sound_format::BytesForTime(8000, 2, 200);
};

// Which way a device goes: its error texts name it.
enum class TSoundDirection { Output, Input };

namespace sound_format {

inline constexpr const char* kNoDevice = "No sound device available";
inline constexpr const char* kNoBufferMemory = "Failed to get memory for audio buffers";

// Device number id names no device.
inline std::string DeviceMissingText(TSoundDirection dir, int id) {
    return std::string(dir == TSoundDirection::Output ? "Waveform output" : "Waveform input") + " device #" +
           std::to_string(id) + " not available";
}

inline std::string AlreadyOpenText(TSoundDirection dir) {
    return dir == TSoundDirection::Output ? "Waveout device already opened" : "WaveIn device already opened";
}

// The device (number id) refused to open.
inline std::string OpenFailedText(TSoundDirection dir, int id) {
    return std::string(dir == TSoundDirection::Output ? "Error opening waveout" : "Error opening WaveIn") +
           " device # " + std::to_string(id);
}

// Start found the device closed and could not open it; why: Open's error.
inline std::string NotOpenText(TSoundDirection dir, const std::string& why) {
    std::string text = dir == TSoundDirection::Output ? "Wave device not open" : "Wave input device not open";
    if (!why.empty())
        text += ": " + why;
    return text;
}

}  // namespace sound_format
