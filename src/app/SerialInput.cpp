#include "app/SerialInput.h"

#include "app/KeyInput.h"
#include "settings/Settings.h"

TSerialInput::TSerialInput(ISerialLines* lines, const TSettings& settings, TKeyInput& keyInput)
    : ports_(std::make_unique<TSerialPorts>()),
      own_(lines ? nullptr : std::make_unique<TComRTSDTRX>(ports_->Poster())),
      lines_(lines ? lines : own_.get()),
      source_(std::make_unique<TSerialKeySource>(*lines_))
{
    source_->ReadConfig = [&settings] {
        return TSerialKeyConfig{settings.RXComPort, settings.Event, settings.Invert, settings.RTS, settings.DTR};
    };
    keyInput.SetSource(ComPort, source_.get());
    // The table of 256, detected again when devices come or go.
    if (own_)
        own_->ResolvePort = [this](int n) { return ports_->DevicePath(n); };
    ports_->Detect(255);
    ports_->OnPortsChanged = [this] { PortsChanged(); };
    lines_->SetMonitorEvents(CommEvent(evCts));
    lines_->SetPortNumber(settings.RXComPort);
}
