#include "app/FileCommands.h"

#include "app/TextFiles.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

#include <QString>

const char* const TFileCommands::kTextFilter = "Text files (*.txt)|*.TXT|all files (*.*)|*.*";
const char* const TFileCommands::kWavFilter = "WAV sound files|*.wav|all files (*.*)|*.*";

namespace {
QString Local(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
}

void TFileCommands::Remember(const std::string& path, std::string& file, std::string& dir) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        file = path;
        return;
    }
    file = path.substr(slash + 1);
    dir = path.substr(0, slash + 1);
}

bool TFileCommands::SaveDecodedText(const std::string& panelText) {
    TFileDialogSpec spec;
    spec.save = true;
    spec.title = "Save decoded text to file:";
    spec.fileName = settings_.OutFile;
    spec.folder = settings_.OutDir;
    spec.defaultSuffix = "txt";
    spec.filter = kTextFilter;
    spec.confirmOverwrite = true;
    std::string path;
    if (!dialogs_.Execute(spec, path)) return false;
    std::string error;
    if (!textfiles::SaveTextFile(path, textfiles::DecodedTextForSave(panelText, settings_.AllCaps), error)) {
        boxes_.Message(Local(error));
        return false;
    }
    Remember(path, settings_.OutFile, settings_.OutDir);
    return true;
}

bool TFileCommands::LoadTextFile(const std::function<void(const std::string&)>& addToPanel) {
    TFileDialogSpec spec;
    spec.title = "Load text from file:";
    spec.fileName = settings_.InFile;
    spec.folder = settings_.InDir;
    spec.defaultSuffix = "txt";
    spec.filter = kTextFilter;
    spec.mustExist = true;
    std::string path;
    if (!dialogs_.Execute(spec, path)) return false;
    textfiles::LoadedText loaded;
    std::string error;
    if (!textfiles::ReadTextFile(path, loaded, error)) {
        boxes_.Message(Local(error));
        return false;
    }
    Remember(path, settings_.InFile, settings_.InDir);
    std::string text = textfiles::NormaliseText(loaded.text, gen_, settings_.DisplayPros);
    if (text.find_first_not_of(" \r") == std::string::npos) {
        // Nothing sendable: the lower panel stays as it is.
        boxes_.Message(Local("Warning: no text to send in file " + path));
        return false;
    }
    if (settings_.Prepend) text = "vvv<ka>\r" + text;
    addToPanel(text);
    if (loaded.cut)
        boxes_.Message(QStringLiteral("Warning: max characters loaded: ") + QString::number(textfiles::kMaxLoadChars));
    return true;
}

bool TFileCommands::FileOpenInExecute(const std::string& currentWav, std::string& path) {
    TFileDialogSpec spec;
    spec.title = "Load from file";
    spec.fileName = currentWav;
    spec.folder = settings_.InDir;
    spec.defaultSuffix = "wav";
    spec.filter = kWavFilter;
    spec.mustExist = true;
    if (!dialogs_.Execute(spec, path)) return false;
    std::string file;
    Remember(path, file, settings_.InDir);
    return true;
}
