#pragma once
// Follows the speed an operator actually keys at: a first dot length from
// the opening marks and spaces, then, character by character, a dot length
// that moves towards each new character's own, so that the analyser's
// thresholds follow a drifting speed.

#include "analysis/CharRecord.h"

#include <cstdint>
#include <vector>

class TSpeedFollower {
public:
    // The dot length the first elements show (marks at odd, spaces at even
    // positions, starting with a mark; timeout markers ignored); 0 when they
    // hold no mark.
    static double InitialDot(const std::vector<uint32_t>& elements);

    void Start(double dotMs) { dot_ = dotMs; }
    double Dot() const { return dot_; }
    // Speed in CpM of the dot length in force.
    int32_t Cpm() const;

    // Moves the dot length towards the finished character's own, judged
    // against the dot length in force when it was keyed. Returns whether the
    // record held anything to measure.
    bool Update(const CharRecord& rec);

private:
    double dot_ = 100.0;
};
