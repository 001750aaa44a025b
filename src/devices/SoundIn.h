#pragma once
// Sound input on Qt Multimedia: records 16-bit PCM and hands every filled
// buffer to the owner through OnBufferRecorded, on the owner's thread.

#include "devices/SoundDevices.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QAudioSource;
class QMediaDevices;

class TSoundIn : public QObject, public ISoundIn {
public:
    explicit TSoundIn(QObject* parent = nullptr);
    ~TSoundIn() override;

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
    int BitsPerSample() const { return 16; }
    void SetBitsPerSample(int) {}
    uint32_t BufferBytes() const override { return bufferBytes_; }

    bool DeviceAvailable() const override;
    int DeviceCount() const override;
    bool DeviceName(int id, std::string& name) override;
    int DeviceId() const override { return deviceId_; }
    bool SetDevice(int id) override;

    bool Open() override;
    bool Start() override;
    bool Stop() override;
    bool Close() override;
    bool IsOpen() const override { return isOpen_; }
    bool IsActive() const override { return isActive_; }
    const std::string& LastError() const override { return lastError_; }

private:
    void SizeFromTime();
    void Reopen();
    void ReadAvailable();
    void StateChanged();
    void DevicesChanged();
    void Recover(const std::string& why);

    int sampleRate_ = 8000;
    int bufferSamples_ = 1600;
    int bufferTime_ = 200;
    int channels_ = 2;
    int numBuffers_ = 4;
    uint32_t bufferBytes_ = 0;
    int deviceId_ = -1;
    bool isOpen_ = false;
    bool isActive_ = false;
    bool wanted_ = false;
    bool failing_ = false;
    std::string lastError_;
    QByteArray openedDeviceId_;
    QString openedDeviceName_;

    // Two buffers in turn. Each holds at least BufferSamples samples, so a
    // reader that takes the reported count never reads past the end even
    // when BufferTime made the recorded part shorter.
    std::vector<int16_t> buf_[2];
    int fillIndex_ = 0;
    uint32_t fillBytes_ = 0;

    QAudioSource* source_ = nullptr;
    QPointer<QIODevice> io_;  // the source deletes it when the server goes away
    QMediaDevices* devices_ = nullptr;
    int64_t lastRecoverMs_ = -1;
};
