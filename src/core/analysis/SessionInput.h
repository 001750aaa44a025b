#pragma once
// One practice session read back for its statistics: a session record or any
// key list (chosen by extension or content), or a recording run through the
// detector. Failures are thrown as orvo::BatchError naming the file.

#include "analysis/BatchAnalysis.h"
#include "analysis/PracticeStats.h"

#include <istream>
#include <memory>
#include <string>

namespace orvo {

struct SessionInput {
    std::string input;    // as named by the caller
    std::string started;  // from a session record's header; empty otherwise
    bool keyList = false;
    std::unique_ptr<TPracticeStats> stats;
};

// True for a key list: a .keys or .txt name, or text opening with '#' or a
// digit; false for a recording (audio files are told by their first bytes).
bool IsKeyList(const std::string& path);

// Reads one input. Without speedGiven a session record is judged at the
// target speed its header names, as the program judged it while keying.
SessionInput ReadSessionInput(const std::string& path, AnalysisOptions opt, bool speedGiven);
// The same from key-list text (standard input).
SessionInput ReadSessionKeys(std::istream& in, const std::string& name, AnalysisOptions opt, bool speedGiven);

// Feeds the characters of an analysis into practice statistics.
void AddCharacters(TPracticeStats& stats, const AnalysisResult& r);

}  // namespace orvo
