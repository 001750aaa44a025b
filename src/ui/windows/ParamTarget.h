#pragma once
// What the parameters dialog drives and reads: the settings in force, read
// from Settings() and handed back edited through Apply (which changes what
// differs and clamps as the working parts do: tones, output mode, mutes and
// the main window's text size follow from there), the input mode, the input
// meter, the sound devices and the serial key line. The main window
// implements it; tests use a fake.

#include <string>
#include <vector>

class ISoundIn;
class ISoundOut;
struct TSettings;

class IParamTarget {
public:
    virtual ~IParamTarget() = default;

    // The settings in force, and an edited value to take their place.
    virtual const TSettings& Settings() const = 0;
    virtual void Apply(const TSettings& s) = 0;

    // Input mode: 0 Keybd/Mouse, 1 Sound Input, 2 COM Port, 3 WAV file.
    // SetInputMode returns false when the mode could not be entered; the
    // target is then in Keybd/Mouse mode.
    virtual int InputMode() const = 0;
    virtual bool SetInputMode(int mode) = 0;

    // Sound input meter.
    virtual int InputLevel() const = 0;  // signal level for the meter
    virtual void ResetInputLevel() = 0;  // level := 0

    // Sound devices (may be null when the program runs without sound).
    virtual ISoundIn* SoundIn1() = 0;
    virtual ISoundOut* SoundOut1() = 0;
    // The default device first, then one full name per device; empty when
    // the system has no device of that kind.
    virtual std::vector<std::string> InputDeviceChoices() = 0;
    virtual std::vector<std::string> OutputDeviceChoices() = 0;

    // Serial key line. Port names: entry n-1 is the detected name of port n
    // (empty: no such port).
    virtual std::vector<std::string> DetectedPorts() = 0;
    // The list entry of port n; it starts with "COM<n>".
    virtual std::string PortCaption(int n) { return "COM" + std::to_string(n); }
    // The port, the levels and the key input line are settings (RXComPort,
    // DTR, RTS, Event) the session follows: a port that cannot be used is
    // refused with a message, the setting stays the port in use and COM
    // Port mode ends. Whether the port is open now:
    virtual bool ComIsOpen() const = 0;

    // Messages: a message box, and a line in the status bar.
    virtual void Message(const std::string& text) = 0;
    virtual void StatusMessage(const std::string& text) = 0;
    // F3, F7 and Pause reach the main window's key handler.
    virtual void ForwardKeyDown(int qtKey, bool shift) = 0;
};
