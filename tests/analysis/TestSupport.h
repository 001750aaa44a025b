#pragma once
// Shared fakes and signal helpers for the analysis tests.

#include "analysis/Calculat.h"
#include "devices/ManualClock.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <tuple>
#include <vector>

struct FakeOwner : ICalcOwner {
    int averageLength = 10;
    bool flash = false;
    int flashes = 0;
    int mutes = 0;
    int AverageLength() const override { return averageLength; }
    bool FlashForWordSpace() const override { return flash; }
    void FlashKeyingDisplay() override { ++flashes; }
    void MuteOutput() override { ++mutes; }
};

struct RecordingSink : ITimingSink {
    std::vector<std::pair<TimingKind, int32_t>> current, replay;
    int updates = 0;
    void AddCurrentValue(TimingKind k, int32_t ms) override { current.emplace_back(k, ms); }
    void AddReplayValue(TimingKind k, int32_t ms) override { replay.emplace_back(k, ms); }
    void UpdateDisplay() override { ++updates; }
};

struct PatternEvent {
    uint32_t data;
    bool bl, en;
    bool operator==(const PatternEvent&) const = default;
};

// An analyser at 60 CpM (dot 100 ms) that records its events.
struct Analyser {
    ManualClock clock;
    FakeOwner owner;
    RecordingSink sink;
    std::unique_ptr<TCalculat> calc;
    std::vector<PatternEvent> patterns;
    std::vector<uint32_t> tempos, avgTempos;

    explicit Analyser(int32_t tempo = 60) {
        calc = std::make_unique<TCalculat>(clock, &owner, &sink);
        calc->SetTempo(tempo);
        calc->OnNewPattern = [this](uint32_t d, bool bl, bool en) { patterns.push_back({d, bl, en}); };
        calc->OnNewTempo = [this](uint32_t t) { tempos.push_back(t); };
        calc->OnNewAvgTempo = [this](uint32_t t) { avgTempos.push_back(t); };
    }

    // Keys alternating mark/space lengths, starting with a key-down after
    // `before` ms of silence; the clock follows so timers behave as live.
    void Key(std::initializer_list<uint32_t> marksAndSpaces, uint32_t before = 1000) {
        calc->KeyTransition(before, true);
        Then(marksAndSpaces);
    }

    // Continues keying while the key is down: alternating mark/space lengths
    // starting with a key-up.
    void Then(std::initializer_list<uint32_t> marksAndSpaces) {
        bool down = true;
        for (uint32_t ms : marksAndSpaces) {
            clock.Advance(ms);
            down = !down;
            calc->KeyTransition(ms, down);
        }
    }

    CharRecord Newest() const {
        CharRecord rec{};
        calc->GetCharRecord(0, rec);
        return rec;
    }
};

// Samples at 8000 Hz of a sine tone keyed on and off by a list of
// alternating on/off lengths in ms (starting with "on").
inline std::vector<int16_t> KeyedTone(double hz, double amplitude,
                                      const std::vector<uint32_t>& onOffMs) {
    std::vector<int16_t> out;
    bool on = true;
    for (uint32_t ms : onOffMs) {
        for (uint32_t i = 0; i < ms * 8; ++i) {
            const double t = static_cast<double>(out.size()) / 8000.0;
            out.push_back(on ? static_cast<int16_t>(std::lround(
                                   amplitude * std::sin(2.0 * std::numbers::pi * hz * t)))
                             : int16_t{0});
        }
        on = !on;
    }
    return out;
}

// Feeds samples block by block (the tail padded with silence).
inline void Feed(TCalculat& calc, const std::vector<int16_t>& samples) {
    const size_t size = static_cast<size_t>(calc.CalcSize());
    std::vector<int16_t> block(size);
    for (size_t pos = 0; pos < samples.size(); pos += size) {
        std::fill(block.begin(), block.end(), int16_t{0});
        std::copy(samples.begin() + pos, samples.begin() + std::min(pos + size, samples.size()),
                  block.begin());
        calc.ProcessSamples(block.data(), static_cast<uint32_t>(size));
    }
}
