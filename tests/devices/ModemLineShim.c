/* Test-only LD_PRELOAD library: gives one chosen pseudo-terminal the modem
 * lines of a serial port, so the real serial backend (monitor thread
 * included) runs end to end without serial hardware. Pseudo-terminals
 * answer the TIOCM* ioctls with ENOTTY; for the attached device this
 * library answers them from line states the test sets through the
 * orvo_shim_* functions. Like a real driver, a waiting TIOCMIWAIT ends on a
 * line change, on an unplug (EIO) or on a signal caught without SA_RESTART
 * (EINTR), and not when another thread closes the fd. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <linux/serial.h>
#include <linux/futex.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static int active;
static dev_t device;
static int lines;          /* TIOCM_* bits */
static unsigned counts[4]; /* changes of CTS, DSR, RNG, CD */
static int gone;
static volatile int seq; /* futex word: bumped on every change */
static volatile int waiters;
static int counting = 1; /* answers TIOCGICOUNT */
static int gap_armed, gap_set, gap_clear;

static const int watched[4] = {TIOCM_CTS, TIOCM_DSR, TIOCM_RNG, TIOCM_CD};

static int ours(int fd) {
    struct stat st;
    return active && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device;
}

static uint64_t now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

static void bump(void) {
    __atomic_add_fetch(&seq, 1, __ATOMIC_SEQ_CST);
    syscall(SYS_futex, &seq, FUTEX_WAKE, INT_MAX, NULL, NULL, 0);
}

static void apply(int set, int clear) {
    const int old = lines;
    lines = (lines | set) & ~clear;
    for (int i = 0; i < 4; ++i)
        if ((old ^ lines) & watched[i])
            ++counts[i];
}

/* Attaches the device at path with all lines off; 0 on success. */
int orvo_shim_attach(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0)
        return -1;
    pthread_mutex_lock(&lock);
    device = st.st_rdev;
    active = 1;
    lines = 0;
    gone = 0;
    gap_armed = 0;
    counting = 1;
    pthread_mutex_unlock(&lock);
    return 0;
}

void orvo_shim_detach(void) {
    pthread_mutex_lock(&lock);
    active = 0;
    pthread_mutex_unlock(&lock);
    bump();
}

int orvo_shim_lines(void) {
    pthread_mutex_lock(&lock);
    int l = lines;
    pthread_mutex_unlock(&lock);
    return l;
}

/* Threads waiting in TIOCMIWAIT now. */
int orvo_shim_waiters(void) { return __atomic_load_n(&waiters, __ATOMIC_SEQ_CST); }

/* Sets and clears lines at once; returns the monotonic time of the change in ns. */
uint64_t orvo_shim_set_lines(int set, int clear) {
    pthread_mutex_lock(&lock);
    apply(set, clear);
    const uint64_t stamp = now_ns();
    pthread_mutex_unlock(&lock);
    bump();
    return stamp;
}

/* The next TIOCMGET answers, then the lines change at once: a change in the
 * gap before the monitor waits again. */
void orvo_shim_change_after_get(int set, int clear) {
    pthread_mutex_lock(&lock);
    gap_armed = 1;
    gap_set = set;
    gap_clear = clear;
    pthread_mutex_unlock(&lock);
}

/* Whether TIOCGICOUNT is answered (drivers without change counters). */
void orvo_shim_counters(int on) {
    pthread_mutex_lock(&lock);
    counting = on;
    pthread_mutex_unlock(&lock);
}

/* The adapter goes away: waits end and every later line ioctl fails with EIO. */
void orvo_shim_unplug(void) {
    pthread_mutex_lock(&lock);
    gone = 1;
    pthread_mutex_unlock(&lock);
    bump();
}

static int wait_change(int mask) {
    pthread_mutex_lock(&lock);
    unsigned start[4];
    for (int i = 0; i < 4; ++i)
        start[i] = counts[i];
    pthread_mutex_unlock(&lock);
    __atomic_add_fetch(&waiters, 1, __ATOMIC_SEQ_CST);
    int result = 0;
    for (;;) {
        const int s = __atomic_load_n(&seq, __ATOMIC_SEQ_CST);
        pthread_mutex_lock(&lock);
        int changed = 0;
        for (int i = 0; i < 4; ++i)
            if ((mask & watched[i]) && counts[i] != start[i])
                changed = 1;
        const int lost = gone || !active;
        pthread_mutex_unlock(&lock);
        if (lost) {
            errno = EIO;
            result = -1;
            break;
        }
        if (changed)
            break;
        /* Restarted by the kernel after a handler with SA_RESTART, EINTR without. */
        if (syscall(SYS_futex, &seq, FUTEX_WAIT, s, NULL, NULL, 0) < 0 && errno == EINTR) {
            result = -1;
            break;
        }
    }
    __atomic_sub_fetch(&waiters, 1, __ATOMIC_SEQ_CST);
    return result;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC ||
         request == TIOCMIWAIT || request == TIOCGICOUNT) &&
        ours(fd)) {
        if (request == TIOCMIWAIT)
            return wait_change((int)(uintptr_t)arg);
        pthread_mutex_lock(&lock);
        if (gone || (request == TIOCGICOUNT && !counting)) {
            pthread_mutex_unlock(&lock);
            errno = gone ? EIO : ENOTTY;
            return -1;
        }
        if (request == TIOCGICOUNT) {
            struct serial_icounter_struct* ic = arg;
            memset(ic, 0, sizeof *ic);
            ic->cts = (int)counts[0];
            ic->dsr = (int)counts[1];
            ic->rng = (int)counts[2];
            ic->dcd = (int)counts[3];
            pthread_mutex_unlock(&lock);
            return 0;
        }
        /* Only the outputs can be driven from this side. */
        const int outputs = TIOCM_DTR | TIOCM_RTS;
        const int v = request == TIOCMGET ? 0 : *(const int*)arg;
        if (request == TIOCMGET) {
            *(int*)arg = lines;
            if (gap_armed) {
                gap_armed = 0;
                apply(gap_set, gap_clear);
                pthread_mutex_unlock(&lock);
                bump();
                return 0;
            }
        } else if (request == TIOCMSET)
            lines = (lines & ~outputs) | (v & outputs);
        else if (request == TIOCMBIS)
            lines |= v & outputs;
        else
            lines &= ~(v & outputs);
        pthread_mutex_unlock(&lock);
        return 0;
    }
    return real(fd, request, arg);
}
