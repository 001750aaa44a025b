#include "devices/SerialLines.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

std::string Coded(const std::string& message, int code) {
    return message + " (Error: " + std::to_string(code) + ") ";
}

// A serial driver does not end a waiting TIOCMIWAIT when the fd is closed;
// this signal, caught without SA_RESTART, makes the ioctl return EINTR.
int WakeSignal() {
    static const int sig = [] {
        const int s = SIGRTMIN + 5;
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        sigaction(s, &sa, nullptr);
        return s;
    }();
    return sig;
}

// TIOCMIWAIT mask of the line events that have a modem line behind them.
int LineMask(TCommEventTypes events) {
    int mask = 0;
    if (events & CommEvent(evCts))
        mask |= TIOCM_CTS;
    if (events & CommEvent(evDsr))
        mask |= TIOCM_DSR;
    if (events & CommEvent(evRing))
        mask |= TIOCM_RNG;
    if (events & CommEvent(evRlsd))
        mask |= TIOCM_CD;
    return mask;
}

}  // namespace

ECommError::ECommError(const std::string& message, int code)
    : std::runtime_error(Coded(message, code)), ErrorCode(code) {}

// Shared by the port and its monitor thread. Posted events reach the port
// through `alive`, which the port empties when it goes away.
struct TSerialLines::Monitor {
    int fd = -1;
    int mask = 0;
    int status = 0;
    uint64_t generation = 0;
    PostFn post;
    std::shared_ptr<TSerialLines*> alive;
    std::atomic<bool> stop{false};
    std::mutex m;
    std::condition_variable cv;
    bool exited = false;
    std::thread thread;

    // A sum of the change counters of the watched lines; false when the
    // driver keeps none.
    bool LineCounts(int& sum) const {
        serial_icounter_struct ic{};
        if (ioctl(fd, TIOCGICOUNT, &ic) < 0)
            return false;
        sum = ((mask & TIOCM_CTS) ? ic.cts : 0) + ((mask & TIOCM_DSR) ? ic.dsr : 0) +
              ((mask & TIOCM_RNG) ? ic.rng : 0) + ((mask & TIOCM_CD) ? ic.dcd : 0);
        return true;
    }

    void Run() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, WakeSignal());
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);

        std::weak_ptr<TSerialLines*> owner = alive;
        const uint64_t gen = generation;
        int last = status;
        int error = 0;
        // TIOCMIWAIT only sees changes after it was called: one in the gap
        // since the last TIOCMGET would be lost (a key left looking down).
        // The driver's change counters reveal it; without them, wait.
        int counted = 0;
        const bool haveCounts = LineCounts(counted);
        while (!stop.load()) {
            int now = 0;
            const bool missed = haveCounts && LineCounts(now) && now != counted;
            if (!missed && ioctl(fd, TIOCMIWAIT, static_cast<unsigned long>(mask)) < 0) {
                if (errno == EINTR)
                    continue;  // Close, or a stray signal
                error = errno;
                break;
            }
            // Stamped at wake-up: the owner's thread may get to it later.
            const uint64_t stamp = MonotonicMs();
            // Counters before the state: a change after this read shows in
            // the next check.
            if (haveCounts)
                LineCounts(counted);
            int st = 0;
            int r;
            while ((r = ioctl(fd, TIOCMGET, &st)) < 0 && errno == EINTR) {}
            if (r < 0) {
                error = errno;
                break;
            }
            const int changed = (st ^ last) & mask;
            last = st;
            if (changed && !stop.load())
                post([owner, gen, changed, st, stamp] {
                    if (auto o = owner.lock())
                        (*o)->Deliver(gen, changed, st, stamp);
                });
        }
        if (error && !stop.load())
            post([owner, gen, error] {
                if (auto o = owner.lock())
                    (*o)->Lost(gen, error);
            });
        std::lock_guard<std::mutex> lock(m);
        exited = true;
        cv.notify_all();
    }
};

TSerialLines::TSerialLines(PostFn post) : post_(std::move(post)) { WakeSignal(); }

TSerialLines::~TSerialLines() { Close(); }

uint64_t TSerialLines::MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

std::string TSerialLines::DevicePath() const {
    if (IsOpen())
        return openPath_;
    return portNumber_ != 0 && ResolvePort ? ResolvePort(portNumber_) : std::string();
}

bool TSerialLines::DevicePresent() const {
    if (!IsOpen())
        return false;
    const std::string now = ResolvePort ? ResolvePort(portNumber_) : std::string();
    return now == openPath_ && access(openPath_.c_str(), F_OK) == 0;
}

void TSerialLines::SetPortNumber(int n) {
    n = n < 0 ? 0 : (n > portdetect::MaxPortNumber ? portdetect::MaxPortNumber : n);
    if (n == portNumber_)
        return;
    if (IsOpen())
        Reopen([&] { portNumber_ = n; });
    else
        portNumber_ = n;
}

void TSerialLines::SetMonitorEvents(TCommEventTypes events) {
    if (events == events_)
        return;
    if (IsOpen())
        Reopen([&] { events_ = events; });
    else
        events_ = events;
}

void TSerialLines::Reopen(const std::function<void()>& change) {
    // Monitoring and the line levels the owner chose carry over; opening
    // alone would raise both lines.
    const bool monitoring = monitoring_, dtr = dtr_, rts = rts_;
    Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    change();
    if (!Open())
        return;
    SetDtr(dtr);
    SetRts(rts);
    monitoring_ = monitoring;
}

int TSerialLines::OpenPort() {
    const std::string name = "COM" + std::to_string(portNumber_);
    if (portNumber_ == 0) {
        lastError_ = "No serial port is chosen.";
        return -1;
    }
    const std::string path = ResolvePort ? ResolvePort(portNumber_) : std::string();
    if (path.empty()) {
        lastError_ = name + " is not present.";
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == EACCES || e == EPERM)
            lastError_ =
                "Permission denied: you may not open " + path + " (" + name +
                "). Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again.";
        else if (e == ENOENT || e == ENODEV || e == ENXIO)
            lastError_ = name + " (" + path + ") is not present.";
        else if (e == EBUSY)
            lastError_ = name + " (" + path + ") is in use by another program.";
        else
            lastError_ = Coded(name + " (" + path + "): " + std::strerror(e), e);
        return -1;
    }
    // No sharing: a second program keying the same lines would confuse both.
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int e = errno;
        ::close(fd);
        lastError_ = e == EWOULDBLOCK ? name + " (" + path + ") is in use by another program."
                                      : Coded(name + " (" + path + "): " + std::strerror(e), e);
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) < 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        throw ECommError("Invalid device handle, access denied", -1);
    }
    openPath_ = path;
    return fd;
}

bool TSerialLines::Open() {
    if (IsOpen())
        return true;
    lastError_.clear();
    const int fd = OpenPort();
    if (fd < 0)
        return false;
    // Pseudo-terminals and the like have no modem lines: refuse them here
    // rather than wait on lines that never change.
    int status = 0;
    if (ioctl(fd, TIOCMGET, &status) < 0) {
        const int e = errno;
        ::close(fd);
        lastError_ =
            Coded("COM" + std::to_string(portNumber_) + " (" + openPath_ +
                      ") has no modem control lines (CTS, DSR, RTS, DTR), so no key can be read from it",
                  e);
        return false;
    }
    fd_ = fd;
    ++generation_;
    try {
        InitPort();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    StartThread();
    return true;
}

void TSerialLines::InitPort() {
    if (!IsOpen())
        throw ECommError("Port not open, unable to complete operation", -1);
    termios t{};
    if (tcgetattr(fd_, &t) < 0)
        throw ECommError("Error updating DataControlBlock", errno);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS7 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VSTART] = 17;
    t.c_cc[VSTOP] = 19;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) < 0) {
        // Some ttys only do 8 data bits and glibc reports that as EINVAL.
        // No data travels here, so a port that took the rest will do.
        const int e = errno;
        termios now{};
        if (e != EINVAL || tcgetattr(fd_, &now) < 0 || (now.c_cflag & ~CSIZE) != (t.c_cflag & ~CSIZE) ||
            now.c_iflag != t.c_iflag)
            throw ECommError("Error updating DataControlBlock", e);
    }
    // DTR and RTS are on while the port is open, until set otherwise.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd_, TIOCMBIS, &lines) < 0)
        throw ECommError("EscapeCommFunction failure", errno);
    dtr_ = rts_ = true;
}

bool TSerialLines::SetDtr(bool on) {
    if (!IsOpen())
        return false;
    const int line = TIOCM_DTR;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) < 0)
        throw ECommError("EscapeCommFunction failure", errno);
    dtr_ = on;
    return true;
}

bool TSerialLines::SetRts(bool on) {
    if (!IsOpen())
        return false;
    const int line = TIOCM_RTS;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) < 0)
        throw ECommError("EscapeCommFunction failure", errno);
    rts_ = on;
    return true;
}

void TSerialLines::StartMonitor() {
    if (IsOpen())
        monitoring_ = true;
}

void TSerialLines::StopMonitor() { monitoring_ = false; }

void TSerialLines::Close() {
    if (!IsOpen())
        return;
    monitoring_ = false;
    StopThread();
    tcflush(fd_, TCIOFLUSH);
    ::close(fd_);
    fd_ = -1;
    ++generation_;  // whatever the thread posted is stale now
}

void TSerialLines::StartThread() {
    auto m = std::make_shared<Monitor>();
    m->fd = fd_;
    m->mask = LineMask(events_);
    // The state the first change is compared with.
    ioctl(fd_, TIOCMGET, &m->status);
    m->generation = generation_;
    m->post = post_;
    m->alive = std::make_shared<TSerialLines*>(this);
    m->thread = std::thread([m] { m->Run(); });
    monitor_ = std::move(m);
}

void TSerialLines::StopThread() {
    if (!monitor_)
        return;
    Monitor& m = *monitor_;
    m.stop.store(true);
    {
        // The signal may land just before the thread enters the ioctl:
        // repeat it until the thread is out.
        std::unique_lock<std::mutex> lock(m.m);
        while (!m.exited) {
            pthread_kill(m.thread.native_handle(), WakeSignal());
            m.cv.wait_for(lock, std::chrono::milliseconds(2));
        }
    }
    m.thread.join();
    m.alive.reset();
    monitor_.reset();
}

void TSerialLines::Deliver(uint64_t generation, int changed, int status, uint64_t stampMs) {
    if (generation != generation_ || !IsOpen() || !monitoring_)
        return;
    if ((changed & TIOCM_CTS) && OnCts)
        OnCts((status & TIOCM_CTS) != 0, stampMs);
    // The CTS handler may have closed the port.
    if (generation != generation_ || !monitoring_)
        return;
    if ((changed & TIOCM_DSR) && OnDsr)
        OnDsr((status & TIOCM_DSR) != 0, stampMs);
}

void TSerialLines::Lost(uint64_t generation, int error) {
    if (generation != generation_ || !IsOpen())
        return;
    const std::string message =
        Coded("COM" + std::to_string(portNumber_) + " (" + openPath_ +
                  ") stopped working: " + std::strerror(error) + "; the adapter was probably unplugged",
              error);
    Close();
    if (OnLost)
        OnLost(message);
}
