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
    TFileCommands(IFileDialogs& dialogs, IMessageBoxes& boxes, TSettings& settings, const TCWout& gen)
        : dialogs_(dialogs), boxes_(boxes), settings_(settings), gen_(gen) {}

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
    void Remember(const std::string& path, std::string& file, std::string& dir);

    IFileDialogs& dialogs_;
    IMessageBoxes& boxes_;
    TSettings& settings_;
    const TCWout& gen_;
};
