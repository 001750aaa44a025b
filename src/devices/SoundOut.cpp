#include "devices/SoundOut.h"

#include "devices/SoundDeviceNames.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void RaisePriority(pid_t tid) {
    sched_param sp{};
    sp.sched_priority = 10;
    if (sched_setscheduler(tid, SCHED_FIFO, &sp) != 0) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -10);
}

// The sound library's own event thread carries the server's requests for
// data; when it starves, so does the device. Raise it like the audio thread.
void RaiseSoundLibraryThreads() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(t + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "threaded-ml")
            RaisePriority(static_cast<pid_t>(t.toInt()));
    }
}

}  // namespace

// Lives on the audio thread: owns the sink and copies the owner's buffers
// to it chunk by chunk, applying the volume.
class TSoundOutPump {
public:
    explicit TSoundOutPump(TSoundOut& owner) : owner_(owner) {}

    QObject ctx;  // moved to the audio thread; every call runs there

    // Creates the sink (not started). Empty result: success.
    QString Create(const QAudioDevice& dev, const QAudioFormat& fmt) {
        Destroy();
        sink_ = new QAudioSink(dev, fmt, &ctx);
        channels_ = fmt.channelCount();
        rate_ = fmt.sampleRate();
        chunkFrames_ = std::max(1, rate_ * TSoundOut::kChunkMs / 1000);
        deviceBytes_ = rate_ * TSoundOut::kDeviceBufferMs / 1000 * channels_ * 2;
        sink_->setBufferSize(deviceBytes_);
        stallMs_ = std::max(50, 3 * TSoundOut::kDeviceBufferMs);
        rampStep_ = 1.0 / std::max(1, rate_ * TSoundOut::kRampMs / 1000);
        QObject::connect(sink_, &QAudioSink::stateChanged, &ctx, [this](QAudio::State s) { StateChanged(s); });
        if (sink_->error() != QAudio::NoError) return ErrorText(sink_->error());
        RaiseSoundLibraryThreads();
        return {};
    }

    QString StartSink(uint64_t session) {
        if (!sink_) return QStringLiteral("no sink");
        session_ = session;
        failed_ = false;
        wasActive_ = false;
        playIndex_ = 0;
        playPos_ = 0;
        pending_.clear();
        pendingPos_ = 0;
        gainL_ = gainR_ = -1.0;  // first chunk takes the volume at once
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError) {
            const QString why = ErrorText(sink_->error());
            sink_->stop();
            io_ = nullptr;
            return why.isEmpty() ? QStringLiteral("the device refused the stream") : why;
        }
        if (!timer_) {
            timer_ = new QTimer(&ctx);
            timer_->setTimerType(Qt::PreciseTimer);
            timer_->setInterval(owner_.pumpMs_.load());
            QObject::connect(timer_, &QTimer::timeout, &ctx, [this] { Pump(); });
        }
        started_ = true;
        lastWriteMs_ = SteadyMs();
        Pump();
        timer_->start();
        return {};
    }

    // How often Pump runs (changes a running timer's interval at once).
    void SetPumpInterval(int ms) {
        if (timer_) timer_->setInterval(ms);
    }

    void StopSink() {
        started_ = false;
        if (timer_) timer_->stop();
        if (sink_) sink_->reset();
        io_ = nullptr;
        pending_.clear();
    }

    void Destroy() {
        StopSink();
        delete sink_;
        sink_ = nullptr;
    }

    std::atomic<uint64_t> framesWritten{0};
    std::atomic<uint64_t> underruns{0};
    std::atomic<uint64_t> late{0};

private:
    static int64_t SteadyMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    static QString ErrorText(QAudio::Error e) {
        switch (e) {
        case QAudio::NoError: return {};
        case QAudio::OpenError: return QStringLiteral("the sound server refused to open the device");
        case QAudio::IOError: return QStringLiteral("input/output error on the sound device");
        case QAudio::UnderrunError: return QStringLiteral("the sound device ran dry");
        case QAudio::FatalError: return QStringLiteral("the sound device or server went away");
        }
        return QStringLiteral("unknown sound error");
    }

    void StateChanged(QAudio::State s) {
        if (!sink_) return;
        const QAudio::Error e = sink_->error();
        if (s == QAudio::ActiveState) wasActive_ = true;
        if (s == QAudio::IdleState && e == QAudio::UnderrunError && wasActive_ && started_) underruns.fetch_add(1);
        if ((e == QAudio::FatalError || e == QAudio::OpenError || e == QAudio::IOError) && !failed_ && started_) {
            failed_ = true;
            if (timer_) timer_->stop();
            io_ = nullptr;
            const uint64_t session = session_;
            const QString why = ErrorText(e);
            TSoundOut* owner = &owner_;
            QMetaObject::invokeMethod(owner, [owner, session, why] { owner->DeviceFailed(session, why); },
                                      Qt::QueuedConnection);
        }
    }

    // Fills `chunk` with the next frames of the owner's buffers, gated by
    // the volume. Returns true when the volume rose from zero in it.
    bool MakeChunk(std::vector<int16_t>& chunk) {
        const size_t frames = static_cast<size_t>(chunkFrames_);
        chunk.assign(frames * static_cast<size_t>(channels_), 0);
        const uint32_t v = owner_.volume_.load(std::memory_order_relaxed);
        const double tL = (v & 0xFFFFu) / 65535.0;
        const double tR = channels_ == 2 ? (v >> 16) / 65535.0 : tL;
        constexpr double kSilent = 1e-6;
        bool rise = (gainL_ <= kSilent && tL > kSilent) || (gainR_ <= kSilent && tR > kSilent);
        if (gainL_ < 0.0) {
            rise = false;
            gainL_ = tL;
            gainR_ = tR;
        }
        size_t f = 0;
        while (f < frames) {
            if (!owner_.ready_[playIndex_].load(std::memory_order_acquire)) {
                // The owner is late: play silence rather than stall the device.
                late.fetch_add(1);
                break;
            }
            const std::vector<int16_t>& src = owner_.buf_[playIndex_];
            const size_t srcFrames = src.size() / static_cast<size_t>(channels_);
            const size_t n = std::min(frames - f, srcFrames - playPos_);
            for (size_t i = 0; i < n; ++i) {
                gainL_ += std::clamp(tL - gainL_, -rampStep_, rampStep_);
                gainR_ += std::clamp(tR - gainR_, -rampStep_, rampStep_);
                const int16_t* in = &src[(playPos_ + i) * static_cast<size_t>(channels_)];
                int16_t* out = &chunk[(f + i) * static_cast<size_t>(channels_)];
                out[0] = static_cast<int16_t>(std::lround(in[0] * gainL_));
                if (channels_ == 2) out[1] = static_cast<int16_t>(std::lround(in[1] * gainR_));
            }
            f += n;
            playPos_ += n;
            if (playPos_ >= srcFrames) {
                // Whole buffer consumed: hand it back for refilling.
                owner_.ready_[playIndex_].store(false, std::memory_order_release);
                const int index = playIndex_;
                const uint64_t session = session_;
                TSoundOut* owner = &owner_;
                QMetaObject::invokeMethod(owner, [owner, session, index] { owner->BufferConsumed(session, index); },
                                          Qt::QueuedConnection);
                playIndex_ ^= 1;
                playPos_ = 0;
            }
        }
        return rise;
    }

    void Pump() {
        if (!io_ || !sink_ || failed_) return;
        const qint64 chunkBytes = static_cast<qint64>(chunkFrames_) * channels_ * 2;
        for (int guard = 0; guard < 16; ++guard) {
            if (pending_.empty()) {
                const int64_t nowMs = SteadyMs();
                if (sink_->bytesFree() < chunkBytes) {
                    // A stream that ran dry may wait for a full buffer that
                    // it never asks for: restart playback instead of staying
                    // silent.
                    if (nowMs - lastWriteMs_ > stallMs_) {
                        underruns.fetch_add(1);
                        sink_->suspend();
                        sink_->resume();
                        lastWriteMs_ = nowMs;
                    }
                    return;
                }
                lastWriteMs_ = nowMs;
                const uint64_t first = framesWritten.load(std::memory_order_relaxed);
                const bool rise = MakeChunk(pending_);
                pendingPos_ = 0;
                if (rise && owner_.OnGainRise) {
                    risePending_ = true;
                    rise_.frame = first;
                }
            }
            const char* data = reinterpret_cast<const char*>(pending_.data()) + pendingPos_;
            const qint64 left = static_cast<qint64>(pending_.size() * 2) - pendingPos_;
            const qint64 n = io_->write(data, left);
            if (n < 0) return;
            pendingPos_ += n;
            framesWritten.fetch_add(static_cast<uint64_t>(n) / (static_cast<uint64_t>(channels_) * 2));
            if (pendingPos_ < static_cast<qint64>(pending_.size() * 2)) return;
            pending_.clear();
            if (risePending_) {
                risePending_ = false;
                rise_.writtenNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
                rise_.playedUs = sink_->processedUSecs();
                if (owner_.OnGainRise) owner_.OnGainRise(rise_);
            }
        }
    }

    TSoundOut& owner_;
    QAudioSink* sink_ = nullptr;
    QPointer<QIODevice> io_;  // the sink deletes it when the server goes away
    QTimer* timer_ = nullptr;
    int channels_ = 1;
    int rate_ = 8000;
    int chunkFrames_ = 40;
    int deviceBytes_ = 320;
    int64_t lastWriteMs_ = 0;
    int64_t stallMs_ = 60;
    double rampStep_ = 1.0;
    double gainL_ = -1.0, gainR_ = -1.0;
    uint64_t session_ = 0;
    bool failed_ = false;
    bool started_ = false;
    bool wasActive_ = false;
    int playIndex_ = 0;
    size_t playPos_ = 0;
    std::vector<int16_t> pending_;
    qint64 pendingPos_ = 0;
    bool risePending_ = false;
    TSoundOut::GainRise rise_;
};

namespace {

QAudioFormat MakeFormat(int rate, int channels) {
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

// Runs fn on the pump's thread and waits for it.
template <typename Fn>
void OnAudioThread(TSoundOutPump& pump, Fn&& fn) {
    QMetaObject::invokeMethod(&pump.ctx, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

}  // namespace

TSoundOut::TSoundOut(QObject* parent) : QObject(parent) {
    ready_[0] = false;
    ready_[1] = false;
    pump_ = std::make_unique<TSoundOutPump>(*this);
    thread_ = new QThread();
    thread_->setObjectName(QStringLiteral("sound output"));
    pump_->ctx.moveToThread(thread_);
    thread_->start();
    // Ahead of ordinary work where the system allows it (real-time for a
    // privileged user, else a lower nice value); otherwise as it is.
    QMetaObject::invokeMethod(&pump_->ctx, [] { RaisePriority(static_cast<pid_t>(gettid())); },
                              Qt::QueuedConnection);
    devices_ = new QMediaDevices(this);
    connect(devices_, &QMediaDevices::audioOutputsChanged, this, [this] { DevicesChanged(); });
}

TSoundOut::~TSoundOut() {
    wanted_ = false;
    Close();
    OnAudioThread(*pump_, [this] { pump_->Destroy(); });
    thread_->quit();
    thread_->wait();
    delete thread_;
}

void TSoundOut::SetError(const std::string& text) { lastError_ = text; }

void TSoundOut::AddPlatformError(const std::string& text) {
    lastError_ = lastError_.empty() ? text : lastError_ + " " + text;
}

void TSoundOut::SetSampleRate(int hz) {
    if (fmt_.SetSampleRate(hz) && isOpen_) Reopen();
}

void TSoundOut::SetBufferTime(int ms) {
    if (fmt_.SetBufferTime(ms) && isOpen_) Reopen();
}

void TSoundOut::SetChannels(int n) {
    if (fmt_.SetChannels(n) && isOpen_) Reopen();
}

void TSoundOut::SetVolumeLeft(uint16_t v) { SetVolume((Volume() & 0xFFFF0000u) | v); }
void TSoundOut::SetVolumeRight(uint16_t v) { SetVolume((Volume() & 0xFFFFu) | (uint32_t(v) << 16)); }

bool TSoundOut::DeviceAvailable() const { return !QMediaDevices::audioOutputs().isEmpty(); }
int TSoundOut::DeviceCount() const { return static_cast<int>(QMediaDevices::audioOutputs().size()); }

bool TSoundOut::DeviceName(int id, std::string& name) {
    if (id == -1) {
        name = kDefaultOutputDeviceName;
        return true;
    }
    const std::vector<std::string> names = EnumOutputDeviceNames();
    if (id < -1 || id >= static_cast<int>(names.size())) {
        SetError(sound_format::DeviceMissingText(TSoundDirection::Output, id));
        return false;
    }
    name = names[static_cast<size_t>(id)];
    return true;
}

bool TSoundOut::SetDevice(int id) {
    deviceId_ = sound_format::ClampDeviceId(id);
    if (isOpen_) return Reopen();
    return true;
}

bool TSoundOut::Open() {
    if (isOpen_) {
        SetError(sound_format::AlreadyOpenText(TSoundDirection::Output));
        return false;
    }
    if (!DeviceAvailable()) {
        SetError(sound_format::kNoDevice);
        return false;
    }
    const QAudioDevice dev = OutputDeviceFor(deviceId_);
    if (dev.isNull()) {
        SetError(sound_format::OpenFailedText(TSoundDirection::Output, deviceId_));
        return false;
    }
    const QAudioFormat fmt = MakeFormat(fmt_.SampleRate(), fmt_.Channels());
    if (!dev.isFormatSupported(fmt)) {
        SetError("Device does not support selected parameters");
        return false;
    }
    const size_t samples = BufferBytes() / 2;
    if (samples == 0) {
        SetError(sound_format::kNoBufferMemory);
        return false;
    }
    for (auto& b : buf_) b.assign(samples, 0);
    ready_[0] = ready_[1] = false;
    QString why;
    OnAudioThread(*pump_, [&] { why = pump_->Create(dev, fmt); });
    if (!why.isEmpty()) {
        SetError(sound_format::OpenFailedText(TSoundDirection::Output, deviceId_));
        AddPlatformError(why.toStdString());
        OnAudioThread(*pump_, [this] { pump_->Destroy(); });
        return false;
    }
    openedDeviceId_ = dev.id();
    openedDeviceName_ = dev.description();
    pump_->framesWritten = 0;
    isOpen_ = true;
    return true;
}

bool TSoundOut::Start() {
    if (!isOpen_ && !Open()) {
        SetError(sound_format::NotOpenText(TSoundDirection::Output, lastError_));
        wanted_ = true;  // start once a device appears
        return false;
    }
    if (isActive_) return false;
    const uint32_t bytes = BufferBytes();
    for (int i = 0; i < 2; ++i) {
        std::fill(buf_[i].begin(), buf_[i].end(), int16_t(0));
        if (OnBufferPlayed) OnBufferPlayed(buf_[i].data(), bytes);
        ready_[i].store(true, std::memory_order_release);
    }
    isActive_ = true;
    const uint64_t session = ++session_;
    QString why;
    OnAudioThread(*pump_, [&] { why = pump_->StartSink(session); });
    if (!why.isEmpty()) {
        isActive_ = false;
        ready_[0] = ready_[1] = false;
        SetError(sound_format::OpenFailedText(TSoundDirection::Output, deviceId_));
        AddPlatformError(why.toStdString());
        wanted_ = true;
        return false;
    }
    wanted_ = true;
    return true;
}

bool TSoundOut::Stop() {
    if (isActive_) {
        ++session_;
        OnAudioThread(*pump_, [this] { pump_->StopSink(); });
        ready_[0] = ready_[1] = false;
        isActive_ = false;
    }
    wanted_ = false;
    return true;
}

bool TSoundOut::Close() {
    if (isOpen_) {
        Stop();
        OnAudioThread(*pump_, [this] { pump_->Destroy(); });
        for (auto& b : buf_) std::vector<int16_t>().swap(b);
        isOpen_ = false;
    }
    wanted_ = false;
    return true;
}

bool TSoundOut::Reopen() {
    const bool wasActive = isActive_;
    Close();
    ++reopens_;
    if (!Open()) {
        wanted_ = wasActive;
        return false;
    }
    return wasActive ? Start() : true;
}

void TSoundOut::SetLowLatency(bool on) {
    const int ms = on ? 1 : kChunkMs;
    if (pumpMs_.exchange(ms) == ms || !pump_) return;
    QMetaObject::invokeMethod(
        &pump_->ctx, [this, ms] { pump_->SetPumpInterval(ms); }, Qt::QueuedConnection);
}

TSoundOut::Stats TSoundOut::GetStats() const {
    Stats s;
    s.framesWritten = pump_->framesWritten.load();
    s.deviceUnderruns = pump_->underruns.load();
    s.lateBuffers = pump_->late.load();
    s.reopens = reopens_;
    return s;
}

void TSoundOut::BufferConsumed(uint64_t session, int index) {
    if (!isActive_ || session != session_) return;
    std::vector<int16_t>& b = buf_[index];
    if (OnBufferPlayed) OnBufferPlayed(b.data(), static_cast<uint32_t>(b.size() * 2));
    ready_[index].store(true, std::memory_order_release);
}

void TSoundOut::Recover(const std::string& why) {
    // Reopen at once, but not in a tight loop against a device that keeps
    // failing: then wait for the device list to change.
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    const bool tooSoon = lastRecoverMs_ >= 0 && now - lastRecoverMs_ < 2000;
    lastRecoverMs_ = now;
    const bool wasActive = isActive_ || wanted_;
    if (isOpen_) {
        ++session_;
        OnAudioThread(*pump_, [this] { pump_->Destroy(); });
        for (auto& b : buf_) std::vector<int16_t>().swap(b);
        ready_[0] = ready_[1] = false;
        isActive_ = false;
        isOpen_ = false;
    }
    wanted_ = wasActive;
    if (tooSoon) {
        SetError("Sound output failed: " + why);
        if (OnStatus) OnStatus("Sound output is off: " + why);
        return;
    }
    ++reopens_;
    const bool ok = Open() && (!wasActive || Start());
    if (ok) {
        if (OnStatus) OnStatus("Sound output reopened on " + openedDeviceName_.toStdString() + " (" + why + ")");
    } else {
        wanted_ = wasActive;
        if (OnStatus) OnStatus("Sound output is off: " + why);
    }
}

void TSoundOut::DeviceFailed(uint64_t session, const QString& why) {
    if (session != session_ || !isOpen_) return;
    Recover(why.toStdString());
}

void TSoundOut::DevicesChanged() {
    if (isOpen_) {
        // Reopen when our device went away or the default moved elsewhere.
        const QAudioDevice now = OutputDeviceFor(deviceId_);
        if (!now.isNull() && now.id() == openedDeviceId_) return;
        Recover(now.isNull() ? std::string("the sound device went away")
                             : "the sound device changed to " + now.description().toStdString());
        return;
    }
    if (wanted_ && DeviceAvailable()) {
        lastRecoverMs_ = -1;
        Recover("a sound device appeared");
    }
}
