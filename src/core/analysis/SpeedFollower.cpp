#include "analysis/SpeedFollower.h"

#include <algorithm>
#include <cmath>

namespace {

// Weight of the recent elements' dot length after each character: with the
// median over kRecent elements, a drift by a factor of two over a few dozen
// characters is followed within about ten.
constexpr double kFollow = 0.15;
// Durations at or beyond this are markers or pauses, not elements.
constexpr uint32_t kMaxElement = 10000;
// Shorter than the dot of the fastest keying (300 CpM): a bounce.
constexpr uint32_t kBounceMs = 10;

// Mean of the values below twice the smallest (the shortest class).
double ShortClassMean(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    int n = 0;
    for (double x : v) {
        if (x >= 2.0 * v.front())
            break;
        sum += x;
        ++n;
    }
    return sum / n;
}

}  // namespace

std::vector<uint32_t> TSpeedFollower::Debounced(const std::vector<uint32_t>& elements) {
    // A mark or space shorter than any keyed element joins its neighbours
    // into one: a contact's bounces, or a crackle within a space.
    std::vector<uint32_t> out;
    for (size_t k = 0; k < elements.size(); ++k) {
        const uint32_t v = elements[k];
        if (v < kBounceMs && k > 0 && k + 1 < elements.size() && !out.empty()) {
            out.back() += v + elements[k + 1];
            ++k;
            continue;
        }
        out.push_back(v);
    }
    return out;
}

double TSpeedFollower::InitialDot(const std::vector<uint32_t>& raw) {
    const std::vector<uint32_t> elements = Debounced(raw);
    std::vector<double> marks, spaces;
    for (size_t k = 0; k < elements.size(); ++k) {
        const uint32_t v = elements[k];
        if (v == 0 || v >= kMaxElement)
            continue;
        (k % 2 == 0 ? marks : spaces).push_back(v);
    }
    if (marks.empty())
        return 0.0;
    // Crackles before the keying settles (noise keyed before the first
    // tone, a contact's chatter) are far shorter than any element: marks and
    // spaces under a quarter of the longer marks' length are left out.
    std::vector<double> sorted = marks;
    const size_t upper = sorted.size() * 3 / 4;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(upper), sorted.end());
    const double floor = 0.25 * sorted[upper];
    std::erase_if(marks, [&](double v) { return v < floor; });
    std::erase_if(spaces, [&](double v) { return v < floor; });
    const double shortMark = ShortClassMean(marks);
    const double longMark = *std::max_element(marks.begin(), marks.end());
    if (longMark >= 2.0 * shortMark) {
        // Dots and dashes both present: the dash class says 3 dots.
        double dashSum = 0;
        int dashes = 0;
        for (double m : marks)
            if (m >= 2.0 * shortMark)
                dashSum += m, ++dashes;
        return (shortMark + dashSum / dashes / 3.0) / 2.0;
    }
    // One class of marks: the element spaces (the shortest spaces) tell
    // whether they are dots or dashes.
    if (spaces.empty())
        return shortMark;
    const double space = ShortClassMean(spaces);
    return shortMark >= 2.0 * space ? (shortMark / 3.0 + space) / 2.0 : (shortMark + space) / 2.0;
}

int32_t TSpeedFollower::Cpm() const {
    return dot_ >= 1.0 ? static_cast<int32_t>(std::lround(6000.0 / dot_)) : 0;
}

bool TSpeedFollower::Update(const CharRecord& rec) {
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    // One dot or three: the boundary halfway between on a ratio scale. At
    // two dots a ragged fist's short dashes and short character spaces
    // would count as long dots and pull the dot length up.
    const double limit = std::sqrt(3.0) * dot_;
    bool any = false;
    // Marks and the spaces inside the character, each as the dot length it
    // shows; the ending space says only that it is long.
    for (uint32_t k = 1; k < n; ++k) {
        const uint32_t v = rec[1 + k];
        if (v == 0 || v >= kMaxElement)
            continue;
        const bool mark = (k % 2) == 1;
        if (!mark && v >= limit)
            continue;
        recent_[next_] = (mark && v >= limit) ? v / 3.0 : v;
        next_ = (next_ + 1) % recent_.size();
        filled_ = std::min(filled_ + 1, recent_.size());
        any = true;
    }
    if (!any)
        return false;
    // The median of the last elements: a ragged fist's stray element (a
    // short dash taken for a long dot) does not pull the dot length along,
    // and a drift still shows within a handful of characters.
    std::array<double, kRecent> v{};
    std::copy_n(recent_.begin(), filled_, v.begin());
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(filled_ / 2),
                     v.begin() + static_cast<std::ptrdiff_t>(filled_));
    dot_ += kFollow * (v[filled_ / 2] - dot_);
    return true;
}
