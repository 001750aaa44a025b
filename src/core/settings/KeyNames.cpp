#include "settings/KeyNames.h"

#include <cctype>

namespace {

struct NamedKey {
    const char* name;
    uint32_t sym;
};

// The keys a practice key or a key adapter is likely to send, and the
// others a keyboard offers that the program does not use as hot keys.
constexpr NamedKey kKeys[] = {
    {"Right", 0xff53},
    {"Left", 0xff51},
    {"Up", 0xff52},
    {"Down", 0xff54},
    {"Control_L", 0xffe3},
    {"Control_R", 0xffe4},
    {"Shift_L", 0xffe1},
    {"Shift_R", 0xffe2},
    {"Alt_L", 0xffe9},
    {"Alt_R", 0xffea},
    {"Super_L", 0xffeb},
    {"Super_R", 0xffec},
    {"ISO_Level3_Shift", 0xfe03},
    {"Menu", 0xff67},
    {"space", 0x20},
    {"Return", 0xff0d},
    {"Tab", 0xff09},
    {"Insert", 0xff63},
    {"Delete", 0xffff},
    {"Home", 0xff50},
    {"End", 0xff57},
    {"Prior", 0xff55},
    {"Next", 0xff56},
    {"KP_Enter", 0xff8d},
    {"KP_0", 0xffb0},
    {"KP_1", 0xffb1},
    {"KP_2", 0xffb2},
    {"KP_3", 0xffb3},
    {"comma", 0x2c},
    {"period", 0x2e},
    {"slash", 0x2f},
    {"semicolon", 0x3b},
    {"apostrophe", 0x27},
    {"bracketleft", 0x5b},
    {"bracketright", 0x5d},
    {"backslash", 0x5c},
    {"minus", 0x2d},
    {"equal", 0x3d},
    {"grave", 0x60},
};

bool SameText(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

}  // namespace

uint32_t KeySymFromName(const std::string& name) {
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        if (std::isalpha(c))
            return static_cast<uint32_t>(std::tolower(c));
        if (std::isdigit(c))
            return c;
    }
    for (const NamedKey& k : kKeys)
        if (SameText(name, k.name))
            return k.sym;
    return 0;
}

std::string KeySymName(uint32_t sym) {
    if ((sym >= 'a' && sym <= 'z') || (sym >= '0' && sym <= '9'))
        return std::string(1, static_cast<char>(sym));
    if (sym >= 'A' && sym <= 'Z')
        return std::string(1, static_cast<char>(sym - 'A' + 'a'));
    for (const NamedKey& k : kKeys)
        if (k.sym == sym)
            return k.name;
    return {};
}

const std::vector<std::string>& KeyNameChoices() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const NamedKey& k : kKeys)
            v.emplace_back(k.name);
        for (char c = 'a'; c <= 'z'; ++c)
            v.emplace_back(1, c);
        for (char c = '0'; c <= '9'; ++c)
            v.emplace_back(1, c);
        return v;
    }();
    return names;
}
