#pragma once
// Small helpers for writing JSON text.

#include <string>

namespace orvo::cli {

// The UTF-8 form of a Windows-1252 byte string.
std::string Cp1252ToUtf8(const std::string& text);

// A JSON string literal (quotes included) of a Windows-1252 byte string:
// control characters as \uXXXX, the rest as UTF-8.
std::string JsonString(const std::string& cp1252);

}  // namespace orvo::cli
