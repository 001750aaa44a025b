#include "app/SerialInput.h"

TSerialInput::TSerialInput(ISerialLines* lines, KeyingSession& session)
    : session_(session),
      ports_(std::make_unique<TSerialPorts>()),
      own_(lines ? nullptr : std::make_unique<TSerialLines>(ports_->Poster())),
      lines_(lines ? lines : own_.get()) {
    session_.AttachSerialLines(*lines_);
    // The table of 256, detected again when devices come or go.
    if (own_)
        own_->ResolvePort = [this](int n) { return ports_->DevicePath(n); };
    ports_->Detect(255);
    lines_->SetMonitorEvents(TSerialKeySource::EventsFor(session_.Settings().Event));
    lines_->SetPortNumber(session_.Settings().RXComPort);
}

// The source closes the port before the port and the table go.
TSerialInput::~TSerialInput() { session_.DetachSerialLines(); }
