#pragma once
// Sound input on Qt Multimedia: records 16-bit PCM and hands every filled
// buffer to the owner through OnBufferRecorded, on the owner's thread.

#include "devices/SoundDevices.h"
#include "devices/SoundFormat.h"

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

    int SampleRate() const override { return fmt_.SampleRate(); }
    void SetSampleRate(int hz) override;
    int BufferSamples() const override { return fmt_.BufferSamples(); }
    void SetBufferSamples(int n) override;
    int BufferTime() const override { return fmt_.BufferTime(); }
    void SetBufferTime(int ms) override;
    int Channels() const override { return fmt_.Channels(); }
    void SetChannels(int n) override;
    int NumBuffers() const override { return fmt_.NumBuffers(); }
    void SetNumBuffers(int n) override { fmt_.SetNumBuffers(n); }
    uint32_t BufferBytes() const override { return fmt_.BufferBytes(); }

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
    void Reopen();
    void ReadAvailable();
    void StateChanged();
    void DevicesChanged();
    void Recover(const std::string& why);

    TSoundInFormat fmt_;
    int deviceId_ = -1;
    bool isOpen_ = false;
    bool isActive_ = false;
    bool wanted_ = false;
    bool failing_ = false;
    std::string lastError_;
    QByteArray openedDeviceId_;
    QString openedDeviceName_;

    // Two buffers in turn, each of fmt_.BufferAllocSamples().
    std::vector<int16_t> buf_[2];
    int fillIndex_ = 0;
    uint32_t fillBytes_ = 0;

    QAudioSource* source_ = nullptr;
    QPointer<QIODevice> io_;  // the source deletes it when the server goes away
    QMediaDevices* devices_ = nullptr;
    int64_t lastRecoverMs_ = -1;
};
