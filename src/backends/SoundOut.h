#pragma once
// Sound output through the sound server's own asynchronous client library
// (libpulse; PulseAudio and PipeWire's pulse server both speak it). The
// owner still sees two buffers of BufferTime in flight, refilled through
// OnBufferPlayed on its own thread. Underneath, the server asks for data
// when it needs it, so nothing runs on a timer while the program is idle;
// the gate (the volume) is applied to the samples as they are handed over,
// and when the gate moves while a side tone may be keyed, what the server
// holds but has not played yet is written again with the new gate, so the
// tone follows the key within the server's own latency rather than within
// the stream's buffer. A server that cannot rewind gets a short stream
// instead.

#include "devices/SoundDevices.h"
#include "devices/SoundFormat.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMediaDevices;

class TSoundOut : public QObject, public ISoundOut {
public:
    // Audio the server holds for the stream, and how much it asks for at a
    // time: the request size sets how often the program wakes up, the held
    // audio how long a busy machine may delay a request without a gap.
    static constexpr int kTargetMs = 80;
    static constexpr int kRequestMs = 20;
    // A server that cannot take back audio it has passed on (PipeWire's
    // pulse server hands it to its graph a quantum at a time) gets no
    // rewrites and a short stream instead, which also keeps its quantum short.
    static constexpr int kShortTargetMs = 16;
    static constexpr int kShortRequestMs = 4;
    // Gain changes are ramped over this long to avoid clicks.
    static constexpr int kRampMs = 1;
    // How much later than the reported play position a keyer's mark begins,
    // so that none of it is lost (ms).
    static constexpr int kHoldGuardMs = 4;

    explicit TSoundOut(QObject* parent = nullptr);
    ~TSoundOut() override;

    int SampleRate() const override { return fmt_.SampleRate(); }
    void SetSampleRate(int hz) override;
    int BufferTime() const override { return fmt_.BufferTime(); }
    void SetBufferTime(int ms) override;
    int Channels() const override { return fmt_.Channels(); }
    void SetChannels(int n) override;
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

    uint32_t Volume() const override { return volume_.load(std::memory_order_relaxed); }
    void SetVolume(uint32_t leftRight) override;
    void HoldVolume(uint32_t leftRight, uint32_t ms) override;
    void SetLowLatency(bool on) override { lowLatency_ = on; }
    // Both channels to v; left only (right kept); right only (left kept).
    // Mono output uses the left (low) half.
    void SetVolumeBoth(uint16_t v) { SetVolume(uint32_t(v) | (uint32_t(v) << 16)); }
    void SetVolumeLeft(uint16_t v);
    void SetVolumeRight(uint16_t v);

    // Whether a keyed gate also reaches audio already handed to the server
    // (the open server can rewind).
    bool GateReachesHeldAudio() const;

    // Counters for the status line and the benchmarks.
    struct Stats {
        uint64_t framesWritten = 0;    // frames handed to the device since Open
        uint64_t deviceUnderruns = 0;  // the device ran dry
        uint64_t lateBuffers = 0;      // a buffer was not refilled in time (silence played instead)
        uint64_t reopens = 0;          // reopened after a device change or failure
    };
    Stats GetStats() const;

    // Samples on which the volume rose from zero were handed to the server.
    // Runs on the thread that wrote them (the server's or the one that
    // raised the volume); set it while the device is closed. playedUs is
    // the server's playback position in microseconds of the stream right
    // after the write, so the rise is heard (frame * 1e6 / SampleRate -
    // playedUs) microseconds after writtenNs.
    struct GainRise {
        uint64_t frame = 0;     // stream frame where the ramp starts
        int64_t writtenNs = 0;  // steady clock when the samples were written
        int64_t playedUs = 0;
    };
    std::function<void(const GainRise&)> OnGainRise;

private:
    // The server's stream: it reads the filled buffers and the volume.
    class Stream;

    void SetError(const std::string& text);
    void AddPlatformError(const std::string& text);
    bool Reopen();
    void BufferConsumed(uint64_t session, int index);
    void DeviceFailed(uint64_t session, const std::string& why);
    void DevicesChanged();
    void Recover(const std::string& why);

    TSoundOutFormat fmt_;
    int deviceId_ = -1;
    bool isOpen_ = false;
    bool isActive_ = false;
    bool wanted_ = false;  // the owner wants sound: reopen when a device appears
    bool lowLatency_ = true;
    std::string lastError_;
    QByteArray openedDeviceId_;
    QString openedDeviceName_;

    std::atomic<uint32_t> volume_{0xFFFFFFFFu};
    std::vector<int16_t> buf_[2];
    std::atomic<bool> ready_[2];
    uint64_t session_ = 0;
    uint64_t reopens_ = 0;
    int64_t lastRecoverMs_ = -1;

    std::unique_ptr<Stream> stream_;
    QMediaDevices* devices_ = nullptr;
};
