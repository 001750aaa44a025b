#include "analysis/RobustDetector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int32_t kRate = 8000;
constexpr int32_t kDecimate = 8;  // to 1000 Hz
constexpr double kTableScale = 16384.0;
// Gain of three cascaded sums of kDecimate samples.
constexpr double kDecimatorGain = kDecimate * kDecimate * kDecimate;
// Delay of the decimator in ms, less the 7 samples by which each 1000 Hz
// value comes after the first sample it stands for.
constexpr double kDecimatorDelayMs = (3.0 * (kDecimate - 1) / 2.0 - (kDecimate - 1)) / kDecimate;
// A mark begins above this many times the noise floor and above kOnShare of
// the marks' level; it ends below kOffShare of the first and below kOffLevel
// of the second. Close to half the level on both sides, so that even the
// short gaps of heavy weighting show; the gap's length at half the level
// then tells a gap from a bounce.
constexpr double kOn = 4.0;
constexpr double kOffShare = 0.7;
constexpr double kOnShare = 0.55, kOffLevel = 0.42;
// Squelch: a mark's own level must stand this far above the noise floor.
constexpr double kSquelch = 6.0;
// The floor follows the lower part of the envelope while no mark is keyed:
// faster down than up, so it settles near the noise's lower third.
constexpr double kFloorUp = 1.004, kFloorDown = 0.992;
// The lowest floor, in sample units: digital silence, and the splatter a
// loud tone's keying leaves beside it, key nothing. A mark must then stand
// above about -47 dB of full scale, much as the analyser's own detector
// needs at its default gain.
constexpr double kMinFloor = 25.0;
// The first floor is measured over this many ms.
constexpr int64_t kFloorStart = 20;
// Weight of a new dash's level in the marks' level.
constexpr double kLevelFollow = 0.3;
// The channels' power is averaged over about a second; another channel is
// followed once it holds this much more.
constexpr double kPowerFollow = 0.001;
constexpr double kSwitchMargin = 1.1;
// Marks and gaps shorter than this share of a dot are glitches.
constexpr double kMinShare = 0.3;

// One ms of the channel bank: the input turned by each channel's rotation
// into its moving sum (ring of the last inputs), the envelope (squared) into
// the history, the power's average. The arrays do not overlap, so the
// compiler runs several channels at a time.
void BankStep(double zr, double zi, const double* __restrict rotRe, const double* __restrict rotIm,
              double* __restrict ringRe, double* __restrict ringIm, double* __restrict sumRe,
              double* __restrict sumIm, double* __restrict power, float* __restrict hist, size_t channels) {
    for (size_t c = 0; c < channels; ++c) {
        const double vr = zr * rotRe[c] - zi * rotIm[c], vi = zr * rotIm[c] + zi * rotRe[c];
        const double sr = sumRe[c] + (vr - ringRe[c]), si = sumIm[c] + (vi - ringIm[c]);
        ringRe[c] = vr;
        ringIm[c] = vi;
        sumRe[c] = sr;
        sumIm[c] = si;
        const double e = sr * sr + si * si;
        hist[c] = static_cast<float>(e);
        power[c] += kPowerFollow * (e - power[c]);
    }
}

}  // namespace

TRobustDetector::TRobustDetector(int32_t centerHz, double halfBandHz, double dotMs)
    : step_(std::clamp(centerHz, 100, 3900)), cos_(kRate), sin_(kRate), env_(kRing, 0.0f) {
    for (int32_t i = 0; i < kRate; ++i) {
        const double a = 2.0 * std::numbers::pi * i / kRate;
        cos_[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(kTableScale * std::cos(a)));
        sin_[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(kTableScale * std::sin(a)));
    }
    // Narrow bands are cut out by a windowed sinc (Blackman: 74 dB down
    // from 2.75 transition widths); the broadband mode takes all the
    // decimator passes.
    double firSpan = 0;  // ms the filter's main lobe adds to a rise
    if (halfBandHz < 400.0) {
        const double transition = std::max(50.0, halfBandHz);
        const int32_t m = static_cast<int32_t>(std::ceil(2.75 * 1000.0 / transition));
        const double fc = (halfBandHz + transition / 2) / 1000.0;
        for (int32_t k = -m; k <= m; ++k) {
            const double w = 0.42 + 0.5 * std::cos(std::numbers::pi * k / (m + 1)) +
                             0.08 * std::cos(2 * std::numbers::pi * k / (m + 1));
            const double sinc =
                k == 0 ? 2 * fc : std::sin(2 * std::numbers::pi * fc * k) / (std::numbers::pi * k);
            taps_.push_back(w * sinc);
        }
        double gain = 0;
        for (double t : taps_)
            gain += t;
        for (double& t : taps_)
            t /= gain;
        fir_.assign(2 * taps_.size(), Pair{0.0, 0.0});
        firDelay_ = m;
        firSpan = 0.25 / fc;
    }
    // Matched to the keying: the band's filter and the sum together span
    // about half a dot (bandwidth about two dots per second); the sum
    // between 4 and 30 ms.
    len_ = std::clamp(static_cast<int32_t>(std::lround(dotMs * 0.5 - firSpan)), 4, 30);
    // Channels a quarter of a sum's resolution apart cover the band, so a
    // tone anywhere in it keeps the envelope's shape.
    const int32_t spacing = std::max(1, 250 / len_);
    const int32_t half = static_cast<int32_t>(std::ceil(std::clamp(halfBandHz, 0.0, 450.0) / spacing));
    for (int32_t k = -half; k <= half; ++k)
        offsetHz_.push_back(k * spacing);
    const size_t channels = offsetHz_.size();
    chPhase_.assign(channels, 0);
    rotRe_.resize(1000);
    rotIm_.resize(1000);
    for (int32_t i = 0; i < 1000; ++i) {
        rotRe_[static_cast<size_t>(i)] = std::cos(-2.0 * std::numbers::pi * i / 1000.0);
        rotIm_[static_cast<size_t>(i)] = std::sin(-2.0 * std::numbers::pi * i / 1000.0);
    }
    rotNowRe_.assign(channels, 0.0);
    rotNowIm_.assign(channels, 0.0);
    ringRe_.assign(channels * static_cast<size_t>(len_), 0.0);
    ringIm_.assign(channels * static_cast<size_t>(len_), 0.0);
    sumRe_.assign(channels, 0.0);
    sumIm_.assign(channels, 0.0);
    power_.assign(channels, 0.0);
    best_ = channels / 2;
    history_.assign(channels * kHistory, 0.0f);
    scale_ = 2.0 / (len_ * kTableScale * kDecimatorGain);
    SetDot(dotMs);
}

double TRobustDetector::HalfBand(bool broad, int32_t bandwidthIndex) {
    static constexpr double kHalfBand[4] = {12.5, 25.0, 62.5, 125.0};
    return broad ? 450.0 : kHalfBand[std::clamp(bandwidthIndex, 0, 3)];
}

void TRobustDetector::SetDot(double dotMs) {
    dot_ = std::clamp(dotMs, 15.0, 600.0);
    minMark_ = std::max<int64_t>(static_cast<int64_t>(kMinShare * dot_), 2);
    minGap_ = minMark_;
    maxMark_ = std::min<int64_t>(std::max<int64_t>(static_cast<int64_t>(12 * dot_), 1500), 3500);
}

double TRobustDetector::OnLevel() const { return std::max(kOn * floor_, kOnShare * level_); }

double TRobustDetector::ToneOffsetHz() const { return offsetHz_[best_]; }

double TRobustDetector::SettledMs() const {
    // A mark being keyed may still be handed out from its start; otherwise
    // the filter's delay and the shortest gap bound what may still come.
    const double delay = (len_ - 1) / 2.0 + kDecimatorDelayMs + firDelay_;
    const int64_t from =
        state_ == State::mark || state_ == State::gap ? markStart_ - len_ - 2 : n_ - 2 * len_ - minGap_ - 2;
    return std::max(static_cast<double>(from) - delay, lastEdgeMs_);
}

void TRobustDetector::Process(const int16_t* samples, size_t count) {
    levels_.clear();
    keyed_.clear();
    // Locals, so that the sums stay in registers across the 1000 Hz steps.
    // Unsigned sums wrap, and the differences taken from them are exact.
    uint64_t i0 = intI_[0], i1 = intI_[1], i2 = intI_[2], q0 = intQ_[0], q1 = intQ_[1], q2 = intQ_[2];
    int32_t phase = phase_, sub = sub_;
    const int16_t* const cosTable = cos_.data();
    const int16_t* const sinTable = sin_.data();
    for (size_t k = 0; k < count; ++k) {
        const int64_t x = samples[k];
        i0 += static_cast<uint64_t>(x * cosTable[phase]);
        q0 += static_cast<uint64_t>(x * sinTable[phase]);
        i1 += i0;
        q1 += q0;
        i2 += i1;
        q2 += q1;
        phase += step_;
        if (phase >= kRate)
            phase -= kRate;
        if (++sub < kDecimate)
            continue;
        sub = 0;
        uint64_t i = i2, q = q2;
        for (int s = 0; s < 3; ++s) {
            const uint64_t di = i - combI_[s], dq = q - combQ_[s];
            combI_[s] = i;
            combQ_[s] = q;
            i = di;
            q = dq;
        }
        Step({static_cast<double>(static_cast<int64_t>(i)), static_cast<double>(static_cast<int64_t>(q))});
    }
    intI_[0] = i0;
    intI_[1] = i1;
    intI_[2] = i2;
    intQ_[0] = q0;
    intQ_[1] = q1;
    intQ_[2] = q2;
    phase_ = phase;
    sub_ = sub;
    if (sink_)
        sink_->KeyTime(SettledMs());
}

void TRobustDetector::Step(std::complex<double> z) {
    // The chosen band alone: outside it nothing reaches the channels. The
    // filter's phase is linear, so a mark's rise and fall stay mirror
    // images wherever in the band the tone lies.
    if (!taps_.empty()) {
        const size_t taps = taps_.size(), m = taps / 2;
        firPos_ = firPos_ == 0 ? taps - 1 : firPos_ - 1;
        fir_[firPos_] = fir_[firPos_ + taps] = Pair{z.real(), z.imag()};
        // The taps are symmetric: pairs share a multiply; four partial sums
        // keep the additions from waiting on each other. Real and imaginary
        // parts go side by side, each lane with its own arithmetic.
        const Pair* v = &fir_[firPos_];
        const double* t = taps_.data();
        Pair r[4] = {};
        size_t k = 0;
        for (; k + 4 <= m; k += 4)
            for (size_t j = 0; j < 4; ++j)
                r[j] += t[k + j] * (v[k + j] + v[taps - 1 - k - j]);
        for (; k < m; ++k)
            r[0] += t[k] * (v[k] + v[taps - 1 - k]);
        const Pair y = t[m] * v[m] + (r[0] + r[1]) + (r[2] + r[3]);
        z = {y[0], y[1]};
    }
    const size_t channels = power_.size();
    const size_t len = static_cast<size_t>(len_);
    const size_t h = static_cast<size_t>(n_) & (kHistory - 1);
    const double zr = z.real(), zi = z.imag();
    // Each channel's rotation first, then the bank's arithmetic.
    double* rotRe = rotNowRe_.data();
    double* rotIm = rotNowIm_.data();
    for (size_t c = 0; c < channels; ++c) {
        int32_t p = chPhase_[c];
        rotRe[c] = rotRe_[static_cast<size_t>(p)];
        rotIm[c] = rotIm_[static_cast<size_t>(p)];
        p += offsetHz_[c];
        p += p >= 1000 ? -1000 : p < 0 ? 1000 : 0;
        chPhase_[c] = p;
    }
    BankStep(zr, zi, rotRe, rotIm, &ringRe_[pos_ * channels], &ringIm_[pos_ * channels], sumRe_.data(),
             sumIm_.data(), power_.data(), &history_[h * channels], channels);
    if (++pos_ == len)
        pos_ = 0;
    const int64_t n = n_++;
    // Another channel is taken only when it holds clearly more, and not
    // once a mark is under way: the tone's own channel stays put. Its
    // recent envelope replaces the old channel's, so a mark that began
    // in the wrong channel is judged in the right one.
    if ((n & 3) == 0 && (state_ == State::idle || (state_ == State::mark && n - markStart_ < len_))) {
        size_t top = best_;
        for (size_t c = 0; c < channels; ++c)
            if (power_[c] > power_[top])
                top = c;
        // Within a mark only a channel far stronger is taken: the tone's
        // neighbours share most of its power, and each switch rewrites the
        // mark's envelope.
        const double margin = state_ == State::idle ? kSwitchMargin : 2.0;
        if (top != best_ && power_[top] > margin * power_[best_]) {
            best_ = top;
            for (int64_t m = std::max<int64_t>(0, n - static_cast<int64_t>(kHistory) + 1); m < n; ++m)
                env_[static_cast<size_t>(m) & kRingMask] = static_cast<float>(
                    std::sqrt(history_[(static_cast<size_t>(m) & (kHistory - 1)) * power_.size() + top]) *
                    scale_);
            if (state_ == State::mark)
                peak_ = 0;
        }
    }
    const double env = std::sqrt(static_cast<double>(history_[h * channels + best_])) * scale_;
    env_[static_cast<size_t>(n) & kRingMask] = static_cast<float>(env);
    levels_.push_back(static_cast<float>(env));
    Decide(n, env);
    keyed_.push_back(state_ == State::mark || state_ == State::gap ? 1 : 0);
}

void TRobustDetector::Decide(int64_t n, double env) {
    const int64_t full = len_ + 3 + 2 * firDelay_;
    if (n < full)
        return;  // the filter and the sums are not yet full
    if (n < full + kFloorStart) {
        // The first floor: the mean of a short stretch, lowered towards
        // the lower part the floor follows from then on.
        floor_ += env / kFloorStart;
        if (n + 1 == full + kFloorStart)
            floor_ = std::max(0.8 * floor_, kMinFloor);
        return;
    }

    const double on = OnLevel();
    // Before any mark has set the level, the first one's own peak stands in.
    const double off = std::max(kOffShare * kOn * floor_, kOffLevel * (level_ > 0 ? level_ : peak_));
    switch (state_) {
        case State::idle:
            if (env > on) {
                state_ = State::mark;
                markStart_ = n;
                peak_ = env;
            } else if (n - lastMarkEnd_ > 2 * len_) {
                floor_ = std::max(env > floor_ ? floor_ * kFloorUp : floor_ * kFloorDown, kMinFloor);
            }
            break;
        case State::mark:
            peak_ = std::max(peak_, env);
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
                // A gap counts from half the level down to half the level up
                // again: a short one only bounces, and the mark goes on.
                const double thr = EdgeLevel(markStart_, gapStart_);
                const double down = Crossing(gapStart_, thr, false, markStart_, n);
                const double up = Crossing(n, thr, true, gapStart_, n);
                if (up - down >= static_cast<double>(minGap_)) {
                    lastMarkEnd_ = gapStart_;
                    EndMark(markStart_, gapStart_);
                    markStart_ = n;
                    peak_ = env;
                }
                state_ = State::mark;
            } else if (n - gapStart_ >= minGap_ + len_) {
                state_ = State::idle;
                lastMarkEnd_ = gapStart_;
                EndMark(markStart_, gapStart_);
            }
            break;
        case State::carrier:
            // The floor rises to the carrier; keying resumes once the
            // carrier has gone or become the floor.
            floor_ = std::max(floor_ + 0.02 * (env - floor_), kMinFloor);
            if (env < 2.0 * floor_) {
                state_ = State::idle;
                lastMarkEnd_ = n;
            }
            break;
    }
}

void TRobustDetector::Finish() {
    if (state_ == State::mark || state_ == State::gap)
        EndMark(markStart_, state_ == State::gap ? gapStart_ : n_);
    state_ = State::idle;
}

double TRobustDetector::Crossing(int64_t from, double thr, bool rising, int64_t lo, int64_t hi) const {
    // The envelope passes thr between samples k-1 and k; from `from` the
    // search goes back while already past thr, else forward.
    auto past = [&](int64_t k) { return rising ? Env(k) >= thr : Env(k) < thr; };
    int64_t k = std::clamp(from, lo + 1, hi);
    if (past(k)) {
        while (k > lo + 1 && past(k - 1))
            --k;
    } else {
        while (k < hi && !past(k))
            ++k;
    }
    const double a = Env(k - 1), b = Env(k);
    const double frac = b != a ? std::clamp((thr - a) / (b - a), 0.0, 1.0) : 0.5;
    return static_cast<double>(k - 1) + frac;
}

double TRobustDetector::OwnLevel(int64_t start, int64_t end) const {
    // The mean of the mark's middle half.
    const int64_t a = start + (end - start) / 4, b = end - (end - start) / 4;
    double sum = 0;
    for (int64_t k = a; k < b; ++k)
        sum += Env(k);
    return sum / static_cast<double>(std::max<int64_t>(b - a, 1));
}

double TRobustDetector::EdgeLevel(int64_t start, int64_t end) const {
    // A dot's envelope may not quite reach the full level the dashes show:
    // its edges are placed at half of theirs unless it is clearly weaker.
    const double own = OwnLevel(start, end);
    const double level = level_ > 0 && own < level_ && own > 0.75 * level_ ? level_ : own;
    return std::max(0.5 * level, 1.5 * floor_);
}

void TRobustDetector::EndMark(int64_t start, int64_t end) {
    if (n_ - start >= static_cast<int64_t>(kRing) - 64)
        return;
    // The mark is judged in the channel that held most of it: the first
    // mark of a tone may begin while a neighbour is still followed.
    const int64_t to = n_,
                  from =
                      std::max({start - 2 * len_ - 4, to - static_cast<int64_t>(kHistory) + 1, int64_t{0}});
    if (from < end) {
        // Only a clear winner: in noise alone some channel always holds a
        // little more than the one followed.
        size_t top = best_;
        double topSum = -1, bestSum = 0;
        for (size_t c = 0; c < power_.size(); ++c) {
            double sum = 0;
            for (int64_t m = std::max(start, from); m < end; ++m)
                sum += history_[(static_cast<size_t>(m) & (kHistory - 1)) * power_.size() + c];
            if (sum > topSum)
                topSum = sum, top = c;
            if (c == best_)
                bestSum = sum;
        }
        if (top != best_ && topSum > 2.0 * bestSum) {
            best_ = top;
            for (int64_t m = from; m < to; ++m)
                env_[static_cast<size_t>(m) & kRingMask] = static_cast<float>(
                    std::sqrt(history_[(static_cast<size_t>(m) & (kHistory - 1)) * power_.size() + top]) *
                    scale_);
        }
    }
    const double own = OwnLevel(start, end);
    if (own < kSquelch * floor_)
        return;
    // Both edges at half the level: the filter's rise and fall are mirror
    // images, so the mark keeps its length to a fraction of a ms.
    const double thr = EdgeLevel(start, end);
    if (end - start >= 2 * dot_ || level_ == 0)
        level_ = level_ > 0 ? level_ + kLevelFollow * (own - level_) : own;
    // The rise may lie well before the mark was noticed (first noticed in
    // another channel), but not before the last mark's end.
    const int64_t lo = std::max({start - 2 * len_ - static_cast<int64_t>(2 * dot_),
                                 n_ - static_cast<int64_t>(kRing) + 2, lastEndIndex_});
    const double t0 = Crossing(start, thr, true, lo, end);
    const double t1 = Crossing(end, thr, false, start, std::min<int64_t>(end + 2 * len_, n_ - 1));
    if (t1 - t0 < static_cast<double>(minMark_))
        return;
    const double delay = (len_ - 1) / 2.0 + kDecimatorDelayMs + firDelay_;
    const double down = std::max(t0 - delay, lastEdgeMs_);
    const double up = std::max(t1 - delay, down);
    lastEdgeMs_ = up;
    lastEndIndex_ = static_cast<int64_t>(std::ceil(t1));
    if (sink_) {
        sink_->KeyEdge(down, true);
        sink_->KeyEdge(up, false);
    }
}
