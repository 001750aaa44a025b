#pragma once
// What the parameters dialog drives and reads: the generator's tones and
// level, the analyser's signal settings, the decoder's character set, the
// input mode, the sound devices, the serial key line and the main window's
// display. The main window implements it; tests use a fake. Plain settings
// (check boxes without side effects) are written straight into Settings().

#include <cstdint>
#include <string>
#include <vector>

class ISoundIn;
class ISoundOut;
struct TSettings;

class IParamTarget {
public:
    virtual ~IParamTarget() = default;

    // Main-window fields named after their INI keys.
    virtual TSettings& Settings() = 0;

    // Input mode: 0 Keybd/Mouse, 1 Sound Input, 2 COM Port, 3 WAV file.
    // SetInputMode returns false when the mode could not be entered; the
    // target is then in Keybd/Mouse mode.
    virtual int InputMode() const = 0;
    virtual bool SetInputMode(int mode) = 0;

    // Output: channels, sidetone gate and key volume.
    virtual void SetBinaural(bool on) = 0;      // field, generator layout and device channels
    virtual void SetOutputVolume(uint16_t both) = 0;
    virtual void SetKeyVolume(uint16_t v) = 0;

    // Generator (each setter clamps; the getter tells what it kept).
    virtual int Frequency() const = 0;          // keyboard tone, Hz
    virtual void SetFrequency(int hz) = 0;
    virtual int Frequency2() const = 0;         // key tone, Hz
    virtual void SetFrequency2(int hz) = 0;
    virtual int Slope() const = 0;
    virtual void SetSlope(int samples) = 0;
    virtual int LogAmplitude() const = 0;       // dB, at most 0
    virtual void SetLogAmplitude(int db) = 0;
    virtual bool ExtraChars() const = 0;
    virtual void SetExtraChars(bool on) = 0;

    // Analyser and decoder.
    virtual int CenterFreq() const = 0;         // 100..4000 Hz
    virtual void SetCenterFreq(int hz) = 0;
    virtual int ProcessMode() const = 0;        // 0 broad, 1 narrow
    virtual void SetProcessMode(int mode) = 0;
    virtual int Detector() const = 0;           // 0 standard, 1 robust
    virtual void SetDetector(int detector) = 0;
    virtual bool NoiseBlank() const = 0;
    virtual void SetNoiseBlank(bool on) = 0;
    virtual int InputScaledB() const = 0;
    virtual void SetInputScaledB(int db) = 0;
    virtual int InputLevel() const = 0;         // signal level for the meter
    virtual void ResetInputLevel() = 0;         // level := 0
    virtual bool SpecialChars() const = 0;
    virtual void SetSpecialChars(bool on) = 0;
    virtual void SetDisplay2Prosigns(bool on) = 0;

    // Display of the main window, after the setting has changed.
    virtual void SpeedDisplayChanged() = 0;     // WpM / CpM labels and speeds
    virtual void AllCapsChanged() = 0;          // panels and pattern strip
    virtual void ShowPatternChanged(bool on) = 0;
    virtual void SetCharSize(int points) = 0;   // both text panels

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
    virtual int PortNumber() const = 0;
    virtual void SetPortNumber(int n) = 0;      // an open port is reopened on n
    virtual bool ComIsOpen() const = 0;
    virtual bool ComOpen() = 0;
    virtual void ComClose() = 0;
    virtual void SetDtr(bool high) = 0;
    virtual void SetRts(bool high) = 0;
    virtual void StartMonitor() = 0;
    virtual void SetMonitorEvents(int events) = 0;  // 2 CTS, 4 DSR, 6 both
    // A new port in COM mode: the pattern strip and the character history
    // start empty.
    virtual void ClearHistory() = 0;

    // Messages: a message box, and a line in the status bar.
    virtual void Message(const std::string& text) = 0;
    virtual void StatusMessage(const std::string& text) = 0;
    // F3, F7 and Pause reach the main window's key handler.
    virtual void ForwardKeyDown(int qtKey, bool shift) = 0;
};
