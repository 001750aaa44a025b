#include "devices/WavWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kSampleRate = 8000;
constexpr size_t kHeaderBytes = 44;
// RIFF sizes are 32-bit; the data must leave room for the rest of the header.
constexpr uint64_t kMaxData = 0xFFFFFFFFull - (kHeaderBytes - 8);

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

void MakeHeader(uint8_t* h, int channels, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataBytes + kHeaderBytes - 8);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, static_cast<uint32_t>(channels));
    Put32(h + 24, kSampleRate);
    Put32(h + 28, kSampleRate * 2 * static_cast<uint32_t>(channels));
    Put16(h + 32, 2 * static_cast<uint32_t>(channels));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

}  // namespace

WavWriter::~WavWriter() { Abort(); }

bool WavWriter::Fail(const std::string& what, int err) {
    lastError_ = what + " " + path_ + ": " + std::strerror(err);
    Abort();
    return false;
}

bool WavWriter::Open(const std::string& path, int channels) {
    Abort();
    path_ = path;
    channels_ = channels == 2 ? 2 : 1;
    dataBytes_ = 0;
    lastError_.clear();
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        lastError_ = "cannot write " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        lastError_ = "cannot write " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath_ = dir + "." + base + "." + std::to_string(getpid()) + "." + std::to_string(attempt) + ".tmp";
        fd_ = ::open(tmpPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        int err = errno;
        tmpPath_.clear();
        return Fail("cannot write", err);
    }
    uint8_t h[kHeaderBytes];
    MakeHeader(h, channels_, 0);
    return WriteAll(h, sizeof h);
}

bool WavWriter::WriteAll(const void* p, size_t n) {
    const char* c = static_cast<const char*>(p);
    while (n > 0) {
        ssize_t w = ::write(fd_, c, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write", errno);
        }
        c += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool WavWriter::Write(const int16_t* samples, size_t count) {
    if (fd_ < 0) {
        if (lastError_.empty())
            lastError_ = "cannot write " + path_ + ": file not open";
        return false;
    }
    if (dataBytes_ + count * 2 > kMaxData)
        return Fail("cannot write", EFBIG);
    std::vector<uint8_t> le(count * 2);
    for (size_t i = 0; i < count; ++i)
        Put16(&le[2 * i], static_cast<uint16_t>(samples[i]));
    if (!WriteAll(le.data(), le.size()))
        return false;
    dataBytes_ += count * 2;
    return true;
}

bool WavWriter::Commit() {
    if (fd_ < 0) {
        if (lastError_.empty())
            lastError_ = "cannot write " + path_ + ": file not open";
        return false;
    }
    uint8_t h[kHeaderBytes];
    MakeHeader(h, channels_, static_cast<uint32_t>(dataBytes_));
    if (::pwrite(fd_, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h))
        return Fail("cannot write", errno ? errno : EIO);
    if (::fsync(fd_) != 0 && errno != EINVAL)
        return Fail("cannot write", errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fd_ = -1;
        int err = errno;
        ::unlink(tmpPath_.c_str());
        tmpPath_.clear();
        lastError_ = "cannot write " + path_ + ": " + std::strerror(err);
        return false;
    }
    if (::rename(tmpPath_.c_str(), path_.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpPath_.c_str());
        tmpPath_.clear();
        lastError_ = "cannot write " + path_ + ": " + std::strerror(err);
        return false;
    }
    tmpPath_.clear();
    return true;
}

void WavWriter::Abort() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tmpPath_.empty())
        ::unlink(tmpPath_.c_str());
    tmpPath_.clear();
}
