#pragma once
// The keying analyser: turns key transitions, or a keyed tone in blocks of
// 8000 Hz samples, into timed marks and spaces; classifies them against
// thresholds derived from the target speed; assembles each character's
// pattern; measures speeds; keeps the last 512 characters with their timing
// and feeds the timing statistics.
//
// It owns the timers and the element timing of both inputs and composes the
// parts that do the work: the tone detector (ToneDetector), character
// assembly (CharAssembler), the history (CharHistory) and the speed sums
// (SpeedSums), all judged by one set of Thresholds. Samples may instead key
// it through the robust detector (for noisy signals); the tone detector then
// still runs, for the level meter.
//
// Durations are whole milliseconds, speeds characters per minute (CpM).
// Everything runs on one thread; nothing allocates while keying.

#include "analysis/AnalyserOwner.h"
#include "analysis/CharAssembler.h"
#include "analysis/CharHistory.h"
#include "analysis/CharRecord.h"
#include "analysis/KeyEdgeSink.h"
#include "analysis/RobustDetector.h"
#include "analysis/SpeedSums.h"
#include "analysis/Thresholds.h"
#include "analysis/ToneDetector.h"
#include "devices/Timer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class TAnalyser : public IKeyEdgeSink {
public:
    static constexpr int kHistorySize = CharHistory::kSize;
    static constexpr int kMaxElements = CharAssembler::kMaxElements;
    static constexpr int kMaxBlock = ToneDetector::kMaxBlock;
    static constexpr int kMaxDecimated = ToneDetector::kMaxDecimated;
    // MoveCursor steps that jump to the newest / oldest character.
    static constexpr int32_t kToNewest = CharHistory::kToNewest;
    static constexpr int32_t kToOldest = CharHistory::kToOldest;

    // owner and stats may be null: average length 10, no flash, no mute,
    // nothing reported.
    TAnalyser(ITimerFactory& timers, IAnalyserOwner* owner, ITimingSink* stats);
    ~TAnalyser() override;
    TAnalyser(const TAnalyser&) = delete;
    TAnalyser& operator=(const TAnalyser&) = delete;

    // --- Timing properties ---------------------------------------------
    int32_t Tempo() const { return tempo_; }
    // Clamped to 10..300; derives every threshold and timer interval and
    // reloads the filter coefficients.
    void SetTempo(int32_t cpm);
    // Follows an operator's own speed: derives every threshold and timer
    // interval from a dot length (ms, clamped to 20..600) instead of the
    // target speed, leaving the filters and Tempo untouched.
    void FollowDot(int32_t dotMs);
    const Thresholds& Limits() const { return thr_; }
    int32_t DotMs() const { return thr_.dotMs; }
    int32_t DotDashLimit() const { return thr_.dotDashLimit; }
    int32_t ElementSpaceLimit() const { return thr_.elementSpaceLimit; }
    int32_t WordSpaceLimit() const { return thr_.wordSpaceLimit; }
    int32_t GlitchLimit() const { return thr_.glitchLimit; }
    int32_t NominalWordSpace() const { return thr_.nominalWordSpace; }
    int32_t WordTimeout() const { return thr_.wordTimeout; }
    int32_t MuteDelay() const { return thr_.muteDelay; }
    int32_t FlashDelay() const { return thr_.flashDelay; }

    // "Contact Bounce" filter: merge glitches before classification.
    bool NoiseBlank() const { return assembler_.NoiseBlank(); }
    void SetNoiseBlank(bool v) { assembler_.SetNoiseBlank(v); }

    int32_t NewRecTempo() const { return speed_.NewRecTempo(); }
    uint32_t AvgTempo() const { return speed_.AvgTempo(); }
    int32_t DotEstimate() const { return speed_.DotEstimate(); }

    // --- Signal-chain properties ---------------------------------------
    int32_t CalcSize() const { return calcSize_; }
    void SetCalcSize(int32_t samples);  // clamped to 80..1600
    uint32_t CenterFreq() const { return detector_.CenterFreq(); }
    void SetCenterFreq(uint32_t hz) {  // clamped to 100..4000
        detector_.SetCenterFreq(hz);
        RenewRobust();
    }
    bool DCFilter() const { return detector_.DCFilter(); }
    void SetDCFilter(bool v) { detector_.SetDCFilter(v); }
    tProcessMode ProcessMode() const { return detector_.ProcessMode(); }
    void SetProcessMode(tProcessMode m) {
        detector_.SetProcessMode(m);
        RenewRobust();
    }
    int32_t InputScaledB() const { return detector_.InputScaledB(); }
    void SetInputScaledB(int32_t db) { detector_.SetInputScaledB(db); }
    int32_t InputLevel() const { return detector_.InputLevel(); }
    void SetInputLevel(int32_t v) { detector_.SetInputLevel(v); }  // the meter starts afresh
    uint32_t BandwidthIndex() const { return detector_.BandwidthIndex(); }
    void SetBandwidthIndex(uint32_t index) {  // 0..3, larger use 3
        detector_.SetBandwidthIndex(index);
        RenewRobust();
    }
    // Samples key the analyser through the robust detector (matched to the
    // target speed, in the band the tone detector listens to) instead of
    // the tone detector; the scope's traces then show its level.
    bool Robust() const { return robust_ != nullptr; }
    void SetRobust(bool on);
    tTimeConstant TimeConstant() const { return detector_.TimeConstant(); }
    void SetTimeConstant(tTimeConstant t) { detector_.SetTimeConstant(t); }

    // --- Operations -----------------------------------------------------
    // One key transition: durationMs is the element that just ended (a space
    // when keyDown, a mark when not).
    void KeyTransition(uint32_t durationMs, bool keyDown);
    // One block of CalcSize samples at 8000 Hz.
    void ProcessSamples(const int16_t* samples, uint32_t count);
    // Key edges in ms of the signal (the tone detector's): the elements are
    // timed, and the word timeout kept, in the signal's own time.
    void KeyEdge(double ms, bool down) override;
    void KeyTime(double ms) override;
    void SetPaused(bool paused) { paused_ = paused; }
    bool Paused() const { return paused_; }
    // Drops the character being keyed.
    void ResetElements() { assembler_.Reset(); }
    // Ends the character being keyed now, as the word timeout would (its
    // source stopped in the middle of it).
    void FinishPending() { OnWordTimer(); }
    void ClearHistory();
    void ResetAvgTempo();
    void ClearTimingSums() { speed_.Clear(); }
    // Adds a record's elements to the timing sums and computes its speed.
    void AccumulateRecord(const CharRecord& rec);
    // A record's own speed at the thresholds in force; changes nothing.
    CharSpeed MeasureRecord(const CharRecord& rec) const { return SpeedSums::Measure(rec, thr_); }
    // Reports a record's elements as "Last Replay" statistics.
    void ShowRecordTiming(const CharRecord& rec);
    // Copies a history record: the newest when not browsing, else the one
    // `back` characters behind the newest (never further back than the cursor).
    void GetCharRecord(uint32_t back, CharRecord& rec) const { history_.Get(back, rec); }
    // As GetCharRecord; a final timeout marker becomes a nominal word space.
    void GetReplayRecord(uint32_t back, CharRecord& rec) const;
    // Moves the history cursor; returns the records moved (negative = older).
    int32_t MoveCursor(int32_t step) { return history_.MoveCursor(step); }

    // --- Read access ----------------------------------------------------
    int32_t PendingCount() const { return assembler_.Count(); }
    // Element k of the character being keyed (0 = the space before it).
    uint32_t PendingElement(int k) const { return assembler_.Element(k); }
    int32_t HistCount() const { return history_.Count(); }
    int32_t HistHead() const { return history_.Head(); }
    int32_t Cursor() const { return history_.Cursor(); }
    int32_t CursorBack() const { return history_.CursorBack(); }
    bool Browsing() const { return history_.Browsing(); }
    const CharRecord& HistoryRecord(int index) const { return history_.Record(index); }

    // --- Events ---------------------------------------------------------
    // A character was finished: bl = ended by a word space, en = by timeout.
    std::function<void(uint32_t data, bool bl, bool en)> OnNewPattern;
    std::function<void(uint32_t cpm)> OnNewTempo;
    std::function<void(uint32_t cpm)> OnNewAvgTempo;
    // A key edge of the signal taken as a transition, in ms of the signal.
    std::function<void(double ms, bool down)> OnKeyEdge;
    // Per processed block: l values each of envelope, threshold and key traces.
    std::function<void(int l, const int32_t* env, const int32_t* thr, const int32_t* key)> OnDataProcessed;

private:
    void SetThresholds(int32_t dotMs);
    void CharacterFinished();
    void OnWordTimer();
    void OnMuteTimer();
    void OnFlashTimer();
    void ProcessBlock(const int16_t* samples, int n);
    void RenewRobust();
    void RobustTraces(int spb);

    // The robust detector's edges, moved onto the tone detector's time.
    struct RobustEdges : IKeyEdgeSink {
        explicit RobustEdges(TAnalyser& c) : calc(c) {}
        void KeyEdge(double ms, bool down) override { calc.KeyEdge(ms + offsetMs, down); }
        void KeyTime(double ms) override { calc.KeyTime(ms + offsetMs); }
        TAnalyser& calc;
        double offsetMs = 0;
    };
    void SignalTimeout(int64_t ms);
    int64_t SignalElapsed(int64_t ms) const;

    IAnalyserOwner* owner_;
    ITimingSink* stats_;
    std::unique_ptr<ITimer> wordTimer_, muteTimer_, flashTimer_;

    int32_t tempo_ = 60;
    Thresholds thr_{};
    CharAssembler assembler_;
    CharHistory history_;
    SpeedSums speed_;
    ToneDetector detector_;
    std::unique_ptr<TRobustDetector> robust_;
    RobustEdges robustEdges_{*this};
    std::array<int32_t, kMaxDecimated> robustEnv_{}, robustThr_{}, robustKey_{};

    // Element timing in the signal's time: the last edge taken, in ms.
    int64_t lastEdgeMs_ = 0;

    bool paused_ = false;
    int32_t calcSize_ = 80;
    std::array<int16_t, kMaxBlock> padded_{};
};
