#include "devices/FileIn.h"

#include <algorithm>

TFileIn::TFileIn(ITimerFactory& timers) : timer_(timers.CreateTimer()) {
    timer_->SetInterval(100);
    timer_->OnTimer = [this] { Tick(); };
}

TFileIn::~TFileIn() { Close(); }

void TFileIn::SetTimerInterval(uint32_t ms) {
    timerInterval_ = std::clamp<uint32_t>(ms, 10, 500);
    if (reader_.IsOpen())
        samples_.assign(static_cast<size_t>(BufferSamples()), 0);
    if (running_)
        timer_->SetInterval(timerInterval_);
}

bool TFileIn::Open() {
    Close();
    if (!reader_.OpenFile(filename_))
        return false;
    samples_.assign(static_cast<size_t>(BufferSamples()), 0);
    return true;
}

bool TFileIn::ReadHeader() { return reader_.ReadHeader(); }

void TFileIn::Start() {
    if (!reader_.IsOpen())
        return;
    // Running first, then the immediate tick: a file that ends within the
    // first buffer stops the reader for good instead of ticking on.
    running_ = true;
    timer_->SetInterval(timerInterval_);
    timer_->Start();
    Tick();
}

void TFileIn::Stop() {
    timer_->Stop();
    running_ = false;
}

void TFileIn::Close() {
    Stop();
    reader_.Close();
    samples_.clear();
}

void TFileIn::Tick() {
    if (!reader_.IsOpen() || samples_.empty())
        return;
    const size_t got = reader_.Read(samples_.data(), samples_.size());
    bool eof = false;
    if (got < samples_.size() || reader_.Ended()) {
        std::fill(samples_.begin() + static_cast<std::ptrdiff_t>(got), samples_.end(), 0);
        if (repeatFile_)
            reader_.Rewind();
        else
            eof = true;
    }
    if (eof) {
        Stop();
        if (OnEOFReached)
            OnEOFReached();
    }
    // The owner may have closed or retuned the reader in its EOF handler.
    if (OnBufferReady && !samples_.empty())
        OnBufferReady(samples_.data(), static_cast<int>(samples_.size()));
}
