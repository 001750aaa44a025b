#pragma once
// Shared by the serial-port tests: a pseudo-terminal, the modem-line test
// library's controls (found in the running process when it is preloaded),
// and a queue standing in for the UI thread that the monitor thread posts to.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

// A pseudo-terminal pair; the slave path stands in for a serial device.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char buf[128];
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
            ptsname_r(master_, buf, sizeof buf) == 0)
            path_ = buf;
    }
    ~Pty() {
        if (master_ >= 0)
            close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& Path() const { return path_; }
    bool Ok() const { return !path_.empty(); }

private:
    int master_ = -1;
    std::string path_;
};

// The controls of the modem-line test library; all null when it is not loaded.
struct ModemShim {
    int (*attach)(const char*) = nullptr;
    void (*detach)() = nullptr;
    int (*lines)() = nullptr;
    int (*waiters)() = nullptr;
    uint64_t (*setLines)(int set, int clear) = nullptr;
    void (*unplug)() = nullptr;
    void (*changeAfterGet)(int set, int clear) = nullptr;
    void (*counters)(int on) = nullptr;

    static ModemShim Find() {
        ModemShim s;
        const auto get = [](auto& f, const char* name) {
            f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(dlsym(RTLD_DEFAULT, name));
        };
        get(s.attach, "orvo_shim_attach");
        get(s.detach, "orvo_shim_detach");
        get(s.lines, "orvo_shim_lines");
        get(s.waiters, "orvo_shim_waiters");
        get(s.setLines, "orvo_shim_set_lines");
        get(s.unplug, "orvo_shim_unplug");
        get(s.changeAfterGet, "orvo_shim_change_after_get");
        get(s.counters, "orvo_shim_counters");
        return s;
    }
    bool Loaded() const {
        return attach && detach && lines && waiters && setLines && unplug && changeAfterGet && counters;
    }
    // Waits until a thread sits in TIOCMIWAIT (the monitor is listening).
    bool WaitForWaiter(int timeoutMs = 2000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (; waiters() == 0; usleep(200))
            if (std::chrono::steady_clock::now() > end)
                return false;
        return true;
    }
};

// Re-runs the program with the test library preloaded unless it is loaded
// already. Call first thing in main.
inline void EnsureShimPreloaded(char** argv, const char* shimPath) {
    if (ModemShim::Find().Loaded())
        return;
    const auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    const std::string old = env("LD_PRELOAD");
    setenv("LD_PRELOAD", (shimPath + (old.empty() ? "" : ":" + old)).c_str(), 1);
    // Sanitizer runtimes want to come first; the library does not mind.
    setenv("ASAN_OPTIONS", (env("ASAN_OPTIONS") + ":verify_asan_link_order=0").c_str(), 1);
    execv("/proc/self/exe", argv);
}

// Stands in for the UI thread: the monitor thread posts, the test runs.
class PostQueue {
public:
    void Post(std::function<void()> f) {
        {
            std::lock_guard<std::mutex> l(m_);
            q_.push_back(std::move(f));
        }
        cv_.notify_all();
    }
    // Runs posted functions until done() holds or timeoutMs pass; done() false = wait for one.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 2000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done())
            if (!RunOne(end))
                return done();
        return true;
    }
    // Runs what is queued now.
    void Drain() {
        while (RunOne(std::chrono::steady_clock::time_point{})) {}
    }

private:
    // Runs the next function, waiting for one until `end`; false when none came.
    bool RunOne(std::chrono::steady_clock::time_point end) {
        std::function<void()> f;
        {
            std::unique_lock<std::mutex> l(m_);
            if (!cv_.wait_until(l, end, [&] { return !q_.empty(); }))
                return false;
            f = std::move(q_.front());
            q_.pop_front();
        }
        f();
        return true;
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> q_;
};
