#pragma once
// Drives a TCWout over whole output buffers and logs every event with the
// sample position at which it fired.

#include "morse/CWout.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

struct CwEvent {
    int64_t pos;       // sample (or frame) slot being processed when it fired
    std::string name;  // "ptt", "start", "sent", "last", "pstart", "plast", "pend", "run", "stop"
    int arg;
};

class CwHarness {
public:
    static constexpr int16_t kUnwritten = std::numeric_limits<int16_t>::min();

    TCWout cw;
    std::vector<int16_t> out;  // the Morse channel (mono, or the Morse side of stereo)
    std::vector<int16_t> other;  // stereo: the other channel
    std::vector<CwEvent> ev;
    std::vector<uint32_t> states;  // MState after each call when filling one sample per call

    CwHarness() {
        cw.OnPttChanged = [this](bool on) { Log("ptt", on); };
        cw.OnCharStart = [this](char c) { Log("start", static_cast<uint8_t>(c)); };
        cw.OnCharSent = [this](char c) { Log("sent", static_cast<uint8_t>(c)); };
        cw.OnLastChar = [this] { Log("last", 0); };
        cw.OnStart = [this] { Log("run", 0); };
        cw.OnStop = [this] { Log("stop", 0); };
        cw.OnPatternStart = [this](char c) { Log("pstart", static_cast<uint8_t>(c)); };
        cw.OnPatternLastSpace = [this] { Log("plast", 0); };
        cw.OnPatternEnd = [this] { Log("pend", 0); };
    }

    // Fills `count` buffers of `frames` slots each; text or replay machine.
    void Run(int count, uint32_t frames = 800, bool pattern = false) {
        const bool st = cw.Stereo();
        const uint32_t ch = st ? 2 : 1;
        std::vector<int16_t> buf(frames * ch);
        for (int b = 0; b < count; ++b) {
            std::fill(buf.begin(), buf.end(), kUnwritten);
            cur_ = buf.data();
            curFrames_ = frames;
            stride_ = ch;
            // Text stereo fills the whole left side first; the Morse goes right.
            morseOff_ = (st && !pattern) ? 1 : 0;
            const uint32_t bytes = frames * ch * 2;
            if (pattern)
                cw.FillPatternSamples(buf.data(), bytes);
            else
                cw.FillTextSamples(buf.data(), bytes);
            cur_ = nullptr;
            for (uint32_t i = 0; i < frames; ++i) {
                out.push_back(buf[i * ch + morseOff_]);
                if (st) other.push_back(buf[i * ch + 1 - morseOff_]);
            }
            base_ += frames;
        }
    }

    // One slot per call, recording the state each slot was played in.
    void RunSlots(int n, bool pattern) {
        for (int i = 0; i < n; ++i) {
            Run(1, 1, pattern);
            states.push_back(cw.MState());
        }
    }

    int64_t Pos() const { return base_ + SlotInBuffer(); }

    std::vector<CwEvent> Named(const std::string& name) const {
        std::vector<CwEvent> r;
        for (const auto& e : ev)
            if (e.name == name) r.push_back(e);
        return r;
    }
    std::string Order() const {
        std::string s;
        for (const auto& e : ev) s += e.name + " ";
        return s;
    }

private:
    void Log(const char* name, int arg) { ev.push_back({Pos(), name, arg}); }
    int64_t SlotInBuffer() const {
        if (cur_ == nullptr) return 0;
        for (uint32_t i = 0; i < curFrames_; ++i)
            if (cur_[i * stride_ + morseOff_] == kUnwritten) return i;
        return curFrames_;
    }

    int16_t* cur_ = nullptr;
    uint32_t curFrames_ = 0, stride_ = 1, morseOff_ = 0;
    int64_t base_ = 0;
};

// Run-length summary of a state log: {state, length} pairs.
inline std::vector<std::pair<uint32_t, int>> Runs(const std::vector<uint32_t>& s) {
    std::vector<std::pair<uint32_t, int>> r;
    for (uint32_t v : s) {
        if (!r.empty() && r.back().first == v)
            ++r.back().second;
        else
            r.push_back({v, 1});
    }
    return r;
}
