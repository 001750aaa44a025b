#pragma once
// Shared fakes and signal helpers for the analysis tests.

#include "analysis/Analyser.h"
#include "devices/ManualClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

struct FakeOwner : IAnalyserOwner {
    int averageLength = 10, flashes = 0, mutes = 0;
    bool flash = false;
    int AverageLength() const override { return averageLength; }
    bool FlashForWordSpace() const override { return flash; }
    void FlashKeyingDisplay() override { ++flashes; }
    void MuteOutput() override { ++mutes; }
};

using TimingLog = std::vector<std::pair<TimingKind, int32_t>>;
struct RecordingSink : ITimingSink {
    TimingLog current, replay;
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

inline void LogPatterns(TAnalyser& c, std::vector<PatternEvent>& log) {
    c.OnNewPattern = [&log](uint32_t d, bool bl, bool en) { log.push_back({d, bl, en}); };
}

// The first n slots of a record (pattern, count, elements...).
inline std::vector<uint32_t> Slots(const CharRecord& r, size_t n) { return {r.begin(), r.begin() + n}; }

// An analyser (default 60 CpM, dot 100 ms) that records its events.
struct Analyser {
    ManualClock clock;
    FakeOwner owner;
    RecordingSink sink;
    std::unique_ptr<TAnalyser> calc;
    std::vector<PatternEvent> patterns;
    std::vector<uint32_t> tempos, avgTempos;

    explicit Analyser(int32_t tempo = 60) : calc(std::make_unique<TAnalyser>(clock, &owner, &sink)) {
        calc->SetTempo(tempo);
        LogPatterns(*calc, patterns);
        calc->OnNewTempo = [this](uint32_t t) { tempos.push_back(t); };
        calc->OnNewAvgTempo = [this](uint32_t t) { avgTempos.push_back(t); };
    }

    // A key-down after `before` ms of silence, then alternating mark/space lengths.
    void Key(std::initializer_list<uint32_t> marksAndSpaces, uint32_t before = 1000) {
        calc->KeyTransition(before, true);
        Then(marksAndSpaces);
    }
    // Alternating mark/space lengths while the key is down; the clock follows
    // so the timers behave as live.
    void Then(std::initializer_list<uint32_t> marksAndSpaces) {
        bool down = true;
        for (uint32_t ms : marksAndSpaces) {
            clock.Advance(ms);
            calc->KeyTransition(ms, down = !down);
        }
    }
    // Advances to 1 ms before `ms` expecting count() unchanged, then by the last ms expecting one more.
    template <class Count>
    void FiresAfter(uint32_t ms, Count count) {
        const auto was = count();
        clock.Advance(ms - 1);
        EXPECT_EQ(count(), was) << ms;
        clock.Advance(1);
        EXPECT_EQ(count(), was + 1) << ms;
    }
    const CharRecord& Record(int back = 0) const { return calc->HistoryRecord(calc->HistHead() - back); }
};

// 8000 Hz samples of a sine tone keyed by alternating on/off lengths in ms.
inline std::vector<int16_t> KeyedTone(double hz, double amplitude, const std::vector<uint32_t>& onOffMs) {
    std::vector<int16_t> out;
    bool on = true;
    for (uint32_t ms : onOffMs) {
        for (uint32_t i = 0; i < ms * 8; ++i)
            out.push_back(on ? static_cast<int16_t>(std::lround(
                                   amplitude * std::sin(2.0 * std::numbers::pi * hz * out.size() / 8000.0)))
                             : int16_t{0});
        on = !on;
    }
    return out;
}

// Feeds samples block by block, the tail padded with silence.
inline void Feed(TAnalyser& calc, std::vector<int16_t> samples) {
    const size_t size = static_cast<size_t>(calc.CalcSize());
    samples.resize((samples.size() + size - 1) / size * size, 0);
    for (size_t pos = 0; pos < samples.size(); pos += size)
        calc.ProcessSamples(samples.data() + pos, static_cast<uint32_t>(size));
}
