#pragma once
// Joins the analyser to the scope window: creates the window, shows and
// hides it (Shift+Alt+Ctrl+F12), hands it every processed block while it is
// visible, freezes it with the sound-input pause, and writes the red-zone
// character's element timing into its status line.

#include "analysis/Analyser.h"
#include "windows/ScopeWindow.h"

#include <cstdint>

class QWidget;

class TScopeLink {
public:
    // mainWindow gets the keys typed into the scope window and its shortcuts.
    TScopeLink(TAnalyser& calc, QWidget* mainWindow);
    ~TScopeLink();
    TScopeLink(const TScopeLink&) = delete;
    TScopeLink& operator=(const TScopeLink&) = delete;

    TScopeWindow* Form() const { return form_; }
    bool Visible() const;
    // Shows or hides the window; shown, it gets the current status line.
    void Toggle();
    // One processed block of the analyser (its OnDataProcessed).
    void BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key);
    // After a new character or a red-zone move: the timing line, when visible.
    void UpdateStatus();
    // The sound-input pause freezes the picture too.
    void SetFrozen(bool frozen);

private:
    TAnalyser& calc_;
    TScopeWindow* form_;
};
