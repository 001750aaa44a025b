#include "analysis/ToneDetector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// First-order high-pass with its corner at 150 Hz.
constexpr double kDcA = 0.9443111;
constexpr double kDcB = 0.8886221;

constexpr double kBroadScale = 1.6;
constexpr double kMixerScale = 2.4;
constexpr double kHysteresis = 40.0;
constexpr double kPeakDecay = 0.99;
// The threshold never falls below this fraction of the peak. While keying
// goes on, 0.5 x average lies above it (near 0.45 of the envelope, against
// 0.35 x the envelope's overshoot, about 0.40), so it only acts after a
// silence long enough for the average to decay.
constexpr double kPeakFloor = 0.35;

// 6th-order Butterworth as three sections, Q = 1 / (2 cos(theta)) for theta
// 75, 45 and 15 degrees (1.9319, 0.7071, 0.5176).
const double kQ[3] = {1.0 / (2.0 * std::cos(75.0 * std::numbers::pi / 180.0)),
                      1.0 / (2.0 * std::cos(45.0 * std::numbers::pi / 180.0)),
                      1.0 / (2.0 * std::cos(15.0 * std::numbers::pi / 180.0))};
constexpr double kFirstStageCutoff = 100.0;
constexpr double kSecondStageCutoff[4] = {12.5, 25.0, 62.5, 125.0};

// Two vector lanes of doubles; lane-wise arithmetic is the scalar arithmetic.
typedef double V2 __attribute__((vector_size(16)));

bool SameCoefficients(const std::array<SosSection, 3>& a, const std::array<SosSection, 3>& b) {
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].Coeffs() != b[k].Coeffs())
            return false;
    return true;
}

// One section of two cascades with equal coefficients (the I and the Q path)
// stepped together; the expression keeps SosSection::Step's order of
// operations, so each lane gives exactly what its own section would.
struct PairedSection {
    V2 b0, b1, b2, a1, a2;
    V2 x1, x2, y1, y2;

    static PairedSection Of(const SosSection& i, const SosSection& q) {
        const auto& c = i.Coeffs();
        const SosSection::State si = i.GetState(), sq = q.GetState();
        return {V2{c[0], c[0]},   V2{c[1], c[1]},   V2{c[2], c[2]},   V2{c[4], c[4]},  V2{c[5], c[5]},
                V2{si.x1, sq.x1}, V2{si.x2, sq.x2}, V2{si.y1, sq.y1}, V2{si.y2, sq.y2}};
    }
    void Store(SosSection& i, SosSection& q) const {
        i.SetState({x1[0], x2[0], y1[0], y2[0]});
        q.SetState({x1[1], x2[1], y1[1], y2[1]});
    }
    V2 Step(V2 x) {
        const V2 y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Gain, DC filter, mixer and the first low-pass cascade (I and Q side by side)
// in one pass, every state in a local so that it stays in a register. The
// arithmetic and its order are those of the separate steps, so the results
// are the same to the bit.
struct FrontEnd {
    const double* mixCos;
    const double* mixSin;
    uint32_t phase, step;
    double gain;
    double prevIn, prevOut;  // of the DC filter
    PairedSection sec[3];
    double* decI;
    double* decQ;
};

// The stages are skewed by one sample each (the mixer on sample i while the
// last section works on i - 3): the processor then finds four independent
// chains side by side instead of one long one that waits on each section.
template <bool kDc>
void RunFrontEnd(FrontEnd& f, const int16_t* samples, int n) {
    if (n <= 0)
        return;
    uint32_t phase = f.phase;
    double prevIn = f.prevIn, prevOut = f.prevOut;
    PairedSection s0 = f.sec[0], s1 = f.sec[1], s2 = f.sec[2];
    auto mix = [&](int i) {
        double x = samples[i] * f.gain;
        if constexpr (kDc) {
            const double y = kDcA * x - kDcA * prevIn + kDcB * prevOut;
            prevIn = x;
            prevOut = y;
            x = y;
        }
        const double v = kMixerScale * x;
        const V2 m = {v * f.mixCos[phase], v * f.mixSin[phase]};
        phase += f.step;
        if (phase >= 8000)
            phase -= 8000;
        return m;
    };
    auto out = [&](int i, V2 y) {
        if ((i & 7) == 7) {
            f.decI[i / 8] = y[0];
            f.decQ[i / 8] = y[1];
        }
    };
    // Fill the pipeline, run it, drain it (n is a multiple of 8).
    V2 p0 = mix(0);
    V2 p1 = s0.Step(p0);
    p0 = mix(1);
    V2 p2 = s1.Step(p1);
    p1 = s0.Step(p0);
    p0 = mix(2);
    int i = 3;
    // Eight at a time, so that the decimated output needs no test.
    for (; i + 8 <= n; i += 8) {
        V2 y;
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            y = s2.Step(p2);
            p2 = s1.Step(p1);
            p1 = s0.Step(p0);
            p0 = mix(i + k);
        }
        f.decI[(i + 4) / 8] = y[0];
        f.decQ[(i + 4) / 8] = y[1];
    }
    for (; i < n; ++i) {
        out(i - 3, s2.Step(p2));
        p2 = s1.Step(p1);
        p1 = s0.Step(p0);
        p0 = mix(i);
    }
    out(n - 3, s2.Step(p2));
    p2 = s1.Step(p1);
    p1 = s0.Step(p0);
    out(n - 2, s2.Step(p2));
    p2 = s1.Step(p1);
    out(n - 1, s2.Step(p2));
    f.sec[0] = s0;
    f.sec[1] = s1;
    f.sec[2] = s2;
    f.phase = phase;
    f.prevIn = prevIn;
    f.prevOut = prevOut;
}

}  // namespace

ToneDetector::ToneDetector() {
    osc_.SetSampleFreq(8000);
    osc_.SetFrequency(centerFreq_);
    osc_.SetLeveldB(0.0);
    // The oscillator's values over one period, so the mixer reads a table
    // instead of dividing twice per sample; the values are the same.
    mixCos_.resize(8000);
    mixSin_.resize(8000);
    for (uint32_t p = 0; p < 8000; ++p) {
        mixCos_[p] = osc_.CosineAt(p);
        mixSin_[p] = osc_.SineAt(p);
    }
    LoadFilters();
}

void ToneDetector::SetCenterFreq(uint32_t hz) {
    centerFreq_ = std::clamp<uint32_t>(hz, 100, 4000);
    osc_.SetFrequency(centerFreq_);
}

void ToneDetector::SetInputScaledB(int32_t db) {
    inputScaledB_ = db;
    gain_ = std::pow(10.0, db / 20.0);
}

void ToneDetector::SetBandwidthIndex(uint32_t index) {
    bandwidthIndex_ = std::min<uint32_t>(index, 3);
    LoadFilters();
}

void ToneDetector::LoadFilters() {
    for (int s = 0; s < 3; ++s) {
        const auto c = SosSection::Lowpass(kFirstStageCutoff, 8000.0, kQ[s]);
        broad_[s].Load(c, true);
        firstI_[s].Load(c, false);
        firstQ_[s].Load(c, false);
    }
    // Second stage at 1000 Hz, sections in reverse Q order; the first carries
    // the gain of the whole cascade.
    const double fc = kSecondStageCutoff[bandwidthIndex_];
    double g = 1.0;
    for (int s = 0; s < 3; ++s)
        g *= SosSection::LowpassGain(fc, 1000.0, kQ[2 - s]);
    for (int s = 0; s < 3; ++s) {
        auto c = SosSection::Lowpass(fc, 1000.0, kQ[2 - s]);
        const double b = s == 0 ? g : 1.0;
        c[0] = b;
        c[1] = 2.0 * b;
        c[2] = b;
        secondI_[s].Load(c, true);
        secondQ_[s].Load(c, true);
    }
}

void ToneDetector::GainAndDcFilter(const int16_t* samples, int n) {
    for (int i = 0; i < n; ++i)
        x_[i] = samples[i] * gain_;
    if (!dcFilter_)
        return;
    double prevIn = dcPrevIn_, prevOut = dcPrevOut_;
    for (int i = 0; i < n; ++i) {
        const double y = kDcA * x_[i] - kDcA * prevIn + kDcB * prevOut;
        prevIn = x_[i];
        prevOut = y;
        x_[i] = y;
    }
    dcPrevIn_ = prevIn;
    dcPrevOut_ = prevOut;
}

void ToneDetector::MixNarrow(const int16_t* samples, int n) {
    FrontEnd f{mixCos_.data(), mixSin_.data(), osc_.Phase(), osc_.Step(),  gain_,
               dcPrevIn_,      dcPrevOut_,     {},           decI_.data(), decQ_.data()};
    for (size_t k = 0; k < 3; ++k)
        f.sec[k] = PairedSection::Of(firstI_[k], firstQ_[k]);
    dcFilter_ ? RunFrontEnd<true>(f, samples, n) : RunFrontEnd<false>(f, samples, n);
    for (size_t k = 0; k < 3; ++k)
        f.sec[k].Store(firstI_[k], firstQ_[k]);
    osc_.SetPhase(f.phase);
    if (dcFilter_) {
        dcPrevIn_ = f.prevIn;
        dcPrevOut_ = f.prevOut;
    }
}

int ToneDetector::ProcessBlock(const int16_t* samples, int n) {
    const int spb = n / 8;

    const bool fused = processMode_ == tProcessMode::narrow && SameCoefficients(firstI_, firstQ_);
    if (fused) {
        MixNarrow(samples, n);
    } else {
        GainAndDcFilter(samples, n);
    }

    if (processMode_ == tProcessMode::broad) {
        for (int i = 0; i < n; ++i) {
            double y = std::fabs(x_[i]);
            for (auto& s : broad_)
                y = s.Step(y);
            if ((i & 7) == 7)
                envelope_[i / 8] = kBroadScale * y;
        }
    } else {
        if (!fused) {
            // Local copies of the sections: their state stays in registers
            // instead of going through memory at every sample.
            uint32_t phase = osc_.Phase();
            const uint32_t step = osc_.Step();
            std::array<SosSection, 3> fi = firstI_, fq = firstQ_;
            for (int i = 0; i < n; ++i) {
                const double s = kMixerScale * x_[i];
                double yi = s * mixCos_[phase];
                double yq = s * mixSin_[phase];
                phase += step;
                if (phase >= 8000)
                    phase -= 8000;
                for (auto& f : fi)
                    yi = f.Step(yi);
                for (auto& f : fq)
                    yq = f.Step(yq);
                if ((i & 7) == 7) {
                    decI_[i / 8] = yi;
                    decQ_[i / 8] = yq;
                }
            }
            firstI_ = fi;
            firstQ_ = fq;
            osc_.SetPhase(phase);
        }
        if (SameCoefficients(secondI_, secondQ_)) {
            PairedSection p0 = PairedSection::Of(secondI_[0], secondQ_[0]);
            PairedSection p1 = PairedSection::Of(secondI_[1], secondQ_[1]);
            PairedSection p2 = PairedSection::Of(secondI_[2], secondQ_[2]);
            for (int j = 0; j < spb; ++j) {
                const V2 y = p2.Step(p1.Step(p0.Step(V2{decI_[j], decQ_[j]})));
                envelope_[j] = std::sqrt(y[0] * y[0] + y[1] * y[1]);
            }
            p0.Store(secondI_[0], secondQ_[0]);
            p1.Store(secondI_[1], secondQ_[1]);
            p2.Store(secondI_[2], secondQ_[2]);
        } else {
            for (int j = 0; j < spb; ++j) {
                double yi = decI_[j];
                double yq = decQ_[j];
                for (auto& f : secondI_)
                    yi = f.Step(yi);
                for (auto& f : secondQ_)
                    yq = f.Step(yq);
                envelope_[j] = std::sqrt(yi * yi + yq * yq);
            }
        }
    }

    double attack = 0.01, decay = 0.001;
    switch (timeConstant_) {
        case tTimeConstant::fast:
            attack = decay = 0.01;
            break;
        case tTimeConstant::medium:
            attack = decay = 0.003;
            break;
        case tTimeConstant::slow:
            attack = decay = 0.001;
            break;
        case tTimeConstant::off:
            attack = decay = 0.0;
            break;
        case tTimeConstant::dual:
            break;
    }

    const uint64_t blockStart = msCount_;
    for (int j = 0; j < spb; ++j) {
        const double env = envelope_[j];
        const double d = env - envAverage_;
        envAverage_ += d * (d > 0 ? attack : decay);
        peak_ = env > peak_ ? env : kPeakDecay * peak_;
        inputLevel_ = static_cast<int32_t>(peak_);
        // After a silence the average is near 0; without the floor the key
        // would stay down through the whole ring-down of the filters.
        threshold_[j] = std::max(0.5 * envAverage_, kPeakFloor * peak_);

        const double v = std::trunc(env - threshold_[j]);
        const bool wasOn = detectorState_;
        detectorState_ = detectorState_ ? v > 0.0 : v > kHysteresis;

        const uint64_t t = msCount_++;
        const size_t slot = t % kOnsetRing;
        envRing_[slot] = env;
        thrRing_[slot] = threshold_[j];
        stateRing_[slot] = detectorState_ ? 1 : 0;
        keyTrace_[j] = detectorState_ ? 10000 : 0;
        if (detectorState_ && !wasOn) {
            onsetOpen_ = true;
            onsetMs_ = t;
            onsetMax_ = env;
        } else if (onsetOpen_) {
            onsetMax_ = std::max(onsetMax_, env);
        }
        if (onsetOpen_ && (!detectorState_ || t - onsetMs_ >= kOnsetLag - 1))
            ResolveOnset(t, blockStart);
        // The element timing runs kOnsetLag ms behind, so that a mark's start
        // is final before it is timed.
        keyStates_[j] = t >= kOnsetLag ? stateRing_[(t - kOnsetLag) % kOnsetRing] : 0;

        envTrace_[j] = static_cast<int32_t>(2.0 * env - 15000.0);
        thrTrace_[j] = static_cast<int32_t>(2.0 * threshold_[j] - 15000.0);
    }
    blockStart_ = blockStart;
    blockMs_ = spb;
    return spb;
}

void ToneDetector::ResolveOnset(uint64_t now, uint64_t blockStart) {
    // After a silence the threshold is near 0 and the key goes down at the
    // very foot of the envelope's rise, long before the tone is half up. Once
    // the mark's level is known, its start moves to where the envelope first
    // stood clear of the peak floor. Settled, the floor lies below the
    // threshold the key went down on, and nothing moves.
    onsetOpen_ = false;
    const double floor = kPeakFloor * onsetMax_;
    for (uint64_t m = onsetMs_; m <= now; ++m) {
        const size_t slot = m % kOnsetRing;
        if (std::trunc(envRing_[slot] - std::max(thrRing_[slot], floor)) > kHysteresis)
            break;
        stateRing_[slot] = 0;
        if (m >= blockStart)
            keyTrace_[m - blockStart] = 0;
    }
}

void ToneDetector::EmitEdges(IKeyEdgeSink& sink) {
    for (int j = 0; j < blockMs_; ++j) {
        const bool state = keyStates_[j] != 0;
        if (state == emittedState_)
            continue;
        emittedState_ = state;
        sink.KeyEdge(static_cast<double>(blockStart_ + static_cast<uint64_t>(j)), state);
    }
    sink.KeyTime(static_cast<double>(blockStart_ + static_cast<uint64_t>(blockMs_)));
}
