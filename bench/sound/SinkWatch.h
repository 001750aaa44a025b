#pragma once
// Watches what the sound server's sink plays, from outside the sound
// output: a record stream on the sink's monitor, each sample stamped with
// the steady clock at which the sink took it (the server's own capture
// position, so the stamp does not depend on when the bench happens to read
// the data). Tone onsets are loud samples after 20 ms of quiet.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

class SinkWatch {
public:
    ~SinkWatch() { Stop(); }

    // Records source (a sink's monitor). Empty result: success.
    std::string Start(const char* source = "orvo_sink.monitor") {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0)
            return "cannot start the sound library";
        pa_threaded_mainloop_lock(loop_);
        std::string why = Connect(source);
        pa_threaded_mainloop_unlock(loop_);
        return why;
    }

    void Stop() {
        if (!loop_)
            return;
        pa_threaded_mainloop_lock(loop_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (ctx_) {
            pa_context_disconnect(ctx_);
            pa_context_unref(ctx_);
            ctx_ = nullptr;
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    // Steady-clock ns of every tone onset so far.
    std::vector<int64_t> Onsets() {
        std::lock_guard<std::mutex> lock(m_);
        return onsets_;
    }

private:
    static constexpr int kRate = 8000;
    static constexpr int kLoud = 2000;
    static constexpr size_t kQuietFrames = kRate / 50;

    static int64_t NowNs() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    template <typename Done>
    bool WaitFor(Done done) {
        for (int i = 0; i < 5000 && !done(); ++i) {
            pa_threaded_mainloop_unlock(loop_);
            struct timespec ts {
                0, 1000000
            };
            nanosleep(&ts, nullptr);
            pa_threaded_mainloop_lock(loop_);
        }
        return done();
    }

    std::string Connect(const char* source) {
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "orvo sink watch");
        if (!ctx_ || pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return "cannot reach the sound server";
        WaitFor([this] {
            const pa_context_state_t s = pa_context_get_state(ctx_);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
        if (pa_context_get_state(ctx_) != PA_CONTEXT_READY)
            return pa_strerror(pa_context_errno(ctx_));
        const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
        stream_ = pa_stream_new(ctx_, "sink watch", &spec, nullptr);
        pa_stream_set_read_callback(stream_, &SinkWatch::Read, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = kRate * 4 * 2 / 1000;  // 2 ms
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(stream_, source, &attr, flags) < 0)
            return pa_strerror(pa_context_errno(ctx_));
        WaitFor([this] {
            const pa_stream_state_t s = pa_stream_get_state(stream_);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
        if (pa_stream_get_state(stream_) != PA_STREAM_READY)
            return pa_strerror(pa_context_errno(ctx_));
        return {};
    }

    static void Read(pa_stream* s, size_t, void* self) { static_cast<SinkWatch*>(self)->Take(s); }

    void Take(pa_stream* s) {
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
            // The stream's capture position now, against the position of
            // the first frame of this chunk, dates the chunk.
            pa_usec_t pos = 0;
            const bool dated = pa_stream_get_time(s, &pos) == 0;
            const int64_t now = NowNs();
            const size_t frames = bytes / 4;
            if (data) {
                const auto* p = static_cast<const int16_t*>(data);
                for (size_t i = 0; i < frames; ++i) {
                    const int a = std::max(std::abs(int(p[2 * i])), std::abs(int(p[2 * i + 1])));
                    if (a > kLoud) {
                        if (quiet_ >= kQuietFrames && dated) {
                            const int64_t ageNs =
                                int64_t(pos) * 1000 - int64_t((frames_ + i) * 1000000000ull / kRate);
                            std::lock_guard<std::mutex> lock(m_);
                            onsets_.push_back(now - ageNs);
                        }
                        quiet_ = 0;
                    } else {
                        ++quiet_;
                    }
                }
            }
            frames_ += frames;
            pa_stream_drop(s);
        }
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
    pa_stream* stream_ = nullptr;
    uint64_t frames_ = 0;
    size_t quiet_ = 0;
    std::mutex m_;
    std::vector<int64_t> onsets_;
};
