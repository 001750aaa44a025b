#include "analysis/RobustDetector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int32_t kRate = 8000;
constexpr double kTableScale = 16384.0;
// A mark begins above this many times the noise floor (and above half way
// to the level of the marks so far) and ends below kOffShare of that.
constexpr double kOn = 4.0;
constexpr double kOffShare = 0.7;
// Squelch: a mark's own level must stand this far above the noise floor.
constexpr double kSquelch = 6.0;
// The floor follows the lower part of the envelope while no mark is keyed:
// faster down than up, so it settles near the noise's lower third.
constexpr double kFloorUp = 1.004, kFloorDown = 0.992;
// Below this (in sample units) nothing is called signal: digital silence.
constexpr double kMinFloor = 1.0;
// Samples the first floor is measured over (20 ms).
constexpr int64_t kFloorStart = 160;
// Weight of a new mark's level in the running level.
constexpr double kLevelFollow = 0.3;

}  // namespace

TRobustDetector::TRobustDetector(int32_t centerHz, double dotMs)
    : step_(std::clamp(centerHz, 100, 3900)), cos_(kRate), sin_(kRate), env_(kRing, 0.0f) {
    for (int32_t i = 0; i < kRate; ++i) {
        const double a = 2.0 * std::numbers::pi * i / kRate;
        cos_[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(kTableScale * std::cos(a)));
        sin_[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(kTableScale * std::sin(a)));
    }
    // Matched to the keying: the sum spans half a dot (bandwidth about two
    // dots per second), between 4 and 30 ms.
    len_ = std::clamp(static_cast<int32_t>(std::lround(dotMs * 0.5 * 8.0)), 32, 240);
    ringI_.assign(static_cast<size_t>(len_), 0);
    ringQ_.assign(static_cast<size_t>(len_), 0);
    scale_ = 2.0 / (len_ * kTableScale);
    SetDot(dotMs);
}

void TRobustDetector::SetDot(double dotMs) {
    const double dot = std::clamp(dotMs, 15.0, 600.0) * 8.0;  // samples
    minMark_ = std::max<int64_t>(static_cast<int64_t>(0.35 * dot), 16);
    minGap_ = std::max<int64_t>(static_cast<int64_t>(0.35 * dot), 16);
    maxMark_ = std::min<int64_t>(std::max<int64_t>(static_cast<int64_t>(12 * dot), 12000), 28000);
}

double TRobustDetector::SettledMs() const {
    // A mark being keyed may still be handed out from its start; otherwise
    // the filter's delay and the shortest gap bound what may still come.
    const int64_t from = state_ == State::mark || state_ == State::gap ? markStart_ - len_ - 8 : n_ - 2 * len_ - minGap_ - 8;
    return std::max(static_cast<double>(from - len_ / 2) / 8.0, lastEdgeMs_);
}

void TRobustDetector::Process(const int16_t* samples, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const int32_t x = samples[k];
        const int32_t xi = x * cos_[static_cast<size_t>(phase_)];
        const int32_t xq = x * sin_[static_cast<size_t>(phase_)];
        phase_ += step_;
        if (phase_ >= kRate) phase_ -= kRate;
        sumI_ += xi - ringI_[pos_];
        sumQ_ += xq - ringQ_[pos_];
        ringI_[pos_] = xi;
        ringQ_[pos_] = xq;
        if (++pos_ == ringI_.size()) pos_ = 0;
        const double fi = static_cast<double>(sumI_), fq = static_cast<double>(sumQ_);
        const double env = std::sqrt(fi * fi + fq * fq) * scale_;
        const int64_t n = n_++;
        env_[static_cast<size_t>(n) & kRingMask] = static_cast<float>(env);
        if (n < len_) continue;  // the sum is not yet full
        if (n < len_ + kFloorStart) {
            // The first floor: the mean of a short stretch, lowered towards
            // the lower part the floor follows from then on.
            floor_ += env / kFloorStart;
            if (n + 1 == len_ + kFloorStart) floor_ = std::max(0.8 * floor_, kMinFloor);
            continue;
        }

        const double on = std::max(kOn * floor_, level_ > 0 ? 0.5 * (floor_ + level_) : 0.0);
        const double off = kOffShare * on;
        switch (state_) {
        case State::idle:
            if (env > on) {
                state_ = State::mark;
                markStart_ = n;
            } else if ((n & 7) == 0 && n - lastMarkEnd_ > 2 * len_) {
                floor_ = std::max(env > floor_ ? floor_ * kFloorUp : floor_ * kFloorDown, kMinFloor);
            }
            break;
        case State::mark:
            if (env < off) {
                state_ = State::gap;
                gapStart_ = n;
            } else if (n - markStart_ > maxMark_) {
                // Far longer than any keyed mark: a carrier, which keys nothing.
                state_ = State::carrier;
            }
            break;
        case State::gap:
            if (env > on) {
                state_ = State::mark;  // too short a gap: the mark goes on
            } else if (n - gapStart_ >= minGap_) {
                state_ = State::idle;
                lastMarkEnd_ = gapStart_;
                EndMark(markStart_, gapStart_);
            }
            break;
        case State::carrier:
            // The floor rises to the carrier; keying resumes once the
            // carrier has gone or become the floor.
            if ((n & 7) == 0) floor_ = std::max(floor_ + 0.02 * (env - floor_), kMinFloor);
            if (env < 2.0 * floor_) {
                state_ = State::idle;
                lastMarkEnd_ = n;
            }
            break;
        }
    }
    if (sink_) sink_->KeyTime(SettledMs());
}

void TRobustDetector::Finish() {
    if (state_ == State::mark || state_ == State::gap) EndMark(markStart_, state_ == State::gap ? gapStart_ : n_);
    state_ = State::idle;
}

double TRobustDetector::Crossing(int64_t from, double thr, bool rising, int64_t lo, int64_t hi) const {
    // The envelope passes thr between samples k-1 and k; from `from` the
    // search goes back while already past thr, else forward.
    auto past = [&](int64_t k) { return rising ? Env(k) >= thr : Env(k) < thr; };
    int64_t k = std::clamp(from, lo + 1, hi);
    if (past(k)) {
        while (k > lo + 1 && past(k - 1)) --k;
    } else {
        while (k < hi && !past(k)) ++k;
    }
    const double a = Env(k - 1), b = Env(k);
    const double frac = b != a ? std::clamp((thr - a) / (b - a), 0.0, 1.0) : 0.5;
    return static_cast<double>(k - 1) + frac;
}

void TRobustDetector::EndMark(int64_t start, int64_t end) {
    if (end - start < minMark_ || n_ - start >= static_cast<int64_t>(kRing) - 64) return;
    // The mark's own level: the mean of its middle half.
    const int64_t a = start + (end - start) / 4, b = end - (end - start) / 4;
    double sum = 0;
    for (int64_t k = a; k < b; ++k) sum += Env(k);
    const double level = sum / static_cast<double>(std::max<int64_t>(b - a, 1));
    if (level < kSquelch * floor_) return;
    level_ = level_ > 0 ? level_ + kLevelFollow * (level - level_) : level;

    // Both edges at half the mark's level: the filter's rise and fall are
    // mirror images, so the mark keeps its length to a fraction of a sample.
    const double thr = std::max(0.5 * level, 1.5 * floor_);
    const int64_t lo = std::max<int64_t>(start - 2 * len_, n_ - static_cast<int64_t>(kRing) + 2);
    const double t0 = Crossing(start, thr, true, lo, end);
    const double t1 = Crossing(end, thr, false, start, std::min<int64_t>(end + 2 * len_, n_ - 1));
    // The sum at sample n is centred (len - 1) / 2 samples earlier.
    const double delay = (len_ - 1) / 2.0;
    const double down = std::max((t0 - delay) / 8.0, lastEdgeMs_);
    const double up = std::max((t1 - delay) / 8.0, down);
    lastEdgeMs_ = up;
    if (sink_) {
        sink_->KeyEdge(down, true);
        sink_->KeyEdge(up, false);
    }
}
