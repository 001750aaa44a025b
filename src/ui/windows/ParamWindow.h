#pragma once
// The "Set Orvo Tapmeter Parameters" window: every parameter of Morse input
// and output, the serial port and the display. Each control hands its
// edited setting back at once (IParamTarget::Apply); there is no OK or
// Cancel. Creating the window sets every control from the settings in
// force; what the session refuses or clamps shows as it took it.

#include <QWidget>

#include "settings/Settings.h"
#include "windows/ParamTarget.h"

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;
class IParamTarget;
class TBarGauge;
class TNumEdit;
class TRadioGroup;
struct TSettings;

class TParamWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs its creation against the target's settings.
    explicit TParamWindow(IParamTarget& target, QWidget* parent = nullptr);
    ~TParamWindow() override;

    // Rebuild one list each; the main window calls them after a device change.
    void RefillComPorts();
    void RefillInputDevices();
    void RefillOutputDevices();

    // F2 and the menu item: restore, show or hide.
    void ToggleVisible();
    // "Paused (F7)" while sound input is paused.
    void SetPaused(bool paused);
    // The window's position (ParamTop, ParamLeft); every other choice made
    // here was handed back through the target when it was made.
    void SaveToSettings(TSettings& s) const;

    // The level meter's tick (every 50 ms while the timer runs).
    void LevelTimerTick();
    bool Timer1Active() const;

    // Controls, for the owner and for checks.
    TRadioGroup* RXInputGroup() const { return RXInputGroup_; }
    TRadioGroup* TXOutputGroup() const { return TXOutputGroup_; }
    TRadioGroup* RXFiltGroup() const { return RXFiltGroup_; }
    QComboBox* DetectorBox() const { return DetectorBox_; }
    TRadioGroup* RXCharGroup() const { return RXCharGroup_; }
    TRadioGroup* TXCharGroup() const { return TXCharGroup_; }
    TRadioGroup* BounceGroup() const { return BounceGroup_; }
    TRadioGroup* InputInvertedGroup() const { return InputInvertedGroup_; }
    TRadioGroup* SpeedDisplayGroup() const { return SpeedDisplayGroup_; }
    TNumEdit* KeyFreq() const { return KeyFreq_; }
    TNumEdit* TXFreq() const { return TXFreq_; }
    TNumEdit* RXFreq() const { return RXFreq_; }
    TNumEdit* TXSlope() const { return TXSlope_; }
    QScrollBar* LevelBar() const { return LevelBar_; }
    QScrollBar* InpLevelBar() const { return InpLevelBar_; }
    TBarGauge* LevelGauge() const { return levelGauge_; }
    QLabel* OutputLevelText() const { return outputLevelText_; }
    QLabel* GainText() const { return gainText_; }
    QLabel* LevelText() const { return levelText_; }
    QLabel* KbdHzText() const { return kbdHzText_; }
    QLabel* PausedText() const { return PausedText_; }
    QComboBox* WavInBox() const { return WavInBox_; }
    QComboBox* WavOutBox() const { return WavOutBox_; }
    QComboBox* ComPortBox() const { return ComPortBox_; }
    QComboBox* DTRBox() const { return DTRBox_; }
    QComboBox* RTSBox() const { return RTSBox_; }
    QComboBox* InputLineBox() const { return InputLineBox_; }
    QComboBox* CharSizeBox() const { return CharSizeBox_; }
    QCheckBox* MuteBox() const { return MuteBox_; }
    QCheckBox* KeyMuteBox() const { return KeyMuteBox_; }
    QCheckBox* FlashCheckBox() const { return FlashCheckBox_; }
    QCheckBox* AllCapsCheckBox() const { return AllCapsCheckBox_; }
    QCheckBox* CheckBoxPattern() const { return CheckBoxPattern_; }
    QPushButton* InputMixerButton() const { return inputMixerButton_; }
    QPushButton* OutputMixerButton() const { return outputMixerButton_; }
    int LastGoodComIndex() const { return lastGoodComIndex_; }

    // User actions on the lists (a program change of a list runs no handler).
    void ComPortBoxChange();
    void DTRBoxChange();
    void RTSBoxChange();
    void InputLineBoxChange();
    void CharSizeBoxChange();
    void WavInBoxChange();
    void WavOutBoxChange();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // A setting the window edits: the settings in force, with one value
    // changed, handed back to the target.
    template <class T, class V>
    void Store(T TSettings::*member, const V& value) {
        TSettings s = target_.Settings();
        s.*member = T(value);
        target_.Apply(s);
    }

    void BuildLayout();
    void Wire();
    void FormCreate();
    void FormDeactivate();
    void FormKeyDown(QKeyEvent* e);

    void RXInputGroupClick();
    void RXFiltGroupClick();
    void TXOutputGroupClick();
    void LevelBarChange();
    void InpLevelBarChange();
    void MuteBoxClick();
    void FlashCheckBoxClick();
    void SetBandpassControls(bool on);
    void SetLabelGrey(QLabel* label, bool grey);
    // The list entry of a port, or otherwise when it is not listed.
    int ComIndexOf(int port, int otherwise) const;
    void LaunchMixer(bool input);
    // Fills a device list; returns the selected index, or -1 for none.
    int RefillDevices(QComboBox* box, const std::vector<std::string>& choices, int stored, bool& filled,
                      const char* what);
    // After a device switch: why the device is silent, or that it runs again.
    void ReportSwitch(QComboBox* box, const char* what, bool running, const std::string& error,
                      bool& reported);

    IParamTarget& target_;
    int lastGoodComIndex_ = 0;
    bool showingMode_ = false;  // the mode in force shown, not asked for
    bool inputFilled_ = false;
    bool outputFilled_ = false;
    bool inputOffShown_ = false;
    bool outputOffShown_ = false;
    QTimer* levelTimer_ = nullptr;

    TRadioGroup* RXInputGroup_ = nullptr;
    QComboBox* WavInBox_ = nullptr;
    QPushButton* inputMixerButton_ = nullptr;
    QScrollBar* InpLevelBar_ = nullptr;
    QLabel* gainCaption_ = nullptr;
    QLabel* gainText_ = nullptr;
    TBarGauge* levelGauge_ = nullptr;
    QLabel* levelCaption_ = nullptr;
    QLabel* levelText_ = nullptr;
    QLabel* PausedText_ = nullptr;
    TRadioGroup* RXFiltGroup_ = nullptr;
    QLabel* rxFreqCaption_ = nullptr;
    QLabel* detectorCaption_ = nullptr;
    QComboBox* DetectorBox_ = nullptr;
    TNumEdit* RXFreq_ = nullptr;
    QLabel* rxFreqHz_ = nullptr;
    TRadioGroup* RXCharGroup_ = nullptr;
    TRadioGroup* BounceGroup_ = nullptr;

    TRadioGroup* TXOutputGroup_ = nullptr;
    QComboBox* WavOutBox_ = nullptr;
    QPushButton* outputMixerButton_ = nullptr;
    TNumEdit* KeyFreq_ = nullptr;
    QLabel* kbdCaption_ = nullptr;
    TNumEdit* TXFreq_ = nullptr;
    QLabel* kbdHzText_ = nullptr;
    TNumEdit* TXSlope_ = nullptr;
    QScrollBar* LevelBar_ = nullptr;
    QLabel* outputLevelText_ = nullptr;
    QCheckBox* MuteBox_ = nullptr;
    QCheckBox* KeyMuteBox_ = nullptr;
    TRadioGroup* TXCharGroup_ = nullptr;
    QCheckBox* CheckBoxEqkey_ = nullptr;
    QCheckBox* CheckBoxPrepend_ = nullptr;

    QComboBox* ComPortBox_ = nullptr;
    QComboBox* DTRBox_ = nullptr;
    QComboBox* RTSBox_ = nullptr;
    QComboBox* InputLineBox_ = nullptr;
    TRadioGroup* InputInvertedGroup_ = nullptr;

    TRadioGroup* SpeedDisplayGroup_ = nullptr;
    QComboBox* CharSizeBox_ = nullptr;
    QCheckBox* AllCapsCheckBox_ = nullptr;
    QCheckBox* CheckBoxPattern_ = nullptr;
    QCheckBox* HHCheckBox_ = nullptr;
    QCheckBox* FlashCheckBox_ = nullptr;
    QCheckBox* ProsCheckBox_ = nullptr;
};
