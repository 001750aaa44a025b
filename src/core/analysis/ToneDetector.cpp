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

// Two cascades with equal coefficients (the I and the Q path) stepped
// together; the expression keeps SosSection::Step's order of operations.
class PairedCascade {
public:
    PairedCascade(const std::array<SosSection, 3>& a, const std::array<SosSection, 3>& b) {
        for (size_t k = 0; k < 3; ++k) {
            const auto& c = a[k].Coeffs();
            for (int j = 0; j < 6; ++j)
                c_[k][j] = V2{c[static_cast<size_t>(j)], c[static_cast<size_t>(j)]};
            const SosSection::State sa = a[k].GetState(), sb = b[k].GetState();
            x1_[k] = V2{sa.x1, sb.x1};
            x2_[k] = V2{sa.x2, sb.x2};
            y1_[k] = V2{sa.y1, sb.y1};
            y2_[k] = V2{sa.y2, sb.y2};
        }
    }
    V2 Step(V2 x) {
        for (size_t k = 0; k < 3; ++k) {
            const V2 y =
                c_[k][0] * x + c_[k][1] * x1_[k] + c_[k][2] * x2_[k] - c_[k][4] * y1_[k] - c_[k][5] * y2_[k];
            x2_[k] = x1_[k];
            x1_[k] = x;
            y2_[k] = y1_[k];
            y1_[k] = y;
            x = y;
        }
        return x;
    }
    void Store(std::array<SosSection, 3>& a, std::array<SosSection, 3>& b) const {
        for (size_t k = 0; k < 3; ++k) {
            a[k].SetState({x1_[k][0], x2_[k][0], y1_[k][0], y2_[k][0]});
            b[k].SetState({x1_[k][1], x2_[k][1], y1_[k][1], y2_[k][1]});
        }
    }

private:
    V2 c_[3][6];
    V2 x1_[3], x2_[3], y1_[3], y2_[3];
};

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

int ToneDetector::ProcessBlock(const int16_t* samples, int n) {
    const int spb = n / 8;

    for (int i = 0; i < n; ++i)
        x_[i] = samples[i] * gain_;

    if (dcFilter_) {
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

    if (processMode_ == tProcessMode::broad) {
        for (int i = 0; i < n; ++i) {
            double y = std::fabs(x_[i]);
            for (auto& s : broad_)
                y = s.Step(y);
            if ((i & 7) == 7)
                envelope_[i / 8] = kBroadScale * y;
        }
    } else {
        uint32_t phase = osc_.Phase();
        const uint32_t step = osc_.Step();
        if (SameCoefficients(firstI_, firstQ_)) {
            // I and Q side by side in one vector: each lane does exactly the
            // arithmetic of its own section, in the same order.
            PairedCascade pair(firstI_, firstQ_);
            for (int i = 0; i < n; ++i) {
                const double s = kMixerScale * x_[i];
                V2 y = {s * mixCos_[phase], s * mixSin_[phase]};
                phase += step;
                if (phase >= 8000)
                    phase -= 8000;
                y = pair.Step(y);
                if ((i & 7) == 7) {
                    decI_[i / 8] = y[0];
                    decQ_[i / 8] = y[1];
                }
            }
            pair.Store(firstI_, firstQ_);
        } else {
            // Local copies of the sections: their state stays in registers
            // instead of going through memory at every sample.
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
        }
        osc_.SetPhase(phase);
        if (SameCoefficients(secondI_, secondQ_)) {
            PairedCascade pair(secondI_, secondQ_);
            for (int j = 0; j < spb; ++j) {
                const V2 y = pair.Step(V2{decI_[j], decQ_[j]});
                envelope_[j] = std::sqrt(y[0] * y[0] + y[1] * y[1]);
            }
            pair.Store(secondI_, secondQ_);
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
