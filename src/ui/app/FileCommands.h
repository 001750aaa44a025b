#pragma once
// The File commands of the main window without its widgets: Ctrl+S saves
// the decoded text, Ctrl+L loads a text to send, and the WAV input mode
// asks which file to play. Runs the dialogs, applies the text-file rules,
// shows the messages and keeps the remembered file names and folders.

#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"

#include <functional>
#include <string>

class TCWout;
struct TSettings;

class TFileCommands {
public:
    // settings: those in force; apply hands back an edited value (the
    // folders and file names chosen).
    TFileCommands(IFileDialogs& dialogs, IMessageBoxes& boxes, const TSettings& settings, const TCWout& gen,
                  std::function<void(const TSettings&)> apply)
        : dialogs_(dialogs), boxes_(boxes), settings_(settings), gen_(gen), apply_(std::move(apply)) {}

    // Saves the upper panel's text; true when a file was written. A failed
    // save leaves the old file whole and says why.
    bool SaveDecodedText(const std::string& panelText);
    // Asks for a text file, reads it and hands the normalised text to
    // addToPanel (which adds it to the lower panel marked as sent); true
    // when text was loaded. The warning for a cut text follows the adding.
    bool LoadTextFile(const std::function<void(const std::string&)>& addToPanel);
    // Asks for the WAV file to play; true with its path when one was chosen.
    bool FileOpenInExecute(const std::string& currentWav, std::string& path);

    static const char* const kTextFilter;
    static const char* const kWavFilter;

private:
    // The chosen file's name and folder become the settings' (file may be null).
    void Remember(const std::string& path, std::string TSettings::*file, std::string TSettings::*dir);

    IFileDialogs& dialogs_;
    IMessageBoxes& boxes_;
    const TSettings& settings_;
    const TCWout& gen_;
    std::function<void(const TSettings&)> apply_;
};
