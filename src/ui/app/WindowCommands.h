#pragma once
// What the main window adds around its panels for sound and files: the
// Sound Input and WAV file sources of the key input, the scope window fed
// by the analyser, the File commands (save the decoded text, load a text to
// send, choose the WAV file) and the help page. The window only routes its
// menu items and keys here.

#include "app/FileCommands.h"
#include "app/FileDialogs.h"
#include "app/HelpPage.h"
#include "session/SampleSources.h"
#include "app/ScopeLink.h"
#include "devices/FileIn.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;
class TAnalyser;
class TCWHighlightLabel;
class TCWout;
class KeyingSession;

class TWindowCommands {
public:
    // dialogs: null = Qt's file dialog on the window. soundIn may be null
    // (no Sound Input mode then).
    TWindowCommands(QWidget* window, KeyingSession& session, IMessageBoxes& boxes, ISoundIn* soundIn,
                    IFileDialogs* dialogs);
    ~TWindowCommands();

    // The scope window: made once the window's menus exist, so their
    // shortcuts work in it too.
    void CreateScope();
    TScopeLink* Scope() const { return scope_.get(); }
    void ToggleScope();
    void BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key);
    void UpdateScopeStatus();
    void SetPaused(bool paused);

    // Ctrl+S: the upper panel's text.
    void SaveDecodedText(const std::string& panelText);
    // Ctrl+L: the loaded text goes into the lower panel, marked as sent, so
    // the green zone covers it, Delete cannot take it back and Ctrl+F9
    // sends it. dropTypeAhead drops typed text not yet sent.
    void LoadTextFile(TCWHighlightLabel& lower, const std::function<void()>& dropTypeAhead);
    // F1 and the homepage item.
    void ShowHelp();
    void ShowHomepage();
    void SetUrlOpener(IUrlOpener* opener) { opener_ = opener ? opener : &desktopOpener_; }
    IUrlOpener& UrlOpener() { return *opener_; }
    // Folder of the executable, where the help page is looked for first.
    void SetProgramFolder(const std::string& folder) { programFolder_ = folder; }

    // The session's sample sources.
    TFileIn& FileIn1();
    TSoundInSource& SoundSource();
    TWavFileSource& WavSource();

private:
    QWidget* window_;
    TAnalyser& calc_;
    KeyingSession& session_;
    IMessageBoxes& boxes_;
    TQtFileDialogs qtDialogs_;
    IFileDialogs* dialogs_;
    TFileCommands files_;
    TDesktopUrlOpener desktopOpener_;
    IUrlOpener* opener_ = &desktopOpener_;
    std::string programFolder_;
    std::unique_ptr<TScopeLink> scope_;
};
