#include "analysis/SessionInput.h"

#include "devices/SessionRecord.h"
#include "morse/BatchError.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace orvo {

namespace {

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i])
            return false;
    return true;
}

}  // namespace

bool IsKeyList(const std::string& path) {
    if (EndsWith(path, ".keys") || EndsWith(path, ".txt"))
        return true;
    std::ifstream f(path, std::ios::binary);
    char head[4] = {};
    f.read(head, sizeof head);
    const std::string magic(head, static_cast<size_t>(f.gcount()));
    for (const char* m : {"RIFF", "RF64", "fLaC", "OggS", "ID3", "FORM", ".snd"})
        if (magic.compare(0, std::strlen(m), m) == 0)
            return false;
    for (char c : magic) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c == '#' || (c >= '0' && c <= '9');
    }
    return false;
}

void AddCharacters(TPracticeStats& stats, const AnalysisResult& r) {
    for (const CharacterEntry& c : r.characters)
        stats.Add(c.pattern, c.elements.data(), c.elements.size(), c.wordSpace);
}

SessionInput ReadSessionKeys(std::istream& in, const std::string& name, AnalysisOptions opt,
                             bool speedGiven) {
    SessionInput s;
    s.input = name;
    s.keyList = true;
    const SessionHeader h = ReadSessionHeader(in);
    s.started = h.started;
    if (!speedGiven && h.speed > 0)
        opt.speed = h.speed;
    std::vector<KeyEvent> events;
    try {
        events = ParseKeyEvents(in);
    } catch (const BatchError& e) {
        throw BatchError(name + ": " + e.what());
    }
    s.stats = std::make_unique<TPracticeStats>(opt.extended);
    AddCharacters(*s.stats, AnalyzeKeys(events, opt));
    return s;
}

SessionInput ReadSessionInput(const std::string& path, AnalysisOptions opt, bool speedGiven) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw BatchError("cannot open " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw BatchError("cannot open " + path + ": " + std::strerror(EISDIR));
    if (IsKeyList(path)) {
        std::ifstream f(path, std::ios::binary);
        if (!f)
            throw BatchError("cannot open " + path + ": " + std::strerror(errno));
        return ReadSessionKeys(f, path, opt, speedGiven);
    }
    SessionInput s;
    s.input = path;
    s.stats = std::make_unique<TPracticeStats>(opt.extended);
    AddCharacters(*s.stats, AnalyzeFile(path, opt));
    return s;
}

}  // namespace orvo
