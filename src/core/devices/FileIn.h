#pragma once
// Plays a recording in place of the sound-card input: paced by a timer, it
// hands one buffer of 16-bit mono samples at 8000 Hz per tick to its owner.
// The file is read through TAudioFileReader, so any format it reads plays.

#include "devices/AudioFileReader.h"
#include "devices/Timer.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFileIn {
public:
    explicit TFileIn(ITimerFactory& timers);
    ~TFileIn();
    TFileIn(const TFileIn&) = delete;
    TFileIn& operator=(const TFileIn&) = delete;

    const std::string& Filename() const { return filename_; }
    void SetFilename(const std::string& name) { filename_ = name; }
    uint32_t TimerInterval() const { return timerInterval_; }
    // Clamped to 10..500 ms; the buffer holds TimerInterval x 8 samples.
    void SetTimerInterval(uint32_t ms);
    bool RepeatFile() const { return repeatFile_; }
    void SetRepeatFile(bool on) { repeatFile_ = on; }

    int BufferSamples() const { return static_cast<int>(timerInterval_ * 8); }
    bool Running() const { return running_; }
    bool IsOpen() const { return reader_.IsOpen(); }
    // Text of the last failure of Open, ReadHeader or a read, for messages.
    const std::string& LastError() const { return reader_.LastError(); }
    // What the accepted file holds (after ReadHeader).
    const AudioFileInfo& Info() const { return reader_.Info(); }
    // The data ended before the length the file declares.
    bool Truncated() const { return reader_.Truncated(); }

    // One buffer: the samples and the buffer size in samples.
    std::function<void(const int16_t* pb, int l)> OnBufferReady;
    // The end of the data was reached and playing stopped.
    std::function<void()> OnEOFReached;

    bool Open();
    bool ReadHeader();
    void Start();
    void Stop();
    void Close();
    // One timer tick: read and deliver one buffer.
    void Tick();

private:
    std::unique_ptr<ITimer> timer_;
    std::string filename_ = "test.wav";
    uint32_t timerInterval_ = 100;
    bool repeatFile_ = false;
    bool running_ = false;
    TAudioFileReader reader_;
    std::vector<int16_t> samples_;
};
