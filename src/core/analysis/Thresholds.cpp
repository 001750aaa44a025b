#include "analysis/Thresholds.h"

#include "analysis/CharRecord.h"

#include <algorithm>

Thresholds Thresholds::ForDot(int32_t dotMs) {
    Thresholds t;
    t.dotMs = dotMs;
    t.dotDashLimit = 2 * dotMs;
    t.elementSpaceLimit = 2 * dotMs;
    t.wordSpaceLimit = 5 * dotMs;
    t.glitchLimit = dotMs / 6;
    t.nominalWordSpace = 7 * dotMs;
    t.wordTimeout = std::max(9 * dotMs, 300);
    t.muteDelay = 20 * dotMs;
    t.flashDelay = 4 * dotMs;
    return t;
}

ElementKind Thresholds::Classify(uint32_t ms, bool mark) const {
    if (mark)
        return ms < static_cast<uint32_t>(dotDashLimit) ? ElementKind::Dot : ElementKind::Dash;
    if (!EndsCharacter(ms))
        return ElementKind::ElementSpace;
    if (ms >= kTimeoutMarker)
        return ElementKind::TimedOut;
    return ms < static_cast<uint32_t>(wordSpaceLimit) ? ElementKind::CharSpace : ElementKind::WordSpace;
}
