#include "session/SampleSources.h"

#include <algorithm>

int InputDeviceIdFor(int rxDevice, int deviceCount) {
    if (rxDevice <= 0 || rxDevice > deviceCount)
        return -1;
    return rxDevice - 1;
}

bool TSoundInSource::Open(std::string& error) {
    sink_ = nullptr;
    if (rxDeviceFn_)
        rxDevice_ = rxDeviceFn_();
    in_.Stop();
    in_.Close();
    // In this order: the channel count recomputes the size from the time,
    // so the time must already match the samples (800 at 8000 Hz: 100 ms),
    // or every buffer would hold more than the block the analyser takes.
    in_.SetBufferSamples(kBufferSamples);
    in_.SetBufferTime(kBufferSamples * 1000 / 8000);
    in_.SetChannels(1);
    in_.SetDevice(InputDeviceIdFor(rxDevice_, in_.DeviceCount()));
    in_.OnBufferRecorded = [this](const int16_t* pb, uint32_t samples, uint32_t bytes) {
        if (sink_)
            sink_->SamplesReady(pb, std::min(samples, bytes / 2));
    };
    if (!in_.Start()) {
        error = "Error: cannot start Sound Input: " + in_.LastError();
        in_.Close();
        return false;
    }
    return true;
}

void TSoundInSource::Close() {
    sink_ = nullptr;
    in_.Stop();
    in_.Close();
}

TWavFileSource::TWavFileSource(TFileIn& reader, ITimerFactory& timers,
                               std::function<bool(const std::string&, std::string&)> chooseFile)
    : reader_(reader), tailTimer_(timers.CreateTimer()), choose_(std::move(chooseFile)) {
    tailTimer_->OnTimer = [this] { TailTick(); };
}

TWavFileSource::~TWavFileSource() {
    Close();
    reader_.OnBufferReady = nullptr;
    reader_.OnEOFReached = nullptr;
}

bool TWavFileSource::Open(std::string& error) {
    Close();
    error.clear();
    std::string path;
    if (!choose_ || !choose_(reader_.Filename(), path))
        return false;
    reader_.SetFilename(path);
    if (!reader_.Open()) {
        error = "Error: cannot open File " + path;
        return false;
    }
    // Any format the reader knows plays, converted to 8000 Hz mono; what it
    // refuses is named with the reason.
    if (!reader_.ReadHeader()) {
        error = "Error: cannot play File " + path + ": " + reader_.LastError();
        reader_.Close();
        return false;
    }
    return true;
}

void TWavFileSource::Start(IKeySink& sink) {
    sink_ = &sink;
    eof_ = false;
    reader_.OnEOFReached = [this] { eof_ = true; };
    reader_.OnBufferReady = [this](const int16_t* pb, int l) { BufferReady(pb, l); };
    reader_.Start();
}

void TWavFileSource::BufferReady(const int16_t* pb, int l) {
    if (!sink_)
        return;
    // The last, zero-padded buffer still holds the end of the file: it goes
    // to the sink before the source reports its end.
    sink_->SamplesReady(pb, static_cast<uint32_t>(l));
    if (!eof_)
        return;
    eof_ = false;
    if (tailMs_ == 0) {
        End();
        return;
    }
    zeros_.assign(static_cast<size_t>(l), 0);
    tailLeft_ = tailMs_;
    tailTimer_->SetInterval(reader_.TimerInterval());
    tailTimer_->Start();
}

void TWavFileSource::TailTick() {
    if (!sink_)
        return;
    sink_->SamplesReady(zeros_.data(), static_cast<uint32_t>(zeros_.size()));
    const uint32_t step = reader_.TimerInterval();
    tailLeft_ = tailLeft_ > step ? tailLeft_ - step : 0;
    if (tailLeft_ == 0)
        End();
}

void TWavFileSource::End() {
    tailTimer_->Stop();
    IKeySink* sink = sink_;
    if (sink)
        sink->SourceEnded(std::string());
}

void TWavFileSource::Close() {
    tailTimer_->Stop();
    // The reader's handlers stay: Close may run inside one of them (the end
    // of the file), and they do nothing without a sink.
    sink_ = nullptr;
    eof_ = false;
    reader_.Close();
}
