// Any bytes as `keys` input: the line parser and, when it accepts them, the
// simulated keying through the analyser. Must never crash or hang.

#include "cli/Json.h"
#include "analysis/BatchAnalysis.h"
#include "cli/CliError.h"

#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const auto events = orvo::ParseKeyEvents(in);
        orvo::AnalysisOptions opt;
        opt.speed = size ? 20 + data[0] % 281 : 60;
        opt.bounce = size > 1 && (data[1] & 1);
        orvo::cli::ToJson(orvo::AnalyzeKeys(events, opt));
    } catch (const orvo::cli::CliError&) {}
    return 0;
}
