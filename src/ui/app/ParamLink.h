#pragma once
// The parameters window's view of the program: the keying session's
// settings and working parts, the sound-device and serial-port lists, and
// what it changes on the main window's display. It follows the session as
// a listener (a source that ended, a pause) and refills the window's lists
// when devices come or go.

#include "session/KeyingSession.h"
#include "windows/ParamTarget.h"

#include <memory>

class IMessageBoxes;
class QMediaDevices;
class TMainWindow;
class TParamWindow;

// Opens the desktop's sound settings; a message says why when it cannot.
void OpenMixer(bool input, IMessageBoxes& boxes);

class TParamLink : public IParamTarget {
public:
    TParamLink(KeyingSession& session, TMainWindow& window, IMessageBoxes& boxes);
    ~TParamLink() override;

    // After the window exists: its lists follow the devices from now on,
    // and mode changes and pauses of the key input show in it.
    void Attach(TParamWindow* form);

    const TSettings& Settings() const override;
    void Apply(const TSettings& s) override;
    int InputMode() const override;
    bool SetInputMode(int mode) override;
    int InputLevel() const override;
    void ResetInputLevel() override;
    ISoundIn* SoundIn1() override;
    ISoundOut* SoundOut1() override;
    std::vector<std::string> InputDeviceChoices() override;
    std::vector<std::string> OutputDeviceChoices() override;
    std::vector<std::string> DetectedPorts() override;
    std::string PortCaption(int n) override;
    bool ComIsOpen() const override;
    void Message(const std::string& text) override;
    void StatusMessage(const std::string& text) override;
    void ForwardKeyDown(int qtKey, bool shift) override;

private:
    // What of the session shows in the window: a source that ended, a pause.
    struct Follower : ISessionListener {
        TParamWindow* form = nullptr;
        void InputModeChanged(int mode) override;
        void PausedChanged(bool paused) override;
    };

    // Refills a device list when its devices differ from those last seen.
    void CheckDevices();
    ISerialLines& Lines() const;

    KeyingSession& session_;
    TMainWindow& w_;
    IMessageBoxes& boxes_;
    TParamWindow* form_ = nullptr;
    Follower follower_;
    QMediaDevices* devices_ = nullptr;
    std::vector<std::string> inputsSeen_, outputsSeen_;
};
