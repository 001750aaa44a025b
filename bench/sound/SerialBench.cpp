// Key-down to side tone latency of a straight key on a serial port's CTS
// line, beside the Right-arrow key's, through a real sound server.
//
//   orvo-serial-bench [KEYS]      KEYS key-downs of each kind (default 100)
//
// The key is the real serial backend (monitor thread included) on a
// pseudo-terminal given modem lines by the test library, which the program
// preloads into itself. A CTS key-down starts at the moment the library
// changes the line; a Right-arrow key-down at the moment the gate is
// opened, as the key handler does. Both end at the first tone sample the
// sink played (SinkWatch.h), as in orvo-sound-bench.

#include "session/SerialKeySource.h"
#include "morse/SendText.h"
#include "devices/SerialLines.h"
#include "devices/SerialSupport.h"
#include "backends/SoundOut.h"
#include "morse/CWout.h"

#include "BenchLoop.h"
#include "SinkWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

void Report(const char* what, const std::vector<double>& v) {
    std::printf("  %-28s median %5.1f ms, 90th percentile %5.1f ms, worst %5.1f ms, best %5.1f ms\n", what,
                Percentile(v, 0.5), Percentile(v, 0.9), *std::max_element(v.begin(), v.end()),
                *std::min_element(v.begin(), v.end()));
}

// Opens the side tone gate as the key-input unit does.
struct GateSink : IKeySink {
    TSoundOut* out = nullptr;
    int64_t handledNs = 0;
    void KeyChanged(bool down, uint64_t) override {
        handledNs = NowNs();
        out->SetVolumeBoth(down ? 65535 : 0);
    }
    void SamplesReady(const int16_t*, uint32_t) override {}
    void SourceEnded(const std::string& m) override {
        std::fprintf(stderr, "the port ended: %s\n", m.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    EnsureShimPreloaded(argv, ORVO_MODEM_SHIM);
    QCoreApplication app(argc, argv);
    const int keys = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const ModemShim shim = ModemShim::Find();
    if (!shim.Loaded()) {
        std::fprintf(stderr, "the modem-line test library could not be preloaded\n");
        return 1;
    }
    Pty pty;
    if (!pty.Ok() || shim.attach(pty.Path().c_str()) != 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    shim.setLines(TIOCM_CTS, 0);  // key up with Invert off

    TCWout gen;
    orvo::SendOptions opt;
    orvo::ConfigureGenerator(gen, opt);
    gen.KeyTone = true;
    gen.Start();
    TSoundOut out;
    out.SetBufferTime(100);
    out.SetChannels(1);
    out.SetVolume(0);
    out.OnBufferPlayed = [&](int16_t* pb, uint32_t bytes) { gen.FillTextSamples(pb, bytes); };
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
    if (!out.Start()) {
        std::fprintf(stderr, "cannot start the output: %s\n", out.LastError().c_str());
        return 1;
    }

    TSerialLines port([&](std::function<void()> f) {
        QMetaObject::invokeMethod(&app, std::move(f), Qt::QueuedConnection);
    });
    port.ResolvePort = [&](int) { return pty.Path(); };
    TSerialKeySource source(port);
    source.Config.Port = 7;
    GateSink sink;
    sink.out = &out;
    std::string error;
    if (!source.Open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    source.Start(sink);
    Pause(500);

    std::vector<double> arrow, serial, handOver;
    std::vector<int64_t> downs;
    for (int k = 0; k < 2 * keys; ++k) {
        const bool viaSerial = k % 2 == 1;
        size_t before;
        {
            std::lock_guard<std::mutex> lock(m);
            before = rises.size();
        }
        Pause(60 + (k * 37) % 50);  // irregular moments against the device's cycle
        int64_t t0;
        if (viaSerial) {
            t0 = int64_t(shim.setLines(0, TIOCM_CTS));  // line off: key down
        } else {
            t0 = NowNs();
            out.SetVolumeBoth(65535);
        }
        if (!Run(
                [&] {
                    std::lock_guard<std::mutex> lock(m);
                    return rises.size() > before;
                },
                1000, 100)) {
            std::fprintf(stderr, "key-down %d: the tone never reached the device\n", k);
            return 1;
        }
        downs.push_back(t0);
        if (viaSerial)
            handOver.push_back(double(sink.handledNs - t0) / 1e6);
        Pause(60);
        if (viaSerial)
            shim.setLines(TIOCM_CTS, 0);
        else
            out.SetVolumeBoth(0);
        Pause(5);
    }
    Pause(300);
    const TSoundOut::Stats s = out.GetStats();
    source.Close();
    out.Close();
    shim.detach();
    // Each key-down against the first tone onset the sink played after it.
    const std::vector<int64_t> onsets = watch.Onsets();
    watch.Stop();
    for (size_t k = 0; k < downs.size(); ++k) {
        const auto it = std::lower_bound(onsets.begin(), onsets.end(), downs[k] - 2000000);
        if (it == onsets.end() || *it - downs[k] > 500000000) {
            std::fprintf(stderr, "key-down %zu has no tone onset at the sink\n", k);
            return 1;
        }
        (k % 2 == 1 ? serial : arrow).push_back(double(*it - downs[k]) / 1e6);
    }

    std::printf("key-down to first tone sample at the sink, %d key-downs each (sink monitor):\n", keys);
    Report("Right-arrow key:", arrow);
    Report("CTS edge (serial key):", serial);
    Report("CTS edge to key handler:", handOver);
    std::printf("  median difference CTS - Right-arrow: %.1f ms (target: within 2 ms)\n",
                Percentile(serial, 0.5) - Percentile(arrow, 0.5));
    std::printf("  device underruns %llu, late buffers %llu\n", (unsigned long long)s.deviceUnderruns,
                (unsigned long long)s.lateBuffers);
    return 0;
}
