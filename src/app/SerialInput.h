#pragma once
// The serial key lines of COM Port mode: the table of ports with its
// hot-plug watch, the serial component ComRTSDTRX1 (or one a test hands
// in) and the key source on it, registered with key input for COM Port
// mode. Ports detected again end COM Port mode when the port in use went
// away. No widgets.

#include "app/SerialKeySource.h"
#include "devices/ComRtsDtrX.h"
#include "devices/SerialPorts.h"

#include <memory>

class TKeyInput;
struct TSettings;

class TSerialInput {
public:
    // lines: null = the real serial backend.
    TSerialInput(ISerialLines* lines, const TSettings& settings, TKeyInput& keyInput);
    TSerialInput(const TSerialInput&) = delete;
    TSerialInput& operator=(const TSerialInput&) = delete;

    TSerialPorts& Ports() { return *ports_; }
    ISerialLines& Lines() { return *lines_; }
    TSerialKeySource& Source() { return *source_; }
    // Serial devices came or went and the port table changed.
    void PortsChanged() { source_->PortsChanged(); }

private:
    // In this order: the source closes the port before the port and the
    // table go.
    std::unique_ptr<TSerialPorts> ports_;
    std::unique_ptr<TComRTSDTRX> own_;
    ISerialLines* lines_;
    std::unique_ptr<TSerialKeySource> source_;
};
