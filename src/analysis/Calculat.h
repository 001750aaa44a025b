#pragma once
// The keying analyser: turns key transitions, or a keyed tone in blocks of
// 8000 Hz samples, into timed marks and spaces; classifies them against
// thresholds derived from the target speed; assembles each character's
// pattern; measures speeds; keeps the last 512 characters with their timing
// and feeds the timing statistics.
//
// Durations are whole milliseconds, speeds characters per minute (CpM).
// Everything runs on one thread; nothing allocates while keying.

#include "analysis/CalcOwner.h"
#include "analysis/CharRecord.h"
#include "analysis/sosfilt.h"
#include "devices/Timer.h"
#include "morse/SinusGen.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum class tProcessMode { broad, narrow };
enum class tTimeConstant { fast, medium, slow, off, dual };

class TCalculat {
public:
    static constexpr int kHistorySize = 512;
    static constexpr int kMaxElements = 62;
    static constexpr int kMaxBlock = 1600;
    static constexpr int kMaxDecimated = kMaxBlock / 8;
    // MoveCursor steps that jump to the newest / oldest character.
    static constexpr int32_t kToNewest = 2147483647;
    static constexpr int32_t kToOldest = -2147483647;

    // owner and stats may be null: average length 10, no flash, no mute,
    // nothing reported.
    TCalculat(ITimerFactory& timers, ICalcOwner* owner, ITimingSink* stats);
    ~TCalculat();
    TCalculat(const TCalculat&) = delete;
    TCalculat& operator=(const TCalculat&) = delete;

    // --- Timing properties ---------------------------------------------
    int32_t Tempo() const { return tempo_; }
    // Clamped to 10..300; derives every threshold and timer interval and
    // reloads the filter coefficients.
    void SetTempo(int32_t cpm);
    // Follows an operator's own speed: derives every threshold and timer
    // interval from a dot length (ms, clamped to 20..600) instead of the
    // target speed, leaving the filters and Tempo untouched.
    void FollowDot(int32_t dotMs);
    int32_t DotMs() const { return dotMs_; }
    int32_t DotDashLimit() const { return dotDashLimit_; }
    int32_t ElementSpaceLimit() const { return elementSpaceLimit_; }
    int32_t WordSpaceLimit() const { return wordSpaceLimit_; }
    int32_t GlitchLimit() const { return glitchLimit_; }
    int32_t NominalWordSpace() const { return nominalWordSpace_; }
    int32_t WordTimeout() const { return wordTimeout_; }
    int32_t MuteDelay() const { return muteDelay_; }
    int32_t FlashDelay() const { return flashDelay_; }

    // "Contact Bounce" filter: merge glitches before classification.
    bool NoiseBlank() const { return noiseBlank_; }
    void SetNoiseBlank(bool v) { noiseBlank_ = v; }

    int32_t NewRecTempo() const { return newRecTempo_; }
    uint32_t AvgTempo() const { return avgTempo_; }
    int32_t DotEstimate() const { return dotEstimate_; }

    // --- Signal-chain properties ---------------------------------------
    int32_t CalcSize() const { return calcSize_; }
    void SetCalcSize(int32_t samples);  // clamped to 80..1600
    uint32_t CenterFreq() const { return centerFreq_; }
    void SetCenterFreq(uint32_t hz);  // clamped to 100..4000
    bool DCFilter() const { return dcFilter_; }
    void SetDCFilter(bool v) { dcFilter_ = v; }
    tProcessMode ProcessMode() const { return processMode_; }
    void SetProcessMode(tProcessMode m) { processMode_ = m; }
    int32_t InputScaledB() const { return inputScaledB_; }
    void SetInputScaledB(int32_t db);
    int32_t InputLevel() const { return inputLevel_; }
    void SetInputLevel(int32_t v) { inputLevel_ = v; }  // the meter starts afresh
    uint32_t BandwidthIndex() const { return bandwidthIndex_; }
    void SetBandwidthIndex(uint32_t index);  // 0..3, larger values use 3
    tTimeConstant TimeConstant() const { return timeConstant_; }
    void SetTimeConstant(tTimeConstant t) { timeConstant_ = t; }

    // --- Operations -----------------------------------------------------
    // One key transition: durationMs is the element that just ended (a space
    // when keyDown, a mark when not).
    void KeyTransition(uint32_t durationMs, bool keyDown);
    // One block of CalcSize samples at 8000 Hz.
    void ProcessSamples(const int16_t* samples, uint32_t count);
    void SetPaused(bool paused) { paused_ = paused; }
    bool Paused() const { return paused_; }
    // Drops the character being keyed.
    void ResetElements();
    // Ends the character being keyed now, as the word timeout would (its
    // source stopped in the middle of it).
    void FinishPending() { OnWordTimer(); }
    void ClearHistory();
    void ResetAvgTempo();
    void ClearTimingSums();
    // Adds a record's elements to the timing sums and computes its speed.
    void AccumulateRecord(const CharRecord& rec);
    // Reports a record's elements as "Last Replay" statistics.
    void ShowRecordTiming(const CharRecord& rec);
    // Copies a history record: the newest when not browsing, else the one
    // `back` characters behind the newest (never further back than the cursor).
    void GetCharRecord(uint32_t back, CharRecord& rec) const;
    // As GetCharRecord; a final timeout marker becomes a nominal word space.
    void GetReplayRecord(uint32_t back, CharRecord& rec) const;
    // Moves the history cursor; returns the records moved (negative = older).
    int32_t MoveCursor(int32_t step);

    // --- Read access ----------------------------------------------------
    int32_t PendingCount() const { return pendingCount_; }
    // Element k of the character being keyed (0 = the space before it).
    uint32_t PendingElement(int k) const { return pending_[1 + k]; }
    int32_t HistCount() const { return histCount_; }
    int32_t HistHead() const { return histHead_; }
    int32_t Cursor() const { return cursor_; }
    int32_t CursorBack() const { return cursorBack_; }
    bool Browsing() const { return browsing_; }
    const CharRecord& HistoryRecord(int index) const { return history_[index & (kHistorySize - 1)]; }

    // --- Events ---------------------------------------------------------
    // A character was finished: bl = ended by a word space, en = by timeout.
    std::function<void(uint32_t data, bool bl, bool en)> OnNewPattern;
    std::function<void(uint32_t cpm)> OnNewTempo;
    std::function<void(uint32_t cpm)> OnNewAvgTempo;
    // Per processed block: l values each of envelope, threshold and key traces.
    std::function<void(int l, const int32_t* env, const int32_t* thr, const int32_t* key)>
        OnDataProcessed;

private:
    // 64-bit so that no record, however odd its durations, can overflow them.
    struct Sums {
        int64_t dotSum, dotCount;
        int64_t dashSum, dashCount;
        int64_t elemSum, elemCount;
        int64_t charSum, charCount;
        int64_t wordSum, wordCount;
    };

    void DeriveThresholds();
    void DeriveThresholds(int32_t dotMs);
    void LoadFilters();
    void CharacterEndCheck();
    void MergeGlitches();
    void FinishCharacter();
    void StoreRecord();
    void ComputeTempo();
    void AverageTempo(uint32_t t);
    void OnWordTimer();
    void OnMuteTimer();
    void OnFlashTimer();
    void ProcessBlock(const int16_t* samples, int n);
    void ResolveOnset(uint64_t now, uint64_t blockStart);
    void TimeKeyStates(int spb);
    void Report(TimingKind kind, uint32_t ms);
    void AddToSums(uint32_t mark, uint32_t space);

    ICalcOwner* owner_;
    ITimingSink* stats_;
    std::unique_ptr<ITimer> wordTimer_, muteTimer_, flashTimer_;

    int32_t tempo_ = 60;
    int32_t dotMs_ = 0, dotDashLimit_ = 0, elementSpaceLimit_ = 0, wordSpaceLimit_ = 0;
    int32_t glitchLimit_ = 0, nominalWordSpace_ = 0, wordTimeout_ = 0, muteDelay_ = 0,
            flashDelay_ = 0;
    bool noiseBlank_ = true;

    // Character being keyed: slot 1 + k holds element k.
    CharRecord pending_{};
    int32_t pendingCount_ = 0;
    uint32_t pattern_ = 1;
    uint32_t lastDash_ = 0;
    bool wordSpaceSeen_ = false;
    bool timedOut_ = false;

    Sums sums_{};
    int32_t dotEstimate_ = 0;
    int32_t newRecTempo_ = 0;

    std::array<uint32_t, 100> avgRing_{};
    int32_t avgWrite_ = 0;
    int32_t avgFill_ = 0;
    uint32_t avgTempo_ = 0;

    std::array<CharRecord, kHistorySize> history_{};
    int32_t histHead_ = 0, histCount_ = 0, cursor_ = 0, cursorBack_ = 0;
    bool browsing_ = false;

    // Sample-stream timing.
    uint32_t blockNo_ = 0, lastEdgeBlock_ = 0;
    int32_t lastEdgeIndex_ = 0;
    bool prevKeyState_ = false;

    // Signal chain.
    bool paused_ = false;
    int32_t calcSize_ = 80;
    uint32_t centerFreq_ = 800;
    bool dcFilter_ = true;
    tProcessMode processMode_ = tProcessMode::narrow;
    int32_t inputScaledB_ = 0;
    double gain_ = 1.0;
    int32_t inputLevel_ = 0;
    uint32_t bandwidthIndex_ = 2;
    tTimeConstant timeConstant_ = tTimeConstant::dual;

    TSinusGen osc_;
    std::vector<double> mixCos_, mixSin_;
    std::array<SosSection, 3> broad_{}, firstI_{}, firstQ_{}, secondI_{}, secondQ_{};
    double dcPrevIn_ = 0.0, dcPrevOut_ = 0.0;
    double envAverage_ = 0.0;
    double peak_ = 0.0;
    bool detectorState_ = false;

    // The last kOnsetRing decimated samples, for re-timing a mark's start.
    static constexpr uint64_t kOnsetLag = 32;
    static constexpr size_t kOnsetRing = 64;
    uint64_t msCount_ = 0;
    bool onsetOpen_ = false;
    uint64_t onsetMs_ = 0;
    double onsetMax_ = 0.0;
    std::array<double, kOnsetRing> envRing_{}, thrRing_{};
    std::array<uint8_t, kOnsetRing> stateRing_{};

    std::array<double, kMaxBlock> x_{};
    std::array<double, kMaxDecimated> decI_{}, decQ_{}, envelope_{}, threshold_{};
    std::array<uint8_t, kMaxDecimated> keyStates_{};
    std::array<int32_t, kMaxDecimated> envTrace_{}, thrTrace_{}, keyTrace_{};
    std::array<int16_t, kMaxBlock> padded_{};
};
