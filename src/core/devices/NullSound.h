#pragma once
// Sound devices for a program run without sound: the properties behave as
// on the real devices, but there is no device, so Open and Start fail with
// "No sound device available" and nothing is ever played or recorded.

#include "devices/SoundDevices.h"
#include "devices/SoundFormat.h"

#include <string>

// What a missing device answers, whichever way it goes.
template <class Interface, TSoundDirection Dir>
class TNullSoundDevice : public Interface {
public:
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
    int deviceId_ = -1;
    std::string lastError_;
};

class TNullSoundOut : public TNullSoundDevice<ISoundOut, TSoundDirection::Output> {
public:
    int SampleRate() const override { return fmt_.SampleRate(); }
    void SetSampleRate(int hz) override { fmt_.SetSampleRate(hz); }
    int BufferTime() const override { return fmt_.BufferTime(); }
    void SetBufferTime(int ms) override { fmt_.SetBufferTime(ms); }
    int Channels() const override { return fmt_.Channels(); }
    void SetChannels(int n) override { fmt_.SetChannels(n); }
    uint32_t BufferBytes() const override { return fmt_.BufferBytes(); }

    uint32_t Volume() const override { return volume_; }
    void SetVolume(uint32_t leftRight) override { volume_ = leftRight; }

private:
    TSoundOutFormat fmt_;
    uint32_t volume_ = 0xFFFFFFFFu;
};

class TNullSoundIn : public TNullSoundDevice<ISoundIn, TSoundDirection::Input> {
public:
    int SampleRate() const override { return fmt_.SampleRate(); }
    void SetSampleRate(int hz) override { fmt_.SetSampleRate(hz); }
    int BufferSamples() const override { return fmt_.BufferSamples(); }
    void SetBufferSamples(int n) override { fmt_.SetBufferSamples(n); }
    int BufferTime() const override { return fmt_.BufferTime(); }
    void SetBufferTime(int ms) override { fmt_.SetBufferTime(ms); }
    int Channels() const override { return fmt_.Channels(); }
    void SetChannels(int n) override { fmt_.SetChannels(n); }
    int NumBuffers() const override { return fmt_.NumBuffers(); }
    void SetNumBuffers(int n) override { fmt_.SetNumBuffers(n); }
    uint32_t BufferBytes() const override { return fmt_.BufferBytes(); }

private:
    TSoundInFormat fmt_;
};

extern template class TNullSoundDevice<ISoundOut, TSoundDirection::Output>;
extern template class TNullSoundDevice<ISoundIn, TSoundDirection::Input>;
