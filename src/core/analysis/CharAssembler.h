#pragma once
// Character assembly: the marks and spaces of the character being keyed,
// when it ends (a space of two dots before the next mark, the timeout, or 62
// elements), contact-bounce glitches merged away, and the finished
// character's pattern and record. Each classified element goes to the timing
// statistics as it is finished.

#include "analysis/AnalyserOwner.h"
#include "analysis/CharRecord.h"
#include "analysis/Thresholds.h"

#include <cstdint>

class CharAssembler {
public:
    static constexpr int kMaxElements = 62;

    // thr is read at every step, so it follows the analyser's speed; stats
    // may be null.
    CharAssembler(const Thresholds& thr, ITimingSink* stats) : thr_(thr), stats_(stats) {}

    bool NoiseBlank() const { return noiseBlank_; }
    void SetNoiseBlank(bool v) { noiseBlank_ = v; }

    // Stores the element that just ended (a space when a mark begins, else a
    // mark). Returns true when it finished a character.
    bool Add(uint32_t ms);
    // No keying followed: finishes a character whose last mark has ended.
    // Returns true when there was one.
    bool TimeOut();
    // Drops the character being keyed.
    void Reset();
    // Zeroes the live record, the count kept.
    void ClearLive() { pending_.fill(0); }

    int32_t Count() const { return count_; }
    bool InMark() const { return (count_ & 1) != 0; }
    // Element k of the character being keyed (0 = the space before it).
    uint32_t Element(int k) const { return pending_[1 + k]; }

    // The character just finished: its record (all slots), pattern, and
    // whether a measured word space (bl) or the timeout (en) ended it.
    const CharRecord& Record() const { return pending_; }
    uint32_t Pattern() const { return pattern_; }
    bool WordSpaceSeen() const { return wordSpaceSeen_; }
    bool TimedOut() const { return timedOut_; }

private:
    bool EndCheck();
    void MergeGlitches();
    bool Finish();
    void Report(TimingKind kind, uint32_t ms);

    const Thresholds& thr_;
    ITimingSink* stats_;
    bool noiseBlank_ = true;

    // Slot 1 + k holds element k.
    CharRecord pending_{};
    int32_t count_ = 0;
    uint32_t pattern_ = 1;
    bool wordSpaceSeen_ = false;
    bool timedOut_ = false;
};
