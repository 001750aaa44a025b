#include "analysis/CWDecode.h"

#include <string_view>

namespace {

struct Entry {
    uint16_t code;
    const char* text;
};

// Searched in order, first match wins. 0..39 basic, 40..48 prosigns,
// 49..65 extended.
constexpr Entry kTable[66] = {
    {5, "a"},     {24, "b"},    {26, "c"},    {12, "d"},    {2, "e"},      {18, "f"},    {14, "g"},
    {16, "h"},    {4, "i"},     {23, "j"},    {13, "k"},    {20, "l"},     {7, "m"},     {6, "n"},
    {15, "o"},    {22, "p"},    {29, "q"},    {10, "r"},    {8, "s"},      {3, "t"},     {9, "u"},
    {17, "v"},    {11, "w"},    {25, "x"},    {27, "y"},    {28, "z"},     {63, "0"},    {47, "1"},
    {39, "2"},    {35, "3"},    {33, "4"},    {32, "5"},    {48, "6"},     {56, "7"},    {60, "8"},
    {62, "9"},    {115, ","},   {85, "."},    {50, "/"},    {76, "?"},     {42, "<ar>"}, {49, "<bt>"},
    {53, "<ka>"}, {69, "<sk>"}, {40, "<as>"}, {34, "<ve>"}, {256, "<hh>"}, {97, "<du>"}, {568, "<sos>"},
    {31, "<ch>"}, {21, "\xE4"}, {45, "\xE1"}, {36, "\xE9"}, {59, "\xF1"},  {30, "\xF6"}, {19, "\xFC"},
    {52, "\xE7"}, {137, "$"},   {82, "\""},   {120, ":"},   {94, "'"},     {106, ";"},   {54, "("},
    {109, ")"},   {90, "@"},    {38, "!"},
};

constexpr int kFirstProsign = 40;
constexpr int kFirstExtended = 49;

}  // namespace

std::string TCWDecode::Decode(uint32_t data, bool bl) const {
    int found = -1;
    for (int i = 0; i < 66; ++i) {
        if (kTable[i].code == data) {
            found = i;
            break;
        }
    }
    // The text is picked first and the string built once: assigning short
    // literals to a string in the branches trips a false -Wrestrict in g++ 12.
    const char* fixed = nullptr;
    if (found >= 0 && found < kFirstProsign) {
        fixed = kTable[found].text;
    } else if (found >= kFirstProsign && found < kFirstExtended) {
        if (display2Prosigns_ && found == kFirstProsign)
            fixed = "+";
        else if (display2Prosigns_ && found == kFirstProsign + 1)
            fixed = "=";
        else
            fixed = kTable[found].text;
    } else if (found >= kFirstExtended && specialChars_) {
        fixed = kTable[found].text;
        if (aring_ && std::string_view(fixed) == "\xE1")
            fixed = "\xE5";
    } else if (errQm_) {
        fixed = "<?>";
    }
    std::string text = fixed ? std::string(fixed) : RenderElements(data);
    if (bl)
        text += ' ';
    return text;
}

std::string TCWDecode::RenderElements(uint32_t data) {
    // Move the marker bit to the top; the bits below it are the elements.
    int elements = 31;
    while (elements > 0 && (data & 0x80000000u) == 0) {
        data <<= 1;
        --elements;
    }
    data <<= 1;
    std::string text = "<";
    if (elements == 0)
        elements = 1;
    for (int i = 0; i < elements; ++i) {
        text += (data & 0x80000000u) ? '-' : '.';
        data <<= 1;
    }
    text += '>';
    return text;
}
