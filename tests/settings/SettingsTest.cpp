#include "settings/Settings.h"
#include "settings/KeyNames.h"
#include "devices/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const TSettingsInfo kInfo{"Orvo Tapmeter - test", "1.2.3"};

// Lines of the form "[Section]" or "Key" (value dropped), in file order.
std::vector<std::string> Layout(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            out.push_back(line[0] == '[' ? line : line.substr(0, line.find('=')));
    }
    return out;
}

TSettings Load(const std::string& text, int screenW = 1920, int screenH = 1080) {
    IniFile ini;
    ini.SetText(text);
    TSettings s;
    LoadSettings(ini, s, "/c/", screenW, screenH);
    return s;
}

std::array<int32_t, 10> Geometry(const TSettings& s) {
    return {s.Width,     s.Height,  s.Top,      s.Left,      s.ParamTop,
            s.ParamLeft, s.ShowTop, s.ShowLeft, s.ShCutsTop, s.ShCutsLeft};
}

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

TEST(Settings, DefaultsHexClampsAndCentring) {
    TSettings s = Load("");
    EXPECT_EQ((std::array{s.TargetSpeed, s.TxFrequency, s.TxFrequency2, s.RxFrequency, s.OutputLevel,
                          s.InputLevel, s.Mode, s.PttStart, s.AutoResetTime, s.RXInput, s.Detector}),
              (std::array{60, 800, 800, 800, -10, -10, 1, 200, 5, 0, 0}));
    EXPECT_TRUE(s.Bounce && s.DTR && s.TxExtended && s.RxExtended && s.Aring && s.ErrQM && s.ShPatt &&
                s.ShTyped && s.Record);
    EXPECT_FALSE(s.AskEnd || s.RTS || s.InitMax);
    EXPECT_EQ(s.OutDir + s.InDir + s.OutFile + s.InFile, "/c//c/decoded.txtsend.txt");
    // Half the screen, centred; the other windows placed around it.
    EXPECT_EQ(Geometry(s), (std::array{960, 540, 270, 480, 270, 520, 270, 860, 270, 480}));

    s = Load(
        "[Main]\nTargetSpeed=0x50\n[TX]\nMuted=2\nSlope=99\n[Form]\nWidth=1000\nHeight=abc\n"
        "[RX]\nAutoResetTime=100\nRXInput=9\n[Show]\nAvgCountIdx=7\n");
    EXPECT_EQ(s.TargetSpeed, 80);
    EXPECT_TRUE(s.Muted);
    EXPECT_EQ(s.Slope, 0);  // never read back
    EXPECT_EQ((std::array{s.Width, s.Height, s.Left, s.ShowLeft}),
              (std::array{1000, 540, 460, 900}));  // centred with the width read
    EXPECT_EQ((std::array{s.AutoResetTime, s.RXInput, s.AvgCountIdx}), (std::array{30, 0, 0}));
    EXPECT_FALSE(Load("[Practice]\nRecord=0\n").Record);
    for (auto [text, detector] : {std::pair{"1", 1}, {"0", 0}, {"2", 0}, {"-1", 0}, {"x", 0}})
        EXPECT_EQ(Load(std::string("[RX]\nDetector=") + text + "\n").Detector, detector) << text;
    EXPECT_EQ(s.StraightKey + " " + s.PaddleDit + " " + s.PaddleDah, "Right Control_L Control_R");
    EXPECT_EQ(s.Keyer, 0);
    EXPECT_FALSE(s.PaddleSwap);
    EXPECT_EQ(Load("[Keys]\nKeyer=3\n").Keyer, 0);
    EXPECT_EQ(Load("[keys]\nkeyer=1\n").Keyer, 1);
    for (auto [text, speed] : {std::pair{"500", 300}, {"5", 20}, {"abc", 60}, {"", 60}})
        EXPECT_EQ(Load(std::string("[main]\ntargetspeed=") + text + "\n", 800, 600).TargetSpeed, speed)
            << text;
}

TEST(Settings, NewFileHasSectionsAndKeysInOrderAndReadsBack) {
    IniFile ini;
    TSettings s = Load("");
    SaveSettings(ini, s, kInfo);
    const std::vector<std::string> expected = {
        "[Info]",       "Name",          "Warning",     "[Main]",
        "Version",      "TargetSpeed",   "AskEnd",      "OutDir",
        "OutFile",      "InDir",         "InFile",      "[TX]",
        "Binaural",     "Frequency",     "Frequency2",  "Extended",
        "OutputLevel",  "Muted",         "KeyMuted",    "Slope",
        "PttStart",     "EqKeyOpt",      "Prepend",     "TXDevice",
        "[RX]",         "RTS",           "DTR",         "Event",
        "Invert",       "Frequency",     "RXInput",     "RXDevice",
        "RXComPort",    "Extended",      "Aring",       "Mode",
        "Detector",     "Bounce",        "InputLevel",  "AvgCountIdx",
        "AutoReset",    "AutoResetTime", "CurrentLast", "AutoClose",
        "[Show]",       "DispRefAvg",    "AvgCountIdx", "[Form]",
        "WpM",          "AllCaps",       "ErrErase",    "WordSpaceFlash",
        "DisplayPros",  "ErrQM",         "ShPatt",      "ShTyped",
        "CharSizeItem", "Top",           "Left",        "Width",
        "Height",       "ParamTop",      "ParamLeft",   "ShowTop",
        "ShowLeft",     "ShCutsTop",     "ShCutsLeft",  "InitMax",
        "[Practice]",   "Record",        "[Keys]",      "StraightKey",
        "Keyer",        "PaddleDit",     "PaddleDah",   "PaddleSwap"};
    EXPECT_EQ(Layout(ini.Text()), expected);
    for (const char* line : {"Warning== do not edit this file =\r\n", "Version=1.2.3\r\n"})
        EXPECT_NE(ini.Text().find(line), std::string::npos) << line;

    s.TargetSpeed = 123;
    s.OutDir = "/some where/";
    s.WpM = true;
    s.ShowLeft = -20;
    s.StraightKey = "Control_L";
    s.Keyer = 2;
    s.PaddleDit = "Return";
    s.PaddleDah = "Nonsense";  // kept as written
    s.PaddleSwap = true;
    SaveSettings(ini, s, kInfo);
    const TSettings back = Load(ini.Text());
    EXPECT_EQ(back.TargetSpeed, 123);
    EXPECT_EQ(back.OutDir, "/some where/");
    EXPECT_TRUE(back.WpM);
    EXPECT_EQ(back.ShowLeft, -20);
    EXPECT_EQ(back.StraightKey + back.PaddleDit + back.PaddleDah, "Control_LReturnNonsense");
    EXPECT_EQ(back.Keyer, 2);
    EXPECT_TRUE(back.PaddleSwap);
}

TEST(Settings, ExistingFileKeepsItsLinesAndLosesObsoleteKeys) {
    IniFile ini;
    ini.SetText(
        "; mine\r\n[Form]\r\nShSpace=1\r\nCustom=yes\r\nWpM=1\r\n\r\n[TX]\r\nRTS=1\r\nCTS=0\r\n"
        "Frequency=600\r\n[RX]\r\nAcirc=1\r\nRTS=1\r\n[Extra]\r\nz=1\r\n");
    const TSettings s = Load(ini.Text());
    EXPECT_TRUE(s.WpM && s.RTS && s.Record);
    EXPECT_EQ(s.TxFrequency, 600);
    SaveSettings(ini, s, kInfo);
    const std::string t = ini.Text();
    for (const char* gone : {"ShSpace", "Acirc", "CTS"})
        EXPECT_EQ(t.find(gone), std::string::npos) << gone;
    EXPECT_FALSE(ini.HasKey("TX", "RTS"));
    EXPECT_TRUE(ini.HasKey("RX", "RTS"));
    // The old lines keep their places; new keys follow in their sections,
    // new sections at the end.
    const auto lay = Layout(t);
    EXPECT_EQ(std::vector<std::string>(lay.begin(), lay.begin() + 5),
              (std::vector<std::string>{"; mine", "[Form]", "Custom", "WpM", "AllCaps"}));
    EXPECT_EQ(ini.GetString("Extra", "z", ""), "1");
    EXPECT_LT(t.find("[Extra]"), t.find("[Info]"));
}

TEST(Settings, KeyNamesResolveToKeySymbolsAndUnknownNamesFallBackWithAMessage) {
    EXPECT_EQ((std::array{KeySymFromName("Right"), KeySymFromName("Control_L"), KeySymFromName("control_r"),
                          KeySymFromName("space"), KeySymFromName("Shift_L"), KeySymFromName("Q"),
                          KeySymFromName("q"), KeySymFromName("7")}),
              (std::array<uint32_t, 8>{0xff53, 0xffe3, 0xffe4, 0x20, 0xffe1, 'q', 'q', '7'}));
    for (const char* bad : {"", "Foo", "Right ", "F1", "qq", "!"})
        EXPECT_EQ(KeySymFromName(bad), 0u) << bad;
    for (const std::string& name : KeyNameChoices())
        EXPECT_EQ(KeySymName(KeySymFromName(name)), name);
    EXPECT_EQ(KeySymName('Q'), "q");

    TSettings s;
    std::vector<std::string> messages;
    TKeyMap keys = ResolveKeys(s, &messages);
    EXPECT_EQ((std::array{keys.straight, keys.dit, keys.dah}),
              (std::array<uint32_t, 3>{0xff53, 0xffe3, 0xffe4}));
    EXPECT_TRUE(messages.empty());
    s.StraightKey = "Space";
    s.PaddleDah = "Ctrl_R";
    keys = ResolveKeys(s, &messages);
    EXPECT_EQ((std::array{keys.straight, keys.dah}), (std::array<uint32_t, 2>{0x20, 0xffe4}));
    EXPECT_EQ(
        messages,
        (std::vector<std::string>{"Unknown key \"Ctrl_R\" for PaddleDah in [Keys]: Control_R is used"}));
}

TEST(Settings, MaximisedCloseKeepsTheNormalBounds) {
    IniFile ini;
    ini.SetText("[Form]\r\nTop=10\r\nLeft=20\r\nWidth=900\r\nHeight=700\r\n");
    TSettings s = Load(ini.Text());
    s.InitMax = true;
    s.Width = 1920;  // the maximised size must not replace the normal one
    s.Height = 1080;
    SaveSettings(ini, s, kInfo);
    EXPECT_FALSE(ini.HasKey("Form", "Top") || ini.HasKey("Form", "Left"));
    const TSettings next = Load(ini.Text());
    EXPECT_TRUE(next.InitMax);
    EXPECT_EQ((std::array{next.Width, next.Height, next.Top, next.Left}), (std::array{900, 700, 190, 510}));
}

TEST(Settings, FilesOnDiskAndFailures) {
    TempDir root;
    const std::string dir = root.File("OrvoTapmeter/"), file = dir + "OrvoTapmeter.ini";
    std::string err;
    TSettings s;
    EXPECT_TRUE(LoadSettingsFile(dir, s, 1920, 1080, err));  // no folder, no file: defaults
    EXPECT_FALSE(fs::exists(dir));                           // loading creates nothing
    s.TargetSpeed = 99;
    ASSERT_TRUE(SaveSettingsFile(dir, s, kInfo, err)) << err;
    TSettings back;
    ASSERT_TRUE(LoadSettingsFile(dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 99);

    // A folder that cannot be created: the message, and no file anywhere.
    TempDir::WriteBytes(root.File("plainfile"), "x");
    const std::string bad = root.File("plainfile/OrvoTapmeter/");
    EXPECT_FALSE(SaveSettingsFile(bad, s, kInfo, err));
    EXPECT_EQ(err, "Error: cannot create directory " + bad);
    EXPECT_FALSE(SaveSettingsFile("", s, kInfo, err));
    EXPECT_EQ(err.rfind("Error: cannot create directory ", 0), 0u);

    // A failed write leaves the previous file as it was.
    const std::string before = TempDir::ReadBytes(file);
    fs::create_directory(file + ".new");
    s.TargetSpeed = 150;
    EXPECT_FALSE(SaveSettingsFile(dir, s, kInfo, err));
    EXPECT_EQ(err, "Error: cannot save to " + file);
    EXPECT_EQ(TempDir::ReadBytes(file), before);
    fs::remove(file + ".new");

    // Binary junk in the file: defaults, and a save keeps the junk lines.
    TempDir::WriteBytes(file, std::string("\x00\x01\xff garbage\n[Main]\nTargetSpeed=\xfe\xfe\n", 34));
    ASSERT_TRUE(LoadSettingsFile(dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 60);
    ASSERT_TRUE(SaveSettingsFile(dir, back, kInfo, err));
    const std::string after = TempDir::ReadBytes(file);
    EXPECT_EQ(after.substr(0, 13), std::string("\x00\x01\xff garbage\r\n", 13));
    EXPECT_NE(after.find("TargetSpeed=60"), std::string::npos);

    // A file that cannot be read is not overwritten.
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_FALSE(LoadSettingsFile(dir, back, 1920, 1080, err));
    EXPECT_EQ(back.TargetSpeed, 60);
    EXPECT_FALSE(SaveSettingsFile(dir, back, kInfo, err));
    EXPECT_EQ(err, "Error: cannot read " + file);
    EXPECT_TRUE(fs::is_directory(file));
}

TEST(Settings, FitToWorkArea) {
    // {top, left, height, width, work area l/t/r/b} -> {top, left, height}
    struct Case {
        std::array<int32_t, 8> in;
        std::array<int32_t, 3> out;
    };
    for (const Case& c : {Case{{5000, 5000, 690, 680, 0, 0, 1920, 1040}, {350, 1240, 690}},  // pulled back
                          Case{{100, 10, 745, 535, 0, 30, 800, 600}, {30, 10, 570}},       // cut, at the top
                          Case{{900, 900, 200, 1000, 0, 0, 800, 100}, {0, 0, 100}},        // never negative
                          Case{{-50, -70, 100, 100, 0, 0, 800, 600}, {-50, -70, 100}}}) {  // above/left stays
        auto [top, left, height, width, l, t, r, b] = c.in;
        FitToWorkArea(top, left, height, width, l, t, r, b);
        EXPECT_EQ((std::array{top, left, height}), c.out) << c.in[0];
    }
}
