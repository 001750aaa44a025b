#pragma once
// A serial port the tests key by hand: line changes with chosen stamps,
// ports that exist or vanish, and a log of what the owner did to it.

#include "devices/SerialLines.h"

#include <set>
#include <string>
#include <vector>

class FakeSerialLines : public ISerialLines {
public:
    std::set<int> present = {7};    // port numbers that have a device
    bool refuseOpen = false;        // present but refused (in use)
    bool failLines = false;         // RTS/DTR changes raise
    bool dtr = false, rts = false;  // the levels as driven now
    bool monitoring = false;
    std::vector<std::string> log;  // "open 7", "dtr 1", "rts 0", "start", "stop", "close"

    // An open port is reopened on the new number, as the real one does
    // (left closed when that fails).
    void SetPortNumber(int n) override {
        n = n < 0 ? 0 : (n > 256 ? 256 : n);
        if (n == port_)
            return;
        const bool wasOpen = open_;
        Close();
        port_ = n;
        if (wasOpen)
            Open();
    }
    int PortNumber() const override { return port_; }
    void SetMonitorEvents(TCommEventTypes e) override { events_ = e; }
    TCommEventTypes MonitorEvents() const override { return events_; }
    bool IsOpen() const override { return open_; }
    bool Open() override {
        if (open_)
            return true;
        if (port_ == 0 || !present.count(port_))
            return Fail(Com() + " is not present.");
        if (refuseOpen)
            return Fail(Com() + " (/dev/fake) is in use by another program.");
        log.push_back("open " + std::to_string(port_));
        dtr = rts = true;  // on while open, until set otherwise
        return open_ = true;
    }
    void Close() override {
        if (open_)
            log.push_back("close");
        open_ = monitoring = false;
    }
    bool SetDtr(bool on) override { return Drive("dtr", dtr, on); }
    bool SetRts(bool on) override { return Drive("rts", rts, on); }
    void StartMonitor() override {
        if (open_) {
            log.push_back("start");
            monitoring = true;
        }
    }
    void StopMonitor() override {
        if (monitoring)
            log.push_back("stop");
        monitoring = false;
    }
    std::string LastError() const override { return error_; }
    std::string DevicePath() const override { return "/dev/fake" + std::to_string(port_); }
    bool DevicePresent() const override { return open_ && present.count(port_); }

    // The key moved CTS and/or DSR at `stamp`; both at once report CTS first.
    void Lines(bool ctsChanged, bool cts, bool dsrChanged, bool dsr, uint64_t stamp) {
        if (!open_ || !monitoring)
            return;
        if (ctsChanged && (events_ & CommEvent(evCts)) && OnCts)
            OnCts(cts, stamp);
        if (dsrChanged && (events_ & CommEvent(evDsr)) && OnDsr && open_ && monitoring)
            OnDsr(dsr, stamp);
    }
    void Cts(bool on, uint64_t stamp) { Lines(true, on, false, false, stamp); }
    void Dsr(bool on, uint64_t stamp) { Lines(false, false, true, on, stamp); }
    // The adapter is pulled out: the monitor reports it as the real one does.
    void Unplug() {
        present.erase(port_);
        if (!open_)
            return;
        open_ = monitoring = false;
        log.push_back("lost");
        if (OnLost)
            OnLost(Com() + " (/dev/fake) stopped working: Input/output error (Error: 5) ");
    }

private:
    std::string Com() const { return "COM" + std::to_string(port_); }
    bool Fail(std::string error) {
        error_ = std::move(error);
        return false;
    }
    bool Drive(const char* name, bool& level, bool on) {
        if (!open_)
            return false;
        if (failLines)
            throw ECommError("EscapeCommFunction failure", 5);
        log.push_back(std::string(name) + (on ? " 1" : " 0"));
        level = on;
        return true;
    }
    int port_ = 1;
    TCommEventTypes events_ = 0;
    bool open_ = false;
    std::string error_;
};
