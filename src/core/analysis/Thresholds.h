#pragma once
// The timing thresholds derived from one dot length, and the one rule that
// classifies a mark as dot or dash and a space as element, character or word
// space (or the timeout marker). Live keying, speed sums and replayed
// statistics all classify through Classify.

#include <cstdint>

enum class ElementKind { Dot, Dash, ElementSpace, CharSpace, WordSpace, TimedOut };

struct Thresholds {
    int32_t dotMs = 0;
    int32_t dotDashLimit = 0;       // a shorter mark is a dot
    int32_t elementSpaceLimit = 0;  // a shorter space stays inside the character
    int32_t wordSpaceLimit = 0;     // a shorter ending space is a character space
    int32_t glitchLimit = 0;        // elements at or below it are merged away
    int32_t nominalWordSpace = 0;   // stands in for a timed-out space
    int32_t wordTimeout = 0;        // silence that finishes the pending character
    int32_t muteDelay = 0;          // key held this long mutes the output
    int32_t flashDelay = 0;         // word-space flash after a release

    static Thresholds ForDot(int32_t dotMs);

    // A mark, or a space (ending the character from elementSpaceLimit on).
    // Durations compare as unsigned; a space of 10000 or more is the
    // timeout marker.
    ElementKind Classify(uint32_t ms, bool mark) const;
    // A space at or beyond this ends the character.
    bool EndsCharacter(uint32_t spaceMs) const { return spaceMs >= static_cast<uint32_t>(elementSpaceLimit); }
};
