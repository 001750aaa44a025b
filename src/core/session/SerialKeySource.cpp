#include "session/SerialKeySource.h"

#include "session/IambicKeyer.h"

TSerialKeySource::TSerialKeySource(ISerialLines& lines) : NowMs(&TSerialLines::MonotonicMs), lines_(lines) {
    lines_.OnCts = [this](bool on, uint64_t t) { LineChanged(true, on, t); };
    lines_.OnDsr = [this](bool on, uint64_t t) { LineChanged(false, on, t); };
    lines_.OnLost = [this](const std::string& message) { End(message); };
}

TSerialKeySource::~TSerialKeySource() {
    Close();
    lines_.OnCts = nullptr;
    lines_.OnDsr = nullptr;
    lines_.OnLost = nullptr;
}

TCommEventTypes TSerialKeySource::EventsFor(int event) {
    switch (event) {
        case 1:
            return CommEvent(evDsr);
        case 2:
            return CommEvent(evCts) | CommEvent(evDsr);
        default:
            return CommEvent(evCts);
    }
}

bool TSerialKeySource::Open(std::string& error) {
    Close();
    if (ReadConfig)
        Config = ReadConfig();
    const std::string failed = "Error: cannot open ComPort COM" + std::to_string(Config.Port);
    lines_.SetPortNumber(Config.Port);
    lines_.SetMonitorEvents(EventsFor(keyer_ ? 2 : Config.Event));
    std::string detail;
    bool ok = false;
    try {
        ok = lines_.Open();
        if (!ok)
            detail = lines_.LastError();
        if (ok) {
            lines_.SetDtr(Config.Dtr);
            lines_.SetRts(Config.Rts);
        }
    } catch (const ECommError& e) {
        ok = false;
        detail = e.what();
        lines_.Close();
    }
    if (!ok) {
        error = detail.empty() ? failed : failed + "\n" + detail;
        return false;
    }
    open_ = true;
    keyDown_ = false;
    return true;
}

void TSerialKeySource::Start(IKeySink& sink) {
    if (lostBeforeStart_) {
        // The port went while the mode was being entered.
        lostBeforeStart_ = false;
        sink.SourceEnded(LostMessage(lostDetail_));
        return;
    }
    if (!open_)
        return;
    sink_ = &sink;
    AttachKeyer();
    lines_.StartMonitor();
}

void TSerialKeySource::SetKeyer(TIambicKeyer* keyer) {
    if (keyer == keyer_)
        return;
    DetachKeyer();
    keyer_ = keyer;
    if (!open_)
        return;
    // Both lines are watched for paddles, the chosen one for a straight key.
    lines_.SetMonitorEvents(EventsFor(keyer_ ? 2 : Config.Event));
    AttachKeyer();
}

void TSerialKeySource::AttachKeyer() {
    if (keyer_ && sink_)
        keyer_->OnKey = [this](bool down, uint64_t at, uint32_t markMs) {
            keyDown_ = down;
            if (sink_)
                TIambicKeyer::Forward(*sink_, down, at, markMs);
        };
}

void TSerialKeySource::DetachKeyer() {
    if (!keyer_)
        return;
    keyer_->Stop();
    keyer_->OnKey = nullptr;
}

void TSerialKeySource::Close() {
    lostBeforeStart_ = false;
    if (!open_)
        return;
    open_ = false;
    DetachKeyer();
    sink_ = nullptr;
    lines_.StopMonitor();
    // Leave the lines off: a key supplied from RTS or DTR goes dead.
    try {
        lines_.SetDtr(false);
        lines_.SetRts(false);
    } catch (const ECommError&) {
        // The adapter may be gone already; closing must still happen.
    }
    lines_.Close();
}

void TSerialKeySource::Follow(const TSerialKeyConfig& next) {
    Config.Event = next.Event;
    Config.Rts = next.Rts;
    Config.Dtr = next.Dtr;
    Config.Invert = next.Invert;
    try {
        lines_.SetMonitorEvents(EventsFor(keyer_ ? 2 : Config.Event));
        if (lines_.IsOpen()) {
            lines_.SetDtr(Config.Dtr);
            lines_.SetRts(Config.Rts);
        }
    } catch (const ECommError& e) {
        if (open_)
            End(e.what());
        else
            lines_.Close();
    }
}

TSerialKeySource::TMove TSerialKeySource::MovePort(int port) {
    Config.Port = port;
    if (!lines_.IsOpen()) {
        lines_.SetPortNumber(port);
        return TMove::Kept;
    }
    if (lines_.PortNumber() == port)
        return TMove::Kept;
    try {
        lines_.SetPortNumber(port);  // reopens there
        if (lines_.IsOpen()) {
            lines_.SetDtr(Config.Dtr);
            lines_.SetRts(Config.Rts);
            if (sink_)
                lines_.StartMonitor();
            return TMove::Moved;
        }
    } catch (const ECommError&) {
        lines_.Close();
    }
    return TMove::Failed;
}

void TSerialKeySource::LineChanged(bool cts, bool on, uint64_t stampMs) {
    if (!open_ || !sink_)
        return;
    if (ReadConfig)
        Config.Invert = ReadConfig().Invert;
    const bool down = Config.Invert ? on : !on;
    if (keyer_) {
        // The keyer times the elements; the line's stamp does not matter.
        keyer_->Paddle(cts, down);
        return;
    }
    keyDown_ = down;
    sink_->KeyChanged(down, stampMs);
}

void TSerialKeySource::PortsChanged() {
    if (open_ && !lines_.DevicePresent())
        End("COM" + std::to_string(Config.Port) + " (" + lines_.DevicePath() + ") is no longer present.");
}

void TSerialKeySource::End(const std::string& detail) {
    if (!open_)
        return;
    IKeySink* sink = sink_;
    // A key held when the port went: its mark ends now, so what was keyed
    // up to here stays whole (a keyer ends its own, on its own scale).
    if (keyer_)
        keyer_->Stop();
    if (sink && keyDown_)
        sink->KeyChanged(false, NowMs());
    keyDown_ = false;
    Close();
    if (sink) {
        sink->SourceEnded(LostMessage(detail));
    } else {
        // Opened, not yet started: told when the mode starts it.
        lostBeforeStart_ = true;
        lostDetail_ = detail;
    }
}

std::string TSerialKeySource::LostMessage(const std::string& detail) const {
    return "Error: ComPort COM" + std::to_string(Config.Port) + " is gone; Keybd/Mouse mode is used now.\n" +
           detail;
}
