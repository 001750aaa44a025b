#pragma once
// The analyser's tone detector: blocks of 8000 Hz samples through gain, DC
// filter, the broadband rectifier or the narrowband quadrature mixer with its
// two low-pass stages, to an envelope at 1000 Hz, an adaptive threshold and
// one key state per millisecond. It measures the input level, keeps three
// scope traces per block and hands the key's edges on.

#include "analysis/KeyEdgeSink.h"
#include "analysis/SosFilter.h"
#include "morse/SinusGen.h"

#include <array>
#include <cstdint>
#include <vector>

enum class tProcessMode { broad, narrow };
enum class tTimeConstant { fast, medium, slow, off, dual };

class ToneDetector {
public:
    static constexpr int kMaxBlock = 1600;
    static constexpr int kMaxDecimated = kMaxBlock / 8;

    ToneDetector();

    uint32_t CenterFreq() const { return centerFreq_; }
    void SetCenterFreq(uint32_t hz);  // clamped to 100..4000
    bool DCFilter() const { return dcFilter_; }
    void SetDCFilter(bool v) { dcFilter_ = v; }
    tProcessMode ProcessMode() const { return processMode_; }
    void SetProcessMode(tProcessMode m) { processMode_ = m; }
    int32_t InputScaledB() const { return inputScaledB_; }
    void SetInputScaledB(int32_t db);
    int32_t InputLevel() const { return inputLevel_; }
    // ms of signal processed so far.
    uint64_t ElapsedMs() const { return msCount_; }
    void SetInputLevel(int32_t v) { inputLevel_ = v; }
    uint32_t BandwidthIndex() const { return bandwidthIndex_; }
    void SetBandwidthIndex(uint32_t index);  // 0..3, larger values use 3
    tTimeConstant TimeConstant() const { return timeConstant_; }
    void SetTimeConstant(tTimeConstant t) { timeConstant_ = t; }
    // Reloads every filter section, clearing the states of the broadband and
    // the second-stage sections.
    void LoadFilters();

    // One block of n (a multiple of 8, at most kMaxBlock) samples; returns
    // the decimated samples (ms) it gave.
    int ProcessBlock(const int16_t* samples, int n);
    // The last block's traces: envelope, threshold, key.
    const int32_t* EnvTrace() const { return envTrace_.data(); }
    const int32_t* ThrTrace() const { return thrTrace_.data(); }
    const int32_t* KeyTrace() const { return keyTrace_.data(); }
    // The last block's key edges, then the time reached. Times are ms of the
    // signal; the key states lag the input by kOnsetLag ms, so that a mark's
    // start is final before it is handed on.
    void EmitEdges(IKeyEdgeSink& sink);

private:
    void ResolveOnset(uint64_t now, uint64_t blockStart);
    void GainAndDcFilter(const int16_t* samples, int n);
    void MixNarrow(const int16_t* samples, int n);

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

    // The last block, and the key state last handed on.
    uint64_t blockStart_ = 0;
    int blockMs_ = 0;
    bool emittedState_ = false;

    std::array<double, kMaxBlock> x_{};
    std::array<double, kMaxDecimated> decI_{}, decQ_{}, envelope_{}, threshold_{};
    std::array<uint8_t, kMaxDecimated> keyStates_{};
    std::array<int32_t, kMaxDecimated> envTrace_{}, thrTrace_{}, keyTrace_{};
};
