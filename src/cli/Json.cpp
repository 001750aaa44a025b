#include "cli/Json.h"

#include "morse/Cp1252.h"

#include <cstdint>
#include <cstdio>

namespace orvo::cli {

namespace {

uint32_t CodePoint(unsigned char c) { return cp1252::ToUnicode(c); }

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        AppendUtf8(out, CodePoint(c));
    return out;
}

std::string JsonString(const std::string& cp1252) {
    std::string out = "\"";
    for (unsigned char c : cp1252) {
        const uint32_t cp = CodePoint(c);
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                // C0 and C1 controls and DEL are escaped so the text stays printable.
                if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                    out += buf;
                } else {
                    AppendUtf8(out, cp);
                }
        }
    }
    out += '"';
    return out;
}

namespace {

void AppendTiming(std::string& o, const char* name, const TimingEntry& t) {
    o += "\"";
    o += name;
    o += "\": {\"last\": " + std::to_string(t.last) + ", \"avg\": " + std::to_string(t.avg) +
         ", \"count\": " + std::to_string(t.count) + "}, ";
}

const char* Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string ToJson(const AnalysisResult& r) {
    std::string o = "{\"text\": " + JsonString(r.text) + ", \"characters\": [";
    for (size_t i = 0; i < r.characters.size(); ++i) {
        const CharacterEntry& c = r.characters[i];
        if (i)
            o += ", ";
        o += "{\"pattern\": " + std::to_string(c.pattern) + ", \"text\": " + JsonString(c.text) +
             ", \"elements\": [";
        for (size_t k = 0; k < c.elements.size(); ++k) {
            if (k)
                o += ", ";
            o += std::to_string(c.elements[k]);
        }
        o += "], \"word_space\": ";
        o += Bool(c.wordSpace);
        o += ", \"timeout\": ";
        o += Bool(c.timeout);
        o += ", \"cpm\": " + std::to_string(c.cpm) + ", \"avg_cpm\": " + std::to_string(c.avgCpm) + "}";
    }
    o += "], \"timing\": {";
    AppendTiming(o, "dot", r.dot);
    AppendTiming(o, "dash", r.dash);
    AppendTiming(o, "element_space", r.elementSpace);
    AppendTiming(o, "char_space", r.charSpace);
    AppendTiming(o, "word_space", r.wordSpace);
    o += "\"last_dash\": {\"avg\": " + std::to_string(r.lastDashAvg) +
         ", \"count\": " + std::to_string(r.lastDashCount) + "}, \"weight\": " + std::to_string(r.weight) +
         "}";
    if (r.autoSpeed)
        o += ", \"speed_start\": " + std::to_string(r.speedStart) +
             ", \"speed_end\": " + std::to_string(r.speedEnd);
    if (r.autoCenter)
        o += ", \"center_hz\": " + std::to_string(r.centerHz);
    if (r.hasInput) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", r.input.seconds);
        o += ", \"input\": {\"format\": " + JsonString(r.input.format) +
             ", \"sample_rate\": " + std::to_string(r.input.sampleRate) +
             ", \"channels\": " + std::to_string(r.input.channels) + ", \"seconds\": " + seconds + "}";
    }
    o += "}";
    return o;
}

}  // namespace orvo::cli
