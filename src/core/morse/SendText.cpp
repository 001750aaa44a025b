#include "morse/SendText.h"

#include "morse/BatchError.h"
#include "morse/CWout.h"
#include "morse/Cp1252.h"

#include <algorithm>
#include <memory>

namespace orvo {

namespace {

constexpr uint32_t kFramesPerBuffer = 800;  // 100 ms at 8000 Hz

// The Windows-1252 byte of the UTF-8 sequence at s[i] (-1 when there is
// none); len receives its length. Bytes that are not valid UTF-8 are taken
// as Windows-1252 bytes themselves.
int NextChar(const std::string& s, size_t i, size_t& len) {
    char32_t cp;
    len = cp1252::Utf8Sequence(s, i, cp);
    if (len == 0) {
        len = 1;
        return static_cast<unsigned char>(s[i]);
    }
    return cp1252::FromUnicode(cp);
}

}  // namespace

void ConfigureGenerator(TCWout& gen, const SendOptions& opt) {
    gen.SetMinSpeed(20);
    gen.SetSpeed(opt.speed);
    gen.SetWeight(opt.weight);
    gen.SetRatio(opt.ratio);
    gen.SetSlope(opt.slope);
    gen.SetFrequency(opt.freq);
    gen.SetLogAmplitude(opt.level);
    gen.SetStereo(opt.stereo);
    gen.SetTimePttStart(opt.pttStart);
    gen.SetTimePttHold(opt.pttHold);
}

std::string PrepareText(const std::string& utf8, const TCWout& gen, std::vector<std::string>& skipped) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        if (utf8[i] == '<') {
            const size_t close = utf8.find('>', i);
            if (close != std::string::npos && close - i + 1 <= 5) {
                const int32_t idx = gen.ProsignIndexOfText(utf8.substr(i, close - i + 1));
                if (idx > 0) {
                    out += TCWout::ProsignChar(idx);
                    i = close + 1;
                    continue;
                }
            }
        }
        size_t len = 1;
        const int c = NextChar(utf8, i, len);
        if (c > 0 && gen.IsSendable(static_cast<char>(c)))
            out += static_cast<char>(c);
        else
            skipped.push_back(utf8.substr(i, len));
        i += len;
    }
    return out;
}

bool GenerateMorse(const std::string& cp1252, const SendOptions& opt, const SampleSink& sink) {
    auto gen = std::make_unique<TCWout>();
    ConfigureGenerator(*gen, opt);

    size_t next = 0;  // next character of the text to queue
    bool lastSent = false;
    bool done = false;
    gen->OnLastChar = [&] {
        if (next == cp1252.size())
            lastSent = true;
    };
    gen->OnPttChanged = [&](bool on) {
        if (!on && lastSent)
            done = true;
    };
    const uint32_t channels = opt.stereo ? 2 : 1;
    std::vector<int16_t> buf(kFramesPerBuffer * channels);

    // Bound on the buffers: generous for the longest character at this speed.
    const uint64_t dot = static_cast<uint64_t>(std::max(gen->DotSamples(), 1));
    const uint64_t maxSamples = dot * (40 * cp1252.size() + 40) +
                                8ull * (static_cast<uint64_t>(std::max(opt.pttStart, 0)) +
                                        static_cast<uint64_t>(std::max(opt.pttHold, 0))) +
                                16000;
    const uint64_t maxBuffers = maxSamples / kFramesPerBuffer + 10;

    gen->Start();
    if (cp1252.empty())
        return true;
    for (uint64_t n = 0; !done; ++n) {
        if (n >= maxBuffers)
            throw BatchError("the generator did not finish sending");
        while (next < cp1252.size() && gen->PutChar(cp1252[next]))
            ++next;
        gen->FillTextSamples(buf.data(), static_cast<uint32_t>(buf.size() * 2));
        if (!sink(buf.data(), buf.size()))
            return false;
    }
    return true;
}

std::vector<int16_t> SynthesizeMorse(const std::string& utf8, const SendOptions& opt,
                                     std::vector<std::string>* skipped) {
    TCWout gen;
    ConfigureGenerator(gen, opt);
    std::vector<std::string> dropped;
    const std::string text = PrepareText(utf8, gen, dropped);
    if (skipped)
        *skipped = dropped;
    std::vector<int16_t> out;
    GenerateMorse(text, opt, [&](const int16_t* s, size_t n) {
        out.insert(out.end(), s, s + n);
        return true;
    });
    return out;
}

}  // namespace orvo
