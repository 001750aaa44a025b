#pragma once
// The speed side of the analyser: timing sums of marks and spaces by kind,
// the dot length and speed (CpM) they give, and the moving average of the
// speeds of the last characters. Measure gives a record's own speed without
// touching any of it.

#include "analysis/CharRecord.h"
#include "analysis/Thresholds.h"

#include <array>
#include <cstdint>

// A record's own speed: timed = it holds a mark (else no dot length is known).
struct CharSpeed {
    bool timed = false;
    int32_t dotEstimate = 0;  // ms
    uint32_t cpm = 0;         // 0 when the dot length is below 1 ms
};

class SpeedSums {
public:
    void Clear() { sums_ = Sums{}; }
    void Add(ElementKind kind, uint32_t ms, int32_t nominalWordSpace);
    // Every element of a record, marks and spaces pairwise.
    void AddRecord(const CharRecord& rec, const Thresholds& thr);
    // The dot length the sums give (kept when they hold no mark) and its speed.
    uint32_t ComputeTempo();
    // The speed of a record alone.
    static CharSpeed Measure(const CharRecord& rec, const Thresholds& thr);
    // Takes a measured speed as the last character's.
    uint32_t Take(const CharSpeed& s);

    // Adds a speed to the window of the last n (1..100); returns the average.
    uint32_t AverageTempo(uint32_t t, int n);
    void ResetAverage();

    int32_t DotEstimate() const { return dotEstimate_; }
    int32_t NewRecTempo() const { return newRecTempo_; }
    uint32_t AvgTempo() const { return avgTempo_; }

private:
    // 64-bit so that no record, however odd its durations, can overflow them.
    struct Sums {
        int64_t dotSum, dotCount;
        int64_t dashSum, dashCount;
        int64_t elemSum, elemCount;
        int64_t charSum, charCount;
        int64_t wordSum, wordCount;
    };
    CharSpeed Speed() const;

    Sums sums_{};
    int32_t dotEstimate_ = 0;
    int32_t newRecTempo_ = 0;

    std::array<uint32_t, 100> avgRing_{};
    int32_t avgWrite_ = 0;
    int32_t avgFill_ = 0;
    uint32_t avgTempo_ = 0;
};
