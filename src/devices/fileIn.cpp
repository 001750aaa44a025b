#include "devices/fileIn.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

TfileIn::TfileIn(ITimerFactory& timers) : timer_(timers.CreateTimer()) {
    timer_->SetInterval(100);
    timer_->OnTimer = [this] { Tick(); };
}

TfileIn::~TfileIn() { Close(); }

void TfileIn::SetTimerInterval(uint32_t ms) {
    timerInterval_ = std::clamp<uint32_t>(ms, 10, 500);
    if (file_) {
        bytes_.assign(static_cast<size_t>(BufferSamples()) * 2, 0);
        samples_.assign(static_cast<size_t>(BufferSamples()), 0);
    }
    if (running_) timer_->SetInterval(timerInterval_);
}

bool TfileIn::Open() {
    Close();
    lastError_.clear();
    std::FILE* f = std::fopen(filename_.c_str(), "rb");
    if (!f) {
        lastError_ = "cannot open " + filename_ + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        lastError_ = "cannot open " + filename_ + ": " + std::strerror(EISDIR);
        return false;
    }
    file_ = f;
    dataStart_ = 0;
    bytes_.assign(static_cast<size_t>(BufferSamples()) * 2, 0);
    samples_.assign(static_cast<size_t>(BufferSamples()), 0);
    return true;
}

size_t TfileIn::ReadBytes(void* dst, size_t n) {
    size_t got = std::fread(dst, 1, n, file_);
    if (got < n && std::ferror(file_)) {
        lastError_ = "cannot read " + filename_ + ": " + std::strerror(errno);
        std::clearerr(file_);
    }
    return got;
}

bool TfileIn::ReadHeader() {
    if (!file_) {
        lastError_ = "cannot read " + filename_ + ": file not open";
        return false;
    }
    std::rewind(file_);
    uint8_t head[8];
    if (ReadBytes(head, 8) < 8 || std::memcmp(head, "RIFF", 4) != 0) {
        lastError_ = filename_ + ": not a RIFF file";
        return false;
    }
    uint8_t wave[12];
    if (ReadBytes(wave, 12) < 12 || std::memcmp(wave, "WAVEfmt ", 8) != 0) {
        lastError_ = filename_ + ": not a WAVE file with a fmt chunk";
        return false;
    }
    // The format chunk is not examined: the data is taken as 16-bit mono
    // samples at 8000 Hz whatever the file declares.
    uint32_t fmtSize = wave[8] | (wave[9] << 8) | (wave[10] << 16) | (static_cast<uint32_t>(wave[11]) << 24);
    if (fseeko(file_, static_cast<off_t>(fmtSize), SEEK_CUR) != 0) {
        // Cannot skip (beyond what the stream can address): nothing to play.
        fseeko(file_, 0, SEEK_END);
    }
    // Look for the data chunk one byte at a time, so chunks in between (LIST
    // and the like) are passed over whatever their sizes say.
    uint8_t win[4];
    if (ReadBytes(win, 4) == 4) {
        while (std::memcmp(win, "data", 4) != 0) {
            int c = std::fgetc(file_);
            if (c == EOF) break;
            std::memmove(win, win + 1, 3);
            win[3] = static_cast<uint8_t>(c);
        }
    }
    uint8_t size[4];
    ReadBytes(size, 4);  // the declared data size is not used
    dataStart_ = ftello(file_);
    if (dataStart_ < 0) dataStart_ = 0;
    return true;
}

void TfileIn::Start() {
    if (!file_) return;
    // Running first, then the immediate tick: a file that ends within the
    // first buffer stops the reader for good instead of ticking on.
    running_ = true;
    timer_->SetInterval(timerInterval_);
    timer_->Start();
    Tick();
}

void TfileIn::Stop() {
    timer_->Stop();
    running_ = false;
}

void TfileIn::Close() {
    Stop();
    if (file_) std::fclose(file_);
    file_ = nullptr;
    bytes_.clear();
    samples_.clear();
}

void TfileIn::Tick() {
    if (!file_) return;
    const size_t want = bytes_.size();
    size_t got = ReadBytes(bytes_.data(), want);
    bool eof = false;
    if (got < want) {
        std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got), bytes_.end(), 0);
        if (repeatFile_) {
            fseeko(file_, static_cast<off_t>(dataStart_), SEEK_SET);
        } else {
            eof = true;
        }
    }
    // Samples are little-endian in the file whatever the host order is.
    for (size_t i = 0; i < samples_.size(); ++i)
        samples_[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8)));
    if (eof) {
        Stop();
        if (OnEOFReached) OnEOFReached();
    }
    // The owner may have closed or retuned the reader in its EOF handler.
    if (OnBufferReady && !samples_.empty()) OnBufferReady(samples_.data(), static_cast<int>(samples_.size()));
}
