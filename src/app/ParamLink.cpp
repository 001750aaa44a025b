#include "app/ParamLink.h"

#include "app/LogoMain.h"
#include "app/WindowCommands.h"
#include "controls/CWHighlightLabel.h"
#include "controls/RadioGroup.h"
#include "devices/Mixer.h"
#include "devices/SoundDeviceNames.h"
#include "windows/ParamUnit.h"
#include "windows/ShowUnit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

void OpenMixer(bool input, IMessageBoxes& boxes) {
    const std::string error = LaunchMixer(input);
    if (!error.empty()) boxes.Message(QString::fromStdString(error));
}

TParamLink::TParamLink(TLogoAppForm& w) : w_(w) {}

TParamLink::~TParamLink() {
    // The port watch may outlive this link by a moment: back to the window alone.
    if (form_) w_.SerialPorts().OnPortsChanged = [&w = w_] { w.serialInput_->PortsChanged(); };
    delete devices_;
}

void TParamLink::Attach(TParamForm* form) {
    form_ = form;
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
    // Serial ports detected again: a vanished port in use ends COM mode,
    // then the list follows.
    w_.SerialPorts().OnPortsChanged = [this] {
        w_.serialInput_->PortsChanged();
        form_->RefillComPorts();
    };
    // A source that ended by itself (end of a WAV file, a vanished port)
    // shows as the dialog's choice, which also sets its controls.
    w_.keyInput_->OnModeChanged = [form](int mode) { form->RXInputGroup()->SetItemIndex(mode); };
    w_.keyInput_->OnPausedChanged = [this, form](bool paused) {
        w_.panels_->SetPausedNotice(paused);
        w_.commands_->SetPaused(paused);
        form->SetPaused(paused);
    };
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

TSettings& TParamLink::Settings() { return w_.settings_; }
int TParamLink::InputMode() const { return w_.keyInput_->InputMode(); }
bool TParamLink::SetInputMode(int mode) { return w_.keyInput_->SetInputMode(mode); }
void TParamLink::SetBinaural(bool on) { w_.sending_->SetBinaural(on); }
void TParamLink::SetOutputVolume(uint16_t both) { w_.sending_->SetVolume(both); }
void TParamLink::SetKeyVolume(uint16_t v) { w_.sending_->SetKeyVolume(v); }

int TParamLink::Frequency() const { return w_.cwout_.Frequency(); }
void TParamLink::SetFrequency(int hz) { w_.cwout_.SetFrequency(hz); }
int TParamLink::Frequency2() const { return w_.cwout_.Frequency2(); }
void TParamLink::SetFrequency2(int hz) { w_.cwout_.SetFrequency2(hz); }
int TParamLink::Slope() const { return w_.cwout_.Slope(); }
void TParamLink::SetSlope(int samples) { w_.cwout_.SetSlope(samples); }
int TParamLink::LogAmplitude() const { return w_.cwout_.LogAmplitude(); }
void TParamLink::SetLogAmplitude(int db) { w_.cwout_.SetLogAmplitude(db); }
bool TParamLink::ExtraChars() const { return w_.cwout_.ExtraChars(); }
void TParamLink::SetExtraChars(bool on) { w_.cwout_.SetExtraChars(on); }

int TParamLink::CenterFreq() const { return int(w_.calculat_->CenterFreq()); }
void TParamLink::SetCenterFreq(int hz) { w_.calculat_->SetCenterFreq(uint32_t(std::max(0, hz))); }
int TParamLink::ProcessMode() const { return w_.calculat_->ProcessMode() == tProcessMode::broad ? 0 : 1; }
void TParamLink::SetProcessMode(int mode) {
    w_.calculat_->SetProcessMode(mode == 0 ? tProcessMode::broad : tProcessMode::narrow);
}
int TParamLink::Detector() const { return w_.calculat_->Robust() ? 1 : 0; }
void TParamLink::SetDetector(int detector) { w_.calculat_->SetRobust(detector == 1); }
bool TParamLink::NoiseBlank() const { return w_.calculat_->NoiseBlank(); }
void TParamLink::SetNoiseBlank(bool on) { w_.calculat_->SetNoiseBlank(on); }
int TParamLink::InputScaledB() const { return w_.calculat_->InputScaledB(); }
void TParamLink::SetInputScaledB(int db) { w_.calculat_->SetInputScaledB(db); }
int TParamLink::InputLevel() const { return w_.calculat_->InputLevel(); }
void TParamLink::ResetInputLevel() { w_.calculat_->SetInputLevel(0); }
bool TParamLink::SpecialChars() const { return w_.cwdecode_.SpecialChars(); }
void TParamLink::SetSpecialChars(bool on) { w_.cwdecode_.SetSpecialChars(on); }
void TParamLink::SetDisplay2Prosigns(bool on) { w_.cwdecode_.SetDisplay2Prosigns(on); }

void TParamLink::SpeedDisplayChanged() {
    w_.speedBar_->SetWpM(w_.settings_.WpM);
    auto* actual = w_.speedBar_->findChild<QLineEdit*>(QStringLiteral("RecSpeed"));
    if (actual && !actual->text().isEmpty()) {
        w_.speedBar_->ShowActual(uint32_t(std::max(0, w_.calculat_->NewRecTempo())));
        w_.speedBar_->ShowAverage(w_.calculat_->AvgTempo());
    }
    if (w_.showForm_) w_.showForm_->UpdateDisplay();
}

void TParamLink::AllCapsChanged() {
    w_.PaintBox1->update();
    for (TCWHighlightLabel* l : {w_.CWLabel1, w_.CWLabel2}) l->SetAllCaps(w_.settings_.AllCaps);
}

void TParamLink::ShowPatternChanged(bool on) { w_.PaintBox1->SetShowGreen(on); }

void TParamLink::SetCharSize(int points) {
    for (TCWHighlightLabel* l : {w_.CWLabel1, w_.CWLabel2}) {
        QFont f = l->font();
        f.setPointSize(points);
        l->SetFont(f);
    }
}

ISoundIn* TParamLink::SoundIn1() { return w_.soundIn_; }
ISoundOut* TParamLink::SoundOut1() { return w_.soundOut_; }

// The default device heads the list only when there is any device at all.
static std::vector<std::string> WithDefault(std::vector<std::string> names, const char* defaultName) {
    if (!names.empty()) names.insert(names.begin(), defaultName);
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
    for (const TDetectedPort& p : w_.SerialPorts().Ports()) names.push_back(p.Name);
    return names;
}

std::string TParamLink::PortCaption(int n) { return w_.SerialPorts().Caption(n); }
int TParamLink::PortNumber() const { return w_.ComRTSDTRX1().PortNumber(); }
// A port that fails under a call is closed; whoever asked sees it closed
// (COM mode then falls back with its message).
template <class F> bool TParamLink::Guarded(F f) {
    try {
        f();
        return true;
    } catch (const ECommError&) {
        w_.ComRTSDTRX1().Close();
        return false;
    }
}

void TParamLink::SetPortNumber(int n) { Guarded([&] { w_.ComRTSDTRX1().SetPortNumber(n); }); }
bool TParamLink::ComIsOpen() const { return w_.ComRTSDTRX1().IsOpen(); }
bool TParamLink::ComOpen() {
    bool ok = false;
    return Guarded([&] { ok = w_.ComRTSDTRX1().Open(); }) && ok;
}
void TParamLink::ComClose() {
    Guarded([&] {
        w_.ComRTSDTRX1().StopMonitor();
        w_.ComRTSDTRX1().Close();
    });
}
void TParamLink::SetDtr(bool high) { Guarded([&] { w_.ComRTSDTRX1().SetDtr(high); }); }
void TParamLink::SetRts(bool high) { Guarded([&] { w_.ComRTSDTRX1().SetRts(high); }); }
void TParamLink::StartMonitor() { Guarded([&] { w_.ComRTSDTRX1().StartMonitor(); }); }
void TParamLink::SetMonitorEvents(int events) {
    Guarded([&] { w_.ComRTSDTRX1().SetMonitorEvents(TCommEventTypes(events)); });
}

void TParamLink::ClearHistory() {
    w_.calculat_->ClearHistory();
    w_.RedrawRedStrip();
}

void TParamLink::Message(const std::string& text) { w_.boxes_->Message(QString::fromStdString(text)); }
void TParamLink::StatusMessage(const std::string& text) { w_.SoundStatusChanged(QString::fromStdString(text)); }

void TParamLink::ForwardKeyDown(int qtKey, bool shift) {
    QKeyEvent e(QEvent::KeyPress, qtKey, shift ? Qt::ShiftModifier : Qt::NoModifier);
    w_.FormKeyDown(&e);
}
