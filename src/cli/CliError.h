#pragma once
// A failure the command-line tool reports as one line on stderr, exit 2.

#include <stdexcept>
#include <string>

namespace orvo::cli {

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace orvo::cli
