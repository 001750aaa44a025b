#pragma once
// A serial port used only for its modem-control lines: RTS and DTR held at
// chosen levels, CTS and DSR changes (a Morse key wired to the port)
// reported with the moment they happened. No data is sent or received.
// TSerialLines is the Linux backend: termios, the TIOCM* ioctls and a
// monitor thread that waits in TIOCMIWAIT and hands each change to the
// owner's thread through a posting function the owner supplies.

#include "devices/SerialPortDetect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// Line events, in this order; MonitorEvents holds bit (1 << member), so
// {evCts} is 2, {evDsr} 4 and both 6.
enum TCommEventType { evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };
using TCommEventTypes = unsigned;
constexpr TCommEventTypes CommEvent(TCommEventType t) { return 1u << t; }

// A failed port operation: the message ends in " (Error: <code>) ".
class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& message, int code);
    int ErrorCode;
};

// What the serial key source needs of a port; the fake in the tests and
// TSerialLines implement it. Every call and callback is on the owner's thread.
class ISerialLines {
public:
    virtual ~ISerialLines() = default;
    virtual void SetPortNumber(int n) = 0;  // 0..256, 0 = no port
    virtual int PortNumber() const = 0;
    virtual void SetMonitorEvents(TCommEventTypes events) = 0;
    virtual TCommEventTypes MonitorEvents() const = 0;
    virtual bool IsOpen() const = 0;
    // False when the port cannot be opened; LastError() then says why.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;
    virtual void StartMonitor() = 0;
    virtual void StopMonitor() = 0;
    virtual std::string LastError() const = 0;
    // The device path behind the port number, empty when there is none.
    virtual std::string DevicePath() const = 0;
    // After the ports were detected again: the open device is still there
    // under its port number.
    virtual bool DevicePresent() const = 0;

    // New state of CTS or DSR (true = line on) and the monotonic time of
    // the change in ms. Both lines changing at once: CTS first.
    std::function<void(bool on, uint64_t stampMs)> OnCts;
    std::function<void(bool on, uint64_t stampMs)> OnDsr;
    // The open port failed for good (adapter unplugged); it is closed
    // already. The text says what happened.
    std::function<void(const std::string& message)> OnLost;
};

class TSerialLines : public ISerialLines {
public:
    // Runs a function on the owner's thread, later; called from the monitor thread.
    using PostFn = std::function<void(std::function<void()>)>;

    explicit TSerialLines(PostFn post);
    ~TSerialLines() override;
    TSerialLines(const TSerialLines&) = delete;
    TSerialLines& operator=(const TSerialLines&) = delete;

    // Where port n lives: the path of COM<n>, or empty when absent.
    std::function<std::string(int n)> ResolvePort;

    void SetPortNumber(int n) override;
    int PortNumber() const override { return portNumber_; }
    void SetMonitorEvents(TCommEventTypes events) override;
    TCommEventTypes MonitorEvents() const override { return events_; }
    bool IsOpen() const override { return fd_ >= 0; }
    bool Open() override;
    void Close() override;
    bool SetDtr(bool on) override;
    bool SetRts(bool on) override;
    void StartMonitor() override;
    void StopMonitor() override;
    std::string LastError() const override { return lastError_; }
    std::string DevicePath() const override;
    bool DevicePresent() const override;

    // Configures an open port: 9600 baud, 7 data bits, no parity, one stop
    // bit, no flow control; raises DTR and RTS.
    void InitPort();

    // Milliseconds on the monotonic clock the line changes are stamped with.
    static uint64_t MonotonicMs();

protected:
    // Opens the device of PortNumber; -1 (with LastError set) when refused.
    virtual int OpenPort();

private:
    struct Monitor;
    void StartThread();
    void StopThread();
    void Deliver(uint64_t generation, int changed, int status, uint64_t stampMs);
    void Lost(uint64_t generation, int error);
    void Reopen(const std::function<void()>& change);

    PostFn post_;
    int portNumber_ = 1;
    TCommEventTypes events_ = 0;
    int fd_ = -1;
    bool monitoring_ = false;
    bool dtr_ = false, rts_ = false;  // levels driven while open
    std::string lastError_;
    std::string openPath_;
    uint64_t generation_ = 0;  // events of an earlier opening are dropped
    std::shared_ptr<Monitor> monitor_;
};
