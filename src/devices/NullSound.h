#pragma once
// Sound devices for a program run without sound: the properties behave as
// on the real devices, but there is no device, so Open and Start fail with
// "No sound device available" and nothing is ever played or recorded.

#include "devices/SoundDevices.h"

#include <string>

class TNullSoundOut : public ISoundOut {
public:
    int SampleRate() const override { return sampleRate_; }
    void SetSampleRate(int hz) override { if (hz > 0) sampleRate_ = hz; }
    int BufferTime() const override { return bufferTime_; }
    void SetBufferTime(int ms) override { if (ms > 0) bufferTime_ = ms; }
    int Channels() const override { return channels_; }
    void SetChannels(int n) override { channels_ = n < 2 ? 1 : 2; }
    uint32_t BufferBytes() const override;

    bool DeviceAvailable() const override { return false; }
    int DeviceCount() const override { return 0; }
    bool DeviceName(int id, std::string& name) override;
    int DeviceId() const override { return deviceId_; }
    bool SetDevice(int id) override;

    bool Open() override;
    bool Start() override;
    bool Stop() override { return true; }
    bool Close() override { return true; }
    bool IsOpen() const override { return false; }
    bool IsActive() const override { return false; }
    const std::string& LastError() const override { return lastError_; }

    uint32_t Volume() const override { return volume_; }
    void SetVolume(uint32_t leftRight) override { volume_ = leftRight; }

private:
    int sampleRate_ = 8000, bufferTime_ = 500, channels_ = 2, deviceId_ = -1;
    uint32_t volume_ = 0xFFFFFFFFu;
    std::string lastError_;
};

class TNullSoundIn : public ISoundIn {
public:
    TNullSoundIn() { SizeFromTime(); }
    int SampleRate() const override { return sampleRate_; }
    void SetSampleRate(int hz) override;
    int BufferSamples() const override { return bufferSamples_; }
    void SetBufferSamples(int n) override;
    int BufferTime() const override { return bufferTime_; }
    void SetBufferTime(int ms) override;
    int Channels() const override { return channels_; }
    void SetChannels(int n) override;
    int NumBuffers() const override { return numBuffers_; }
    void SetNumBuffers(int n) override { numBuffers_ = n < 2 ? 2 : (n > 6 ? 6 : n); }
    uint32_t BufferBytes() const override { return bufferBytes_; }

    bool DeviceAvailable() const override { return false; }
    int DeviceCount() const override { return 0; }
    bool DeviceName(int id, std::string& name) override;
    int DeviceId() const override { return deviceId_; }
    bool SetDevice(int id) override;

    bool Open() override;
    bool Start() override;
    bool Stop() override { return true; }
    bool Close() override { return true; }
    bool IsOpen() const override { return false; }
    bool IsActive() const override { return false; }
    const std::string& LastError() const override { return lastError_; }

private:
    void SizeFromTime();
    int sampleRate_ = 8000, bufferSamples_ = 1600, bufferTime_ = 200, channels_ = 2, numBuffers_ = 4;
    int deviceId_ = -1;
    uint32_t bufferBytes_ = 0;
    std::string lastError_;
};
