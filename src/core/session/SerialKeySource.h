#pragma once
// The key source of COM Port mode: a straight key on the CTS and/or DSR
// line of a serial port. Opening the mode opens the port and drives RTS and
// DTR to the chosen levels (one of them can feed the key); each line change
// becomes a key transition stamped with the moment the line changed. With
// the keyer on, the lines are two paddles instead (dit on CTS, dah on DSR,
// Invert on both) and the keyer keys. A port
// that fails or vanishes ends the mode with a message. Plain C++: the port
// is behind ISerialLines, so the tests drive it with a fake.

#include "session/KeySource.h"
#include "devices/SerialLines.h"

#include <cstdint>
#include <functional>
#include <string>

struct TSerialKeyConfig {
    int Port = 0;         // RXComPort: n of "COM<n>", 0 = none
    int Event = 0;        // key input line: 0 CTS, 1 DSR, 2 CTS + DSR
    bool Invert = false;  // with Invert a line that goes on is a key-down
    bool Rts = false;     // levels driven while the mode runs
    bool Dtr = true;
};

class TIambicKeyer;

class TSerialKeySource : public IKeySource {
public:
    explicit TSerialKeySource(ISerialLines& lines);
    ~TSerialKeySource() override;

    // Read at Open; Invert also at every line change. ReadConfig, when set,
    // refreshes it from the settings at those moments.
    TSerialKeyConfig Config;
    std::function<TSerialKeyConfig()> ReadConfig;
    // The monotonic clock the lines stamp with, in ms (a lost port ends a
    // held key at this time).
    std::function<uint64_t()> NowMs;

    // MonitorEvents for a key input line choice: 2, 4 or 6.
    static TCommEventTypes EventsFor(int event);

    bool Open(std::string& error) override;
    void Start(IKeySink& sink) override;
    void Close() override;
    bool KeyedSidetone() const override { return true; }

    // The keyer the paddle lines go through; null = a straight key on the
    // chosen line.
    void SetKeyer(TIambicKeyer* keyer);

    bool IsOpen() const { return open_; }
    // New levels or key input line: the monitored events follow at once,
    // the levels while the port is open. A port that fails under the change
    // ends the mode with a message.
    void Follow(const TSerialKeyConfig& next);
    // A new port: an open one is reopened there with its levels and monitor
    // (Moved), or fails and is left closed (Failed); a closed one takes the
    // number for the next Open (Kept).
    enum class TMove { Kept, Moved, Failed };
    TMove MovePort(int port);
    // The serial ports were detected again: ends the mode when its device is gone.
    void PortsChanged();

private:
    void LineChanged(bool cts, bool on, uint64_t stampMs);
    void AttachKeyer();
    void DetachKeyer();
    void End(const std::string& detail);
    std::string LostMessage(const std::string& detail) const;

    ISerialLines& lines_;
    IKeySink* sink_ = nullptr;
    TIambicKeyer* keyer_ = nullptr;
    bool open_ = false;
    bool keyDown_ = false;  // the last state handed to the sink
    bool lostBeforeStart_ = false;
    std::string lostDetail_;
};
