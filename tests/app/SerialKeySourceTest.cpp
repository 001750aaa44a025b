// The COM Port key source on a fake port: line choice, polarity, stamps,
// RTS/DTR on entering and leaving, a port that fails or vanishes mid-key.

#include "FakeSerialLines.h"
#include "devices/ManualClock.h"
#include "session/IambicKeyer.h"
#include "session/SerialKeySource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RecordingSink : IKeySink {
    std::vector<std::string> events;  // "down@100", "up@140", "ended:<message>"
    void KeyChanged(bool down, uint64_t t) override {
        events.push_back((down ? "down@" : "up@") + std::to_string(t));
    }
    void SamplesReady(const int16_t*, uint32_t) override { events.push_back("samples"); }
    void SourceEnded(const std::string& m) override { events.push_back("ended:" + m); }
    std::string Joined() const {
        std::string s;
        for (const auto& e : events)
            s += (s.empty() ? "" : " ") + e;
        return s;
    }
};

class SerialSource : public ::testing::Test {
protected:
    FakeSerialLines lines;
    TSerialKeySource source{lines};
    RecordingSink sink;
    std::string error;

    void SetUp() override {
        source.Config.Port = 7;
        source.NowMs = [] { return uint64_t(99999); };
    }
    void Begin() {
        ASSERT_TRUE(source.Open(error)) << error;
        source.Start(sink);
    }
};

// Invert off: a line going off is key-down. With both lines either moves the key.
TEST_F(SerialSource, LineChoiceAndPolarity) {
    struct Case {
        int event;
        bool invert;
        const char* want;
    } cases[] = {
        {0, false, "down@10 up@20 down@50 up@60"},
        {0, true, "up@10 down@20 up@50 down@60"},
        {1, false, "down@30 up@40 down@50 up@60"},
        {1, true, "up@30 down@40 up@50 down@60"},
        {2, false, "down@10 up@20 down@30 up@40 down@50 down@50 up@60 up@60"},
        {2, true, "up@10 down@20 up@30 down@40 up@50 up@50 down@60 down@60"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event * 10 + c.invert);
        sink.events.clear();
        source.Config.Event = c.event;
        source.Config.Invert = c.invert;
        Begin();
        EXPECT_EQ(lines.MonitorEvents(), TSerialKeySource::EventsFor(c.event));
        lines.Cts(false, 10);
        lines.Cts(true, 20);
        lines.Dsr(false, 30);
        lines.Dsr(true, 40);
        lines.Lines(true, false, true, false, 50);  // both at once: CTS first
        lines.Lines(true, true, true, true, 60);
        EXPECT_EQ(sink.Joined(), c.want);
        source.Close();
    }
    EXPECT_EQ(TSerialKeySource::EventsFor(0), 2u);
    EXPECT_EQ(TSerialKeySource::EventsFor(1), 4u);
    EXPECT_EQ(TSerialKeySource::EventsFor(2), 6u);
}

// With the keyer on, CTS is the dit paddle and DSR the dah paddle whatever
// the line choice, Invert on both; the keyer times the elements, and a port
// lost during a mark ends it on the keyer's scale.
TEST_F(SerialSource, PaddlesOnCtsAndDsrThroughTheKeyer) {
    ManualClock clock;
    clock.AdvanceTo(5000);
    TIambicKeyer keyer{clock, clock};
    keyer.SetSpeed(60);  // one dot = 100 ms
    std::vector<uint64_t> stamps;
    auto run = [&](bool invert) {
        sink.events.clear();
        source.Config.Event = 1;
        source.Config.Invert = invert;
        Begin();
        EXPECT_EQ(lines.MonitorEvents(), TSerialKeySource::EventsFor(2));
        lines.Cts(invert, 10);  // dit paddle closed and opened
        lines.Cts(!invert, 20);
        clock.Advance(200);
        lines.Dsr(invert, 30);  // dah paddle
        lines.Dsr(!invert, 40);
        clock.Advance(500);
    };
    source.SetKeyer(&keyer);
    for (bool invert : {false, true}) {
        SCOPED_TRACE(invert);
        run(invert);
        ASSERT_EQ(sink.events.size(), 4u) << sink.Joined();
        std::vector<uint64_t> t;
        for (const std::string& e : sink.events)
            t.push_back(std::stoull(e.substr(e.find('@') + 1)));
        EXPECT_EQ(sink.events[0].substr(0, 5), "down@");
        EXPECT_EQ(t[1] - t[0], 100u);  // a dot
        EXPECT_EQ(t[3] - t[2], 300u);  // a dash
        source.Close();
    }
    // The port goes during a dash: the mark ends now, on the keyer's scale.
    sink.events.clear();
    source.Config.Invert = false;
    Begin();
    lines.Dsr(false, 10);
    clock.Advance(50);
    lines.present.clear();
    source.PortsChanged();
    ASSERT_GE(sink.events.size(), 3u) << sink.Joined();
    const uint64_t down = std::stoull(sink.events[0].substr(5));
    EXPECT_EQ(sink.events[1], "up@" + std::to_string(down + 50));
    EXPECT_EQ(sink.events[2].substr(0, 6), "ended:");
    // Keyer off again: a straight key on the chosen line.
    source.SetKeyer(nullptr);
    lines.present = {7};
    sink.events.clear();
    source.Config.Event = 0;
    source.Config.Invert = false;
    Begin();
    lines.Cts(false, 10);
    lines.Dsr(false, 20);
    EXPECT_EQ(sink.Joined(), "down@10");
}

// Opening drives RTS and DTR to the chosen levels; nothing is delivered
// before Start; closing stops, drops both lines, then closes.
TEST_F(SerialSource, RtsAndDtrOnEnteringAndLeaving) {
    struct Case {
        bool rts, dtr;
    } cases[] = {{false, true}, {true, false}, {true, true}, {false, false}};
    for (const Case& c : cases) {
        lines.log.clear();
        sink.events.clear();
        source.Config.Rts = c.rts;
        source.Config.Dtr = c.dtr;
        ASSERT_TRUE(source.Open(error));
        EXPECT_EQ(lines.rts, c.rts);
        EXPECT_EQ(lines.dtr, c.dtr);
        lines.Cts(false, 5);  // not started: not monitored
        EXPECT_TRUE(sink.events.empty());
        source.Start(sink);
        lines.Cts(false, 6);
        EXPECT_EQ(sink.Joined(), "down@6");
        source.Close();
        const std::vector<std::string> want = {
            "open 7", c.dtr ? "dtr 1" : "dtr 0", c.rts ? "rts 1" : "rts 0", "start", "stop", "dtr 0", "rts 0",
            "close"};
        EXPECT_EQ(lines.log, want);
        lines.Cts(true, 7);
        EXPECT_EQ(sink.events.size(), 1u);
        source.Close();  // twice is harmless
        EXPECT_EQ(lines.log.size(), want.size());
    }
}

// The settings change under a running mode: the events follow at once,
// the levels on an open port only; lines that fail end the mode with a
// message.
TEST_F(SerialSource, FollowsNewLevelsAndLine) {
    source.Follow({7, 1, false, true, false});
    EXPECT_EQ(lines.MonitorEvents(), TSerialKeySource::EventsFor(1));
    EXPECT_TRUE(lines.log.empty());
    Begin();
    lines.log.clear();
    source.Follow({7, 2, false, false, true});
    EXPECT_EQ(lines.MonitorEvents(), TSerialKeySource::EventsFor(2));
    EXPECT_EQ(lines.log, (std::vector<std::string>{"dtr 1", "rts 0"}));
    EXPECT_TRUE(lines.dtr && !lines.rts);
    lines.failLines = true;
    source.Follow({7, 2, false, true, true});
    EXPECT_FALSE(source.IsOpen() || lines.IsOpen());
    EXPECT_EQ(sink.Joined(),
              "ended:Error: ComPort COM7 is gone; Keybd/Mouse mode is used now.\n"
              "EscapeCommFunction failure (Error: 5) ");
}

TEST_F(SerialSource, OpenFailuresNameThePort) {
    struct Case {
        int port;
        bool refuse, failLines;
        const char* want;
    } cases[] = {
        {9, false, false, "Error: cannot open ComPort COM9\nCOM9 is not present."},
        {0, false, false, "Error: cannot open ComPort COM0\nCOM0 is not present."},
        {7, true, false, "Error: cannot open ComPort COM7\nCOM7 (/dev/fake) is in use by another program."},
        {7, false, true, "Error: cannot open ComPort COM7\nEscapeCommFunction failure (Error: 5) "},
    };
    for (const Case& c : cases) {
        source.Config.Port = c.port;
        lines.refuseOpen = c.refuse;
        lines.failLines = c.failLines;
        error.clear();
        EXPECT_FALSE(source.Open(error));
        EXPECT_EQ(error, c.want);
        EXPECT_FALSE(lines.IsOpen());
        EXPECT_FALSE(source.IsOpen());
    }
}

// The port goes while the key is down: the mark ends at that moment, then
// the mode ends with a message naming the port, also when it went before
// the source was started.
TEST_F(SerialSource, PortVanishingEndsTheMode) {
    struct Case {
        bool byRedetection;
        bool keyHeld;
    } cases[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byRedetection * 10 + c.keyHeld);
        lines.present = {7, 8};
        sink.events.clear();
        Begin();
        lines.Cts(false, 100);
        if (!c.keyHeld)
            lines.Cts(true, 150);
        // Re-detection with the device still there changes nothing.
        source.PortsChanged();
        EXPECT_TRUE(source.IsOpen());
        if (c.byRedetection) {
            lines.present.erase(7);
            source.PortsChanged();
        } else
            lines.Unplug();
        EXPECT_FALSE(source.IsOpen());
        EXPECT_FALSE(lines.IsOpen());
        ASSERT_EQ(sink.events.size(), 3u);
        EXPECT_EQ(sink.events[1], c.keyHeld ? "up@99999" : "up@150");
        EXPECT_EQ(
            sink.events[2].rfind("ended:Error: ComPort COM7 is gone; Keybd/Mouse mode is used now.\n", 0), 0u)
            << sink.events[2];
        EXPECT_NE(sink.events[2].find(c.byRedetection ? "no longer present" : "Input/output error"),
                  std::string::npos);
        // Later reports of a gone port do nothing.
        source.PortsChanged();
        lines.Cts(false, 300);
        EXPECT_EQ(sink.events.size(), 3u);
    }

    // Gone while the mode was being entered (opened, not yet started): the
    // mode hears of it when it starts the source; a later Open starts clean.
    lines.present = {7};
    sink.events.clear();
    ASSERT_TRUE(source.Open(error)) << error;
    lines.present.clear();
    source.PortsChanged();
    EXPECT_FALSE(lines.IsOpen());
    source.Start(sink);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].rfind("ended:Error: ComPort COM7 is gone", 0), 0u) << sink.events[0];
    lines.present = {7};
    sink.events.clear();
    Begin();
    EXPECT_TRUE(sink.events.empty());
    EXPECT_TRUE(source.IsOpen());
}

}  // namespace
