#pragma once
// Second-order IIR section in direct form I.

#include <array>

class SosSection {
public:
    // Coefficients in the order b0, b1, b2, a0, a1, a2; a0 is kept but unused
    // (every set in use is normalised to a0 = 1).
    using Coefficients = std::array<double, 6>;

    // A new section passes its input unchanged.
    SosSection() = default;

    double Step(double x) {
        const double y = c_[0] * x + c_[1] * x1_ + c_[2] * x2_ - c_[4] * y1_ - c_[5] * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    void Load(const Coefficients& c, bool reset);

    // The filter state, for callers that step several sections in one go.
    struct State {
        double x1, x2, y1, y2;
    };
    State GetState() const { return {x1_, x2_, y1_, y2_}; }
    void SetState(const State& s) {
        x1_ = s.x1;
        x2_ = s.x2;
        y1_ = s.y1;
        y2_ = s.y2;
    }

    const Coefficients& Coeffs() const { return c_; }

    // One low-pass section of a Butterworth cascade from the bilinear
    // transform: b = k * [1, 2, 1], a = [1, a1, a2].
    static Coefficients Lowpass(double fc, double fs, double q);
    // k = K^2 / D of such a section, the part of the cascade gain it carries.
    static double LowpassGain(double fc, double fs, double q);

private:
    Coefficients c_{1.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};
