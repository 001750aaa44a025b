#include "analysis/CWDecode.h"

#include <gtest/gtest.h>

TEST(CWDecode, ClassesAndSwitches) {
    enum Switch { None, Prosigns2, Special, Aring, NoAcirc, Standard, ErrQm };
    struct Case {
        Switch set;  // applied before this and every later case
        uint32_t code;
        bool bl;
        const char* text;
    };
    const std::string dots13 = "<" + std::string(13, '.') + "-.->";
    const Case cases[] = {
        {None, 5, false, "a"},
        {None, 5, true, "a "},
        {None, 2, false, "e"},
        {None, 28, false, "z"},
        {None, 63, false, "0"},
        {None, 62, false, "9"},
        {None, 76, false, "?"},
        {None, 115, false, ","},
        {None, 42, false, "<ar>"},
        {None, 256, false, "<hh>"},
        {None, 568, true, "<sos> "},
        {None, 512, false, "<.........>"},
        {None, 65536 + 5, false, dots13.c_str()},  // 16+ elements never match
        {None, 1, false, "<.>"},
        {Prosigns2, 42, false, "+"},
        {None, 49, false, "="},
        {None, 53, false, "<ka>"},
        {None, 69, false, "<sk>"},
        {Special, 21, false, "\xE4"},
        {None, 45, false, "\xE1"},
        {None, 31, false, "<ch>"},
        {None, 54, false, "("},
        {None, 90, false, "@"},
        {None, 82, false, "\""},
        {Aring, 45, false, "\xE5"},
        {NoAcirc, 45, false, "\xE1"},
        {Standard, 45, false, "<.--.->"},
        {None, 31, false, "<---->"},
        {None, 54, true, "<-.--.> "},
        {ErrQm, 45, false, "<?>"},
        {None, 512, true, "<?> "},
        {None, 5, false, "a"},
    };
    TCWDecode d;
    for (const Case& c : cases) {
        switch (c.set) {
            case Prosigns2:
                d.SetDisplay2Prosigns(true);
                break;
            case Special:
                d.SetSpecialChars(true);
                break;
            case Aring:
                d.SetAring(true);
                EXPECT_TRUE(d.Acirc());
                break;
            case NoAcirc:
                d.SetAcirc(false);
                break;
            case Standard:
                d.SetSpecialChars(false);
                break;
            case ErrQm:
                d.SetErrQm(true);
                d.SetAring(true);
                break;
            case None:
                break;
        }
        EXPECT_EQ(d.Decode(c.code, c.bl), c.text) << c.code;
    }
}

TEST(CWDecode, RenderElements) {
    EXPECT_EQ(TCWDecode::RenderElements(6), "<-.>");
    EXPECT_EQ(TCWDecode::RenderElements(568), "<...---...>");
    EXPECT_EQ(TCWDecode::RenderElements(0), "<.>");
    EXPECT_EQ(TCWDecode::RenderElements(0xFFFFFFFFu), "<" + std::string(31, '-') + ">");
}
