#pragma once
// What the analyser needs from its owner and from the timing statistics.

#include <cstdint>

// The owner (the main window, or the command-line tool).
class IAnalyserOwner {
public:
    virtual ~IAnalyserOwner() = default;
    // Length of the moving speed average: 10, 20, 50 or 100 characters.
    virtual int AverageLength() const = 0;
    // The "Flash for WordSpace" option.
    virtual bool FlashForWordSpace() const = 0;
    // Paint the keying display black for 50 ms, then redraw it.
    virtual void FlashKeyingDisplay() = 0;
    // The key was held for 20 dots: silence the sound output.
    virtual void MuteOutput() = 0;
};

enum class TimingKind { Dot, Dash, LastDash, ElementSpace, CharSpace, WordSpace };

// Receiver of the per-element timing values (the statistics bookkeeping).
class ITimingSink {
public:
    virtual ~ITimingSink() = default;
    virtual void AddCurrentValue(TimingKind kind, int32_t ms) = 0;
    virtual void AddReplayValue(TimingKind kind, int32_t ms) = 0;
    virtual void UpdateDisplay() = 0;
};
