// Any bytes as a recording: format recognition, decoding, mixing down and
// resampling, rewinding, and the whole `analyze` path with the options that
// read ahead. Must never crash, hang or leak.

#include "analysis/BatchAnalysis.h"
#include "devices/AudioFileReader.h"
#include "morse/BatchError.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string& Path() {
    static const std::string p = "/tmp/orvo-fuzz-audio-" + std::to_string(getpid());
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
        TAudioFileReader reader;
        if (reader.Open(Path())) {
            std::vector<int16_t> buf(1 + (size ? data[0] : 0) * 7);
            // A bound on the samples: no input may make the reader run away.
            size_t total = 0;
            for (int pass = 0; pass < 2; ++pass) {
                while (total < 8000 * 600 && reader.Read(buf.data(), buf.size()) == buf.size() &&
                       !reader.Ended())
                    total += buf.size();
                reader.Rewind();
            }
        }
    }
    try {
        orvo::AnalysisOptions o;
        o.autoSpeed = size > 1 && (data[1] & 1);
        o.autoCenter = size > 1 && (data[1] & 2);
        o.robust = size > 1 && (data[1] & 4);
        orvo::AnalyzeFile(Path(), o);
    } catch (const orvo::BatchError&) {}
    std::remove(Path().c_str());
    return 0;
}
