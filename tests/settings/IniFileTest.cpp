#include "settings/IniFile.h"
#include "devices/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(IniFile, LookupAndValueParsing) {
    IniFile ini;
    ini.SetText(
        "; top comment\r\nOrphan=1\r\n[Main]\r\n;Speed=1\r\n  speed = 42 \r\n[other]\r\nSpeed=7\r\n"
        "[S]\nHex=0x50\nHEX2=0XfF\nBad=abc\nHalf=12abc\nOnlyX=0x\nNeg=-17\nHuge=99999999999\n"
        "AllOnes=0xFFFFFFFF\nHexHuge=0x100000000\nEmpty=\nTwo=2\nZero=0\nQuoted=\"a b\"\n");
    // Sections and keys case-insensitive, comments skipped, keys before any section belong nowhere.
    EXPECT_EQ(ini.GetInt("MAIN", "SPEED", 0), 42);
    EXPECT_EQ(ini.GetInt("Other", "speed", 0), 7);
    EXPECT_EQ(ini.GetString("Main", "Orphan", "d"), "d");
    EXPECT_FALSE(ini.HasKey("Main", "Missing"));
    EXPECT_EQ(ini.GetString("Nope", "Speed", "def"), "def");
    // Decimal or hex; anything malformed or out of range keeps the default.
    for (auto [key, value] : {std::pair{"Hex", 80},
                              {"Hex2", 255},
                              {"Bad", 60},
                              {"Half", 60},
                              {"OnlyX", 60},
                              {"Neg", -17},
                              {"Huge", 60},
                              {"AllOnes", -1},
                              {"HexHuge", 60},
                              {"Empty", 60}})
        EXPECT_EQ(ini.GetInt("S", key, 60), value) << key;
    EXPECT_TRUE(ini.GetBool("S", "Two", false));
    EXPECT_FALSE(ini.GetBool("S", "Zero", true));
    EXPECT_TRUE(ini.GetBool("S", "Bad", true));
    EXPECT_FALSE(ini.GetBool("S", "Bad", false));
    EXPECT_EQ(ini.GetString("S", "Quoted", ""), "a b");
    EXPECT_EQ(ini.GetString("S", "Empty", "d"), "");
    ini.SetText("[S]\nLong=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(ini.GetString("S", "Long", "").size(), IniFile::MaxStringLength);
}

TEST(IniFile, WritesInPlaceAppendsDeletesAndKeepsJunk) {
    IniFile ini;
    ini.SetText("; keep me\r\n[A]\r\nx=1\r\nunknown=zz\r\n\r\n[B]\r\ny=2\r\n");
    ini.WriteInt("a", "X", 5);         // replaced on its own line
    ini.WriteString("A", "new", "v");  // appended after the last key of A
    ini.WriteBool("C", "flag", true);  // new section at the end
    EXPECT_TRUE(ini.DeleteKey("B", "Y"));
    EXPECT_FALSE(ini.DeleteKey("B", "y"));
    EXPECT_EQ(ini.Text(),
              "; keep me\r\n[A]\r\nX=5\r\nunknown=zz\r\nnew=v\r\n\r\n[B]\r\n\r\n[C]\r\nflag=1\r\n");
    // A value cannot smuggle in lines of its own.
    ini.WriteString("A", "evil", "1\r\n[Z]\nq=2");
    EXPECT_FALSE(ini.HasKey("Z", "q"));
    EXPECT_EQ(ini.GetString("A", "evil", ""), "1  [Z] q=2");

    // Binary junk is kept and does not break lookup.
    ini.SetText(std::string("\x00\xff\xfe[\x01=\x02\n\x7f\x80=\r\r\n", 14) +
                "[Main]\nTargetSpeed=\x01\x02\nAskEnd=1\n");
    EXPECT_EQ(ini.GetInt("Main", "TargetSpeed", 60), 60);
    EXPECT_TRUE(ini.GetBool("Main", "AskEnd", false));
    ini.WriteInt("Main", "TargetSpeed", 80);
    EXPECT_EQ(ini.Text().substr(0, 4), std::string("\x00\xff\xfe[", 4));
    EXPECT_EQ(ini.GetInt("Main", "TargetSpeed", 60), 80);
}

TEST(IniFile, SaveAndLoadFiles) {
    TempDir dir;
    const std::string file = dir.File("t.ini");
    std::string err;
    IniFile missing(dir.File("none.ini"));
    EXPECT_TRUE(missing.Load(err));  // no file yet is fine
    EXPECT_EQ(missing.Text(), "");

    IniFile ini(file);
    ini.WriteString("S", "k", "v");
    ASSERT_TRUE(ini.Save(err)) << err;
    EXPECT_EQ(TempDir::ReadBytes(file), "[S]\r\nk=v\r\n");
    IniFile back(file);
    ASSERT_TRUE(back.Load(err));
    EXPECT_EQ(back.GetString("s", "K", ""), "v");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"t.ini"});  // no temporary left

    // A failed write reports the path and leaves the old file whole.
    fs::create_directory(file + ".new");
    back.WriteString("S", "k", "changed");
    EXPECT_FALSE(back.Save(err));
    EXPECT_EQ(err, "Error: cannot save to " + file);
    EXPECT_EQ(TempDir::ReadBytes(file), "[S]\r\nk=v\r\n");
    IniFile nowhere(dir.File("no/such/x.ini"));
    nowhere.WriteInt("S", "k", 1);
    EXPECT_FALSE(nowhere.Save(err));
    // A folder in place of the file cannot be read.
    IniFile dirAsFile(dir.Path());
    EXPECT_FALSE(dirAsFile.Load(err));
    EXPECT_EQ(err, "Error: cannot read " + dir.Path());
}
