#include "app/FileCommands.h"

#include "app/TextFiles.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

#include <QString>

const char* const TFileCommands::kTextFilter = "Text files (*.txt)|*.TXT|all files (*.*)|*.*";
const char* const TFileCommands::kWavFilter =
    "WAV sound files|*.wav|other sound files|*.flac;*.ogg;*.oga;*.opus;*.mp3;*.aiff;*.aif;*.au|all files "
    "(*.*)|*.*";

namespace {
QString Local(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
}  // namespace

void TFileCommands::Remember(const std::string& path, std::string TSettings::*file,
                             std::string TSettings::*dir) {
    TSettings s = settings_;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        if (file)
            s.*file = path;
    } else {
        if (file)
            s.*file = path.substr(slash + 1);
        s.*dir = path.substr(0, slash + 1);
    }
    if (apply_)
        apply_(s);
}

bool TFileCommands::SaveDecodedText(const std::string& panelText) {
    TFileDialogRequest request;
    request.save = true;
    request.title = "Save decoded text to file:";
    request.fileName = settings_.OutFile;
    request.folder = settings_.OutDir;
    request.defaultSuffix = "txt";
    request.filter = kTextFilter;
    request.confirmOverwrite = true;
    std::string path;
    if (!dialogs_.Execute(request, path))
        return false;
    std::string error;
    if (!textfiles::SaveTextFile(path, textfiles::DecodedTextForSave(panelText, settings_.AllCaps), error)) {
        boxes_.Message(Local(error));
        return false;
    }
    Remember(path, &TSettings::OutFile, &TSettings::OutDir);
    return true;
}

bool TFileCommands::LoadTextFile(const std::function<void(const std::string&)>& addToPanel) {
    TFileDialogRequest request;
    request.title = "Load text from file:";
    request.fileName = settings_.InFile;
    request.folder = settings_.InDir;
    request.defaultSuffix = "txt";
    request.filter = kTextFilter;
    request.mustExist = true;
    std::string path;
    if (!dialogs_.Execute(request, path))
        return false;
    textfiles::LoadedText loaded;
    std::string error;
    if (!textfiles::ReadTextFile(path, loaded, error)) {
        boxes_.Message(Local(error));
        return false;
    }
    Remember(path, &TSettings::InFile, &TSettings::InDir);
    std::string text = textfiles::NormaliseText(loaded.text, gen_, settings_.DisplayPros);
    if (text.find_first_not_of(" \r") == std::string::npos) {
        // Nothing sendable: the lower panel stays as it is.
        boxes_.Message(Local("Warning: no text to send in file " + path));
        return false;
    }
    if (settings_.Prepend)
        text = "vvv<ka>\r" + text;
    addToPanel(text);
    if (loaded.cut)
        boxes_.Message(QStringLiteral("Warning: max characters loaded: ") +
                       QString::number(textfiles::kMaxLoadChars));
    return true;
}

bool TFileCommands::FileOpenInExecute(const std::string& currentWav, std::string& path) {
    TFileDialogRequest request;
    request.title = "Load from file";
    request.fileName = currentWav;
    request.folder = settings_.InDir;
    request.defaultSuffix = "wav";
    request.filter = kWavFilter;
    request.mustExist = true;
    if (!dialogs_.Execute(request, path))
        return false;
    Remember(path, nullptr, &TSettings::InDir);
    return true;
}
