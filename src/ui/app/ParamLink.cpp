#include "app/ParamLink.h"

#include "app/MainWindow.h"
#include "controls/RadioGroup.h"
#include "backends/Mixer.h"
#include "backends/SoundDeviceNames.h"
#include "windows/ParamWindow.h"

#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

void OpenMixer(bool input, IMessageBoxes& boxes) {
    const std::string error = LaunchMixer(input);
    if (!error.empty())
        boxes.Message(QString::fromStdString(error));
}

TParamLink::TParamLink(KeyingSession& session, TMainWindow& window, IMessageBoxes& boxes)
    : session_(session), w_(window), boxes_(boxes) {}

TParamLink::~TParamLink() {
    session_.RemoveListener(&follower_);
    delete devices_;
}

void TParamLink::Attach(TParamWindow* form) {
    form_ = form;
    follower_.form = form;
    session_.AddListener(&follower_);
    inputsSeen_ = EnumInputDeviceNames();
    outputsSeen_ = EnumOutputDeviceNames();
    devices_ = new QMediaDevices();
    QObject::connect(devices_, &QMediaDevices::audioInputsChanged, form, [this] { CheckDevices(); });
    QObject::connect(devices_, &QMediaDevices::audioOutputsChanged, form, [this] { CheckDevices(); });
    // Not every sound backend reports a device that goes away: look now and
    // then as well (the lists are the backend's own, no server round trip).
    auto* poll = new QTimer(form);
    poll->setInterval(1000);
    QObject::connect(poll, &QTimer::timeout, form, [this] { CheckDevices(); });
    poll->start();
}

// A source that ended by itself (end of a WAV file, a vanished port) shows
// as the dialog's choice, which also sets its controls.
void TParamLink::Follower::InputModeChanged(int mode) {
    if (form)
        form->RXInputGroup()->SetItemIndex(mode);
}

void TParamLink::Follower::PausedChanged(bool paused) {
    if (form)
        form->SetPaused(paused);
}

void TParamLink::CheckDevices() {
    std::vector<std::string> inputs = EnumInputDeviceNames();
    std::vector<std::string> outputs = EnumOutputDeviceNames();
    if (inputs != inputsSeen_) {
        inputsSeen_ = std::move(inputs);
        form_->RefillInputDevices();
    }
    if (outputs != outputsSeen_) {
        outputsSeen_ = std::move(outputs);
        form_->RefillOutputDevices();
    }
}

const TSettings& TParamLink::Settings() const { return session_.Settings(); }
void TParamLink::Apply(const TSettings& s) { session_.Apply(s); }
int TParamLink::InputMode() const { return session_.InputMode(); }
bool TParamLink::SetInputMode(int mode) { return session_.SetInputMode(mode); }
int TParamLink::InputLevel() const { return session_.InputLevel(); }
void TParamLink::ResetInputLevel() { session_.ResetInputLevel(); }

ISoundIn* TParamLink::SoundIn1() { return w_.SoundIn1(); }
ISoundOut* TParamLink::SoundOut1() { return session_.SoundOut(); }

// The default device heads the list only when there is any device at all.
static std::vector<std::string> WithDefault(std::vector<std::string> names, const char* defaultName) {
    if (!names.empty())
        names.insert(names.begin(), defaultName);
    return names;
}

std::vector<std::string> TParamLink::InputDeviceChoices() {
    return WithDefault(EnumInputDeviceNames(), kDefaultInputDeviceName);
}

std::vector<std::string> TParamLink::OutputDeviceChoices() {
    return WithDefault(EnumOutputDeviceNames(), kDefaultOutputDeviceName);
}

std::vector<std::string> TParamLink::DetectedPorts() {
    std::vector<std::string> names;
    for (const TDetectedPort& p : w_.SerialPorts().Ports())
        names.push_back(p.Name);
    return names;
}

ISerialLines& TParamLink::Lines() const { return w_.SerialLines(); }
std::string TParamLink::PortCaption(int n) { return w_.SerialPorts().Caption(n); }
bool TParamLink::ComIsOpen() const { return Lines().IsOpen(); }

void TParamLink::Message(const std::string& text) { boxes_.Message(QString::fromStdString(text)); }
void TParamLink::StatusMessage(const std::string& text) { session_.SoundStatusChanged(text); }
void TParamLink::ForwardKeyDown(int qtKey, bool shift) { w_.ForwardKeyDown(qtKey, shift); }
