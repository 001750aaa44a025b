#pragma once
// A failure the command-line tool reports as one line on stderr, exit 2.
// The core's batch failures are reported the same way.

#include "morse/BatchError.h"

namespace orvo::cli {

using CliError = orvo::BatchError;

}  // namespace orvo::cli
