// Any bytes as a WAV file: header parsing, block reading with and without
// RepeatFile, and the whole `analyze` path. Must never crash or hang.

#include "cli/Json.h"
#include "analysis/BatchAnalysis.h"
#include "cli/CliError.h"
#include "devices/ManualClock.h"
#include "devices/FileIn.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

const std::string& Path() {
    static const std::string p = "/tmp/orvo-fuzz-wav-" + std::to_string(getpid()) + ".wav";
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(Path().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    {
        ManualClock clock;
        TFileIn reader(clock);
        reader.SetFilename(Path());
        reader.SetTimerInterval(size ? data[0] : 10);
        reader.SetRepeatFile(size > 1 && (data[1] & 1));
        bool eof = false;
        long sum = 0;
        reader.OnEOFReached = [&] { eof = true; };
        reader.OnBufferReady = [&](const int16_t* pb, int l) {
            for (int i = 0; i < l; ++i)
                sum += pb[i];
        };
        if (reader.Open() && reader.ReadHeader()) {
            reader.Start();
            for (int i = 0; i < 64 && !eof; ++i)
                clock.Advance(reader.TimerInterval());
        }
        reader.Close();
    }
    try {
        orvo::cli::ToJson(orvo::AnalyzeFile(Path(), orvo::AnalysisOptions{}));
    } catch (const orvo::cli::CliError&) {}
    std::remove(Path().c_str());
    return 0;
}
