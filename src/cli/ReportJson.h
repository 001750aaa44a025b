#pragma once
// The JSON text printed by `report`.

#include "analysis/SessionInput.h"

#include <string>
#include <vector>

namespace orvo::cli {

// {"sessions": [...]} on one line, no newline.
std::string ReportJson(const std::vector<SessionInput>& sessions);

}  // namespace orvo::cli
