#pragma once
// Where the operator's keying comes from. Each input mode has one source:
// the keyboard and mouse, the serial key lines, the sound input or a WAV
// file. The key-input unit opens a mode's source when the mode is entered,
// starts it once the side tone is set up, and closes it when the mode is
// left; the source hands what it receives to the sink until it is closed.
// Plain C++ so that sources and the key-input unit test without a window.

#include <cstdint>
#include <string>

// The input modes, as the settings store them.
enum TInputMode : int { KeybdMouse = 0, SoundInput = 1, ComPort = 2, WavFile = 3 };

class IKeySink {
public:
    virtual ~IKeySink() = default;
    // The key went down or up. timestampMs: the time of the change in
    // milliseconds, on one monotonic scale per source (0 = unknown, take the
    // clock now). Durations are measured between these stamps, so a busy UI
    // thread does not change what was keyed.
    virtual void KeyChanged(bool down, uint64_t timestampMs) = 0;
    // A keyer's key-down whose mark lasts exactly markMs: the side tone can
    // then end it on time to the sample, whenever the key-up comes.
    virtual void KeyMarkStarted(uint64_t timestampMs, uint32_t markMs) {
        (void)markMs;
        KeyChanged(true, timestampMs);
    }
    // A block of 8000 Hz mono 16-bit samples.
    virtual void SamplesReady(const int16_t* samples, uint32_t count) = 0;
    // The source stopped by itself (end of file, device unplugged). The
    // key-input unit returns to Keybd/Mouse; a non-empty message is shown.
    virtual void SourceEnded(const std::string& message) = 0;
};

class IKeySource {
public:
    virtual ~IKeySource() = default;
    // Opens the device or file. False when it cannot; error is then the
    // message for the user, or empty when the user cancelled.
    virtual bool Open(std::string& error) = 0;
    // Starts delivering to sink; nothing is delivered before this.
    virtual void Start(IKeySink& sink) = 0;
    // Stops delivering and releases the device. Safe to call when not open.
    virtual void Close() = 0;
    // Key sources (keyboard, serial lines) get a side tone that follows the
    // key; sample sources do not.
    virtual bool KeyedSidetone() const = 0;
    // Samples per block a sample source delivers (the analyser's block size).
    virtual int BlockSamples() const { return 0; }
};
