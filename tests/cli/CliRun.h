#pragma once
// Runs the command-line tool in-process and keeps what it said.

#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int code;
    std::string out, err;
};

inline CliRun Cli(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out, err;
    const int code = orvo::cli::RunCli(args, in, out, err);
    return {code, out.str(), err.str()};
}
