#include "app/SampleSources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int InputDeviceIdFor(int rxDevice, int deviceCount) {
    if (rxDevice <= 0 || rxDevice > deviceCount) return -1;
    return rxDevice - 1;
}

bool TSoundInSource::Open(std::string& error) {
    sink_ = nullptr;
    if (rxDeviceFn_) rxDevice_ = rxDeviceFn_();
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
        if (sink_) sink_->SamplesReady(pb, std::min(samples, bytes / 2));
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

std::string WavFormatProblem(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "Error: cannot open File " + path;
    uint8_t h[36] = {};
    const size_t got = std::fread(h, 1, sizeof h, f);
    std::fclose(f);
    const auto u16 = [&](int o) { return static_cast<unsigned>(h[o] | (h[o + 1] << 8)); };
    const auto u32 = [&](int o) { return static_cast<unsigned long>(u16(o)) | (static_cast<unsigned long>(u16(o + 2)) << 16); };
    const std::string name = "Error: WAV file " + path;
    if (got < 36 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVEfmt ", 8) != 0 || u32(16) < 16)
        return name + " has no complete format description";
    const unsigned tag = u16(20), channels = u16(22), bits = u16(34);
    const unsigned long rate = u32(24);
    // 0xFFFE (extensible) carries its real format further on; PCM is by far
    // the common case there, float the other.
    std::string kind;
    switch (tag) {
    case 1: kind = "PCM"; break;
    case 3: kind = "float"; break;
    case 6: kind = "A-law"; break;
    case 7: kind = "mu-law"; break;
    case 0xFFFE: kind = "extensible"; break;
    default: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "format 0x%04X", tag);
        kind = buf;
    }
    }
    if ((tag == 1 || tag == 0xFFFE) && channels == 1 && rate == 8000 && bits == 16) return std::string();
    const std::string ch = channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " channels";
    return name + " is " + std::to_string(rate) + " Hz " + ch + " " + std::to_string(bits) + "-bit " + kind +
           "; only 8000 Hz mono 16-bit PCM can be played";
}

TWavFileSource::TWavFileSource(TfileIn& reader, ITimerFactory& timers,
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
    if (!choose_ || !choose_(reader_.Filename(), path)) return false;
    reader_.SetFilename(path);
    if (!reader_.Open()) {
        error = "Error: cannot open File " + path;
        return false;
    }
    if (!reader_.ReadHeader()) {
        error = "Error: not a WAV file: " + path;
        reader_.Close();
        return false;
    }
    error = WavFormatProblem(path);
    if (!error.empty()) {
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
    if (!sink_) return;
    // The last, zero-padded buffer still holds the end of the file: it goes
    // to the sink before the source reports its end.
    sink_->SamplesReady(pb, static_cast<uint32_t>(l));
    if (!eof_) return;
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
    if (!sink_) return;
    sink_->SamplesReady(zeros_.data(), static_cast<uint32_t>(zeros_.size()));
    const uint32_t step = reader_.TimerInterval();
    tailLeft_ = tailLeft_ > step ? tailLeft_ - step : 0;
    if (tailLeft_ == 0) End();
}

void TWavFileSource::End() {
    tailTimer_->Stop();
    IKeySink* sink = sink_;
    if (sink) sink->SourceEnded(std::string());
}

void TWavFileSource::Close() {
    tailTimer_->Stop();
    // The reader's handlers stay: Close may run inside one of them (the end
    // of the file), and they do nothing without a sink.
    sink_ = nullptr;
    eof_ = false;
    reader_.Close();
}
