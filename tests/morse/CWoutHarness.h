#pragma once
// Drives a TCWout over whole output buffers and logs every event with the
// sample position at which it fired.

#include "morse/CWout.h"

#include <gtest/gtest.h>

#include <cmath>
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
    std::vector<int16_t> out;    // the Morse channel (mono, or the Morse side of stereo)
    std::vector<int16_t> other;  // stereo: the other channel
    std::vector<CwEvent> ev;
    std::vector<uint32_t> states;  // MState after each slot, from RunSlots

    CwHarness() {
        cw.OnPttChanged = [this](bool on) { Log(on ? "ptt+" : "ptt-", 0); };
        cw.OnCharStart = [this](char c) { Log("start", c); };
        cw.OnCharSent = [this](char c) { Log("sent", c); };
        cw.OnLastChar = [this] { Log("last", 0); };
        cw.OnStart = [this] { Log("run", 0); };
        cw.OnStop = [this] { Log("stop", 0); };
        cw.OnPatternStart = [this](char c) { Log("pstart", c); };
        cw.OnPatternLastSpace = [this] { Log("plast", 0); };
        cw.OnPatternEnd = [this] { Log("pend", 0); };
    }

    // Fills `count` buffers of `frames` slots each; text or replay machine.
    void Run(int count, uint32_t frames = 800, bool pattern = false) {
        const uint32_t ch = cw.Stereo() ? 2 : 1;
        std::vector<int16_t> buf(frames * ch);
        for (int b = 0; b < count; ++b) {
            std::fill(buf.begin(), buf.end(), kUnwritten);
            cur_ = buf.data();
            curFrames_ = frames;
            stride_ = ch;
            morseOff_ = (ch == 2 && !pattern) ? 1 : 0;  // text stereo: Morse right, filled after the left
            (cw.*(pattern ? &TCWout::FillPatternSamples : &TCWout::FillTextSamples))(buf.data(),
                                                                                     frames * ch * 2);
            cur_ = nullptr;
            for (uint32_t i = 0; i < frames; ++i) {
                out.push_back(buf[i * ch + morseOff_]);
                if (ch == 2)
                    other.push_back(buf[i * ch + 1 - morseOff_]);
            }
            base_ += frames;
        }
    }
    // Starts the generator, queues the text and fills `count` text buffers.
    void Send(const std::string& text, int count) {
        cw.Start();
        for (char c : text)
            cw.PutChar(c);
        Run(count);
    }
    // One slot per call, recording the state each slot was played in.
    void RunSlots(int n, bool pattern) {
        for (int i = 0; i < n; ++i)
            Run(1, 1, pattern), states.push_back(cw.MState());
    }

    std::vector<CwEvent> Named(const std::string& name) const {
        std::vector<CwEvent> r;
        std::copy_if(ev.begin(), ev.end(), std::back_inserter(r),
                     [&](const CwEvent& e) { return e.name == name; });
        return r;
    }
    std::string Order() const {
        std::string s;
        for (const auto& e : ev)
            s += e.name + " ";
        return s;
    }
    // The events in order as "name@pos", a character argument as "name:c@pos".
    std::string Timeline() const {
        std::string s;
        for (const auto& e : ev)
            s += e.name + (e.arg ? std::string(":") + char(e.arg) : "") + "@" + std::to_string(e.pos) + " ";
        return s;
    }

private:
    void Log(const char* name, char arg) { ev.push_back({base_ + SlotInBuffer(), name, arg}); }
    int64_t SlotInBuffer() const {
        if (cur_ == nullptr)
            return 0;
        for (uint32_t i = 0; i < curFrames_; ++i)
            if (cur_[i * stride_ + morseOff_] == kUnwritten)
                return i;
        return curFrames_;
    }

    int16_t* cur_ = nullptr;
    uint32_t curFrames_ = 0, stride_ = 1, morseOff_ = 0;
    int64_t base_ = 0;
};

// The tone at `hz` at sample i, full scale 1.
inline double Wave(int hz, int64_t i) {
    return std::sin(6.283185307179586 * double((hz * i) % 8000) / 8000.0);
}

// Every sample of s in [from, to) within 1 of f(i).
template <class F>
void ExpectSamples(const std::vector<int16_t>& s, int64_t from, int64_t to, F f) {
    for (int64_t i = from; i < to; ++i)
        ASSERT_NEAR(s.at(i), f(i), 1.01) << "sample " << i;
}

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
