#pragma once
// Follows the speed an operator actually keys at: a first dot length from
// the opening marks and spaces, then, character by character, a dot length
// that moves towards each new character's own, so that the analyser's
// thresholds follow a drifting speed.

#include "analysis/CharRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TSpeedFollower {
public:
    // The dot length the first elements show (marks at odd, spaces at even
    // positions, starting with a mark; timeout markers ignored); 0 when they
    // hold no mark.
    // Contact bounces (marks and spaces under 10 ms) are merged first.
    static double InitialDot(const std::vector<uint32_t>& elements);
    // The elements with every one under 10 ms joined to its neighbours.
    static std::vector<uint32_t> Debounced(const std::vector<uint32_t>& elements);

    void Start(double dotMs) {
        dot_ = dotMs;
        filled_ = 0;
    }
    double Dot() const { return dot_; }
    // Speed in CpM of the dot length in force.
    int32_t Cpm() const;

    // Moves the dot length towards the finished character's own, judged
    // against the dot length in force when it was keyed. Returns whether the
    // record held anything to measure.
    bool Update(const CharRecord& rec);

private:
    static constexpr size_t kRecent = 40;
    double dot_ = 100.0;
    // The dot lengths the last elements showed.
    std::array<double, kRecent> recent_{};
    size_t next_ = 0, filled_ = 0;
};
