#pragma once
// `report --plot`: one session's histograms, or the progress of several,
// written as SVG or PNG (PNG painted off screen; no display is needed).

#include "analysis/SessionInput.h"

#include <string>
#include <vector>

namespace orvo::cli {

// Throws CliError when the name has neither ending or the file cannot be written.
void WritePlot(const std::string& path, const std::vector<SessionInput>& sessions);
// Refuses a name without .png or .svg before any input is read.
void CheckPlotName(const std::string& path);

}  // namespace orvo::cli
