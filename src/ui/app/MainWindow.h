#pragma once
// The main window: creates the keying session (which owns the working
// parts) and follows its events. It lays out the panels, the pattern strip
// and the speed displays, loads the settings into the session at start and
// saves the session's at close, and routes keys and mouse buttons to the
// unit that handles them. Its menus (LogoMenus), keys (LogoKeys) and the
// display of the keying (LogoPanels) have their own files.

#include "analysis/CharRecord.h"
#include "app/KeyingPanels.h"
#include "app/MessageBoxes.h"
#include "app/SerialInput.h"
#include "session/KeyingSession.h"
#include "session/SessionRecorder.h"
#include "devices/SerialLines.h"
#include "devices/SoundDevices.h"
#include "devices/Timer.h"
#include "controls/PatternStrip.h"
#include "controls/SpeedBar.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

#include <QAction>
#include <QMainWindow>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;
class TAboutBox;
class TCWHighlightLabel;
class TParamWindow;
class TKeyMapping;
class TParamLink;
class TPracticeWindow;
class TPracticeLink;
class TShortcutsWindow;
class TStatusLine;
class TTimingWindow;
class TScopeWindow;
class TWindowCommands;
class IFileDialogs;

class TMainWindow : public QMainWindow, public ISessionListener {
public:
    // Input modes.
    enum { KeybdMouse = ::KeybdMouse, SoundInput = ::SoundInput, ComPort = ::ComPort, WavFile = ::WavFile };

    // Null arguments give the real clock, Qt timers, message boxes, sound
    // devices, serial port and file dialogs. settingsFolder: empty = the
    // user's settings folder.
    explicit TMainWindow(IClock* clock = nullptr, ITimerFactory* timers = nullptr,
                         IMessageBoxes* boxes = nullptr, const QString& settingsFolder = QString(),
                         ISoundOut* soundOut = nullptr, ISoundIn* soundIn = nullptr,
                         ISerialLines* serialLines = nullptr, IFileDialogs* fileDialogs = nullptr);
    ~TMainWindow() override;

    // The window has closed for good (settings saved, devices stopped).
    std::function<void()> OnClosed;

    // --- Components and state (read access for the program and tests) -----
    KeyingSession& Session() { return *session_; }
    TAnalyser& Analyser() { return session_->Analyser(); }
    TCWout& Generator() { return session_->CWout(); }
    TCWDecode& Decoder() { return session_->Decoder(); }
    TTimingStats& TimingStats() { return session_->Stats(); }
    TTimingWindow* TimingWindow() const { return showForm_; }
    TParamWindow* ParamWindow() const { return paramForm_; }
    TAboutBox* AboutBox() const { return aboutBox_; }
    TShortcutsWindow* ShortCuts() const { return shortCuts_; }
    TPracticeWindow* PracticeWindow() const { return practiceForm_; }
    TPracticeLink& Practice() { return *practiceLink_; }
    TScopeWindow* ScopeWindow() const;
    // Sample input modes, scope window, File and Help commands.
    TWindowCommands& Commands() { return *commands_; }
    // The record of this run's keying.
    const TSessionRecorder& Recorder() const { return *recorder_; }
    TCWHighlightLabel* UpperPanel() const { return upperPanel_; }
    TCWHighlightLabel* LowerPanel() const { return lowerPanel_; }
    TPatternStrip* PatternStrip() const { return strip_; }
    ITimer& AutoResetTimer() { return *autoResetTimer_; }
    const TSettings& Settings() const { return session_->Settings(); }
    TKeyInput& KeyInput() { return session_->KeyInput(); }
    TSerialPorts& SerialPorts() { return serialInput_->Ports(); }
    ISerialLines& SerialLines() { return serialInput_->Lines(); }
    TSerialKeySource& ComPortSource() { return serialInput_->Source(); }
    TSending& Sending() { return session_->Sending(); }
    int InputMode() const { return session_->InputMode(); }
    bool KeyIsDown() const { return session_->KeyInput().KeyIsDown(); }
    bool DecodedHidden() const { return decodedHidden_; }
    bool TypedPanelShown() const { return Settings().ShTyped; }
    uint32_t OutputVolume() const { return Sending().OutputVolume(); }
    ISoundOut* SoundOut1() const { return soundOut_; }
    ISoundIn* SoundIn1() const { return soundIn_; }
    bool Replaying() const { return Sending().Replaying(); }
    bool ReplayPending() const { return Sending().ReplayPending(); }
    bool SendingTyped() const { return Sending().SendingTyped(); }
    bool SendingBusy() const { return Sending().SendingBusy(); }
    bool PttActive() const { return Sending().PttActive(); }
    bool Binaural() const { return Settings().Binaural; }
    int ProsignState() const { return Sending().ProsignState(); }
    // The sound line of the status bar: empty while sound works.
    QString SoundStatus() const;
    // The status bar's line for what the last command did instead of what
    // was asked (a refusal, dropped text).
    QString StatusMessage() const;
    QString VersionText() const { return versionText_; }
    // The pattern strip's geometry as last drawn.
    const TPatternStrip::Bars& RedBars() const { return strip_->RedBars(); }
    const std::vector<int>& TimeoutMarks() const { return strip_->TimeoutMarks(); }
    TPatternStrip::Bars GreenBars() const { return strip_->GreenBars(); }
    bool Flashing() const { return strip_->Flashing(); }

    // --- Operations ----------------------------------------------------------
    // Switches the Morse input mode; false when the requested mode could not
    // be entered (Keybd/Mouse is then in force).
    bool SetInputMode(int newMode) { return session_->SetInputMode(newMode); }
    // Raises or lowers the target speed, asking first when decoded text would
    // be judged against a different speed.
    void ChangeTargetSpeed(int delta);
    void ClearDecoded();          // upper panel and statistics (Delete)
    void ClearTyped();            // lower panel (Ctrl+Delete after dropping the type-ahead)
    void ClearAll();              // everything (Ctrl+Z)
    void ShowHideDecodedChars();  // F4
    void ShowTyped(bool on);      // F8
    void ShowTiming();            // F3 / menu
    void ShowPracticeClick();     // F6 / menu
    void ShowShortcuts();         // Ctrl+F1 / menu
    void ShowAbout();             // menu About
    void ToggleParameters();      // F2 / menu
    void AutoResetExpired();      // auto-reset timer expired
    // Drops the unsent type-ahead and its characters from the lower panel.
    void DropTypeAhead() { Sending().DropTypeAhead(); }
    // Redraws the operator's keying of the red zone.
    void RedrawRedStrip();
    // Monaural or binaural (stereo) output: sidetone and replay on the left,
    // sent text on the right. Closes the sidetone gate.
    void SetBinaural(bool on);
    // F9 / Shift+F9: replays the red zone (or its first character) with the
    // operator's own timing. Ctrl+F9 / Shift+Ctrl+F9: sends the green zone
    // (or its first character) again at the target speed.
    void ReplayRed(bool firstOnly) { Sending().ReplayRed(firstOnly); }
    void ReplayGreen(bool firstOnly) { Sending().ReplayGreen(firstOnly); }

    QAction* Action(const char* objectName) const {
        return findChild<QAction*>(QString::fromLatin1(objectName));
    }

    // What the parameters window changes on the window's own display.
    void SpeedDisplayChanged();
    void SetCharSize(int points);
    // A key handed on from another window.
    void ForwardKeyDown(int qtKey, bool shift);

    // ISessionListener
    void CharacterDecoded(const std::string& text, bool wordEnd) override;
    void ErrorErase() override { ClearDecoded(); }
    void DecodedCleared() override;
    void ActualSpeed(uint32_t cpm) override;
    void AverageSpeed(uint32_t cpm) override;
    void TargetSpeedChanged(int) override { ShowSpeed(); }
    void PausedChanged(bool paused) override;
    void Message(const std::string& text) override;
    void FlashKeying() override;
    void BlockProcessed(int l, const int32_t* env, const int32_t* thr, const int32_t* key) override;
    void SettingsApplied(const TSettings& before, const TSettings& now) override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    const TSending& Sending() const { return session_->Sending(); }
    void BuildLayout();
    void BuildMenus();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    TSettings SettingsToSave() const;

    void FormKeyDown(QKeyEvent* e);
    void FormKeyPress(unsigned char ch) { Sending().KeyPress(ch); }
    void ZoneMove(int which, int32_t delta);  // which: 1 red, 2 green, 3 both
    void ClearFocus();
    void TargetEntered(int speed);  // a target typed into the speed edit
    void ShowSpeed();               // CWSpeed and the up-down from the generator

    void ShowStatus(const std::string& message);
    void WaitEvents(int ms);

    // Real backends when none were injected.
    std::unique_ptr<IClock> ownClock_;
    std::unique_ptr<ITimerFactory> ownTimers_;
    std::unique_ptr<IMessageBoxes> ownBoxes_;
    std::unique_ptr<ISoundOut> ownSoundOut_;
    std::unique_ptr<ISoundIn> ownSoundIn_;
    ISoundOut* soundOut_;
    ISoundIn* soundIn_;
    IClock* clock_;
    ITimerFactory* timers_;
    IMessageBoxes* boxes_;
    IFileDialogs* fileDialogs_;
    QString settingsFolder_;

    std::unique_ptr<ITimer> autoResetTimer_;
    ISerialLines* injectedLines_ = nullptr;
    TKeyingPanels* panels_ = nullptr;
    std::unique_ptr<KeyingSession> session_;
    std::unique_ptr<TSessionRecorder> recorder_;
    std::unique_ptr<TStatusLine> statusLine_;
    std::unique_ptr<TSerialInput> serialInput_;
    std::unique_ptr<TKeyMapping> keyMapping_;
    std::unique_ptr<TWindowCommands> commands_;

    // Main-window fields.
    bool decodedHidden_ = false;
    bool speedChangeConfirmed_ = false;
    QString versionText_;
    char wordSpaceChar_ = 13;
    bool closed_ = false;

    // Widgets.
    QLabel* lastCharLabel_ = nullptr;
    TSpeedUpDown* SpeedUpDown = nullptr;
    TSpeedBar* speedBar_ = nullptr;
    TPatternStrip* strip_ = nullptr;
    TCWHighlightLabel* upperPanel_ = nullptr;
    TCWHighlightLabel* lowerPanel_ = nullptr;
    QAction* inputMixerAction_ = nullptr;

    std::unique_ptr<TParamLink> paramLink_;
    TParamWindow* paramForm_ = nullptr;
    TTimingWindow* showForm_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    TShortcutsWindow* shortCuts_ = nullptr;
    TPracticeWindow* practiceForm_ = nullptr;
    std::unique_ptr<TPracticeLink> practiceLink_;
};
