#pragma once
// Every persistent setting of the program, read once at start and written
// once at close. Plain data, so that reading and writing the file can be
// checked without any window.

#include "settings/IniFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct TSettings {
    // Main
    int32_t TargetSpeed = 60;  // CpM, 20..300
    bool AskEnd = false;
    std::string OutDir;  // empty until loaded: the settings folder
    std::string OutFile = "decoded.txt";
    std::string InDir;
    std::string InFile = "send.txt";
    // TX
    bool Binaural = false;
    int32_t TxFrequency = 800;   // "Kbd Sound Frequency"
    int32_t TxFrequency2 = 800;  // "Key Sound Frequency"
    bool TxExtended = true;
    int32_t OutputLevel = -10;
    bool Muted = false;
    bool KeyMuted = false;
    int32_t Slope = 0;  // written only; the generator's own value
    int32_t PttStart = 200;
    bool EqKeyOpt = false;
    bool Prepend = false;
    int32_t TXDevice = 0;
    // RX
    bool RTS = false;
    bool DTR = true;
    int32_t Event = 0;
    bool Invert = false;
    int32_t RxFrequency = 800;
    int32_t RXInput = 0;
    int32_t RXDevice = 0;
    int32_t RXComPort = 0;
    bool RxExtended = true;
    bool Aring = true;
    int32_t Mode = 1;
    int32_t Detector = 0;  // 0 the analyser's own, 1 the robust one (sound input)
    bool Bounce = true;
    int32_t InputLevel = -10;
    bool AutoReset = false;
    int32_t AutoResetTime = 5;  // 2..30 seconds
    int32_t CurrentLast = 0;
    bool AutoClose = false;
    // Show
    int32_t DispRefAvg = 0;
    int32_t AvgCountIdx = 0;  // 0..3: "10", "20", "50", "100"
    // Form
    bool WpM = false;
    bool AllCaps = false;
    bool ErrErase = false;
    bool WordSpaceFlash = false;
    bool DisplayPros = false;
    bool ErrQM = true;
    bool ShPatt = true;
    bool ShTyped = true;
    int32_t CharSizeItem = 0;                          // 0..6: "12" .. "48"
    int32_t Top = 0, Left = 0, Width = 0, Height = 0;  // main window, normal bounds
    int32_t ParamTop = 0, ParamLeft = 0;
    int32_t ShowTop = 0, ShowLeft = 0;
    int32_t ShCutsTop = 0, ShCutsLeft = 0;
    bool InitMax = false;  // main window maximised
    // Practice
    bool Record = true;  // keep a record of every session
    // Keys: key names as the file gives them (KeyNames.h); a name the table
    // does not know is kept as written, and the default key is used.
    std::string StraightKey = "Right";
    int32_t Keyer = 0;  // 0 straight key, 1 iambic A, 2 iambic B
    std::string PaddleDit = "Control_L";
    std::string PaddleDah = "Control_R";
    bool PaddleSwap = false;
};

// The keyboard keys in force (key-symbol values): a name the table does not
// know gives the default key and a message naming the value and the key used.
struct TKeyMap {
    uint32_t straight = 0, dit = 0, dah = 0;
};
TKeyMap ResolveKeys(const TSettings& s, std::vector<std::string>* messages = nullptr);

// Written into the file's Info/Name and Main/Version lines.
struct TSettingsInfo {
    std::string name;     // program title and author credit
    std::string version;  // major.minor.release[.build]
};

// The settings folder with a trailing "/": $APPDATA/OrvoTapmeter/ when APPDATA
// is set, else $XDG_CONFIG_HOME/OrvoTapmeter/, else ~/.config/OrvoTapmeter/.
// Empty when none of these can be found (never the filesystem root).
std::string SettingsFolder();
// The user's home folder: $HOME, else the password database's entry; empty
// when neither is known.
std::string HomeFolder();
// The same rule from given values (null or empty = unset).
std::string SettingsFolderFrom(const char* appData, const char* xdgConfigHome, const char* home);
inline const char* SettingsFileName() { return "OrvoTapmeter.ini"; }

// Reads every key with its default. Missing and malformed values give the
// defaults; TargetSpeed and the control-held values are brought into range.
// The geometry defaults follow from the screen size in pixels.
void LoadSettings(const IniFile& ini, TSettings& s, const std::string& settingsFolder, int screenWidth,
                  int screenHeight);
// Writes every key in the order of a new file, deletes the obsolete keys and,
// when the main window is maximised (s.InitMax), drops Top and Left and keeps
// whatever Width and Height the file held.
void SaveSettings(IniFile& ini, const TSettings& s, const TSettingsInfo& info);

// Reads <folder>/OrvoTapmeter.ini. Returns false with a message when the file
// exists but cannot be read; s then holds the defaults.
bool LoadSettingsFile(const std::string& folder, TSettings& s, int screenWidth, int screenHeight,
                      std::string& error);
// Creates the folder when needed and writes the file, keeping its other lines.
// Returns false with a message ("Error: cannot create directory <folder>",
// "Error: cannot save to <file>", or "Error: cannot read <file>" when the
// existing file could not be read and would otherwise be overwritten); the
// file on disk is then left as it was.
bool SaveSettingsFile(const std::string& folder, const TSettings& s, const TSettingsInfo& info,
                      std::string& error);

// Keeps an auxiliary window on the work area (left, top, right, bottom):
// the height is cut to the work area, a window past the right or bottom edge
// is pulled back, never to a negative position. A window above or left of
// the work area stays where it is.
void FitToWorkArea(int32_t& top, int32_t& left, int32_t& height, int32_t width, int32_t workLeft,
                   int32_t workTop, int32_t workRight, int32_t workBottom);
