#include "analysis/TonePitch.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

// 4096 points at 8000 Hz: bins of about 2 Hz, refined between bins below.
constexpr size_t kFrame = 4096;

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

}  // namespace

double FindTonePitch(const int16_t* samples, size_t n, double rateHz, double loHz, double hiHz) {
    if (n < kFrame || rateHz <= 0)
        return 0.0;
    std::vector<double> window(kFrame), power(kFrame / 2 + 1, 0.0);
    for (size_t i = 0; i < kFrame; ++i)
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kFrame);
    std::vector<std::complex<double>> buf(kFrame);
    // Half-overlapping frames, so a short burst of tone is never missed.
    for (size_t start = 0; start + kFrame <= n; start += kFrame / 2) {
        for (size_t i = 0; i < kFrame; ++i)
            buf[i] = samples[start + i] * window[i];
        Fft(buf);
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += std::norm(buf[k]);
    }
    const double binHz = rateHz / kFrame;
    const size_t lo = static_cast<size_t>(std::ceil(loHz / binHz));
    const size_t hi = std::min(static_cast<size_t>(hiHz / binHz), power.size() - 2);
    size_t best = 0;
    for (size_t k = lo; k <= hi; ++k)
        if (best == 0 || power[k] > power[best])
            best = k;
    if (best == 0 || power[best] <= 0.0)
        return 0.0;
    // A parabola through the log powers around the peak places the tone
    // between bins.
    const double a = std::log(power[best - 1] + 1e-30), b = std::log(power[best]),
                 c = std::log(power[best + 1] + 1e-30);
    const double den = a - 2.0 * b + c;
    const double offset = den < 0 ? 0.5 * (a - c) / den : 0.0;
    return (static_cast<double>(best) + offset) * binHz;
}
