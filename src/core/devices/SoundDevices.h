#pragma once
// What the program needs of the sound card: a double-buffered 16-bit PCM
// output that its owner refills on demand, and an input that hands every
// recorded buffer to its owner. Callbacks arrive on the owner's (UI) thread.
// The libpulse output and the Qt Multimedia input implement these; tests
// use fakes.

#include <cstdint>
#include <functional>
#include <string>

class ISoundOut {
public:
    virtual ~ISoundOut() = default;

    virtual int SampleRate() const = 0;
    virtual void SetSampleRate(int hz) = 0;  // while closed
    virtual int BufferTime() const = 0;
    virtual void SetBufferTime(int ms) = 0;  // while closed
    virtual int Channels() const = 0;
    virtual void SetChannels(int n) = 0;  // clamped to 1..2; reopens an open device
    // Bytes of one buffer: SampleRate * 2 * Channels * BufferTime / 1000.
    virtual uint32_t BufferBytes() const = 0;

    virtual bool DeviceAvailable() const = 0;
    virtual int DeviceCount() const = 0;
    virtual bool DeviceName(int id, std::string& name) = 0;
    virtual int DeviceId() const = 0;    // -1: the system's default device
    virtual bool SetDevice(int id) = 0;  // reopens an open device

    virtual bool Open() = 0;
    virtual bool Start() = 0;  // fills both buffers through OnBufferPlayed first
    virtual bool Stop() = 0;
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsActive() const = 0;
    virtual const std::string& LastError() const = 0;

    // Output volume gate: low 16 bits left, high 16 bits right, each 0..65535.
    // Applied to the samples as late as possible, so key-down to tone is short.
    virtual uint32_t Volume() const = 0;
    virtual void SetVolume(uint32_t leftRight) = 0;
    // The gate at leftRight for exactly ms of audio from now, then back to
    // the volume in force: a keyer's mark, whose end is then exact however
    // late its key-up comes (an earlier one does not cut it short). Where a
    // device cannot time it, the key-up ends the mark as it does any other.
    virtual void HoldVolume(uint32_t leftRight, uint32_t ms) {
        (void)ms;
        SetVolume(leftRight);
    }
    // Whether the gate must act within a few ms (a key's side tone). Without
    // it the gate may wait for the audio already handed to the device, which
    // costs less processor time; sent text is not affected either way.
    virtual void SetLowLatency(bool on) { (void)on; }

    // A played buffer the owner must fill now (length in bytes).
    std::function<void(int16_t* pb, uint32_t bytes)> OnBufferPlayed;
    // The device went away, came back or failed: a line for the status bar.
    std::function<void(const std::string& message)> OnStatus;
};

class ISoundIn {
public:
    virtual ~ISoundIn() = default;

    virtual int SampleRate() const = 0;
    virtual void SetSampleRate(int hz) = 0;
    virtual int BufferSamples() const = 0;
    virtual void SetBufferSamples(int n) = 0;
    virtual int BufferTime() const = 0;
    virtual void SetBufferTime(int ms) = 0;
    virtual int Channels() const = 0;
    virtual void SetChannels(int n) = 0;
    virtual int NumBuffers() const = 0;
    virtual void SetNumBuffers(int n) = 0;  // clamped to 2..6, stored only
    virtual uint32_t BufferBytes() const = 0;

    virtual bool DeviceAvailable() const = 0;
    virtual int DeviceCount() const = 0;
    virtual bool DeviceName(int id, std::string& name) = 0;
    virtual int DeviceId() const = 0;
    virtual bool SetDevice(int id) = 0;

    virtual bool Open() = 0;
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsActive() const = 0;
    virtual const std::string& LastError() const = 0;

    // A recorded buffer: samples, BufferSamples, bytes actually recorded.
    std::function<void(const int16_t* pb, uint32_t samples, uint32_t bytes)> OnBufferRecorded;
    std::function<void(const std::string& message)> OnStatus;
};
