// Sound output benchmarks through a real sound server.
//
//   orvo-sound-bench latency [KEYS]     key-down to the side tone's first
//                                       sample at the sink (default 100 keys)
//   orvo-sound-bench soak [SECONDS]     idle key tone plus sending, with the
//                                       UI thread busy now and then; reports
//                                       underruns (default 20 s)
//
// Latency is measured from outside the sound output: a record stream on the
// sink's monitor dates each tone onset by the server's capture position
// (SinkWatch.h). The bench uses only what every version of the output
// offers, so bench/sound.sh builds it against an older commit too.

#include "analysis/Analyser.h"
#include "session/KeyInput.h"
#include "session/Sending.h"
#include "backends/QtClock.h"
#include "morse/SendText.h"
#include "backends/SoundOut.h"
#include "morse/CWout.h"

#include "BenchLoop.h"
#include "SinkWatch.h"

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

// The key path of the desktop program without its window: key input opens
// the side-tone gate of the sending unit, which owns the output loop.
struct BenchOwner : IAnalyserOwner {
    int AverageLength() const override { return 10; }
    bool FlashForWordSpace() const override { return false; }
    void FlashKeyingDisplay() override {}
    void MuteOutput() override {}
};

int Latency(int keys) {
    TCWout gen;
    orvo::SendOptions opt;
    orvo::ConfigureGenerator(gen, opt);

    QtClock clock;
    QtTimerFactory timers;
    BenchOwner owner;
    TAnalyser calc(timers, &owner, nullptr);
    TSettings settings;
    TNoSendingView view;
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
    SinkWatch watch;
    if (const std::string why = watch.Start(); !why.empty()) {
        std::fprintf(stderr, "cannot watch the sink: %s\n", why.c_str());
        return 1;
    }
    const std::string off = sending.StartOutput();
    if (!off.empty()) {
        std::fprintf(stderr, "%s\n", off.c_str());
        return 1;
    }
    Pause(500);

    std::vector<int64_t> downs;
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
        const bool seen = Run(
            [&] {
                std::lock_guard<std::mutex> lock(m);
                return rises.size() > before;
            },
            1000);
        if (!seen) {
            std::fprintf(stderr, "key-down %d: the tone never reached the device\n", k);
            return 1;
        }
        Pause(60);
        input.KeyboardMouse().Key(false, 0);
    }
    Pause(300);
    const TSoundOut::Stats s = out.GetStats();
    out.Close();
    const std::vector<int64_t> onsets = watch.Onsets();
    watch.Stop();

    // Outside: each key-down against the first tone onset the sink played after it.
    std::vector<double> sink;
    for (const int64_t t0 : downs) {
        const auto it = std::lower_bound(onsets.begin(), onsets.end(), t0 - 2000000);
        if (it == onsets.end() || *it - t0 > 500000000) {
            std::fprintf(stderr, "a key-down has no tone onset at the sink\n");
            return 1;
        }
        sink.push_back(double(*it - t0) / 1e6);
    }
    std::printf("key-down to first tone sample at the sink, %d key-downs:\n", keys);
    std::printf("  median %.1f ms, 95th percentile %.1f ms, worst %.1f ms, best %.1f ms\n",
                Percentile(sink, 0.5), Percentile(sink, 0.95), *std::max_element(sink.begin(), sink.end()),
                *std::min_element(sink.begin(), sink.end()));
    std::printf("  device underruns %llu, late buffers %llu\n", (unsigned long long)s.deviceUnderruns,
                (unsigned long long)s.lateBuffers);
    std::printf("RESULT %.2f %.2f %.2f\n", Percentile(sink, 0.5), Percentile(sink, 0.95),
                *std::max_element(sink.begin(), sink.end()));
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
            for (char c : std::string("paris paris "))
                gen.PutChar(c);
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
            while (busy.elapsed() < 60)
                x = x + std::sqrt(double(busy.nsecsElapsed()));
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
    std::printf(
        "  frames written %llu (%.2f s of sound, %.0f ms short of the time run), buffers refilled %llu\n",
        (unsigned long long)s.framesWritten, soundS, std::max(0.0, (elapsed - soundS) * 1000.0),
        (unsigned long long)refills);
    for (const std::string& m : status)
        std::printf("  status: %s\n", m.c_str());
    return s.deviceUnderruns == 0 && s.lateBuffers == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "latency")
        return Latency(n > 0 ? n : 100);
    if (mode == "soak")
        return Soak(n > 0 ? n : 20);
    std::fprintf(stderr, "usage: %s latency [KEYS] | soak [SECONDS]\n", argv[0]);
    return 2;
}
