#include "settings/Settings.h"

#include "settings/KeyNames.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }
// A list or group selection outside its items falls back to the default.
int32_t Index(int32_t v, int32_t count, int32_t def) { return v >= 0 && v < count ? v : def; }

bool Set(const char* v) { return v != nullptr && *v != '\0'; }

std::string WithSlash(std::string p) {
    if (p.empty() || p.back() != '/')
        p += '/';
    return p;
}

}  // namespace

std::string SettingsFolderFrom(const char* appData, const char* xdgConfigHome, const char* home) {
    std::string base;
    if (Set(appData))
        base = appData;
    else if (Set(xdgConfigHome) && xdgConfigHome[0] == '/')
        base = xdgConfigHome;
    else if (Set(home))
        base = WithSlash(home) + ".config";
    // A base of "/" alone would put the folder at the filesystem root.
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty() || base == "/")
        return {};
    return base + "/OrvoTapmeter/";
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); Set(home))
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && Set(pw->pw_dir))
        return pw->pw_dir;
    return {};
}

std::string SettingsFolder() {
    return SettingsFolderFrom(std::getenv("APPDATA"), std::getenv("XDG_CONFIG_HOME"), HomeFolder().c_str());
}

void LoadSettings(const IniFile& ini, TSettings& s, const std::string& folder, int screenWidth,
                  int screenHeight) {
    s = TSettings{};
    s.TargetSpeed = Clamp(ini.GetInt("Main", "TargetSpeed", 60), 20, 300);
    s.AskEnd = ini.GetBool("Main", "AskEnd", false);
    s.OutDir = ini.GetString("Main", "OutDir", folder);
    s.OutFile = ini.GetString("Main", "OutFile", "decoded.txt");
    s.InDir = ini.GetString("Main", "InDir", folder);
    s.InFile = ini.GetString("Main", "InFile", "send.txt");

    s.Binaural = ini.GetBool("TX", "Binaural", false);
    s.TxFrequency = ini.GetInt("TX", "Frequency", 800);
    s.TxFrequency2 = ini.GetInt("TX", "Frequency2", 800);
    s.TxExtended = ini.GetBool("TX", "Extended", true);
    s.OutputLevel = ini.GetInt("TX", "OutputLevel", -10);
    s.Muted = ini.GetBool("TX", "Muted", false);
    s.KeyMuted = ini.GetBool("TX", "KeyMuted", false);
    s.PttStart = ini.GetInt("TX", "PttStart", 200);

    s.RTS = ini.GetBool("RX", "RTS", false);
    s.DTR = ini.GetBool("RX", "DTR", true);
    s.Event = Index(ini.GetInt("RX", "Event", 0), 3, 0);
    s.Invert = ini.GetBool("RX", "Invert", false);
    s.RxFrequency = ini.GetInt("RX", "Frequency", 800);
    s.RxExtended = ini.GetBool("RX", "Extended", true);
    s.Aring = ini.GetBool("RX", "Aring", true);
    s.Mode = Index(ini.GetInt("RX", "Mode", 1), 2, 1);
    s.Detector = Index(ini.GetInt("RX", "Detector", 0), 2, 0);
    s.Bounce = ini.GetBool("RX", "Bounce", true);
    s.InputLevel = ini.GetInt("RX", "InputLevel", -10);
    s.RXComPort = ini.GetInt("RX", "RXComPort", 0);
    if (s.RXComPort < 0)
        s.RXComPort = 0;
    s.RXInput = Index(ini.GetInt("RX", "RXInput", 0), 4, 0);
    s.RXDevice = ini.GetInt("RX", "RXDevice", 0);
    if (s.RXDevice < 0)
        s.RXDevice = 0;
    s.AutoReset = ini.GetBool("RX", "AutoReset", false);
    s.AutoResetTime = Clamp(ini.GetInt("RX", "AutoResetTime", 5), 2, 30);
    s.AutoClose = ini.GetBool("RX", "AutoClose", false);
    s.CurrentLast = Index(ini.GetInt("RX", "CurrentLast", 0), 2, 0);
    s.TXDevice = ini.GetInt("TX", "TXDevice", 0);
    if (s.TXDevice < 0)
        s.TXDevice = 0;

    s.WpM = ini.GetBool("Form", "WpM", false);
    s.AllCaps = ini.GetBool("Form", "AllCaps", false);
    s.ErrErase = ini.GetBool("Form", "ErrErase", false);
    s.WordSpaceFlash = ini.GetBool("Form", "WordSpaceFlash", false);
    s.DisplayPros = ini.GetBool("Form", "DisplayPros", false);
    s.ErrQM = ini.GetBool("Form", "ErrQM", true);
    s.ShPatt = ini.GetBool("Form", "ShPatt", true);
    s.ShTyped = ini.GetBool("Form", "ShTyped", true);
    s.EqKeyOpt = ini.GetBool("TX", "EqKeyOpt", false);
    s.Prepend = ini.GetBool("TX", "Prepend", false);
    s.DispRefAvg = Index(ini.GetInt("Show", "DispRefAvg", 0), 2, 0);
    s.AvgCountIdx = Index(ini.GetInt("Show", "AvgCountIdx", 0), 4, 0);
    s.CharSizeItem = Index(ini.GetInt("Form", "CharSizeItem", 0), 7, 0);

    // Each default is computed from the values loaded just before it.
    s.Width = ini.GetInt("Form", "Width", screenWidth / 2);
    s.Height = ini.GetInt("Form", "Height", screenHeight / 2);
    s.Top = ini.GetInt("Form", "Top", (screenHeight - s.Height) / 2);
    s.Left = ini.GetInt("Form", "Left", (screenWidth - s.Width) / 2);

    s.ParamTop = ini.GetInt("Form", "ParamTop", s.Top);
    s.ParamLeft = ini.GetInt("Form", "ParamLeft", s.Left + 40);
    s.ShowTop = ini.GetInt("Form", "ShowTop", s.Top);
    s.ShowLeft = ini.GetInt("Form", "ShowLeft", s.Width - 100);
    s.ShCutsTop = ini.GetInt("Form", "ShCutsTop", s.Top);
    s.ShCutsLeft = ini.GetInt("Form", "ShCutsLeft", s.Left);
    s.InitMax = ini.GetBool("Form", "InitMax", false);
    s.Record = ini.GetBool("Practice", "Record", true);
    s.StraightKey = ini.GetString("Keys", "StraightKey", "Right");
    s.Keyer = Index(ini.GetInt("Keys", "Keyer", 0), 3, 0);
    s.PaddleDit = ini.GetString("Keys", "PaddleDit", "Control_L");
    s.PaddleDah = ini.GetString("Keys", "PaddleDah", "Control_R");
    s.PaddleSwap = ini.GetBool("Keys", "PaddleSwap", false);
}

TKeyMap ResolveKeys(const TSettings& s, std::vector<std::string>* messages) {
    auto resolve = [messages](const std::string& name, const char* key, const char* def) {
        uint32_t sym = KeySymFromName(name);
        if (sym == 0) {
            if (messages)
                messages->push_back(std::string("Unknown key \"") + name + "\" for " + key +
                                    " in [Keys]: " + def + " is used");
            sym = KeySymFromName(def);
        }
        return sym;
    };
    TKeyMap m;
    m.straight = resolve(s.StraightKey, "StraightKey", "Right");
    m.dit = resolve(s.PaddleDit, "PaddleDit", "Control_L");
    m.dah = resolve(s.PaddleDah, "PaddleDah", "Control_R");
    return m;
}

void SaveSettings(IniFile& ini, const TSettings& s, const TSettingsInfo& info) {
    ini.WriteString("Info", "Name", info.name);
    ini.WriteString("Info", "Warning", "= do not edit this file =");
    ini.WriteString("Main", "Version", info.version);
    ini.WriteInt("Main", "TargetSpeed", s.TargetSpeed);
    ini.WriteBool("Main", "AskEnd", s.AskEnd);
    ini.WriteString("Main", "OutDir", s.OutDir);
    ini.WriteString("Main", "OutFile", s.OutFile);
    ini.WriteString("Main", "InDir", s.InDir);
    ini.WriteString("Main", "InFile", s.InFile);

    ini.WriteBool("TX", "Binaural", s.Binaural);
    ini.WriteInt("TX", "Frequency", s.TxFrequency);
    ini.WriteInt("TX", "Frequency2", s.TxFrequency2);
    ini.WriteBool("TX", "Extended", s.TxExtended);
    ini.WriteInt("TX", "OutputLevel", s.OutputLevel);
    ini.WriteBool("TX", "Muted", s.Muted);
    ini.WriteBool("TX", "KeyMuted", s.KeyMuted);
    ini.WriteInt("TX", "Slope", s.Slope);
    ini.WriteInt("TX", "PttStart", s.PttStart);
    ini.WriteBool("TX", "EqKeyOpt", s.EqKeyOpt);
    ini.WriteBool("TX", "Prepend", s.Prepend);
    ini.WriteInt("TX", "TXDevice", s.TXDevice);

    ini.WriteBool("RX", "RTS", s.RTS);
    ini.WriteBool("RX", "DTR", s.DTR);
    ini.WriteInt("RX", "Event", s.Event);
    ini.WriteBool("RX", "Invert", s.Invert);
    ini.WriteInt("RX", "Frequency", s.RxFrequency);
    ini.WriteInt("RX", "RXInput", s.RXInput);
    ini.WriteInt("RX", "RXDevice", s.RXDevice);
    ini.WriteInt("RX", "RXComPort", s.RXComPort);
    ini.WriteBool("RX", "Extended", s.RxExtended);
    ini.WriteBool("RX", "Aring", s.Aring);
    // Keys of older versions that no longer mean anything.
    ini.DeleteKey("TX", "RTS");
    ini.DeleteKey("TX", "DTR");
    ini.DeleteKey("TX", "CTS");
    ini.DeleteKey("RX", "Acirc");
    ini.WriteInt("RX", "Mode", s.Mode);
    ini.WriteInt("RX", "Detector", s.Detector);
    ini.WriteBool("RX", "Bounce", s.Bounce);
    ini.WriteInt("RX", "InputLevel", s.InputLevel);
    ini.WriteInt("RX", "AvgCountIdx", s.AvgCountIdx);
    ini.WriteBool("RX", "AutoReset", s.AutoReset);
    ini.WriteInt("RX", "AutoResetTime", s.AutoResetTime);
    ini.WriteInt("RX", "CurrentLast", s.CurrentLast);
    ini.WriteBool("RX", "AutoClose", s.AutoClose);

    ini.WriteInt("Show", "DispRefAvg", s.DispRefAvg);
    ini.WriteInt("Show", "AvgCountIdx", s.AvgCountIdx);

    ini.WriteBool("Form", "WpM", s.WpM);
    ini.WriteBool("Form", "AllCaps", s.AllCaps);
    ini.WriteBool("Form", "ErrErase", s.ErrErase);
    ini.WriteBool("Form", "WordSpaceFlash", s.WordSpaceFlash);
    ini.WriteBool("Form", "DisplayPros", s.DisplayPros);
    ini.WriteBool("Form", "ErrQM", s.ErrQM);
    ini.WriteBool("Form", "ShPatt", s.ShPatt);
    ini.WriteBool("Form", "ShTyped", s.ShTyped);
    ini.WriteInt("Form", "CharSizeItem", s.CharSizeItem);
    ini.DeleteKey("Form", "ShSpace");
    if (s.InitMax) {
        // The maximised bounds are not worth keeping; the next normal start
        // is centred with the last normal size.
        ini.DeleteKey("Form", "Top");
        ini.DeleteKey("Form", "Left");
    } else {
        ini.WriteInt("Form", "Top", s.Top);
        ini.WriteInt("Form", "Left", s.Left);
        ini.WriteInt("Form", "Width", s.Width);
        ini.WriteInt("Form", "Height", s.Height);
    }
    ini.WriteInt("Form", "ParamTop", s.ParamTop);
    ini.WriteInt("Form", "ParamLeft", s.ParamLeft);
    ini.WriteInt("Form", "ShowTop", s.ShowTop);
    ini.WriteInt("Form", "ShowLeft", s.ShowLeft);
    ini.WriteInt("Form", "ShCutsTop", s.ShCutsTop);
    ini.WriteInt("Form", "ShCutsLeft", s.ShCutsLeft);
    ini.WriteBool("Form", "InitMax", s.InitMax);
    // Last, so that the sections of older files keep their order.
    ini.WriteBool("Practice", "Record", s.Record);
    ini.WriteString("Keys", "StraightKey", s.StraightKey);
    ini.WriteInt("Keys", "Keyer", s.Keyer);
    ini.WriteString("Keys", "PaddleDit", s.PaddleDit);
    ini.WriteString("Keys", "PaddleDah", s.PaddleDah);
    ini.WriteBool("Keys", "PaddleSwap", s.PaddleSwap);
}

bool LoadSettingsFile(const std::string& folder, TSettings& s, int screenWidth, int screenHeight,
                      std::string& error) {
    IniFile ini(folder + SettingsFileName());
    bool ok = !folder.empty() && ini.Load(error);
    if (folder.empty())
        error = "Error: cannot create directory ~/.config/OrvoTapmeter/";
    if (!ok)
        ini.SetText({});
    LoadSettings(ini, s, folder, screenWidth, screenHeight);
    return ok;
}

bool SaveSettingsFile(const std::string& folder, const TSettings& s, const TSettingsInfo& info,
                      std::string& error) {
    struct stat st {};
    bool exists = !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!exists && !folder.empty()) {
        // Create the missing parents as well: a fresh account may have no ~/.config yet.
        std::string path;
        for (size_t i = 0; i < folder.size(); ++i) {
            path += folder[i];
            if ((folder[i] == '/' && i > 0) || i + 1 == folder.size())
                if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
                    break;
        }
        exists = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (!exists) {
        error = "Error: cannot create directory " + (folder.empty() ? "~/.config/OrvoTapmeter/" : folder);
        return false;
    }
    IniFile ini(folder + SettingsFileName());
    std::string readError;
    if (!ini.Load(readError)) {
        // Writing now would replace a file we could not read, losing its lines.
        error = readError;
        return false;
    }
    SaveSettings(ini, s, info);
    return ini.Save(error);
}

void FitToWorkArea(int32_t& top, int32_t& left, int32_t& height, int32_t width, int32_t workLeft,
                   int32_t workTop, int32_t workRight, int32_t workBottom) {
    (void)workLeft;  // a window left of the work area is not moved
    if (workBottom - workTop < height) {
        height = workBottom - workTop;
        top = workTop;
    }
    if (left > workRight) {
        left = workRight - width;
        if (left < 0)
            left = 0;
    }
    if (top > workBottom) {
        top = workBottom - height;
        if (top < 0)
            top = 0;
    }
}
