#pragma once
// The serial key lines of COM Port mode: the table of ports with its
// hot-plug watch and the serial component SerialLines (or one a test hands
// in), whose key source the keying session owns while these lines exist.
// Ports detected again end COM Port mode when the port in use went away.
// No widgets.

#include "session/KeyingSession.h"
#include "devices/SerialLines.h"
#include "backends/SerialPorts.h"

#include <memory>

class TSerialInput {
public:
    // lines: null = the real serial backend.
    TSerialInput(ISerialLines* lines, KeyingSession& session);
    ~TSerialInput();
    TSerialInput(const TSerialInput&) = delete;
    TSerialInput& operator=(const TSerialInput&) = delete;

    TSerialPorts& Ports() { return *ports_; }
    ISerialLines& Lines() { return *lines_; }
    TSerialKeySource& Source() { return *session_.SerialSource(); }
    // Serial devices came or went and the port table changed.
    void PortsChanged() { session_.SerialSource()->PortsChanged(); }

private:
    KeyingSession& session_;
    std::unique_ptr<TSerialPorts> ports_;
    std::unique_ptr<TSerialLines> own_;
    ISerialLines* lines_;
};
