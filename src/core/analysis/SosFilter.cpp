#include "analysis/SosFilter.h"

#include <cmath>
#include <numbers>

void SosSection::Load(const Coefficients& c, bool reset) {
    c_ = c;
    if (reset)
        x1_ = x2_ = y1_ = y2_ = 0.0;
}

namespace {
struct Bilinear {
    double kk, d, k;
};
Bilinear Design(double fc, double fs, double q) {
    const double K = std::tan(std::numbers::pi * fc / fs);
    const double kk = K * K;
    const double d = 1.0 + K / q + kk;
    return {kk, d, kk / d};
}
}  // namespace

double SosSection::LowpassGain(double fc, double fs, double q) { return Design(fc, fs, q).k; }

SosSection::Coefficients SosSection::Lowpass(double fc, double fs, double q) {
    const double K = std::tan(std::numbers::pi * fc / fs);
    const Bilinear b = Design(fc, fs, q);
    const double g = b.k;
    return {g, 2.0 * g, g, 1.0, 2.0 * (b.kk - 1.0) / b.d, (1.0 - K / q + b.kk) / b.d};
}
