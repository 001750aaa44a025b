#pragma once
// One keyed character with its exact timing:
//   [0]  pattern code (leading 1 marker bit, then 0 = dot / 1 = dash per mark)
//   [1]  element count n, always even
//   [2 .. n+1]  element durations in ms; odd elements are marks, even ones
//               spaces; the last is the space that ended the character.
// A space of kTimeoutMarker or more means no further keying followed.

#include <array>
#include <cstdint>

using CharRecord = std::array<uint32_t, 66>;

constexpr uint32_t kTimeoutMarker = 10000;
// Elements a record can hold (slots 2..65).
constexpr uint32_t kMaxRecordElements = 64;
