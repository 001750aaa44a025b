#pragma once
// A stand-in for everything the parameters window drives: it records what
// reached the generator, analyser, decoder, devices, serial line and
// settings, and can refuse input modes and ports.

#include "devices/NullSound.h"
#include "settings/Settings.h"
#include "controls/RadioGroup.h"
#include "windows/ParamTarget.h"
#include "windows/ParamWindow.h"

#include <QKeySequence>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// A device that remembers its number and whether it runs.
template <class Base>
struct FakeDevice : Base {
    int id = -1;
    bool active = false;
    std::vector<int> setDevices;
    int DeviceId() const override { return id; }
    bool SetDevice(int d) override {
        id = d;
        setDevices.push_back(d);
        return true;
    }
    bool Start() override { return active = true; }
    bool Stop() override {
        active = false;
        return true;
    }
    bool IsOpen() const override { return active; }
    bool IsActive() const override { return active; }
};

struct FakeTarget : IParamTarget {
    TSettings s;
    int mode = -1;
    std::vector<int> modeCalls;
    std::set<int> failModes;
    std::function<void()> duringSwitch;  // once, inside the next SetInputMode
    int inputLevel = 0;
    std::vector<TSettings> applied;  // every value handed back, in order
    FakeDevice<TNullSoundOut> out;
    FakeDevice<TNullSoundIn> in;
    std::vector<std::string> inChoices{"Default input device", "Mic A", "Mic B"};
    std::vector<std::string> outChoices{"Default output device", "Speaker A", "Speaker B"};
    std::vector<std::string> ports;
    std::set<int> openable;
    int port = 0;  // the port the lines are on
    bool open = false;
    int monitorStarts = 0;
    QStringList messages, status, forwarded;

    FakeTarget() {
        out.active = true;
        s.Slope = 40;  // the generator's own
    }

    const TSettings& Settings() const override { return s; }
    // Clamped as the generator and the analyser take the values.
    void Apply(const TSettings& next) override {
        applied.push_back(next);
        const int used = s.RXComPort;
        s = next;
        // A new port: an open one moves there, or is refused and COM mode ends.
        if (s.RXComPort != used && open) {
            if (openable.count(s.RXComPort)) {
                port = s.RXComPort;
                ++monitorStarts;
            } else {
                messages << QString("Error: cannot use ComPort COM%1").arg(s.RXComPort);
                s.RXComPort = used;
                open = false;
                mode = 0;
            }
        } else if (s.RXComPort != used) {
            port = s.RXComPort;
        }
        s.Slope = std::clamp(s.Slope, 0, 500);
        s.OutputLevel = std::min(s.OutputLevel, 0);
        s.RxFrequency = std::clamp(s.RxFrequency, 100, 4000);
        s.TxFrequency = std::clamp(s.TxFrequency, 100, 2000);
        s.TxFrequency2 = std::clamp(s.TxFrequency2, 100, 2000);
    }
    // How often a setting changed through Apply (the display follows each).
    int Changes(bool TSettings::*field, bool from) const {
        int n = 0;
        for (const TSettings& a : applied) {
            n += a.*field != from;
            from = a.*field;
        }
        return n;
    }
    int InputMode() const override { return mode; }
    // What the session does once the window follows it: the stored mode
    // entered, the window shown the mode in force.
    void EnterStoredMode(TParamWindow& f) {
        SetInputMode(s.RXInput);
        f.RXInputGroup()->SetItemIndex(mode);
    }
    bool SetInputMode(int m) override {
        if (m == mode)
            return true;  // the mode in force: nothing to switch
        modeCalls.push_back(m);
        const bool ok = !failModes.count(m);
        mode = ok ? m : 0;
        if (ok && m == 2)
            open = openable.count(port = s.RXComPort) > 0;
        if (auto during = std::exchange(duringSwitch, nullptr))
            during();
        return ok;
    }
    int InputLevel() const override { return inputLevel; }
    void ResetInputLevel() override { inputLevel = 0; }
    ISoundIn* SoundIn1() override { return &in; }
    ISoundOut* SoundOut1() override { return &out; }
    std::vector<std::string> InputDeviceChoices() override { return inChoices; }
    std::vector<std::string> OutputDeviceChoices() override { return outChoices; }
    std::vector<std::string> DetectedPorts() override { return ports; }
    bool ComIsOpen() const override { return open; }
    void Message(const std::string& t) override { messages << QString::fromStdString(t); }
    void StatusMessage(const std::string& t) override { status << QString::fromStdString(t); }
    void ForwardKeyDown(int key, bool shift) override {
        forwarded << QKeySequence(key).toString() + (shift ? "+shift" : "");
    }
};
