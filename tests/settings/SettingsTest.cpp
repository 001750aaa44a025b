#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const TSettingsInfo kInfo{"Orvo Tapmeter - test", "1.2.3"};

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const fs::path& p, const std::string& s) {
    std::ofstream out(p, std::ios::binary);
    out << s;
}

// Lines of the form "[Section]" or "Key" (value dropped), in file order.
std::vector<std::string> Layout(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        out.push_back(line[0] == '[' ? line : line.substr(0, line.find('=')));
    }
    return out;
}

struct Folder {
    Folder() {
        root = fs::temp_directory_path() / ("orvo_settings_" + std::to_string(::getpid()) + "_" +
                                            std::to_string(n++));
        fs::create_directories(root);
        dir = (root / "OrvoTapmeter").string() + "/";
    }
    ~Folder() { fs::remove_all(root); }
    static inline int n = 0;
    fs::path root;
    std::string dir;
};

}  // namespace

TEST(Settings, FolderFollowsEnvironmentAndNeverTheRoot) {
    EXPECT_EQ(SettingsFolderFrom("/data/app", "/x", "/home/u"), "/data/app/OrvoTapmeter/");
    EXPECT_EQ(SettingsFolderFrom(nullptr, "/x/cfg/", "/home/u"), "/x/cfg/OrvoTapmeter/");
    EXPECT_EQ(SettingsFolderFrom("", "", "/home/u"), "/home/u/.config/OrvoTapmeter/");
    EXPECT_EQ(SettingsFolderFrom(nullptr, "relative", "/home/u"), "/home/u/.config/OrvoTapmeter/");
    EXPECT_EQ(SettingsFolderFrom("/", nullptr, nullptr), "");
    EXPECT_EQ(SettingsFolderFrom(nullptr, nullptr, "/"), "/.config/OrvoTapmeter/");
    EXPECT_EQ(SettingsFolderFrom(nullptr, nullptr, nullptr), "");
}

TEST(Settings, FreshStartGivesEveryDefault) {
    IniFile empty;
    TSettings s;
    LoadSettings(empty, s, "/cfg/OrvoTapmeter/", 1920, 1080);
    EXPECT_EQ(s.TargetSpeed, 60);
    EXPECT_FALSE(s.AskEnd);
    EXPECT_EQ(s.OutDir, "/cfg/OrvoTapmeter/");
    EXPECT_EQ(s.InDir, "/cfg/OrvoTapmeter/");
    EXPECT_EQ(s.OutFile, "decoded.txt");
    EXPECT_EQ(s.InFile, "send.txt");
    EXPECT_EQ(s.TxFrequency, 800);
    EXPECT_EQ(s.TxFrequency2, 800);
    EXPECT_EQ(s.RxFrequency, 800);
    EXPECT_EQ(s.OutputLevel, -10);
    EXPECT_EQ(s.InputLevel, -10);
    EXPECT_EQ(s.Mode, 1);
    EXPECT_TRUE(s.Bounce);
    EXPECT_TRUE(s.DTR);
    EXPECT_FALSE(s.RTS);
    EXPECT_EQ(s.RXInput, 0);
    EXPECT_TRUE(s.TxExtended && s.RxExtended && s.Aring && s.ErrQM && s.ShPatt && s.ShTyped);
    EXPECT_EQ(s.PttStart, 200);
    EXPECT_EQ(s.AutoResetTime, 5);
    EXPECT_EQ(s.Width, 960);
    EXPECT_EQ(s.Height, 540);
    EXPECT_EQ(s.Top, 270);
    EXPECT_EQ(s.Left, 480);
    EXPECT_EQ(s.ParamTop, 270);
    EXPECT_EQ(s.ParamLeft, 520);
    EXPECT_EQ(s.ShowTop, 270);
    EXPECT_EQ(s.ShowLeft, 860);
    EXPECT_EQ(s.ShCutsTop, 270);
    EXPECT_EQ(s.ShCutsLeft, 480);
    EXPECT_FALSE(s.InitMax);
}

TEST(Settings, ValuesAreReadWithHexClampsAndDefaults) {
    IniFile ini;
    ini.SetText("[Main]\nTargetSpeed=0x50\n[TX]\nMuted=2\nSlope=99\n[Form]\nWidth=1000\nHeight=abc\n"
                "[RX]\nAutoResetTime=100\nRXInput=9\n[Show]\nAvgCountIdx=7\n");
    TSettings s;
    LoadSettings(ini, s, "/c/", 1920, 1080);
    EXPECT_EQ(s.TargetSpeed, 80);
    EXPECT_TRUE(s.Muted);
    EXPECT_EQ(s.Slope, 0);  // never read back
    EXPECT_EQ(s.Width, 1000);
    EXPECT_EQ(s.Height, 540);
    EXPECT_EQ(s.Left, 460);  // centred with the width just loaded
    EXPECT_EQ(s.ShowLeft, 900);
    EXPECT_EQ(s.AutoResetTime, 30);
    EXPECT_EQ(s.RXInput, 0);
    EXPECT_EQ(s.AvgCountIdx, 0);

    for (auto [text, speed] : {std::pair{"500", 300}, {"5", 20}, {"abc", 60}, {"", 60}}) {
        ini.SetText(std::string("[main]\ntargetspeed=") + text + "\n");
        LoadSettings(ini, s, "/c/", 800, 600);
        EXPECT_EQ(s.TargetSpeed, speed) << text;
    }
}

TEST(Settings, NewFileHasSectionsAndKeysInOrder) {
    IniFile ini;
    TSettings s;
    LoadSettings(ini, s, "/c/", 1920, 1080);
    SaveSettings(ini, s, kInfo);
    const std::vector<std::string> expected = {
        "[Info]", "Name", "Warning",
        "[Main]", "Version", "TargetSpeed", "AskEnd", "OutDir", "OutFile", "InDir", "InFile",
        "[TX]", "Binaural", "Frequency", "Frequency2", "Extended", "OutputLevel", "Muted", "KeyMuted",
        "Slope", "PttStart", "EqKeyOpt", "Prepend", "TXDevice",
        "[RX]", "RTS", "DTR", "Event", "Invert", "Frequency", "RXInput", "RXDevice", "RXComPort",
        "Extended", "Aring", "Mode", "Bounce", "InputLevel", "AvgCountIdx", "AutoReset",
        "AutoResetTime", "CurrentLast", "AutoClose",
        "[Show]", "DispRefAvg", "AvgCountIdx",
        "[Form]", "WpM", "AllCaps", "ErrErase", "WordSpaceFlash", "DisplayPros", "ErrQM", "ShPatt",
        "ShTyped", "CharSizeItem", "Top", "Left", "Width", "Height", "ParamTop", "ParamLeft",
        "ShowTop", "ShowLeft", "ShCutsTop", "ShCutsLeft", "InitMax"};
    EXPECT_EQ(Layout(ini.Text()), expected);
    EXPECT_NE(ini.Text().find("Warning== do not edit this file =\r\n"), std::string::npos);
    EXPECT_NE(ini.Text().find("Version=1.2.3\r\n"), std::string::npos);

    // What was written reads back the same.
    s.TargetSpeed = 123;
    s.OutDir = "/some where/";
    s.WpM = true;
    s.ShowLeft = -20;
    SaveSettings(ini, s, kInfo);
    TSettings back;
    LoadSettings(ini, back, "/c/", 1920, 1080);
    EXPECT_EQ(back.TargetSpeed, 123);
    EXPECT_EQ(back.OutDir, "/some where/");
    EXPECT_TRUE(back.WpM);
    EXPECT_EQ(back.ShowLeft, -20);
}

TEST(Settings, ExistingFileKeepsItsLinesAndLosesObsoleteKeys) {
    IniFile ini;
    ini.SetText("; mine\r\n[Form]\r\nShSpace=1\r\nCustom=yes\r\nWpM=1\r\n\r\n[TX]\r\nRTS=1\r\nCTS=0\r\n"
                "Frequency=600\r\n[RX]\r\nAcirc=1\r\nRTS=1\r\n[Extra]\r\nz=1\r\n");
    TSettings s;
    LoadSettings(ini, s, "/c/", 1920, 1080);
    EXPECT_TRUE(s.WpM);
    EXPECT_EQ(s.TxFrequency, 600);
    EXPECT_TRUE(s.RTS);
    SaveSettings(ini, s, kInfo);
    const std::string t = ini.Text();
    EXPECT_EQ(t.find("ShSpace"), std::string::npos);
    EXPECT_EQ(t.find("Acirc"), std::string::npos);
    EXPECT_EQ(t.find("CTS"), std::string::npos);
    EXPECT_FALSE(ini.HasKey("TX", "RTS"));
    EXPECT_TRUE(ini.HasKey("RX", "RTS"));
    const auto lay = Layout(t);
    // The old lines keep their places; new keys follow in their sections.
    ASSERT_GE(lay.size(), 6u);
    EXPECT_EQ(lay[0], "; mine");
    EXPECT_EQ(lay[1], "[Form]");
    EXPECT_EQ(lay[2], "Custom");
    EXPECT_EQ(lay[3], "WpM");
    EXPECT_EQ(lay[4], "AllCaps");
    EXPECT_EQ(ini.GetString("Extra", "z", ""), "1");
    EXPECT_LT(t.find("[Extra]"), t.find("[Info]"));  // new sections go to the end
}

TEST(Settings, MaximisedCloseOmitsTopAndLeft) {
    IniFile ini;
    ini.SetText("[Form]\r\nTop=10\r\nLeft=20\r\nWidth=900\r\nHeight=700\r\n");
    TSettings s;
    LoadSettings(ini, s, "/c/", 1920, 1080);
    s.InitMax = true;
    s.Width = 1920;  // the maximised size must not replace the normal one
    s.Height = 1080;
    SaveSettings(ini, s, kInfo);
    EXPECT_FALSE(ini.HasKey("Form", "Top"));
    EXPECT_FALSE(ini.HasKey("Form", "Left"));
    EXPECT_EQ(ini.GetInt("Form", "Width", 0), 900);
    EXPECT_EQ(ini.GetInt("Form", "Height", 0), 700);

    TSettings next;
    LoadSettings(ini, next, "/c/", 1920, 1080);
    EXPECT_TRUE(next.InitMax);
    EXPECT_EQ(next.Top, (1080 - 700) / 2);
    EXPECT_EQ(next.Left, (1920 - 900) / 2);
}

TEST(Settings, FilesOnDiskAndFailures) {
    Folder f;
    std::string err;
    TSettings s;
    EXPECT_TRUE(LoadSettingsFile(f.dir, s, 1920, 1080, err));  // no folder, no file: defaults
    EXPECT_EQ(s.TargetSpeed, 60);
    EXPECT_FALSE(fs::exists(f.dir));  // loading creates nothing

    s.TargetSpeed = 99;
    ASSERT_TRUE(SaveSettingsFile(f.dir, s, kInfo, err)) << err;
    const fs::path file = fs::path(f.dir) / "OrvoTapmeter.ini";
    ASSERT_TRUE(fs::exists(file));
    TSettings back;
    ASSERT_TRUE(LoadSettingsFile(f.dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 99);

    // A folder that cannot be created: the message, and no file anywhere.
    WriteAll(f.root / "plainfile", "x");
    const std::string bad = (f.root / "plainfile" / "OrvoTapmeter").string() + "/";
    EXPECT_FALSE(SaveSettingsFile(bad, s, kInfo, err));
    EXPECT_EQ(err, "Error: cannot create directory " + bad);
    EXPECT_FALSE(SaveSettingsFile("", s, kInfo, err));
    EXPECT_EQ(err.rfind("Error: cannot create directory ", 0), 0u);

    // A failed write leaves the previous file as it was.
    const std::string before = ReadAll(file);
    fs::create_directory(file.string() + ".new");
    s.TargetSpeed = 150;
    EXPECT_FALSE(SaveSettingsFile(f.dir, s, kInfo, err));
    EXPECT_EQ(err, "Error: cannot save to " + file.string());
    EXPECT_EQ(ReadAll(file), before);
    fs::remove(file.string() + ".new");

    // Binary junk in the file: defaults, and a save keeps the junk lines.
    const std::string junk("\x00\x01\xff garbage\n[Main]\nTargetSpeed=\xfe\xfe\n", 34);
    WriteAll(file, junk);
    ASSERT_TRUE(LoadSettingsFile(f.dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 60);
    ASSERT_TRUE(SaveSettingsFile(f.dir, back, kInfo, err));
    const std::string after = ReadAll(file);
    EXPECT_EQ(after.substr(0, 13), std::string("\x00\x01\xff garbage\r\n", 13));
    EXPECT_NE(after.find("TargetSpeed=60"), std::string::npos);

    // A file that cannot be read is not overwritten.
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_FALSE(LoadSettingsFile(f.dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 60);
    EXPECT_FALSE(SaveSettingsFile(f.dir, back, kInfo, err));
    EXPECT_EQ(err, "Error: cannot read " + file.string());
    EXPECT_TRUE(fs::is_directory(file));
}

TEST(Settings, FitToWorkArea) {
    // Off the bottom right: pulled back to the bottom right edge.
    int32_t top = 5000, left = 5000, height = 690;
    FitToWorkArea(top, left, height, 680, 0, 0, 1920, 1040);
    EXPECT_EQ(left, 1920 - 680);
    EXPECT_EQ(top, 1040 - 690);
    EXPECT_EQ(height, 690);
    // Taller than the work area: cut, and placed at its top.
    top = 100; left = 10; height = 745;
    FitToWorkArea(top, left, height, 535, 0, 30, 800, 600);
    EXPECT_EQ(height, 570);
    EXPECT_EQ(top, 30);
    EXPECT_EQ(left, 10);
    // Never negative; above or left of the work area stays.
    top = 900; left = 900; height = 200;
    FitToWorkArea(top, left, height, 1000, 0, 0, 800, 100);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, 0);
    top = -50; left = -70; height = 100;
    FitToWorkArea(top, left, height, 100, 0, 0, 800, 600);
    EXPECT_EQ(top, -50);
    EXPECT_EQ(left, -70);
}
