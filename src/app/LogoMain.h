#pragma once
// The main window: owns every working component (analyser, decoder,
// generator, timing statistics), shows the decoded and typed text panels,
// the pattern strip and the speeds, and routes keys, mouse buttons and the
// components' events.

#include "analysis/CWDecode.h"
#include "analysis/CalcOwner.h"
#include "analysis/Calculat.h"
#include "analysis/CharRecord.h"
#include "analysis/TimingStats.h"
#include "app/KeyTiming.h"
#include "app/MessageBoxes.h"
#include "devices/SoundDevices.h"
#include "devices/Timer.h"
#include "morse/CWout.h"
#include "settings/Settings.h"

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
class TShortCuts;
class TShowForm;

// The pattern strip: paints through its owner and reports its mouse buttons.
class TPatternStrip : public QWidget {
public:
    explicit TPatternStrip(QWidget* parent = nullptr) : QWidget(parent) {}
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override;
};

// Two arrow buttons that step the target speed; the owner applies the step.
class TSpeedUpDown : public QWidget {
public:
    explicit TSpeedUpDown(QWidget* parent = nullptr);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetRange(int min, int max) { min_ = min; max_ = max; }
    void SetPosition(int p) { position_ = p < min_ ? min_ : (p > max_ ? max_ : p); }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
    // +1 for the upper button, -1 for the lower one.
    std::function<void(int direction)> OnClick;

private:
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 20, max_ = 300, position_ = 60;
};

class TLogoAppForm : public QMainWindow, public ICalcOwner {
public:
    // Input modes.
    enum { KeybdMouse = 0, SoundInput = 1, ComPort = 2, WavFile = 3 };

    // Null arguments give the real clock, Qt timers, message boxes and sound
    // devices. settingsFolder: empty = the user's settings folder.
    explicit TLogoAppForm(IClock* clock = nullptr, ITimerFactory* timers = nullptr,
                          IMessageBoxes* boxes = nullptr, const QString& settingsFolder = QString(),
                          ISoundOut* soundOut = nullptr, ISoundIn* soundIn = nullptr);
    ~TLogoAppForm() override;

    // The window has closed for good (settings saved, devices stopped).
    std::function<void()> OnClosed;

    // --- Components and state (read access for the program and tests) -----
    TCalculat& Calculat1() { return *calculat_; }
    TCWout& CWout1() { return cwout_; }
    TCWDecode& CWDecode1() { return cwdecode_; }
    TTimingStats& TimingStats() { return stats_; }
    TShowForm* ShowForm() const { return showForm_; }
    TAboutBox* AboutBox() const { return aboutBox_; }
    TShortCuts* ShortCuts() const { return shortCuts_; }
    TCWHighlightLabel* UpperPanel() const { return CWLabel2; }
    TCWHighlightLabel* LowerPanel() const { return CWLabel1; }
    TPatternStrip* PatternStrip() const { return PaintBox1; }
    ITimer& AutoResetTimer() { return *ShowTimer; }
    const TSettings& Settings() const { return settings_; }
    TSettings& Settings() { return settings_; }
    int InputMode() const { return inputMode_; }
    bool KeyIsDown() const { return keyIsDown_; }
    bool DecodedHidden() const { return decodedHidden_; }
    bool TypedPanelShown() const { return settings_.ShTyped; }
    uint32_t OutputVolume() const { return outputVolume_; }
    ISoundOut* SoundOut1() const { return soundOut_; }
    ISoundIn* SoundIn1() const { return soundIn_; }
    bool Replaying() const { return replaying_; }
    bool ReplayPending() const { return replayPending_; }
    bool SendingTyped() const { return sendingTyped_; }
    bool SendingBusy() const { return sendingBusy_; }
    bool PttActive() const { return pttActive_; }
    bool Binaural() const { return settings_.Binaural; }
    int ProsignState() const { return prosignState_; }
    // The sound line of the status bar: empty while sound works.
    QString SoundStatus() const;
    QString VersionText() const { return versionText_; }
    // Geometry of the red strip as last drawn: one entry per mark, [x0, x1).
    const std::vector<std::pair<int, int>>& RedBars() const { return redBars_; }
    // x of each timeout mark pair's centre.
    const std::vector<int>& TimeoutMarks() const { return timeoutMarks_; }
    // x ranges of the green strip's bars.
    std::vector<std::pair<int, int>> GreenBars() const;
    // True while the word-space flash paints the red band black.
    bool Flashing() const { return flashing_; }

    // --- Operations ----------------------------------------------------------
    // Switches the Morse input mode; false when the requested mode could not
    // be entered (Keybd/Mouse is then in force).
    bool SetInputMode(int newMode);
    // Raises or lowers the target speed, asking first when decoded text would
    // be judged against a different speed.
    void ChangeTargetSpeed(int delta);
    void ClearPanel2Click();  // upper panel and statistics (Delete)
    void ClearPanel1Click();  // lower panel (Ctrl+Delete after dropping the type-ahead)
    void ClearPanels1Click(); // everything (Ctrl+Z)
    void ShowHideDecodedChars();  // F4
    void ShowTyped(bool on);      // F8
    void ShowTimingClick();       // F3 / menu
    void ShortCuts1Click();       // Ctrl+F1 / menu
    void HelpAbout1Execute();     // menu About
    void SetParameters1Click();   // F2 / menu (no parameters window yet)
    void ShowTimerTimer();        // auto-reset timer expired
    // Drops the unsent type-ahead and its characters from the lower panel.
    void DropTypeAhead();
    // Redraws the operator's keying of the red zone.
    void RedrawRedStrip();
    // Monaural or binaural (stereo) output: sidetone and replay on the left,
    // sent text on the right. Closes the sidetone gate.
    void SetBinaural(bool on);
    // F9 / Shift+F9: replays the red zone (or its first character) with the
    // operator's own timing. Ctrl+F9 / Shift+Ctrl+F9: sends the green zone
    // (or its first character) again at the target speed.
    void ReplayRed(bool firstOnly);
    void ReplayGreen(bool firstOnly);

    QAction* Action(const char* objectName) const;

    // ICalcOwner
    int AverageLength() const override;
    bool FlashForWordSpace() const override { return settings_.WordSpaceFlash; }
    void FlashKeyingDisplay() override;
    void MuteOutput() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    char PanelChar(const std::string& text, size_t& i) const;
    void BuildLayout();
    void BuildMenus();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void ApplySettings();
    void CollectSettings();

    void FormKeyDown(QKeyEvent* e);
    void FormKeyPress(unsigned char ch);
    void TypeChar(unsigned char ch);
    void TypeBackspace();
    // What the lower panel shows for a queued character, and its length.
    std::string PanelText(char ch) const;
    void MorseKey(bool down, uint64_t timestamp);
    void ZoneMove(int which, int32_t delta);  // which: 1 red, 2 green, 3 both
    void ClearFocus();
    void CWSpeedKeyPress(int key);            // Enter or Escape in the speed edit
    void SpeedUpDownClick(int direction);
    void ShowSpeed();                          // CWSpeed and the up-down from the generator
    QString FormatSpeed(uint32_t cpm) const;   // CpM, or WpM with one decimal
    void UpdateUnitCaptions();

    void Calculat1NewPatternFound(uint32_t data, bool bl, bool en);
    void DisplayNewTempo(uint32_t cpm);
    void DisplayNewAvgTempo(uint32_t cpm);
    void CWout1SpeedChanged(int speed);

    void PaintPatternStrip(QPainter& p);
    void DrawGrid(QPainter& p, int w, int h);
    void DrawRedStrip(QPainter& p, int w, int h);
    void DrawGreenStrip(QPainter& p, int w, int h);

    // Sound output loop and generator events.
    void SoundOut1BufferPlayed(int16_t* pb, uint32_t bytes);
    void SoundStatusChanged(const QString& message);
    void CWout1CharStart(char ch);
    void CWout1CharSent(char ch);
    void CWout1LastChar();
    void CWout1PttChanged(bool on);
    void CWout1PatternStart();
    void CWout1PatternLastSpace();
    void CWout1PatternEnd();
    void StartRedReplay();
    bool LoadReplayRecord();
    void RestoreRedStart();
    bool SoundRunning() const;
    void WaitOutput(int ms);
    void RestoreKeyTone();

    void SetVolume(uint16_t v);       // both channels
    void SetVolumeLeft(uint16_t v);
    void SetVolumeRight(uint16_t v);

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
    QString settingsFolder_;

    TCWout cwout_;
    TCWDecode cwdecode_;
    TTimingStats stats_;
    std::unique_ptr<TCalculat> calculat_;
    std::unique_ptr<ITimer> ShowTimer;
    std::unique_ptr<ITimer> flashTimer_;
    TKeyTiming keyTiming_;
    TSettings settings_;

    // Main-window fields.
    int inputMode_ = -1;
    bool keyIsDown_ = false;
    bool replaying_ = false;
    bool sendingTyped_ = false;
    bool firstOnly_ = false;
    bool pttActive_ = false;
    bool decodedHidden_ = false;
    bool speedChangeConfirmed_ = false;
    // Typing and replay.
    int prosignState_ = 0;
    std::string prosignBuf_;
    bool sendingBusy_ = false;
    bool replayPending_ = false;  // F9 waits for the character being sent
    CharRecord replayRec_{};
    int32_t replayCount_ = 0;
    int32_t replayTotal_ = 0;
    int32_t redStartSaved_ = 0;
    int32_t greenStartSaved_ = 0;
    uint16_t keyVolume_ = 65535;
    uint32_t outputVolume_ = 0;  // low half left, high half right
    QString versionText_;
    char wordSpaceChar_ = 13;
    bool flashing_ = false;
    bool closed_ = false;

    std::vector<std::pair<int, int>> redBars_;
    std::vector<int> timeoutMarks_;

    // Widgets.
    QLabel* DecCharLabel = nullptr;
    QLineEdit* CWSpeed = nullptr;
    TSpeedUpDown* SpeedUpDown = nullptr;
    QLabel* WpMCpMText = nullptr;
    QLabel* WpMCpMText2 = nullptr;
    QLabel* WpmCpmText3 = nullptr;
    QLineEdit* RecSpeed = nullptr;
    QLineEdit* AvgSpeed = nullptr;
    TPatternStrip* PaintBox1 = nullptr;
    QLabel* SoundPausedText = nullptr;
    QLabel* HiddenText = nullptr;
    QWidget* middle_ = nullptr;
    QWidget* bottom_ = nullptr;
    TCWHighlightLabel* CWLabel2 = nullptr;
    TCWHighlightLabel* CWLabel1 = nullptr;
    QAction* InputMixer1 = nullptr;
    QLabel* soundStatus_ = nullptr;

    TShowForm* showForm_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    TShortCuts* shortCuts_ = nullptr;
};
