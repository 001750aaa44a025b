// Live sound-input decoding through a real sound server, in the desktop
// program's own main window (Sound Input mode, started from its settings
// file as a user would):
//
//   orvo-soundin-bench cpu [SECONDS]     CPU share of the program while it
//                                        decodes keyed Morse played into the
//                                        sink for SECONDS (default 60)
//   orvo-soundin-bench latency [COUNT]   delay from the end of a tone in the
//                                        sink to its character in the upper
//                                        panel, COUNT times (default 10)
//
// The Morse is played by paplay, a separate process, so the figures are
// the program's alone. A tone has ended in the sink when paplay has drained
// its stream and exits. The analyser closes a character only after its word
// timeout of silence, so that timeout is shown beside the delay.

#include "../../tests/app/KeyedTone.h"
#include "app/MainWindow.h"
#include "controls/CWHighlightLabel.h"
#include "backends/SoundIn.h"
#include "backends/SoundOut.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

namespace {

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop (sleeping in it, no polling) for ms.
void Idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Program {
    QTemporaryDir dir;
    std::unique_ptr<TSoundOut> out = std::make_unique<TSoundOut>();
    std::unique_ptr<TSoundIn> in = std::make_unique<TSoundIn>();
    std::unique_ptr<TMainWindow> w;

    bool Start(int cpm) {
        QFile f(dir.filePath("OrvoTapmeter.ini"));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(
            QString("[Main]\r\nTargetSpeed=%1\r\n[RX]\r\nRXInput=1\r\nRXDevice=0\r\n").arg(cpm).toLatin1());
        f.close();
        w = std::make_unique<TMainWindow>(nullptr, nullptr, nullptr, dir.path(), out.get(), in.get());
        w->show();
        Idle(500);
        return w->InputMode() == TMainWindow::SoundInput && in->IsActive();
    }
    int Length() const { return int(w->UpperPanel()->Text().size()); }
};

QString Play(const std::string& wav, QProcess& p) {
    p.start("paplay", {"--device=orvo_sink", QString::fromStdString(wav)});
    return p.waitForStarted(5000) ? QString() : "paplay did not start: " + p.errorString();
}

int Cpu(int seconds) {
    Program prog;
    if (!prog.Start(60)) {
        std::fprintf(stderr, "the program did not enter Sound Input mode\n");
        return 1;
    }
    // "paris " over and over for the whole run, with hand-keying spread.
    std::vector<int> ms;
    const std::vector<int> paris = keyed_tone::IdealTiming("paris ", 60);
    while (std::accumulate(ms.begin(), ms.end(), 0) < seconds * 1000)
        ms.insert(ms.end(), paris.begin(), paris.end());
    const std::string wav = prog.dir.filePath("cpu.wav").toStdString();
    keyed_tone::WriteWav(wav, keyed_tone::Samples(ms, 200, 500));
    QProcess player;
    if (const QString e = Play(wav, player); !e.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(e));
        return 1;
    }
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Idle(seconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double secs = double(wall.elapsed()) / 1000.0;
    player.waitForFinished(10000);
    const std::string text = prog.w->UpperPanel()->Text();
    // For comparison: the same window idle in Keybd/Mouse mode (the sound
    // output and the event loop alone).
    const int idleSecs = std::max(5, seconds / 3);
    prog.w->SetInputMode(TMainWindow::KeybdMouse);
    const double idle0 = CpuSeconds();
    QElapsedTimer idleWall;
    idleWall.start();
    Idle(idleSecs * 1000);
    const double idleShare = 100.0 * (CpuSeconds() - idle0) / (double(idleWall.elapsed()) / 1000.0);
    std::printf("decoding live sound input for %.1f s: CPU %.2f s = %.2f %% of one core (target < 5 %%)\n",
                secs, cpu, 100.0 * cpu / secs);
    std::printf("characters decoded: %zu (first: \"%s\")\n", text.size(), text.substr(0, 30).c_str());
    std::printf("for comparison, idle in Keybd/Mouse mode for %d s: %.2f %% of one core\n", idleSecs,
                idleShare);
    return 0;
}

int Latency(int count) {
    Program prog;
    if (!prog.Start(60)) {
        std::fprintf(stderr, "the program did not enter Sound Input mode\n");
        return 1;
    }
    // One "t": a single dash, nothing after it in the file.
    const std::string wav = prog.dir.filePath("t.wav").toStdString();
    keyed_tone::WriteWav(wav, keyed_tone::Samples({300}, 300, 0));
    const int timeout = prog.w->Analyser().WordTimeout();
    std::vector<double> delays;
    for (int i = 0; i < count; ++i) {
        Idle(1500);  // settle: the previous character long closed
        const int before = prog.Length();
        QProcess player;
        if (const QString e = Play(wav, player); !e.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(e));
            return 1;
        }
        QElapsedTimer t;
        bool ended = false;
        qint64 endAt = 0, charAt = -1;
        QObject::connect(&player, &QProcess::finished, [&] {
            ended = true;
            endAt = t.elapsed();
        });
        t.start();
        // Poll the panel each millisecond from the event loop.
        QTimer poll;
        QEventLoop loop;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (charAt < 0 && prog.Length() != before)
                charAt = t.elapsed();
            if ((charAt >= 0 && ended) || t.elapsed() > 10000)
                loop.quit();
        });
        poll.start(1);
        loop.exec();
        if (charAt < 0 || !ended) {
            std::fprintf(stderr, "pass %d: no character within 10 s\n", i + 1);
            continue;
        }
        delays.push_back(double(charAt - endAt));
    }
    if (delays.empty())
        return 1;
    std::sort(delays.begin(), delays.end());
    const double median = delays[delays.size() / 2];
    std::printf(
        "tone end in the sink to character in the upper panel (%zu passes): median %.0f ms, min %.0f, max "
        "%.0f\n",
        delays.size(), median, delays.front(), delays.back());
    std::printf(
        "of which the analyser's word timeout at 60 CpM: %d ms; the rest (capture buffers, "
        "sound server, detector) %.0f ms\n",
        timeout, median - timeout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (what == "cpu")
        return Cpu(n > 0 ? n : 60);
    if (what == "latency")
        return Latency(n > 0 ? n : 10);
    std::fprintf(stderr, "usage: orvo-soundin-bench cpu [SECONDS] | latency [COUNT]\n");
    return 2;
}
