#include "morse/SinusTab.h"

#include <cmath>

TSinusTab::TSinusTab(uint32_t n)
    : n_(n), half_(n / 2), quarter_(n / 4), threeQuarter_(3 * (n / 4)), valid_(n >= 1000 && n <= 8000) {
    if (!valid_)
        return;
    const double step = 6.283185307179586 / n_;
    for (uint32_t i = 0; i < quarter_; ++i)
        t_[i] = std::sin(i * step);
    t_[quarter_] = 1.0;
}

double TSinusTab::Sin(uint32_t p) const {
    if (!valid_)
        return 0.0;
    const uint32_t i = p % n_;
    if (i < quarter_)
        return t_[i];
    if (i < half_)
        return t_[half_ - i];
    if (i < threeQuarter_)
        return -t_[i - half_];
    return -t_[n_ - i];
}
