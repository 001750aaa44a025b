// Sound output benchmarks through a real sound server.
//
//   orvo-sound-bench latency [KEYS]     key-down to the side tone's first
//                                       sample at the sink (default 100 keys)
//   orvo-sound-bench soak [SECONDS]     idle key tone plus sending, with the
//                                       UI thread busy now and then; reports
//                                       underruns (default 20 s)
//
// Latency comes from the server's own playback position: when the audio
// thread writes the chunk where the volume rises, the server's position
// tells how much is still ahead of it. A recording of the sink's monitor
// cross-checks it: the tone onsets recorded must follow the key-downs with
// the same spacing.

#include "analysis/Calculat.h"
#include "session/KeyInput.h"
#include "session/Sending.h"
#include "devices/QtClock.h"
#include "morse/SendText.h"
#include "devices/SoundDeviceNames.h"
#include "devices/SoundIn.h"
#include "devices/SoundOut.h"
#include "morse/CWout.h"

#include "BenchLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

int DeviceNumber(const QList<QAudioDevice>& list, const char* id) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].id() == id) return i;
    return -1;
}

// The key path of the desktop program without its window: key input opens
// the side-tone gate of the sending unit, which owns the output loop.
struct BenchOwner : ICalcOwner {
    int AverageLength() const override { return 10; }
    bool FlashForWordSpace() const override { return false; }
    void FlashKeyingDisplay() override {}
    void MuteOutput() override {}
};
struct NullView : ISendingView {
    void AddTypedText(const std::string&) override {}
    void DeleteTyped(int) override {}
    std::string TypedText() const override { return {}; }
    void MarkSent(const std::string&) override {}
    std::string GreenText() const override { return {}; }
    int32_t GreenStart() const override { return 0; }
    int32_t MoveGreenStart(int32_t) override { return 0; }
    int32_t RedStart() const override { return 0; }
    int32_t MoveRedStart(int32_t) override { return 0; }
    void UpdateStrip() override {}
    void RedrawRedStrip() override {}
    void ResetReplayStats() override {}
    void Message(const std::string&) override {}
    void Status(const std::string&) override {}
};

int Latency(int keys) {
    TCWout gen;
    orvo::SendOptions opt;
    orvo::ConfigureGenerator(gen, opt);

    QtClock clock;
    QtTimerFactory timers;
    BenchOwner owner;
    TCalculat calc(timers, &owner, nullptr);
    TSettings settings;
    NullView view;
    TSoundOut out;
    TSending sending(gen, calc, &out, settings, view);
    TKeyInput input(calc, gen, sending, settings, clock);
    sending.InputMode = [&] { return input.InputMode(); };
    input.SetInputMode(KeybdMouse);
    std::mutex m;
    std::vector<TSoundOut::GainRise> rises;
    out.OnGainRise = [&](const TSoundOut::GainRise& r) {
        std::lock_guard<std::mutex> lock(m);
        rises.push_back(r);
    };
    TSoundIn rec;
    rec.SetChannels(1);
    rec.SetBufferTime(20);
    const int recNo = DeviceNumber(OrderedInputDevices(), "orvo_rec");
    if (recNo >= 0) rec.SetDevice(recNo);
    std::vector<int16_t> recorded;
    rec.OnBufferRecorded = [&](const int16_t* pb, uint32_t, uint32_t bytes) {
        recorded.insert(recorded.end(), pb, pb + bytes / 2);
    };
    const std::string off = sending.StartOutput();
    if (!off.empty()) {
        std::fprintf(stderr, "%s\n", off.c_str());
        return 1;
    }
    const bool recording = recNo >= 0 && rec.Start();
    Pause(500);

    std::vector<int64_t> downs;
    std::vector<double> lat;
    for (int k = 0; k < keys; ++k) {
        size_t before;
        {
            std::lock_guard<std::mutex> lock(m);
            before = rises.size();
        }
        // Key-downs at irregular moments relative to the device's cycle.
        Pause(60 + (k * 37) % 50);
        const int64_t t0 = NowNs();
        input.KeyboardMouse().Key(true, 0);
        downs.push_back(t0);
        const bool seen = Run([&] {
            std::lock_guard<std::mutex> lock(m);
            return rises.size() > before;
        }, 1000);
        if (!seen) {
            std::fprintf(stderr, "key-down %d: the tone never reached the device\n", k);
            return 1;
        }
        TSoundOut::GainRise r;
        {
            std::lock_guard<std::mutex> lock(m);
            r = rises.back();
        }
        const double aheadMs = double(r.frame) * 1000.0 / out.SampleRate() - double(r.playedUs) / 1000.0;
        lat.push_back(double(r.writtenNs - t0) / 1e6 + aheadMs);
        Pause(60);
        input.KeyboardMouse().Key(false, 0);
    }
    Pause(300);
    const TSoundOut::Stats s = out.GetStats();
    out.Close();
    rec.Close();

    std::printf("key-down to first tone sample at the sink, %d key-downs (server playback position):\n", keys);
    std::printf("  median %.1f ms, 90th percentile %.1f ms, worst %.1f ms, best %.1f ms\n", Percentile(lat, 0.5),
                Percentile(lat, 0.9), *std::max_element(lat.begin(), lat.end()),
                *std::min_element(lat.begin(), lat.end()));
    std::printf("  device underruns %llu, late buffers %llu\n", (unsigned long long)s.deviceUnderruns,
                (unsigned long long)s.lateBuffers);

    if (recording) {
        // Tone onsets in the recording: a loud sample after 20 ms of quiet.
        std::vector<size_t> onsets;
        size_t quiet = 0;
        for (size_t i = 0; i < recorded.size(); ++i) {
            if (std::abs(int(recorded[i])) > 2000) {
                if (quiet >= 160) onsets.push_back(i);
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        if (onsets.size() == downs.size()) {
            // Recorded onset minus key-down, relative to the first: the
            // recording's own delay cancels; what is left is the variation.
            std::vector<double> rel;
            for (size_t i = 0; i < onsets.size(); ++i)
                rel.push_back((double(onsets[i]) - double(onsets[0])) * 1000.0 / 8000.0 -
                              double(downs[i] - downs[0]) / 1e6 + lat[0]);
            std::printf("  recording cross-check: median %.1f ms, worst %.1f ms, best %.1f ms\n",
                        Percentile(rel, 0.5), *std::max_element(rel.begin(), rel.end()),
                        *std::min_element(rel.begin(), rel.end()));
        } else {
            std::printf("  recording cross-check: %zu onsets for %zu key-downs, skipped\n", onsets.size(),
                        downs.size());
        }
    }
    return 0;
}

int Soak(int seconds) {
    TCWout gen;
    orvo::SendOptions opt;
    opt.stereo = true;
    orvo::ConfigureGenerator(gen, opt);
    gen.KeyTone = true;
    gen.Start();
    uint64_t refills = 0;
    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(2);
    out.SetVolume(0xFFFF0000u);  // sending on the right; the key gates the left
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) {
        ++refills;
        if (!gen.HasChars())
            for (char c : std::string("paris paris ")) gen.PutChar(c);
        gen.FillTextSamples(pb, bytes);
    };
    std::vector<std::string> status;
    out.OnStatus = [&](const std::string& s) { status.push_back(s); };
    if (!out.Start()) {
        std::fprintf(stderr, "cannot start the output: %s\n", out.LastError().c_str());
        return 1;
    }
    QElapsedTimer t;
    t.start();
    int64_t nextKey = 0, nextBusy = 1000;
    bool down = false;
    while (t.elapsed() < int64_t(seconds) * 1000) {
        const int64_t now = t.elapsed();
        if (now >= nextKey) {
            down = !down;
            out.SetVolumeLeft(down ? 65535 : 0);
            nextKey = now + (down ? 100 : 60);
        }
        if (now >= nextBusy) {
            // The UI thread busy for 60 ms, as with a long redraw.
            QElapsedTimer busy;
            busy.start();
            volatile double x = 0;
            while (busy.elapsed() < 60) x = x + std::sqrt(double(busy.nsecsElapsed()));
            nextBusy = now + 1000;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(500);
    }
    const double elapsed = double(t.elapsed()) / 1000.0;
    const TSoundOut::Stats s = out.GetStats();
    out.Close();
    std::printf("idle key tone plus sending, %.0f s (UI thread busy 60 ms each second):\n", elapsed);
    std::printf("  device underruns %llu, late buffers %llu, reopens %llu, status messages %zu\n",
                (unsigned long long)s.deviceUnderruns, (unsigned long long)s.lateBuffers,
                (unsigned long long)s.reopens, status.size());
    // A stream that stalls without reporting shows up as missing sound.
    const double soundS = double(s.framesWritten) / 8000.0;
    std::printf("  frames written %llu (%.2f s of sound, %.0f ms short of the time run), buffers refilled %llu\n",
                (unsigned long long)s.framesWritten, soundS, std::max(0.0, (elapsed - soundS) * 1000.0),
                (unsigned long long)refills);
    for (const std::string& m : status) std::printf("  status: %s\n", m.c_str());
    return s.deviceUnderruns == 0 && s.lateBuffers == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "latency") return Latency(n > 0 ? n : 100);
    if (mode == "soak") return Soak(n > 0 ? n : 20);
    std::fprintf(stderr, "usage: %s latency [KEYS] | soak [SECONDS]\n", argv[0]);
    return 2;
}
