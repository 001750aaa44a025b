#include "cli/ReportJson.h"

#include "cli/Json.h"

#include <cmath>
#include <cstdio>

namespace orvo::cli {

namespace {

std::string Num(double v, int decimals = 1) {
    if (!std::isfinite(v))
        return "null";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    // "-0.0" reads oddly in a report.
    if (std::string(buf).find_first_not_of("-0.") == std::string::npos)
        std::snprintf(buf, sizeof buf, "%.*f", decimals, 0.0);
    return buf;
}

std::string Opt(const std::optional<double>& v, int decimals) { return v ? Num(*v, decimals) : "null"; }

std::string Session(const SessionInput& s) {
    const PracticeReport r = s.stats->Report();
    std::string o = "{\"input\": " + JsonString(s.input) +
                    ", \"started\": " + (s.started.empty() ? "null" : JsonString(s.started));
    o += ", \"characters\": " + std::to_string(r.characters) + ", \"unknown\": " + std::to_string(r.unknown);
    o += ", \"speed_cpm\": {\"mean\": " + Num(r.speedMean) + ", \"sd\": " + Num(r.speedSd) + "}";
    o += ", \"elements\": {";
    for (int i = 0; i < kElementKinds; ++i) {
        const ElementSpread& e = r.elements[i];
        if (i)
            o += ", ";
        o += std::string("\"") + ElementKindName(static_cast<ElementKind>(i)) +
             "\": {\"count\": " + std::to_string(e.count) + ", \"mean_ms\": " + Num(e.meanMs) +
             ", \"sd_ms\": " + Num(e.sdMs) + ", \"cv_pct\": " + Num(e.cvPct) + "}";
    }
    o += "}, \"unit_ms\": " + Num(r.unitMs);
    o += ", \"dash_dot_ratio\": " + Opt(r.dashDot, 2) +
         ", \"char_space_dot_ratio\": " + Opt(r.charSpaceDot, 2) +
         ", \"word_space_dot_ratio\": " + Opt(r.wordSpaceDot, 2) + ", \"weight_pct\": " + Opt(r.weightPct, 1);
    o += ", \"score\": " + Num(r.score) + ", \"characters_by_score\": [";
    for (size_t i = 0; i < r.byScore.size(); ++i) {
        const CharacterScore& c = r.byScore[i];
        if (i)
            o += ", ";
        o += "{\"char\": " + JsonString(c.text) + ", \"count\": " + std::to_string(c.count) +
             ", \"score\": " + Num(c.score) + "}";
    }
    return o + "]}";
}

}  // namespace

std::string ReportJson(const std::vector<SessionInput>& sessions) {
    std::string o = "{\"sessions\": [";
    for (size_t i = 0; i < sessions.size(); ++i) {
        if (i)
            o += ", ";
        o += Session(sessions[i]);
    }
    return o + "]}";
}

}  // namespace orvo::cli
