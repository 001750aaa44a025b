#pragma once
// Text rendered as Morse in one go: prepares typed text for the generator
// and runs the generator over it, collecting its output buffers.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCWout;

namespace orvo {

struct SendOptions {
    int32_t speed = 60;    // CpM
    int32_t freq = 800;    // Hz
    int32_t weight = 100;  // dot mark : element space, percent
    int32_t ratio = 300;   // dash in percent of a dot
    int32_t slope = 20;    // ramp samples
    int32_t level = -10;   // dB
    bool stereo = false;
    int32_t pttStart = 100;  // ms
    int32_t pttHold = 100;   // ms
};

// The generator configured as on the main window with the options applied.
void ConfigureGenerator(TCWout& gen, const SendOptions& opt);

// Turns UTF-8 text into the generator's Windows-1252 characters, writing
// "<ar>" .. "<ch>" (any case) as the prosign characters. Characters the
// generator cannot send are left out and listed (as UTF-8) in `skipped`.
std::string PrepareText(const std::string& utf8, const TCWout& gen, std::vector<std::string>& skipped);

// Sends the prepared text from the start until the last character is sent
// and PTT has dropped, handing out 100 ms buffers (800 frames; stereo frames
// interleaved left, right). The sink returns false to abandon.
using SampleSink = std::function<bool(const int16_t* samples, size_t count)>;
bool GenerateMorse(const std::string& cp1252, const SendOptions& opt, const SampleSink& sink);

// Convenience for tests and benchmarks: the whole output in memory.
std::vector<int16_t> SynthesizeMorse(const std::string& utf8, const SendOptions& opt,
                                     std::vector<std::string>* skipped = nullptr);

}  // namespace orvo
