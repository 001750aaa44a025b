#include "devices/AudioFileReader.h"

#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kChunkFrames = 4096;

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string MajorName(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            return "wav";
        case SF_FORMAT_RF64:
            return "rf64";
        case SF_FORMAT_W64:
            return "w64";
        case SF_FORMAT_AIFF:
            return "aiff";
        case SF_FORMAT_AU:
            return "au";
        case SF_FORMAT_CAF:
            return "caf";
        case SF_FORMAT_FLAC:
            return "flac";
        case SF_FORMAT_OGG:
            return "ogg";
        case SF_FORMAT_MPEG:
            return "mp3";
        default:
            return "other";
    }
}

std::string SubName(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "pcm8";
        case SF_FORMAT_PCM_16:
            return "pcm16";
        case SF_FORMAT_PCM_24:
            return "pcm24";
        case SF_FORMAT_PCM_32:
            return "pcm32";
        case SF_FORMAT_FLOAT:
            return "float32";
        case SF_FORMAT_DOUBLE:
            return "float64";
        case SF_FORMAT_ULAW:
            return "ulaw";
        case SF_FORMAT_ALAW:
            return "alaw";
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
            return "adpcm";
        case SF_FORMAT_GSM610:
            return "gsm";
        case SF_FORMAT_VORBIS:
            return "vorbis";
        case SF_FORMAT_OPUS:
            return "opus";
        default:
            return "";
    }
}

std::string HexTag(uint32_t tag) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", tag);
    return buf;
}

}  // namespace

// The decoding side: libsndfile gives float frames, which are averaged to
// mono and, unless already at 8000 Hz, resampled by libsoxr; the 16-bit
// result waits in a queue until read.
struct TAudioFileReader::Converter {
    SNDFILE* sf = nullptr;
    SF_INFO sfInfo{};
    soxr_t soxr = nullptr;
    std::vector<float> frames, mono, out;
    std::vector<int16_t> queue;
    size_t queuePos = 0;
    sf_count_t framesRead = 0;
    bool inputDone = false;
    bool flushed = false;

    ~Converter() {
        if (soxr)
            soxr_delete(soxr);
        if (sf)
            sf_close(sf);
    }

    void Push(const float* x, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const double v = std::nearbyint(static_cast<double>(x[i]) * 32768.0);
            // Float files can hold NaN: taken as silence; infinities clip.
            queue.push_back(std::isnan(v) ? int16_t{0}
                                          : static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
        }
    }

    // Resamples n mono samples (n = 0 with done: drains the resampler).
    bool Resample(const float* in, size_t n, bool done) {
        size_t pos = 0;
        for (;;) {
            size_t idone = 0, odone = 0;
            const soxr_error_t e = soxr_process(soxr, done ? nullptr : in + pos, done ? 0 : n - pos, &idone,
                                                out.data(), out.size(), &odone);
            if (e)
                return false;
            Push(out.data(), odone);
            pos += idone;
            if (done ? odone == 0 : (pos >= n && odone < out.size()))
                return true;
            if (idone == 0 && odone == 0)
                return true;  // nothing moves: do not spin
        }
    }

    // Decodes the next chunk into the queue; false on a decoding error.
    bool Fill() {
        if (queuePos > 0 && queuePos == queue.size()) {
            queue.clear();
            queuePos = 0;
        }
        if (inputDone) {
            if (soxr && !flushed && !Resample(nullptr, 0, true))
                return false;
            flushed = true;
            return true;
        }
        const int ch = sfInfo.channels;
        const sf_count_t got = sf_readf_float(sf, frames.data(), kChunkFrames);
        if (got <= 0) {
            inputDone = true;
            return sf_error(sf) == SF_ERR_NO_ERROR;
        }
        framesRead += got;
        const size_t n = static_cast<size_t>(got);
        for (size_t i = 0; i < n; ++i) {
            float s = 0;
            for (int c = 0; c < ch; ++c)
                s += frames[i * static_cast<size_t>(ch) + static_cast<size_t>(c)];
            // Float files can hold NaN and infinities; in the resampler one
            // would spread over its whole filter length.
            const float m = s / static_cast<float>(ch);
            mono[i] = std::isnan(m) ? 0.0f : std::isinf(m) ? (m > 0 ? 1.0f : -1.0f) : m;
        }
        if (!soxr) {
            Push(mono.data(), n);
            return true;
        }
        return Resample(mono.data(), n, false);
    }
};

TAudioFileReader::TAudioFileReader() = default;
TAudioFileReader::~TAudioFileReader() { Close(); }

bool TAudioFileReader::OpenFile(const std::string& path) {
    Close();
    path_ = path;
    lastError_.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        lastError_ = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        lastError_ = "cannot open " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    file_ = f;
    return true;
}

void TAudioFileReader::Close() {
    conv_.reset();
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    dataStart_ = 0;
    ended_ = false;
    shortData_ = false;
    info_ = AudioFileInfo{};
}

size_t TAudioFileReader::ReadBytes(void* dst, size_t n) {
    size_t got = std::fread(dst, 1, n, file_);
    if (got < n && std::ferror(file_)) {
        lastError_ = "cannot read " + path_ + ": " + std::strerror(errno);
        std::clearerr(file_);
    }
    return got;
}

bool TAudioFileReader::WalkToDataChunk(long long fileSize) {
    for (int guard = 0; guard < 64; ++guard) {
        uint8_t head[8];
        if (ReadBytes(head, 8) < 8)
            return false;
        // A chunk id is four printable characters; anything else means a
        // size before it was wrong.
        for (int i = 0; i < 4; ++i)
            if (head[i] < 0x20 || head[i] > 0x7E)
                return false;
        if (std::memcmp(head, "data", 4) == 0)
            return fseeko(file_, -4, SEEK_CUR) == 0;
        const uint32_t size = Le32(head + 4);
        const long long next = static_cast<long long>(ftello(file_)) + size + (size & 1);
        if (next >= fileSize || fseeko(file_, static_cast<off_t>(next), SEEK_SET) != 0)
            return false;
    }
    return false;
}

bool TAudioFileReader::ParseRiff(bool& isRiff, std::string& why, bool& declaresNative,
                                 std::string& declared) {
    isRiff = false;
    declaresNative = false;
    std::rewind(file_);
    uint8_t head[8];
    if (ReadBytes(head, 8) < 8 || std::memcmp(head, "RIFF", 4) != 0) {
        why = "not a RIFF file";
        return false;
    }
    uint8_t wave[12];
    if (ReadBytes(wave, 12) < 12 || std::memcmp(wave, "WAVEfmt ", 8) != 0) {
        why = "not a WAVE file with a fmt chunk";
        return false;
    }
    isRiff = true;
    struct stat st {};
    const long long fileSize = fstat(fileno(file_), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
    const uint32_t fmtSize = Le32(wave + 8);
    if (20 + static_cast<long long>(fmtSize) > fileSize) {
        why = "the file ends inside its WAV header";
        return false;
    }
    uint8_t fmt[40] = {};
    const size_t look = std::min<size_t>(fmtSize, sizeof fmt);
    if (ReadBytes(fmt, look) < look) {
        why = "the file ends inside its WAV header";
        return false;
    }
    if (fmtSize >= 16) {
        const uint32_t tag = Le16(fmt), channels = Le16(fmt + 2), rate = Le32(fmt + 4), bits = Le16(fmt + 14);
        // The extensible form names its encoding by a GUID whose first two
        // bytes are the plain format tag.
        const bool pcm = tag == 1 || (tag == 0xFFFE && fmtSize >= 40 && Le16(fmt + 24) == 1);
        declaresNative = pcm && channels == 1 && rate == static_cast<uint32_t>(kRate) && bits == 16;
        declared = "format tag " + HexTag(tag) + ", " + std::to_string(channels) + " channels, " +
                   std::to_string(rate) + " Hz, " + std::to_string(bits) + " bits";
    } else {
        declared = "a fmt chunk of " + std::to_string(fmtSize) + " bytes";
    }
    if (fseeko(file_, static_cast<off_t>(20 + static_cast<long long>(fmtSize)), SEEK_SET) != 0) {
        why = "the file ends inside its WAV header";
        return false;
    }
    // The chunks' own sizes lead to the data chunk, so text such as
    // "metadata" in a LIST chunk is not taken for it. Where the sizes lead
    // nowhere, look for "data" one byte at a time: files with wrong chunk
    // sizes play as they always did.
    uint8_t win[4];
    bool found = WalkToDataChunk(fileSize);
    if (!found && fseeko(file_, static_cast<off_t>(20 + static_cast<long long>(fmtSize)), SEEK_SET) == 0 &&
        ReadBytes(win, 4) == 4) {
        for (;;) {
            if (std::memcmp(win, "data", 4) == 0) {
                found = true;
                break;
            }
            const int c = std::fgetc(file_);
            if (c == EOF)
                break;
            std::memmove(win, win + 1, 3);
            win[3] = static_cast<uint8_t>(c);
        }
    }
    uint8_t size[4];
    if (!found || ReadBytes(size, 4) < 4) {
        why = found ? "the file ends inside its WAV header" : "no data chunk in the WAV file";
        return false;
    }
    // The declared data size is not used: recorders that were cut off leave
    // it wrong, and the data runs to the end of the file.
    dataStart_ = ftello(file_);
    if (dataStart_ < 0)
        dataStart_ = 0;
    // Streaming recorders leave 0 or all ones as the size.
    const uint32_t declaredSize = Le32(size);
    shortData_ = declaredSize != 0 && declaredSize != 0xFFFFFFFFu && dataStart_ + declaredSize > fileSize;
    if (declaresNative) {
        info_.format = "wav pcm16";
        info_.sampleRate = kRate;
        info_.channels = 1;
        info_.seconds = static_cast<double>(std::max(fileSize - dataStart_, 0LL) / 2) / kRate;
        info_.native = true;
    }
    return true;
}

bool TAudioFileReader::ReadHeader() {
    if (!file_) {
        lastError_ = "cannot read " + path_ + ": file not open";
        return false;
    }
    conv_.reset();
    ended_ = false;
    shortData_ = false;
    info_ = AudioFileInfo{};
    bool isRiff = false, native = false;
    std::string why, declared;
    const bool parsed = ParseRiff(isRiff, why, native, declared);
    if (parsed && native)
        return true;
    if (isRiff && !parsed) {
        lastError_ = path_ + ": " + why;
        return false;
    }
    // Everything else, RIFF or not, is left to libsndfile to recognise.
    return OpenConverted(isRiff ? "" : why, declared);
}

bool TAudioFileReader::OpenConverted(const std::string& riffWhy, const std::string& declared) {
    auto c = std::make_unique<Converter>();
    c->sf = sf_open(path_.c_str(), SFM_READ, &c->sfInfo);
    if (!c->sf) {
        // For content a decoder gave up on, libsndfile may name a file-system
        // error that did not happen (the file opened fine above); only its
        // public reasons are passed on.
        const int code = sf_error(nullptr);
        const std::string sfWhy = code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_MALFORMED_FILE ||
                                          code == SF_ERR_UNSUPPORTED_ENCODING
                                      ? sf_strerror(nullptr)
                                      : "no decoder accepts its content";
        if (!riffWhy.empty())
            lastError_ =
                path_ + ": " + riffWhy + " nor any other audio format this program reads (" + sfWhy + ")";
        else
            lastError_ = path_ + ": cannot decode this WAV file (" + declared + "): " + sfWhy;
        return false;
    }
    const SF_INFO& si = c->sfInfo;
    // Below 1000 Hz no keyed tone fits, and a tiny file would swell to
    // hours of samples; above 1 MHz no recorder writes.
    if (si.channels < 1 || si.channels > 1024 || si.samplerate < 1000 || si.samplerate > 1000000) {
        lastError_ = path_ + ": unusable audio format (" + std::to_string(si.channels) + " channels, " +
                     std::to_string(si.samplerate) + " Hz)";
        return false;
    }
    c->frames.resize(kChunkFrames * static_cast<size_t>(si.channels));
    c->mono.resize(kChunkFrames);
    if (si.samplerate != kRate) {
        soxr_error_t err = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        c->soxr = soxr_create(si.samplerate, kRate, 1, &err, &io, &q, nullptr);
        if (!c->soxr || err) {
            lastError_ = path_ + ": cannot resample from " + std::to_string(si.samplerate) + " Hz";
            return false;
        }
        c->out.resize(kChunkFrames * kRate / static_cast<size_t>(si.samplerate) + 256);
    }
    const std::string sub = SubName(si.format);
    const std::string major = MajorName(si.format);
    info_.format = (sub.empty() || major == "mp3") ? major : major + " " + sub;
    info_.sampleRate = si.samplerate;
    info_.channels = si.channels;
    info_.seconds = si.frames > 0 ? static_cast<double>(si.frames) / si.samplerate : 0.0;
    info_.native = false;
    conv_ = std::move(c);
    return true;
}

size_t TAudioFileReader::ReadNative(int16_t* dst, size_t n) {
    bytes_.resize(n * 2);
    const size_t got = ReadBytes(bytes_.data(), n * 2);
    if (got < n * 2) {
        std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got), bytes_.end(), 0);
        ended_ = true;
    }
    // Samples are little-endian in the file whatever the host order is; an
    // odd last byte is the low half of a sample.
    const size_t samples = (got + 1) / 2;
    for (size_t i = 0; i < samples; ++i)
        dst[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8)));
    return samples;
}

size_t TAudioFileReader::Read(int16_t* dst, size_t n) {
    if (!file_ || n == 0)
        return 0;
    if (!conv_)
        return ReadNative(dst, n);
    Converter& c = *conv_;
    size_t done = 0;
    while (done < n) {
        if (c.queuePos == c.queue.size()) {
            if (c.flushed)
                break;
            if (!c.Fill()) {
                // Part decoded, then broken off: what came is kept and the
                // file called short; nothing decoded at all is a failure.
                if (c.framesRead > 0)
                    shortData_ = true;
                else
                    lastError_ = "cannot decode " + path_ + ": " + sf_strerror(c.sf);
                c.inputDone = c.flushed = true;
                break;
            }
            continue;
        }
        const size_t take = std::min(n - done, c.queue.size() - c.queuePos);
        std::copy_n(c.queue.begin() + static_cast<std::ptrdiff_t>(c.queuePos), take, dst + done);
        c.queuePos += take;
        done += take;
    }
    if (done < n) {
        ended_ = true;
        if (c.sfInfo.frames > 0 && c.framesRead < c.sfInfo.frames &&
            (c.sfInfo.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG)
            shortData_ = true;
    }
    return done;
}

bool TAudioFileReader::Rewind() {
    if (!file_)
        return false;
    ended_ = false;
    if (!conv_)
        return fseeko(file_, static_cast<off_t>(dataStart_), SEEK_SET) == 0;
    return OpenConverted("", "");
}
