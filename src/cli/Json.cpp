#include "cli/Json.h"

#include <cstdint>
#include <cstdio>

namespace orvo::cli {

namespace {

// Code points of 0x80..0x9F; the five unassigned bytes keep their own value.
constexpr uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t CodePoint(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : c; }

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
    for (unsigned char c : text) AppendUtf8(out, CodePoint(c));
    return out;
}

std::string JsonString(const std::string& cp1252) {
    std::string out = "\"";
    for (unsigned char c : cp1252) {
        const uint32_t cp = CodePoint(c);
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
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

}  // namespace orvo::cli
