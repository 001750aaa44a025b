#pragma once
// A keyed-tone detector for noisy recordings. The chosen band is mixed to
// zero and brought down to 1000 Hz; there a bank of moving sums matched to
// the keying speed covers the band, and the channel holding the tone is
// followed. A noise floor with a squelch (noise alone and a steady carrier
// key nothing) and edge times placed between samples at half the marks'
// level give the key transitions, in ms, to a key-edge sink, as the
// analyser's own tone detector does.

#include "analysis/KeyEdgeSink.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

class TRobustDetector {
public:
    // centerHz: the band's centre; halfBandHz: how far from it a tone may
    // lie; dotMs: the dot length the filters are matched to.
    TRobustDetector(int32_t centerHz, double halfBandHz, double dotMs);
    // How far from the centre (Hz) a tone is looked for: the analyser's own
    // pass band (bandwidth index 0..3), or anything the decimated band
    // holds in the broadband mode.
    static double HalfBand(bool broad, int32_t bandwidthIndex);

    // The dot length now keyed: sets the shortest mark and gap kept and the
    // longest mark before a tone counts as a carrier (not the filters).
    void SetDot(double dotMs);

    // Samples at 8000 Hz, any count.
    void Process(const int16_t* samples, size_t n);
    // The end of the input: a mark still open ends here.
    void Finish();

    // No transition before this time (ms) will be handed out any more.
    double SettledMs() const;

    // Receives the key transitions in time order and, after each call of
    // Process, SettledMs as the time reached; may be null.
    void SetSink(IKeyEdgeSink* sink) { sink_ = sink; }

    // The level the detector keys on, one value a ms, for every ms that
    // the last call of Process completed (in sample units), and the level a
    // mark must pass to begin.
    const std::vector<float>& Levels() const { return levels_; }
    // Whether a mark was under way, for the same ms.
    const std::vector<uint8_t>& Keyed() const { return keyed_; }
    double OnLevel() const;
    // Offset of the followed channel from the band's centre, Hz.
    double ToneOffsetHz() const;

private:
    enum class State { idle, mark, gap, carrier };

    double Env(int64_t n) const { return env_[static_cast<size_t>(n) & kRingMask]; }
    void Step(std::complex<double> z);
    void Decide(int64_t n, double env);
    void EndMark(int64_t start, int64_t end);
    double OwnLevel(int64_t start, int64_t end) const;
    double EdgeLevel(int64_t start, int64_t end) const;
    double Crossing(int64_t from, double thr, bool rising, int64_t lo, int64_t hi) const;

    static constexpr size_t kRing = 8192;  // 8 s of envelope at 1000 Hz
    static constexpr size_t kRingMask = kRing - 1;

    // Mixer and decimator (8000 to 1000 Hz, three cascaded sums of 8).
    int32_t step_;
    int32_t phase_ = 0;
    std::vector<int16_t> cos_, sin_;
    uint64_t intI_[3] = {}, intQ_[3] = {}, combI_[3] = {}, combQ_[3] = {};
    int32_t sub_ = 0;

    // The channel bank at 1000 Hz: channel k is offset offsetHz_[k].
    int32_t len_;  // moving-sum length, ms
    std::vector<int32_t> offsetHz_;
    std::vector<int32_t> chPhase_;
    std::vector<double> rotRe_, rotIm_;        // e^{-2 pi i k / 1000}
    std::vector<double> rotNowRe_, rotNowIm_;  // each channel's rotation this ms
    std::vector<double> ringRe_, ringIm_;      // the last len_ inputs, all channels side by side
    std::vector<double> sumRe_, sumIm_;
    std::vector<double> power_;
    static constexpr size_t kHistory =
        2048;  // ms of every channel's envelope (squared), channels side by side
    std::vector<float> history_;
    std::vector<double> taps_;  // the band's low-pass, none in broadband
    // A complex value, real and imaginary part side by side.
    typedef double Pair __attribute__((vector_size(16)));
    std::vector<Pair> fir_;  // the filter's input, held twice over
    size_t firPos_ = 0;
    int32_t firDelay_ = 0;  // ms
    size_t best_ = 0;
    size_t pos_ = 0;
    double scale_;
    std::vector<float> env_;
    std::vector<float> levels_;
    std::vector<uint8_t> keyed_;

    int64_t n_ = 0;  // ms processed
    State state_ = State::idle;
    int64_t markStart_ = 0, gapStart_ = 0, lastMarkEnd_ = -1000000;
    double floor_ = 0.0;
    double level_ = 0.0;
    double peak_ = 0.0;  // of the mark being keyed
    double dot_ = 100.0;
    int64_t minMark_ = 0, minGap_ = 0, maxMark_ = 0;
    double lastEdgeMs_ = 0.0;
    int64_t lastEndIndex_ = 0;  // 1000 Hz sample where the last mark ended
    IKeyEdgeSink* sink_ = nullptr;
};
