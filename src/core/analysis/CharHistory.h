#pragma once
// The last 512 keyed characters with their exact timing, and the cursor that
// marks the start of the red zone when the operator browses back.

#include "analysis/CharRecord.h"

#include <array>
#include <cstdint>

class CharHistory {
public:
    static constexpr int kSize = 512;
    // MoveCursor steps that jump to the newest / oldest character.
    static constexpr int32_t kToNewest = 2147483647;
    static constexpr int32_t kToOldest = -2147483647;

    // Adds the newest record (all its slots); the cursor returns to it.
    void Store(const CharRecord& rec);
    // Zeroes every record; head, cursor and cursor distance are kept.
    void Clear();
    // Copies a record: the newest when not browsing, else the one `back`
    // characters behind the newest (never further back than the cursor).
    void Get(uint32_t back, CharRecord& rec) const;
    // Moves the cursor; returns the records moved (negative = older).
    int32_t MoveCursor(int32_t step);

    int32_t Count() const { return count_; }
    int32_t Head() const { return head_; }
    int32_t Cursor() const { return cursor_; }
    int32_t CursorBack() const { return cursorBack_; }
    bool Browsing() const { return browsing_; }
    const CharRecord& Record(int index) const { return records_[index & (kSize - 1)]; }

private:
    std::array<CharRecord, kSize> records_{};
    int32_t head_ = 0, count_ = 0, cursor_ = 0, cursorBack_ = 0;
    bool browsing_ = false;
};
