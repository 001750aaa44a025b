#pragma once
// JSON text: string helpers and the analysis result as printed.

#include "analysis/BatchAnalysis.h"

#include <string>

namespace orvo::cli {

// The UTF-8 form of a Windows-1252 byte string.
std::string Cp1252ToUtf8(const std::string& text);

// A JSON string literal (quotes included) of a Windows-1252 byte string:
// control characters as \uXXXX, the rest as UTF-8.
std::string JsonString(const std::string& cp1252);

// The JSON object printed by `analyze` and `keys` (one line, no newline).
std::string ToJson(const AnalysisResult& r);

}  // namespace orvo::cli
