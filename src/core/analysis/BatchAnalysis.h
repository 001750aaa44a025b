#pragma once
// Batch analysis: a keying session configured as a fresh installation with
// the options applied, fed from a recording or from a list of timed key
// transitions through its key input, on a hand-driven clock so it runs as
// fast as the file reads; the results are collected from the session's
// events the way the main window shows them. Failures are thrown as
// orvo::BatchError.

#include "analysis/Analyser.h"
#include "analysis/RobustDetector.h"
#include "analysis/SpeedFollower.h"
#include "devices/AudioFileReader.h"
#include "devices/ManualClock.h"
#include "session/KeySource.h"
#include "session/KeyingSession.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace orvo {

struct AnalysisOptions {
    int32_t speed = 60;  // target speed, CpM
    tProcessMode mode = tProcessMode::narrow;
    int32_t center = 800;  // Hz
    int32_t gain = -10;    // dB
    int32_t bandwidth = 2;
    bool bounce = true;
    bool extended = true;
    // Follow the operator's own speed instead of judging against `speed`.
    bool autoSpeed = false;
    // Centre the band-pass on the recording's tone instead of `center`.
    bool autoCenter = false;
    // Recordings through the noise-proof detector instead of the analyser's
    // own signal chain.
    bool robust = false;
};

struct CharacterEntry {
    uint32_t pattern = 0;
    std::string text;  // Windows-1252
    std::vector<uint32_t> elements;
    bool wordSpace = false;
    bool timeout = false;
    uint32_t cpm = 0;
    uint32_t avgCpm = 0;
};

struct TimingEntry {
    int32_t last = 0;
    int32_t avg = 0;
    int32_t count = 0;
};

struct AnalysisResult {
    std::string text;  // Windows-1252, as the decoded panel receives it
    std::vector<CharacterEntry> characters;
    TimingEntry dot, dash, elementSpace, charSpace, wordSpace;
    int32_t lastDashAvg = 0;
    int32_t lastDashCount = 0;
    int32_t weight = 0;
    // Recordings only: what was read, and whether it ended early.
    bool hasInput = false;
    AudioFileInfo input;
    bool truncated = false;
    // With autoSpeed: the speed followed at the start and at the end, CpM.
    bool autoSpeed = false;
    int32_t speedStart = 0;
    int32_t speedEnd = 0;
    // With autoCenter: the band-pass centre found, Hz.
    bool autoCenter = false;
    int32_t centerHz = 0;
};

// One line of `keys` input.
struct KeyEvent {
    uint64_t t = 0;
    bool down = false;
};

class AnalysisSession {
public:
    explicit AnalysisSession(const AnalysisOptions& opt);
    ~AnalysisSession();
    AnalysisSession(const AnalysisSession&) = delete;
    AnalysisSession& operator=(const AnalysisSession&) = delete;

    // Sample path: one block of CalcSize (400) samples.
    void FeedBlock(const int16_t* samples);
    // Silent blocks until no character is pending (bounded).
    void FlushSamples();

    // Key path, on the hand-driven clock: through the session's key input
    // (its gate, timing and cap); then time runs on until nothing is pending.
    void KeyAt(uint64_t t, bool down);
    void FlushKeys();

    // Starts following the operator's speed from a dot length (ms); a
    // length of 0 starts from the target speed.
    void StartSpeed(double dotMs);

    AnalysisResult Result();

    TAnalyser& Calc() { return session_.Analyser(); }
    ManualClock& Clock() { return clock_; }
    int32_t BlockSamples() const { return kBlock; }

    static constexpr int32_t kBlock = 400;

private:
    // The robust detector's edges take the key path, timed in ms of the
    // samples; the clock then stands for the sample time.
    struct KeyPath : IKeyEdgeSink {
        explicit KeyPath(AnalysisSession& s) : session(s) {}
        void KeyEdge(double ms, bool down) override;
        void KeyTime(double ms) override;
        AnalysisSession& session;
    };

    // The file as the session's input source: the recording's blocks as
    // samples, the key list's (or the robust detector's) transitions with
    // their own times. It plays in the WAV file mode.
    class FileSource : public IKeySource {
    public:
        bool Open(std::string&) override { return true; }
        void Start(IKeySink& sink) override { sink_ = &sink; }
        void Close() override { sink_ = nullptr; }
        bool KeyedSidetone() const override { return false; }
        int BlockSamples() const override { return kBlock; }
        void Samples(const int16_t* samples) {
            if (sink_)
                sink_->SamplesReady(samples, kBlock);
        }
        void Key(bool down, uint64_t t) {
            if (sink_)
                sink_->KeyChanged(down, t);
        }

    private:
        IKeySink* sink_ = nullptr;
    };

    // Collects the decoded characters, their elements and speeds.
    struct Collector : ISessionListener {
        explicit Collector(AnalysisSession& s) : session(s) {}
        void CharacterEnded(uint32_t pattern, bool wordSpace, bool timeout) override;
        void CharacterDecoded(const std::string& text, bool timeout) override;
        void ActualSpeed(uint32_t cpm) override;
        void AverageSpeed(uint32_t cpm) override;
        AnalysisSession& session;
    };

    // The input mode is entered with the first data; `at`: the clock then.
    void Begin(uint64_t at);
    void UseRobustDetector(double dotMs);

    ManualClock clock_;
    FileSource source_;
    KeyingSession session_;
    Collector collector_{*this};
    bool begun_ = false;
    TSpeedFollower follower_;
    bool follow_ = false;
    int32_t center_ = 800;
    double halfBand_ = 62.5;
    std::unique_ptr<TRobustDetector> robust_;
    KeyPath keyPath_{*this};
    AnalysisResult result_;
};

// How far from the centre (Hz) the robust detector looks for the tone.
double RobustHalfBand(const AnalysisOptions& opt);

// Reads a recording (any format TAudioFileReader reads) and analyses it.
AnalysisResult AnalyzeFile(const std::string& path, const AnalysisOptions& opt);
// The dot length (ms) the opening keying of 8000 Hz samples shows, as the
// analyser with its target speed measures it; 0 when nothing is keyed.
double OpeningDot(const std::vector<int16_t>& samples, const AnalysisOptions& opt);
// Analyses raw 8000 Hz mono samples (tests and benchmarks).
AnalysisResult AnalyzeSamples(const std::vector<int16_t>& samples, const AnalysisOptions& opt);

// Parses key-list input; throws BatchError naming the offending line.
std::vector<KeyEvent> ParseKeyEvents(std::istream& in);
AnalysisResult AnalyzeKeys(const std::vector<KeyEvent>& events, const AnalysisOptions& opt);

}  // namespace orvo
