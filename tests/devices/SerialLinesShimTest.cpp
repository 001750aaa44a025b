// The real serial backend on a pseudo-terminal given CTS, DSR, RTS and DTR by
// the modem-line test library: levels, stamped change reports, Close waking
// the monitor, and an adapter unplugged while it waits.

#include "devices/SerialLines.h"
#include "devices/SerialSupport.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <thread>
#include <vector>

namespace {

struct Change {
    char line;
    bool on;
    uint64_t stamp;
};  // line 'C' or 'D'

class ShimTest : public ::testing::Test {
protected:
    ModemShim shim = ModemShim::Find();
    Pty pty;
    PostQueue queue;
    std::unique_ptr<TSerialLines> port;
    std::vector<Change> changes;
    std::vector<std::string> lost;

    void SetUp() override {
        ASSERT_TRUE(shim.Loaded());
        ASSERT_TRUE(pty.Ok());
        ASSERT_EQ(shim.attach(pty.Path().c_str()), 0);
        port = std::make_unique<TSerialLines>([this](std::function<void()> f) { queue.Post(std::move(f)); });
        port->ResolvePort = [this](int n) { return n == 7 ? pty.Path() : std::string(); };
        port->OnCts = [this](bool on, uint64_t t) { changes.push_back({'C', on, t}); };
        port->OnDsr = [this](bool on, uint64_t t) { changes.push_back({'D', on, t}); };
        port->OnLost = [this](const std::string& m) { lost.push_back(m); };
        port->SetPortNumber(7);
    }
    void TearDown() override {
        port.reset();  // the monitor stops before the queue is emptied
        queue.Drain();
        if (shim.Loaded())
            shim.detach();
    }
    void OpenMonitoring(TCommEventTypes events) {
        port->SetMonitorEvents(events);
        ASSERT_TRUE(port->Open()) << port->LastError();
        port->StartMonitor();
        ASSERT_TRUE(shim.WaitForWaiter());
    }
    // Sets lines, then waits for the reports the change should give.
    uint64_t Edge(int set, int clear, size_t expectChanges) {
        const uint64_t ns = shim.setLines(set, clear);
        EXPECT_TRUE(queue.RunUntil([&] { return changes.size() >= expectChanges; }));
        EXPECT_TRUE(shim.WaitForWaiter());
        return ns / 1000000u;
    }
};

TEST_F(ShimTest, OpenRaisesDtrAndRtsAndTheyFollowTheSetters) {
    OpenMonitoring(CommEvent(evCts));
    EXPECT_EQ(shim.lines() & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR | TIOCM_RTS);
    struct Step {
        bool dtr, rts;
        int want;
    } steps[] = {{false, true, TIOCM_RTS},
                 {true, false, TIOCM_DTR},
                 {false, false, 0},
                 {true, true, TIOCM_DTR | TIOCM_RTS}};
    for (const Step& s : steps) {
        EXPECT_TRUE(port->SetDtr(s.dtr));
        EXPECT_TRUE(port->SetRts(s.rts));
        EXPECT_EQ(shim.lines() & (TIOCM_DTR | TIOCM_RTS), s.want);
    }
}

// Which changes each line choice reports, and their order.
TEST_F(ShimTest, ReportsTheMonitoredLinesCtsBeforeDsr) {
    struct Case {
        TCommEventTypes events;
        std::string want;
    } cases[] = {
        {CommEvent(evCts), "C1 C0 C1 C0"},
        {CommEvent(evDsr), "D1 D0 D1 D0"},
        {CommEvent(evCts) | CommEvent(evDsr), "C1 C0 D1 D0 C1 D1 C0 D0"},
    };
    // Drivers with and without change counters.
    for (int counting = 0; counting < 2; ++counting)
        for (const Case& c : cases) {
            SCOPED_TRACE(c.events * 10 + counting);
            shim.counters(counting);
            changes.clear();
            OpenMonitoring(c.events);
            const size_t both = c.events == 6 ? 2 : 1;
            // CTS alone, DSR alone, then both at once.
            const bool cts = c.events & CommEvent(evCts), dsr = c.events & CommEvent(evDsr);
            if (cts) {
                Edge(TIOCM_CTS, 0, changes.size() + 1);
                Edge(0, TIOCM_CTS, changes.size() + 1);
            } else {
                shim.setLines(TIOCM_CTS, 0);
                shim.setLines(0, TIOCM_CTS);
            }
            if (dsr) {
                Edge(TIOCM_DSR, 0, changes.size() + 1);
                Edge(0, TIOCM_DSR, changes.size() + 1);
            } else {
                shim.setLines(TIOCM_DSR, 0);
                shim.setLines(0, TIOCM_DSR);
            }
            Edge(TIOCM_CTS | TIOCM_DSR, 0, changes.size() + both);
            Edge(0, TIOCM_CTS | TIOCM_DSR, changes.size() + both);
            queue.RunUntil([] { return false; }, 30);  // nothing more may come
            std::string got;
            for (const Change& ch : changes)
                got += (got.empty() ? "" : " ") + std::string(1, ch.line) + (ch.on ? "1" : "0");
            EXPECT_EQ(got, c.want);
            port->Close();
        }
}

// The stamps are taken when the monitor wakes, not when the queue runs.
TEST_F(ShimTest, ChangesCarryTheMomentTheyHappened) {
    OpenMonitoring(CommEvent(evCts));
    std::vector<uint64_t> edges;
    for (int i = 0; i < 6; ++i) {
        edges.push_back(shim.setLines(i % 2 == 0 ? TIOCM_CTS : 0, i % 2 == 0 ? 0 : TIOCM_CTS) / 1000000u);
        ASSERT_TRUE(shim.WaitForWaiter());
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 10 * i));
    }
    // The queue runs late, long after the edges.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.Drain();
    ASSERT_EQ(changes.size(), edges.size());
    for (size_t i = 0; i < edges.size(); ++i) {
        EXPECT_EQ(changes[i].on, i % 2 == 0);
        // Taken at the monitor's wake-up: a loaded machine may wake it a few
        // ms late, but never as late as the queue ran (50 ms and more).
        EXPECT_LE(changes[i].stamp - edges[i], 15u) << "edge " << i;
    }
}

TEST_F(ShimTest, NothingIsDeliveredWhileStoppedOrAfterClose) {
    OpenMonitoring(CommEvent(evCts));
    port->StopMonitor();
    Edge(TIOCM_CTS, 0, 0);
    queue.RunUntil([] { return false; }, 30);
    EXPECT_TRUE(changes.empty());
    port->StartMonitor();
    Edge(0, TIOCM_CTS, 1);
    EXPECT_EQ(changes.size(), 1u);
    // A change posted but not yet run when the port closes is dropped.
    shim.setLines(TIOCM_CTS, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->Close();
    queue.Drain();
    EXPECT_EQ(changes.size(), 1u);
}

// The key moves again between the monitor reading the lines and waiting
// anew; TIOCMIWAIT alone would never report it and the key would stay down.
TEST_F(ShimTest, AChangeBeforeTheNextWaitIsNotLost) {
    OpenMonitoring(CommEvent(evCts));
    shim.changeAfterGet(0, TIOCM_CTS);
    Edge(TIOCM_CTS, 0, 2);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].on);
    EXPECT_FALSE(changes[1].on);
}

// A driver does not end TIOCMIWAIT when the fd closes; Close must wake the thread itself.
TEST_F(ShimTest, CloseEndsAWaitingMonitorPromptly) {
    // First: the library really keeps waiting when the fd is closed under it.
    const int fd = open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        ioctl(fd, TIOCMIWAIT, TIOCM_CTS);
        returned = true;
    });
    ASSERT_TRUE(shim.WaitForWaiter());
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    shim.setLines(TIOCM_CTS, 0);  // let it go
    waiter.join();
    shim.setLines(0, TIOCM_CTS);

    for (int round = 0; round < 20; ++round) {
        OpenMonitoring(CommEvent(evCts) | CommEvent(evDsr));
        const auto t0 = std::chrono::steady_clock::now();
        port->Close();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        EXPECT_LT(ms.count(), 100) << "round " << round;
        EXPECT_EQ(shim.waiters(), 0);
    }
}

TEST_F(ShimTest, AnUnpluggedAdapterEndsThePortWithAMessage) {
    OpenMonitoring(CommEvent(evCts));
    Edge(TIOCM_CTS, 0, 1);  // keying: key down
    shim.unplug();
    ASSERT_TRUE(queue.RunUntil([&] { return !lost.empty(); }));
    EXPECT_FALSE(port->IsOpen());
    for (const char* part : {"COM7", "unplugged", "(Error: 5) "})
        EXPECT_NE(lost[0].find(part), std::string::npos) << lost[0];
    EXPECT_EQ(shim.waiters(), 0);
    EXPECT_FALSE(port->SetDtr(true));
}

TEST_F(ShimTest, ChangingPortOrLinesWhileOpenReopensAndOtherPortsAreRefused) {
    OpenMonitoring(CommEvent(evCts));
    port->SetDtr(false);  // the key fed from RTS
    port->SetMonitorEvents(CommEvent(evDsr));
    ASSERT_TRUE(port->IsOpen());
    EXPECT_EQ(shim.lines() & (TIOCM_DTR | TIOCM_RTS), TIOCM_RTS);  // levels kept
    ASSERT_TRUE(shim.WaitForWaiter());
    Edge(TIOCM_DSR, 0, 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].line, 'D');
    // A port number that leads nowhere leaves it closed.
    port->SetPortNumber(8);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_NE(port->LastError().find("COM8 is not present"), std::string::npos);

    // Another pseudo-terminal, without the library's lines: refused, no hang.
    Pty other;
    port->ResolvePort = [&](int) { return other.Path(); };
    EXPECT_FALSE(port->Open());
    EXPECT_FALSE(port->IsOpen());
    for (const char* part : {"no modem control lines", "(Error: 25) "})
        EXPECT_NE(port->LastError().find(part), std::string::npos) << port->LastError();
}

}  // namespace

int main(int argc, char** argv) {
    EnsureShimPreloaded(argv, ORVO_MODEM_SHIM);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
