#pragma once
// orvo-tapmeter-cli: analyse keyed Morse from WAV files or key timings, and
// generate Morse as WAV files.

#include <iosfwd>
#include <string>
#include <vector>

namespace orvo::cli {

constexpr const char* kProgram = "orvo-tapmeter-cli";

// Runs the tool on its arguments (without the program name). Results go to
// out, problems to err as one line; returns the exit status (0, or 2 on error).
int RunCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace orvo::cli
