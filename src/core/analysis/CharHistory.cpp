#include "analysis/CharHistory.h"

#include <algorithm>

namespace {

int Wrap(int64_t index) {
    const int64_t m = index % CharHistory::kSize;
    return static_cast<int>(m < 0 ? m + CharHistory::kSize : m);
}

}  // namespace

void CharHistory::Store(const CharRecord& rec) {
    head_ = (head_ + 1) % kSize;
    records_[head_] = rec;
    browsing_ = false;
    cursor_ = head_;
    cursorBack_ = 0;
    count_ = std::min(count_ + 1, kSize);
}

void CharHistory::Clear() {
    for (auto& rec : records_)
        rec.fill(0);
    count_ = 0;
    browsing_ = false;
}

void CharHistory::Get(uint32_t back, CharRecord& rec) const {
    int index = head_;
    if (browsing_)
        index = static_cast<int64_t>(back) > cursorBack_ ? cursor_ : Wrap(int64_t{head_} - back);
    const CharRecord& src = records_[index];
    const uint32_t n = std::min(src[1], kMaxRecordElements);
    rec[0] = src[0];
    rec[1] = n;
    std::copy_n(src.begin() + 2, n, rec.begin() + 2);
}

int32_t CharHistory::MoveCursor(int32_t step) {
    if (step == kToOldest) {
        cursorBack_ = std::max(count_ - 1, 0);
        cursor_ = Wrap(int64_t{head_} - cursorBack_);
        browsing_ = true;
        return -cursorBack_;
    }
    if (step == kToNewest || step == 0 || (step > 0 && !browsing_)) {
        cursorBack_ = 0;
        cursor_ = head_;
        browsing_ = false;
        return 0;
    }
    if (step < 0) {
        int64_t m = -int64_t{step};
        // Never past the oldest record held.
        if (count_ - cursorBack_ <= m)
            m = count_ - cursorBack_ - 1;
        m = std::max<int64_t>(m, 0);
        cursor_ = Wrap(cursor_ - m);
        cursorBack_ += static_cast<int32_t>(m);
        if (m != 0)
            browsing_ = true;
        return static_cast<int32_t>(-m);
    }
    // Forward while browsing: never past the newest record, so the cursor
    // stays (head - cursor distance) mod 512.
    const int32_t m = std::min(step, cursorBack_);
    cursor_ = Wrap(int64_t{cursor_} + m);
    cursorBack_ -= m;
    if (cursorBack_ == 0)
        browsing_ = false;
    return m;
}
