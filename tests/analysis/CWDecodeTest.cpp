#include "analysis/CWDecode.h"

#include <gtest/gtest.h>

TEST(CWDecode, BasicCharactersAndBlank) {
    TCWDecode d;
    EXPECT_EQ(d.Decode(5, false), "a");
    EXPECT_EQ(d.Decode(5, true), "a ");
    EXPECT_EQ(d.Decode(2, false), "e");
    EXPECT_EQ(d.Decode(28, false), "z");
    EXPECT_EQ(d.Decode(63, false), "0");
    EXPECT_EQ(d.Decode(62, false), "9");
    EXPECT_EQ(d.Decode(76, false), "?");
    EXPECT_EQ(d.Decode(115, false), ",");
}

TEST(CWDecode, ProsignsAndDisplay2Prosigns) {
    TCWDecode d;
    EXPECT_EQ(d.Decode(42, false), "<ar>");
    EXPECT_EQ(d.Decode(49, false), "<bt>");
    EXPECT_EQ(d.Decode(256, false), "<hh>");
    EXPECT_EQ(d.Decode(568, true), "<sos> ");
    d.SetDisplay2Prosigns(true);
    EXPECT_EQ(d.Decode(42, false), "+");
    EXPECT_EQ(d.Decode(49, false), "=");
    EXPECT_EQ(d.Decode(53, false), "<ka>");
    EXPECT_EQ(d.Decode(69, false), "<sk>");
}

TEST(CWDecode, ExtendedClassFollowsSpecialChars) {
    TCWDecode d;
    d.SetSpecialChars(true);
    EXPECT_EQ(d.Decode(21, false), "\xE4");
    EXPECT_EQ(d.Decode(45, false), "\xE1");
    EXPECT_EQ(d.Decode(31, false), "<ch>");
    EXPECT_EQ(d.Decode(54, false), "(");
    EXPECT_EQ(d.Decode(90, false), "@");
    EXPECT_EQ(d.Decode(82, false), "\"");
    d.SetAring(true);
    EXPECT_EQ(d.Decode(45, false), "\xE5");
    EXPECT_TRUE(d.Acirc());
    d.SetAcirc(false);
    EXPECT_EQ(d.Decode(45, false), "\xE1");

    d.SetSpecialChars(false);
    EXPECT_EQ(d.Decode(45, false), "<.--.->");
    EXPECT_EQ(d.Decode(31, false), "<---->");
    EXPECT_EQ(d.Decode(54, true), "<-.--.> ");
    d.SetErrQm(true);
    d.SetAring(true);
    EXPECT_EQ(d.Decode(45, false), "<?>");
}

TEST(CWDecode, UnlistedCodes) {
    TCWDecode d;
    EXPECT_EQ(d.Decode(512, false), "<.........>");
    // 16 or more elements never match the 16-bit table.
    EXPECT_EQ(d.Decode(65536 + 5, false), "<" + std::string(13, '.') + "-.->");
    EXPECT_EQ(d.Decode(1, false), "<.>");
    d.SetErrQm(true);
    EXPECT_EQ(d.Decode(512, true), "<?> ");
    EXPECT_EQ(d.Decode(5, false), "a");
}

TEST(CWDecode, RenderElements) {
    EXPECT_EQ(TCWDecode::RenderElements(5), "<.->");
    EXPECT_EQ(TCWDecode::RenderElements(6), "<-.>");
    EXPECT_EQ(TCWDecode::RenderElements(568), "<...---...>");
    EXPECT_EQ(TCWDecode::RenderElements(0), "<.>");
    EXPECT_EQ(TCWDecode::RenderElements(1), "<.>");
    EXPECT_EQ(TCWDecode::RenderElements(0xFFFFFFFFu), "<" + std::string(31, '-') + ">");
}
