#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("orvo_ini_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

}  // namespace

TEST(IniFile, LookupIsCaseInsensitiveAndSkipsComments) {
    IniFile ini;
    ini.SetText("; top comment\r\nOrphan=1\r\n[Main]\r\n;Speed=1\r\n  speed = 42 \r\n[other]\r\nSpeed=7\r\n");
    EXPECT_EQ(ini.GetInt("MAIN", "SPEED", 0), 42);
    EXPECT_EQ(ini.GetInt("Other", "speed", 0), 7);
    EXPECT_EQ(ini.GetString("Main", "Orphan", "d"), "d");  // keys before any section belong nowhere
    EXPECT_FALSE(ini.HasKey("Main", "Missing"));
    EXPECT_EQ(ini.GetString("Nope", "Speed", "def"), "def");
}

TEST(IniFile, IntegersBooleansAndStrings) {
    IniFile ini;
    ini.SetText("[S]\nHex=0x50\nHEX2=0XfF\nBad=abc\nHalf=12abc\nOnlyX=0x\nNeg=-17\nHuge=99999999999\n"
                "AllOnes=0xFFFFFFFF\nEmpty=\nTwo=2\nZero=0\nQuoted=\"a b\"\n");
    EXPECT_EQ(ini.GetInt("S", "Hex", 0), 80);
    EXPECT_EQ(ini.GetInt("S", "Hex2", 0), 255);
    EXPECT_EQ(ini.GetInt("S", "Bad", 60), 60);
    EXPECT_EQ(ini.GetInt("S", "Half", 60), 60);
    EXPECT_EQ(ini.GetInt("S", "OnlyX", 60), 60);
    EXPECT_EQ(ini.GetInt("S", "Neg", 0), -17);
    EXPECT_EQ(ini.GetInt("S", "Huge", 5), 5);
    EXPECT_EQ(ini.GetInt("S", "AllOnes", 0), -1);
    EXPECT_EQ(ini.GetInt("S", "Empty", 3), 3);
    EXPECT_TRUE(ini.GetBool("S", "Two", false));
    EXPECT_FALSE(ini.GetBool("S", "Zero", true));
    EXPECT_TRUE(ini.GetBool("S", "Bad", true));   // malformed keeps the default
    EXPECT_FALSE(ini.GetBool("S", "Bad", false));
    EXPECT_EQ(ini.GetString("S", "Quoted", ""), "a b");
    EXPECT_EQ(ini.GetString("S", "Empty", "d"), "");

    IniFile big;
    big.SetText("[S]\nLong=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(big.GetString("S", "Long", "").size(), IniFile::MaxStringLength);
}

TEST(IniFile, WritesInPlaceAppendsToSectionAndDeletes) {
    IniFile ini;
    ini.SetText("; keep me\r\n[A]\r\nx=1\r\nunknown=zz\r\n\r\n[B]\r\ny=2\r\n");
    ini.WriteInt("a", "X", 5);              // replaced on its own line
    ini.WriteString("A", "new", "v");       // appended after the last key of A
    ini.WriteBool("C", "flag", true);       // new section at the end
    EXPECT_TRUE(ini.DeleteKey("B", "Y"));
    EXPECT_FALSE(ini.DeleteKey("B", "y"));
    EXPECT_EQ(ini.Text(), "; keep me\r\n[A]\r\nX=5\r\nunknown=zz\r\nnew=v\r\n\r\n[B]\r\n\r\n[C]\r\nflag=1\r\n");

    // A value cannot smuggle in lines of its own.
    ini.WriteString("A", "evil", "1\r\n[Z]\nq=2");
    EXPECT_FALSE(ini.HasKey("Z", "q"));
    EXPECT_EQ(ini.GetString("A", "evil", ""), "1  [Z] q=2");
}

TEST(IniFile, BinaryContentIsKeptAndDoesNotBreakLookup) {
    std::string junk("\x00\xff\xfe[\x01=\x02\n\x7f\x80=\r\r\n", 14);
    IniFile ini;
    ini.SetText(junk + "[Main]\nTargetSpeed=\x01\x02\nAskEnd=1\n");
    EXPECT_EQ(ini.GetInt("Main", "TargetSpeed", 60), 60);
    EXPECT_TRUE(ini.GetBool("Main", "AskEnd", false));
    ini.WriteInt("Main", "TargetSpeed", 80);
    EXPECT_EQ(ini.Text().substr(0, 4), std::string("\x00\xff\xfe[", 4));
    EXPECT_EQ(ini.GetInt("Main", "TargetSpeed", 60), 80);
}

TEST(IniFile, SaveAndLoadFiles) {
    TempDir dir;
    const fs::path file = dir.path() / "t.ini";
    std::string err;

    IniFile missing((dir.path() / "none.ini").string());
    EXPECT_TRUE(missing.Load(err));  // no file yet is fine
    EXPECT_EQ(missing.Text(), "");

    IniFile ini(file.string());
    ini.WriteString("S", "k", "v");
    ASSERT_TRUE(ini.Save(err)) << err;
    EXPECT_EQ(ReadAll(file), "[S]\r\nk=v\r\n");
    EXPECT_FALSE(fs::exists(file.string() + ".new"));

    IniFile back(file.string());
    ASSERT_TRUE(back.Load(err));
    EXPECT_EQ(back.GetString("s", "K", ""), "v");

    // A failed write reports the path and leaves the old file whole.
    fs::create_directory(file.string() + ".new");
    back.WriteString("S", "k", "changed");
    EXPECT_FALSE(back.Save(err));
    EXPECT_EQ(err, "Error: cannot save to " + file.string());
    EXPECT_EQ(ReadAll(file), "[S]\r\nk=v\r\n");

    // A folder in place of the file cannot be read.
    IniFile dirAsFile(dir.path().string());
    EXPECT_FALSE(dirAsFile.Load(err));
    EXPECT_EQ(err, "Error: cannot read " + dir.path().string());

    IniFile nowhere((dir.path() / "no" / "such" / "x.ini").string());
    nowhere.WriteInt("S", "k", 1);
    EXPECT_FALSE(nowhere.Save(err));
}
