#pragma once
// The two sample sources of the input modes: the sound input (a keyed tone
// from a practice oscillator or a receiver) and a WAV file played in real
// time in its place. Each hands blocks of 8000 Hz mono samples to the key
// sink; neither has a side tone. Plain C++ on the device interfaces.

#include "session/KeySource.h"
#include "devices/SoundDevices.h"
#include "devices/Timer.h"
#include "devices/FileIn.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Device id for the stored input choice: 0 is the system's default input,
// n is device n-1; a device that no longer exists falls back to the default.
int InputDeviceIdFor(int rxDevice, int deviceCount);

class TSoundInSource : public IKeySource {
public:
    static constexpr int kBufferSamples = 800;

    // rxDevice, when given, reads the stored input choice at each Open.
    explicit TSoundInSource(ISoundIn& in, std::function<int()> rxDevice = nullptr)
        : in_(in), rxDeviceFn_(std::move(rxDevice)) {}
    // The stored input choice (0 = default device), applied at the next Open.
    void SetRXDevice(int rxDevice) { rxDevice_ = rxDevice; }
    int RXDevice() const { return rxDevice_; }

    // Starts recording; buffers are dropped until Start hands the sink.
    bool Open(std::string& error) override;
    void Start(IKeySink& sink) override { sink_ = &sink; }
    void Close() override;
    bool KeyedSidetone() const override { return false; }
    int BlockSamples() const override { return in_.BufferSamples(); }

private:
    ISoundIn& in_;
    std::function<int()> rxDeviceFn_;
    IKeySink* sink_ = nullptr;
    int rxDevice_ = 0;
};

class TWavFileSource : public IKeySource {
public:
    // chooseFile runs the file dialog: false when cancelled, else the path.
    TWavFileSource(TFileIn& reader, ITimerFactory& timers,
                   std::function<bool(const std::string& current, std::string& path)> chooseFile);
    ~TWavFileSource() override;

    // Silence played on after the end of the file before the source ends,
    // so the analyser can finish the last character (its word timeout).
    void SetEndTailMs(uint32_t ms) { tailMs_ = ms; }
    uint32_t EndTailMs() const { return tailMs_; }

    bool Open(std::string& error) override;
    void Start(IKeySink& sink) override;
    void Close() override;
    bool KeyedSidetone() const override { return false; }
    int BlockSamples() const override { return reader_.BufferSamples(); }

private:
    void BufferReady(const int16_t* pb, int l);
    void TailTick();
    void End();

    TFileIn& reader_;
    std::unique_ptr<ITimer> tailTimer_;
    std::function<bool(const std::string&, std::string&)> choose_;
    IKeySink* sink_ = nullptr;
    bool eof_ = false;
    uint32_t tailMs_ = 0;
    uint32_t tailLeft_ = 0;
    std::vector<int16_t> zeros_;
};
