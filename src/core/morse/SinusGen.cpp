#include "morse/SinusGen.h"

#include <cmath>

TSinusGen::TSinusGen() { SetLeveldB(0.0); }

void TSinusGen::SetLeveldB(double db) {
    leveldB_ = db;
    level_ = std::exp(std::log(10.0) * db / 20.0);
    levelInt_ = static_cast<int32_t>(32767.0 * level_);
}

void TSinusGen::SetLevelInt(int32_t v) {
    if (v > 32767)
        v = 32767;
    levelInt_ = v;
    level_ = v / 32767.0;
    leveldB_ = level_ > 0 ? 20.0 * std::log10(level_) : -20.0 * std::log10(32768.0);
}
