#pragma once
// Practice statistics of one session: the spread of every element kind, the
// ratios and the weight, one score for the whole keying and one per
// character, and the element lengths in the operator's own dots for
// histograms. Fed with finished characters (pattern and element durations
// as the analyser records them); the command-line report and the practice
// window both read their numbers from here.

#include "analysis/CWDecode.h"

#include "analysis/Thresholds.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The element kinds judged for spread: every kind but the timeout marker.
constexpr int kElementKinds = static_cast<int>(ElementKind::TimedOut);

struct ElementSpread {
    int32_t count = 0;
    double meanMs = 0.0;
    double sdMs = 0.0;
    double cvPct = 0.0;  // 100 sd / mean
};

struct CharacterScore {
    std::string text;  // Windows-1252, as decoded
    int32_t count = 0;
    double score = 0.0;
};

struct PracticeReport {
    int32_t characters = 0;
    int32_t unknown = 0;                    // characters that decoded to no known code
    double speedMean = 0.0, speedSd = 0.0;  // CpM, over characters
    std::array<ElementSpread, kElementKinds> elements{};
    // The operator's own dot: marks and element spaces over their nominal
    // units (dot 1, dash 3, element space 1); 0 while nothing is keyed.
    double unitMs = 0.0;
    std::optional<double> dashDot, charSpaceDot, wordSpaceDot, weightPct;
    double score = 0.0;
    std::vector<CharacterScore> byScore;  // worst first
};

class TPracticeStats {
public:
    // extended: the character set the decoder names characters with.
    explicit TPracticeStats(bool extended = true);

    // One finished character: its pattern code, the element durations in ms
    // (marks odd, spaces even, the last the space that ended it; 0 = merged
    // away, kTimeoutMarker or more = no keying followed) and whether that
    // last space was a word space.
    void Add(uint32_t pattern, const uint32_t* elements, size_t count, bool wordSpace);
    void Clear();
    bool Empty() const { return chars_.empty(); }

    PracticeReport Report() const;
    // Element lengths of one kind in the operator's dots (unitMs).
    std::vector<double> LengthsInDots(ElementKind kind) const;
    const std::vector<uint32_t>& Lengths(ElementKind kind) const { return lengths_[static_cast<int>(kind)]; }

private:
    struct Keyed {
        std::string text;
        bool known = true;
        double cpm = 0.0;
        // Marks and inner spaces with their nominal lengths in dots.
        std::vector<std::pair<uint32_t, uint32_t>> elements;
    };

    double UnitMs() const;

    TCWDecode decoder_;
    std::vector<Keyed> chars_;
    std::array<std::vector<uint32_t>, kElementKinds> lengths_;
};

// The session score (0..100) from its spreads, ratios and weight.
double SessionScore(const std::array<ElementSpread, kElementKinds>& elements,
                    const std::optional<double>& dashDot, const std::optional<double>& charSpaceDot,
                    const std::optional<double>& wordSpaceDot, const std::optional<double>& weightPct);

// Histogram of lengths in dots: `bins` counts of width `binDots` from 0; longer
// values land in the last bin.
std::vector<int32_t> Histogram(const std::vector<double>& dots, double binDots, int bins);

const char* ElementKindName(ElementKind kind);  // "dot", "dash", "element_space", ...
