#include "backends/SoundOut.h"

#include "backends/SoundDeviceNames.h"

#include <QAudioDevice>
#include <QDateTime>
#include <QMediaDevices>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void RaisePriority(pid_t tid) {
    sched_param sp{};
    sp.sched_priority = 10;
    if (sched_setscheduler(tid, SCHED_FIFO, &sp) != 0)
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -10);
}

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long Open and Start wait for the server before giving up: a server
// that hangs must not hang the program.
constexpr int kConnectTimeoutMs = 5000;

}  // namespace

// Owns the client library's event thread, the connection and the playback
// stream. Every member below the lock is touched only with the event
// thread's lock held (its callbacks hold it already).
class TSoundOut::Stream {
public:
    explicit Stream(TSoundOut& owner) : owner_(owner) {}
    ~Stream() { Disconnect(); }

    // Connects to the server. Empty result: success.
    std::string Connect() {
        Disconnect();
        loop_ = pa_threaded_mainloop_new();
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0)
            return "cannot start the sound library";
        Lock lock(loop_);
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Orvo Tapmeter");
        if (!ctx_)
            return "cannot create a sound server connection";
        pa_context_set_state_callback(ctx_, &Stream::ContextState, this);
        if (pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return ContextError();
        const bool ok = WaitFor([this] {
            const pa_context_state_t s = pa_context_get_state(ctx_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        if (!ok)
            return "the sound server does not answer";
        if (pa_context_get_state(ctx_) != PA_CONTEXT_READY)
            return ContextError();
        serverKnown_ = false;
        pa_operation* op = pa_context_get_server_info(ctx_, &Stream::ServerInfo, this);
        if (op) {
            WaitFor([this] { return serverKnown_; });
            pa_operation_unref(op);
        }
        return {};
    }

    void Disconnect() {
        Halt();
        if (!loop_)
            return;
        {
            Lock lock(loop_);
            if (ctx_) {
                pa_context_set_state_callback(ctx_, nullptr, nullptr);
                pa_context_disconnect(ctx_);
                pa_context_unref(ctx_);
                ctx_ = nullptr;
            }
        }
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    // Starts a playback stream on sink (empty: the server's default).
    // Empty result: success.
    std::string Play(const std::string& sink, int rate, int channels, uint64_t session) {
        Halt();
        if (!loop_ || !ctx_)
            return "not connected to the sound server";
        Lock lock(loop_);
        session_ = session;
        failed_ = false;
        rate_ = rate;
        channels_ = channels;
        frameBytes_ = static_cast<size_t>(channels) * 2;
        written_ = 0;
        heldFrom_ = heldUntil_ = 0;
        holdPending_ = 0;
        playIndex_ = 0;
        playPos_ = 0;
        rampStep_ = 1.0f / static_cast<float>(std::max(1, rate * TSoundOut::kRampMs / 1000));
        const size_t maxFrames = static_cast<size_t>(rate) * TSoundOut::kTargetMs * 4 / 1000;
        historyFrames_ = maxFrames + 1;
        history_.assign(historyFrames_ * static_cast<size_t>(channels), 0);
        gains_.assign(historyFrames_ * 2, 0.0f);

        const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(rate),
                                  static_cast<uint8_t>(channels)};
        stream_ = pa_stream_new(ctx_, "Orvo Tapmeter", &spec, nullptr);
        if (!stream_)
            return ContextError();
        pa_stream_set_state_callback(stream_, &Stream::StreamState, this);
        pa_stream_set_write_callback(stream_, &Stream::Write, this);
        pa_stream_set_underflow_callback(stream_, &Stream::Underflow, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(maxFrames * frameBytes_);
        attr.tlength = Bytes(rewinds_ ? TSoundOut::kTargetMs : TSoundOut::kShortTargetMs);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = Bytes(rewinds_ ? TSoundOut::kRequestMs : TSoundOut::kShortRequestMs);
        attr.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(stream_, sink.empty() ? nullptr : sink.c_str(), &attr, flags, nullptr,
                                       nullptr) < 0)
            return ContextError();
        const bool ok = WaitFor([this] {
            const pa_stream_state_t s = pa_stream_get_state(stream_);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (!ok)
            return "the sound server does not start the stream";
        if (pa_stream_get_state(stream_) != PA_STREAM_READY)
            return ContextError();
        playing_ = true;
        return {};
    }

    // Ends the stream, if any; nothing is reported for it afterwards.
    void Halt() {
        if (!loop_)
            return;
        Lock lock(loop_);
        playing_ = false;
        if (!stream_)
            return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    // The gate moved: what the server holds but has not played yet is
    // written again with the new gate (the server rewinds to take it).
    void Regate() {
        if (!loop_)
            return;
        Lock lock(loop_);
        RegateLocked(0);
    }

    // A keyer's mark: leftRight for exactly `frames` frames, then the volume
    // in force. It begins just after the play position, or where the server
    // cannot take audio back, with the next frames handed over.
    void Hold(uint32_t leftRight, uint64_t frames) {
        if (!loop_)
            return;
        Lock lock(loop_);
        heldVolume_ = leftRight;
        if (!rewinds_ || !RegateLocked(frames))
            holdPending_ = frames;
    }

    // Known once Connect has returned.
    bool Rewinds() const { return rewinds_; }

    std::atomic<uint64_t> framesWritten{0};
    std::atomic<uint64_t> underruns{0};
    std::atomic<uint64_t> late{0};

private:
    // The event thread's lock, held for a scope.
    struct Lock {
        explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
        ~Lock() { pa_threaded_mainloop_unlock(loop); }
        pa_threaded_mainloop* loop;
    };

    // Lets the event thread run until done() or the time-out; the lock is held on return.
    template <typename Done>
    bool WaitFor(Done done) {
        const int64_t until = SteadyNs() + int64_t(kConnectTimeoutMs) * 1000000;
        while (!done()) {
            if (SteadyNs() > until)
                return false;
            pa_threaded_mainloop_unlock(loop_);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            pa_threaded_mainloop_lock(loop_);
        }
        return true;
    }

    uint32_t Bytes(int ms) const {
        return static_cast<uint32_t>(size_t(rate_) * size_t(ms) / 1000 * frameBytes_);
    }

    std::string ContextError() const {
        return ctx_ ? std::string(pa_strerror(pa_context_errno(ctx_))) : std::string("no sound server");
    }

    // The server or the stream is gone: the owner reopens or reports.
    void Failed(const std::string& why) {
        if (!playing_ || failed_)
            return;
        failed_ = true;
        const uint64_t session = session_;
        TSoundOut* owner = &owner_;
        QMetaObject::invokeMethod(
            owner, [owner, session, why] { owner->DeviceFailed(session, why); }, Qt::QueuedConnection);
    }

    static void ContextState(pa_context* c, void* self) {
        auto* me = static_cast<Stream*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c)))
            me->Failed("the sound server went away (" + std::string(pa_strerror(pa_context_errno(c))) + ")");
    }

    static void ServerInfo(pa_context*, const pa_server_info* info, void* self) {
        auto* me = static_cast<Stream*>(self);
        me->rewinds_ = !(info && info->server_name && std::strstr(info->server_name, "PipeWire"));
        me->serverKnown_ = true;
    }

    static void StreamState(pa_stream* s, void* self) {
        auto* me = static_cast<Stream*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            me->Failed("the sound device went away");
    }

    static void Underflow(pa_stream*, void* self) {
        auto* me = static_cast<Stream*>(self);
        if (me->playing_)
            me->underruns.fetch_add(1);
    }

    // Writes again what the server holds but has not played, with a held mark
    // of holdFrames (if not 0) in it. False when nothing could be written.
    bool RegateLocked(uint64_t holdFrames) {
        if (!rewinds_ || !playing_ || failed_ || !stream_ || written_ == 0)
            return false;
        pa_usec_t usec = 0;
        if (pa_stream_get_time(stream_, &usec) < 0)
            return false;
        uint64_t from = static_cast<uint64_t>(usec) * static_cast<uint64_t>(rate_) / 1000000u;
        // The gain before `from` must still be in the history.
        if (written_ >= historyFrames_)
            from = std::max(from, written_ - historyFrames_ + 1);
        from = std::max<uint64_t>(from, 1);
        if (from >= written_)
            return false;
        if (holdFrames > 0) {
            // The server's play position runs a little ahead of what it
            // reports, and what it has played cannot be taken back: a mark
            // begun at `from` would lose its first ms. Begun a guard later,
            // all of it sounds.
            heldFrom_ =
                std::min(from + static_cast<uint64_t>(rate_) * TSoundOut::kHoldGuardMs / 1000, written_);
            heldUntil_ = heldFrom_ + holdFrames;
        }
        const size_t n = static_cast<size_t>(written_ - from);
        Gate(from, n);
        if (pa_stream_write(stream_, out_.data(), n * frameBytes_, nullptr,
                            static_cast<int64_t>(from * frameBytes_), PA_SEEK_ABSOLUTE) < 0)
            return false;
        ReportRise();
        return true;
    }

    static void Write(pa_stream*, size_t bytes, void* self) { static_cast<Stream*>(self)->Fill(bytes); }

    // The server asks for more: the owner's next samples, gated.
    void Fill(size_t bytes) {
        if (!raised_) {
            // Ahead of ordinary work where the system allows it (real-time
            // for a privileged user, else a lower nice value).
            RaisePriority(static_cast<pid_t>(gettid()));
            raised_ = true;
        }
        // Requests come from the moment the stream is ready, before Play returns.
        if (failed_ || !stream_)
            return;
        const size_t n = bytes / frameBytes_;
        if (n == 0)
            return;
        Pull(n);
        const uint64_t from = written_;
        written_ += n;
        if (holdPending_ > 0) {
            heldFrom_ = from;
            heldUntil_ = from + holdPending_;
            holdPending_ = 0;
        }
        Gate(from, n);
        if (pa_stream_write(stream_, out_.data(), n * frameBytes_, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        framesWritten.fetch_add(n);
        ReportRise();
    }

    // Appends n frames of the owner's buffers to the history.
    void Pull(size_t n) {
        const size_t ch = static_cast<size_t>(channels_);
        size_t f = 0;
        while (f < n) {
            const size_t slot = static_cast<size_t>((written_ + f) % historyFrames_);
            if (!owner_.ready_[playIndex_].load(std::memory_order_acquire)) {
                // The owner is late: play silence rather than stall the device.
                late.fetch_add(1);
                for (; f < n; ++f)
                    std::fill_n(&history_[(written_ + f) % historyFrames_ * ch], ch, int16_t(0));
                break;
            }
            const std::vector<int16_t>& src = owner_.buf_[playIndex_];
            const size_t srcFrames = src.size() / ch;
            const size_t run = std::min({n - f, srcFrames - playPos_, historyFrames_ - slot});
            std::copy_n(&src[playPos_ * ch], run * ch, &history_[slot * ch]);
            f += run;
            playPos_ += run;
            if (playPos_ >= srcFrames) {
                // Whole buffer consumed: hand it back for refilling.
                owner_.ready_[playIndex_].store(false, std::memory_order_release);
                const int index = playIndex_;
                const uint64_t session = session_;
                TSoundOut* owner = &owner_;
                QMetaObject::invokeMethod(
                    owner, [owner, session, index] { owner->BufferConsumed(session, index); },
                    Qt::QueuedConnection);
                playIndex_ ^= 1;
                playPos_ = 0;
            }
        }
    }

    // Gates frames [from, from + n) of the history into out_, ramping from
    // the gain of the frame before towards the current volume.
    void Gate(uint64_t from, size_t n) {
        const size_t ch = static_cast<size_t>(channels_);
        out_.resize(n * ch);
        const uint32_t v = owner_.volume_.load(std::memory_order_relaxed);
        // The gains the volume in force and a held mark's volume stand for.
        auto gains = [&](uint32_t lr) {
            const float l = static_cast<float>(lr & 0xFFFFu) / 65535.0f;
            return std::pair<float, float>{l, channels_ == 2 ? static_cast<float>(lr >> 16) / 65535.0f : l};
        };
        const auto [vL, vR] = gains(v);
        const auto [hL, hR] = gains(heldVolume_);
        float gL = vL, gR = vR;  // the very first frame takes the volume at once
        if (from > 0) {
            const size_t prev = static_cast<size_t>((from - 1) % historyFrames_);
            gL = gains_[2 * prev];
            gR = gains_[2 * prev + 1];
        }
        constexpr float kSilent = 1e-6f;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t f = from + i;
            const bool held = f >= heldFrom_ && f < heldUntil_;
            const float tL = held ? hL : vL, tR = held ? hR : vR;
            const bool wasSilent = gL <= kSilent && gR <= kSilent;
            gL += std::clamp(tL - gL, -rampStep_, rampStep_);
            gR += std::clamp(tR - gR, -rampStep_, rampStep_);
            if (wasSilent && (gL > kSilent || gR > kSilent) && from > 0 && !risePending_) {
                risePending_ = true;
                riseFrame_ = f;
            }
            const size_t slot = static_cast<size_t>((from + i) % historyFrames_);
            gains_[2 * slot] = gL;
            gains_[2 * slot + 1] = gR;
            const int16_t* in = &history_[slot * ch];
            int16_t* out = &out_[i * ch];
            out[0] = static_cast<int16_t>(std::lround(static_cast<float>(in[0]) * gL));
            if (ch == 2)
                out[1] = static_cast<int16_t>(std::lround(static_cast<float>(in[1]) * gR));
        }
    }

    void ReportRise() {
        if (!risePending_)
            return;
        risePending_ = false;
        if (!owner_.OnGainRise)
            return;
        TSoundOut::GainRise r;
        r.frame = riseFrame_;
        r.writtenNs = SteadyNs();
        pa_usec_t usec = 0;
        if (pa_stream_get_time(stream_, &usec) >= 0)
            r.playedUs = static_cast<int64_t>(usec);
        owner_.OnGainRise(r);
    }

    TSoundOut& owner_;
    pa_threaded_mainloop* loop_ = nullptr;
    bool raised_ = false;

    pa_context* ctx_ = nullptr;
    bool serverKnown_ = false;
    bool rewinds_ = true;  // the server takes back audio not played yet
    pa_stream* stream_ = nullptr;
    uint64_t session_ = 0;
    bool playing_ = false;
    bool failed_ = false;
    int rate_ = 8000;
    int channels_ = 1;
    size_t frameBytes_ = 2;
    float rampStep_ = 1.0f;
    // The owner's samples handed to the server, before the gate, and the
    // gain each frame got: kept as long as the server may hold them, so they
    // can be gated again. Slot = stream frame modulo historyFrames_.
    std::vector<int16_t> history_;
    std::vector<float> gains_;
    size_t historyFrames_ = 1;
    uint64_t written_ = 0;  // stream frames handed over
    // A held mark: frames [heldFrom_, heldUntil_) are gated at heldVolume_;
    // holdPending_ frames wait for the next frames handed over.
    uint32_t heldVolume_ = 0;
    uint64_t heldFrom_ = 0, heldUntil_ = 0, holdPending_ = 0;
    std::vector<int16_t> out_;
    int playIndex_ = 0;
    size_t playPos_ = 0;
    bool risePending_ = false;
    uint64_t riseFrame_ = 0;
};

TSoundOut::TSoundOut(QObject* parent) : QObject(parent) {
    ready_[0] = false;
    ready_[1] = false;
    stream_ = std::make_unique<Stream>(*this);
    devices_ = new QMediaDevices(this);
    connect(devices_, &QMediaDevices::audioOutputsChanged, this, [this] { DevicesChanged(); });
}

TSoundOut::~TSoundOut() {
    wanted_ = false;
    Close();
    stream_.reset();
}

void TSoundOut::SetError(const std::string& text) { lastError_ = text; }

void TSoundOut::AddPlatformError(const std::string& text) {
    lastError_ = lastError_.empty() ? text : lastError_ + " " + text;
}

void TSoundOut::SetSampleRate(int hz) {
    if (fmt_.SetSampleRate(hz) && isOpen_)
        Reopen();
}

void TSoundOut::SetBufferTime(int ms) {
    if (fmt_.SetBufferTime(ms) && isOpen_)
        Reopen();
}

void TSoundOut::SetChannels(int n) {
    if (fmt_.SetChannels(n) && isOpen_)
        Reopen();
}

void TSoundOut::SetVolume(uint32_t leftRight) {
    if (volume_.exchange(leftRight, std::memory_order_relaxed) == leftRight)
        return;
    if (isActive_ && lowLatency_)
        stream_->Regate();
}

void TSoundOut::HoldVolume(uint32_t leftRight, uint32_t ms) {
    if (!isActive_ || !lowLatency_ || ms == 0) {
        SetVolume(leftRight);
        return;
    }
    stream_->Hold(leftRight, static_cast<uint64_t>(ms) * static_cast<uint64_t>(fmt_.SampleRate()) / 1000u);
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
    if (isOpen_)
        return Reopen();
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
    const size_t samples = BufferBytes() / 2;
    if (samples == 0) {
        SetError(sound_format::kNoBufferMemory);
        return false;
    }
    const std::string why = stream_->Connect();
    if (!why.empty()) {
        SetError(sound_format::OpenFailedText(TSoundDirection::Output, deviceId_));
        AddPlatformError(why);
        stream_->Disconnect();
        return false;
    }
    for (auto& b : buf_)
        b.assign(samples, 0);
    ready_[0] = ready_[1] = false;
    openedDeviceId_ = dev.id();
    openedDeviceName_ = dev.description();
    stream_->framesWritten = 0;
    isOpen_ = true;
    return true;
}

bool TSoundOut::Start() {
    if (!isOpen_ && !Open()) {
        SetError(sound_format::NotOpenText(TSoundDirection::Output, lastError_));
        wanted_ = true;  // start once a device appears
        return false;
    }
    if (isActive_)
        return false;
    const uint32_t bytes = BufferBytes();
    for (int i = 0; i < 2; ++i) {
        std::fill(buf_[i].begin(), buf_[i].end(), int16_t(0));
        if (OnBufferPlayed)
            OnBufferPlayed(buf_[i].data(), bytes);
        ready_[i].store(true, std::memory_order_release);
    }
    isActive_ = true;
    const uint64_t session = ++session_;
    const std::string why =
        stream_->Play(openedDeviceId_.toStdString(), fmt_.SampleRate(), fmt_.Channels(), session);
    wanted_ = true;
    if (!why.empty()) {
        stream_->Halt();
        isActive_ = false;
        ready_[0] = ready_[1] = false;
        SetError(sound_format::OpenFailedText(TSoundDirection::Output, deviceId_));
        AddPlatformError(why);
        return false;
    }
    return true;
}

bool TSoundOut::Stop() {
    if (isActive_) {
        ++session_;
        stream_->Halt();
        ready_[0] = ready_[1] = false;
        isActive_ = false;
    }
    wanted_ = false;
    return true;
}

bool TSoundOut::Close() {
    if (isOpen_) {
        Stop();
        stream_->Disconnect();
        for (auto& b : buf_)
            std::vector<int16_t>().swap(b);
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

bool TSoundOut::GateReachesHeldAudio() const { return isOpen_ && stream_->Rewinds(); }

TSoundOut::Stats TSoundOut::GetStats() const {
    Stats s;
    s.framesWritten = stream_->framesWritten.load();
    s.deviceUnderruns = stream_->underruns.load();
    s.lateBuffers = stream_->late.load();
    s.reopens = reopens_;
    return s;
}

void TSoundOut::BufferConsumed(uint64_t session, int index) {
    if (!isActive_ || session != session_)
        return;
    std::vector<int16_t>& b = buf_[index];
    if (OnBufferPlayed)
        OnBufferPlayed(b.data(), static_cast<uint32_t>(b.size() * 2));
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
        stream_->Disconnect();
        for (auto& b : buf_)
            std::vector<int16_t>().swap(b);
        ready_[0] = ready_[1] = false;
        isActive_ = false;
        isOpen_ = false;
    }
    wanted_ = wasActive;
    if (tooSoon) {
        SetError("Sound output failed: " + why);
        if (OnStatus)
            OnStatus("Sound output is off: " + why);
        return;
    }
    ++reopens_;
    const bool ok = Open() && (!wasActive || Start());
    if (ok) {
        if (OnStatus)
            OnStatus("Sound output reopened on " + openedDeviceName_.toStdString() + " (" + why + ")");
    } else {
        wanted_ = wasActive;
        if (OnStatus)
            OnStatus("Sound output is off: " + why);
    }
}

void TSoundOut::DeviceFailed(uint64_t session, const std::string& why) {
    if (session != session_ || !isOpen_)
        return;
    Recover(why);
}

void TSoundOut::DevicesChanged() {
    if (isOpen_) {
        // Reopen when our device went away or the default moved elsewhere.
        const QAudioDevice now = OutputDeviceFor(deviceId_);
        if (!now.isNull() && now.id() == openedDeviceId_)
            return;
        Recover(now.isNull() ? std::string("the sound device went away")
                             : "the sound device changed to " + now.description().toStdString());
        return;
    }
    if (wanted_ && DeviceAvailable()) {
        lastRecoverMs_ = -1;
        Recover("a sound device appeared");
    }
}
