#pragma once
// The parameters window's view of the main window: what each of its
// controls acts on (generator, analyser, decoder, key input, sending, sound
// devices, panels and speed bar) and the device-change signals that refill
// its lists. Kept apart from the main window so that stays about its layout.

#include "windows/ParamTarget.h"

#include <memory>

class IMessageBoxes;
class QMediaDevices;
class TLogoAppForm;
class TParamForm;

// Opens the desktop's sound settings; a message says why when it cannot.
void OpenMixer(bool input, IMessageBoxes& boxes);

class TParamLink : public IParamTarget {
public:
    explicit TParamLink(TLogoAppForm& w);
    ~TParamLink() override;

    // After the window exists: its lists follow the devices from now on,
    // and mode changes and pauses of the key input show in it.
    void Attach(TParamForm* form);

    TSettings& Settings() override;
    int InputMode() const override;
    bool SetInputMode(int mode) override;
    void SetBinaural(bool on) override;
    void SetOutputVolume(uint16_t both) override;
    void SetKeyVolume(uint16_t v) override;
    int Frequency() const override;
    void SetFrequency(int hz) override;
    int Frequency2() const override;
    void SetFrequency2(int hz) override;
    int Slope() const override;
    void SetSlope(int samples) override;
    int LogAmplitude() const override;
    void SetLogAmplitude(int db) override;
    bool ExtraChars() const override;
    void SetExtraChars(bool on) override;
    int CenterFreq() const override;
    void SetCenterFreq(int hz) override;
    int ProcessMode() const override;
    void SetProcessMode(int mode) override;
    int Detector() const override;
    void SetDetector(int detector) override;
    bool NoiseBlank() const override;
    void SetNoiseBlank(bool on) override;
    int InputScaledB() const override;
    void SetInputScaledB(int db) override;
    int InputLevel() const override;
    void ResetInputLevel() override;
    bool SpecialChars() const override;
    void SetSpecialChars(bool on) override;
    void SetDisplay2Prosigns(bool on) override;
    void SpeedDisplayChanged() override;
    void AllCapsChanged() override;
    void ShowPatternChanged(bool on) override;
    void SetCharSize(int points) override;
    ISoundIn* SoundIn1() override;
    ISoundOut* SoundOut1() override;
    std::vector<std::string> InputDeviceChoices() override;
    std::vector<std::string> OutputDeviceChoices() override;
    std::vector<std::string> DetectedPorts() override;
    std::string PortCaption(int n) override;
    int PortNumber() const override;
    void SetPortNumber(int n) override;
    bool ComIsOpen() const override;
    bool ComOpen() override;
    void ComClose() override;
    void SetDtr(bool high) override;
    void SetRts(bool high) override;
    void StartMonitor() override;
    void SetMonitorEvents(int events) override;
    void ClearHistory() override;
    void Message(const std::string& text) override;
    void StatusMessage(const std::string& text) override;
    void ForwardKeyDown(int qtKey, bool shift) override;

private:
    // Refills a device list when its devices differ from those last seen.
    void CheckDevices();
    template <class F> bool Guarded(F f);

    TLogoAppForm& w_;
    TParamForm* form_ = nullptr;
    QMediaDevices* devices_ = nullptr;
    std::vector<std::string> inputsSeen_, outputsSeen_;
};
