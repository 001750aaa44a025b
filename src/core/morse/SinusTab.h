#pragma once
// One quarter period of a sine wave for a sample rate N; lookups by symmetry
// are exact for every integer phase, so oscillators never drift.

#include <array>
#include <cstdint>

class TSinusTab {
public:
    explicit TSinusTab(uint32_t n);

    bool Valid() const { return valid_; }
    uint32_t N() const { return n_; }
    uint32_t Quarter() const { return quarter_; }
    // sin(p * 2pi / N); 0 when the table is not valid.
    double Sin(uint32_t p) const;

private:
    uint32_t n_, half_, quarter_, threeQuarter_;
    bool valid_;
    std::array<double, 2001> t_{};
};
