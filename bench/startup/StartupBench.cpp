// Measures, with the offscreen platform:
//  - the time from process start to the first painted main window (the
//    parent starts a child copy of this program and reads back the moment
//    of the first paint on the same monotonic clock);
//  - the resident memory after keying 500 characters with the Right-arrow
//    key, and the handling time per keyed character.
// Usage: orvo-startup-bench [RUNS]   (default 5; the median is reported)

#include "app/MainWindow.h"
#include "app/SingleInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0)
            kb = std::strtol(line + n, nullptr, 10);
    std::fclose(f);
    return kb;
}

struct SilentBoxes : IMessageBoxes {
    void Message(const QString& t) override { std::fprintf(stderr, "message: %s\n", qPrintable(t)); }
    bool AskYesNo(const QString&) override { return true; }
    bool AskOkCancel(const QString&) override { return true; }
};

// Notes the first paint of the pattern strip, the last area the window paints.
struct PaintWatch : QObject {
    int64_t firstPaintNs = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && firstPaintNs == 0)
            firstPaintNs = MonotonicNs();
        return false;
    }
};

int Child(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvo Tapmeter"));
    QTemporaryDir dir;
    TSingleInstance instance(dir.path());
    if (!instance.Acquire())
        return 3;
    SilentBoxes boxes;
    TMainWindow form(nullptr, nullptr, &boxes, dir.path());
    PaintWatch watch;
    form.PatternStrip()->installEventFilter(&watch);
    form.show();
    while (watch.firstPaintNs == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const int64_t painted = watch.firstPaintNs;

    // 500 characters of "paris" at the default target speed of 60 CpM, a
    // word space after every word.
    const char* const morse[] = {".--.", ".-", ".-.", "..", "..."};
    const uint64_t dot = 100;
    uint64_t t = 1000;
    auto send = [&](QEvent::Type type) {
        QKeyEvent e(type, Qt::Key_Right, Qt::NoModifier);
        e.setTimestamp(t);
        QApplication::sendEvent(&form, &e);
    };
    QElapsedTimer keying;
    keying.start();
    for (int c = 0; c < 500; ++c) {
        const char* m = morse[c % 5];
        for (const char* p = m; *p; ++p) {
            send(QEvent::KeyPress);
            t += *p == '-' ? 3 * dot : dot;
            send(QEvent::KeyRelease);
            t += p[1] ? dot : (c % 5 == 4 ? 7 * dot : 3 * dot);
        }
        QCoreApplication::processEvents();
    }
    const double perCharMs = keying.nsecsElapsed() / 1e6 / 500;
    std::printf("%lld %ld %ld %.3f %d\n", static_cast<long long>(painted), StatusKb("VmRSS:"),
                StatusKb("VmHWM:"), perCharMs, form.Analyser().HistCount());
    std::fflush(stdout);
    TSettings s = form.Settings();
    s.AskEnd = false;
    form.Session().Apply(s);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0)
        return Child(argc, argv);

    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<double> startMs;
    long rss = 0, hwm = 0;
    double perChar = 0;
    int chars = 0;
    for (int r = 0; r < runs; ++r) {
        int out[2];
        if (pipe(out) != 0)
            return 1;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        char childFlag[] = "--child";
        char* args[] = {argv[0], childFlag, nullptr};
        const int64_t start = MonotonicNs();
        pid_t pid = 0;
        if (posix_spawn(&pid, "/proc/self/exe", &fa, nullptr, args, environ) != 0) {
            std::fprintf(stderr, "cannot start the child\n");
            return 1;
        }
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        std::string text;
        char buf[256];
        ssize_t n;
        while ((n = read(out[0], buf, sizeof buf)) > 0)
            text.append(buf, size_t(n));
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        long long painted = 0;
        if (std::sscanf(text.c_str(), "%lld %ld %ld %lf %d", &painted, &rss, &hwm, &perChar, &chars) != 5 ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "child failed (status %d): %s\n", status, text.c_str());
            return 1;
        }
        startMs.push_back((painted - start) / 1e6);
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("start to first painted main window: median %.1f ms (min %.1f, max %.1f, %d runs)\n",
                startMs[startMs.size() / 2], startMs.front(), startMs.back(), runs);
    std::printf("resident memory after keying 500 characters: %ld KiB (peak %ld KiB)\n", rss, hwm);
    std::printf("handling per keyed character: %.3f ms (%d characters in the history)\n", perChar, chars);
    return 0;
}
