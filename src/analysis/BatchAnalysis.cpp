#include "analysis/BatchAnalysis.h"

#include "devices/fileIn.h"
#include "morse/BatchError.h"

#include <algorithm>
#include <charconv>
#include <memory>

namespace orvo {

namespace {

// The main window passes at most one hour as a key-mode duration.
constexpr uint64_t kMaxKeyDuration = 3600000;
// Silent blocks after the data: far beyond the longest word timeout.
constexpr int kMaxFlushBlocks = 200;
// Timer firings after the last key line: the word, mute and flash timers
// each stop themselves, so a handful suffices.
constexpr int kMaxFlushSteps = 1000;
// Timestamps beyond this (about 31 700 years) are refused as nonsense.
constexpr uint64_t kMaxKeyTime = 1000000000000000ull;

}  // namespace

AnalysisSession::AnalysisSession(const AnalysisOptions& opt) : calc_(clock_, nullptr, &stats_) {
    // The generator's speed bounds as on the main window; the analyser
    // then takes the speed the generator holds.
    gen_.SetMinSpeed(20);
    gen_.SetSpeed(opt.speed);

    decoder_.SetSpecialChars(opt.extended);
    decoder_.SetAring(true);
    decoder_.SetErrQm(true);
    decoder_.SetDisplay2Prosigns(false);

    calc_.SetBandwidthIndex(static_cast<uint32_t>(std::clamp(opt.bandwidth, 0, 3)));
    calc_.SetCenterFreq(static_cast<uint32_t>(std::max(opt.center, 0)));
    calc_.SetProcessMode(opt.mode);
    calc_.SetInputScaledB(opt.gain);
    calc_.SetNoiseBlank(opt.bounce);
    calc_.SetTempo(gen_.Speed());
    calc_.SetCalcSize(kBlock);

    stats_.WordTimeout = [this] { return calc_.WordTimeout(); };
    stats_.DotSamples = [this] { return static_cast<double>(gen_.DotSamples()); };
    stats_.AverageSpeed = [this] { return calc_.AvgTempo(); };
    stats_.SetReference(TTimingStats::Reference::TargetSpeed);
    stats_.ResetValues(2);

    calc_.OnNewPattern = [this](uint32_t data, bool bl, bool en) { NewPattern(data, bl, en); };
    calc_.OnNewTempo = [this](uint32_t t) {
        if (!result_.characters.empty()) result_.characters.back().cpm = t;
    };
    calc_.OnNewAvgTempo = [this](uint32_t t) {
        if (!result_.characters.empty()) result_.characters.back().avgCpm = t;
    };
}

void AnalysisSession::NewPattern(uint32_t data, bool bl, bool en) {
    CharacterEntry e;
    e.pattern = data;
    e.text = decoder_.Decode(data, false);
    e.wordSpace = bl;
    e.timeout = en;
    result_.text += decoder_.Decode(data, bl);
    if (en) result_.text += '\r';

    CharRecord rec{};
    calc_.GetCharRecord(0, rec);
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    e.elements.assign(rec.begin() + 2, rec.begin() + 2 + n);
    result_.characters.push_back(std::move(e));

    // As the main window: the speed shown is the newest character's own.
    calc_.ClearTimingSums();
    calc_.AccumulateRecord(rec);
}

void AnalysisSession::FeedBlock(const int16_t* samples) {
    calc_.ProcessSamples(samples, kBlock);
}

void AnalysisSession::FlushSamples() {
    static const int16_t kSilence[kBlock] = {};
    for (int i = 0; i < kMaxFlushBlocks && calc_.PendingCount() > 0; ++i) FeedBlock(kSilence);
}

void AnalysisSession::KeyAt(uint64_t t, bool down) {
    clock_.AdvanceTo(t);
    if (down == keyIsDown_) return;  // repeated state: no transition, time kept
    const uint64_t now = std::max(t, lastKeyTime_);
    const uint64_t d = std::min(now - lastKeyTime_, kMaxKeyDuration);
    lastKeyTime_ = now;
    keyIsDown_ = down;
    calc_.KeyTransition(static_cast<uint32_t>(d), down);
}

void AnalysisSession::FlushKeys() {
    for (int i = 0; i < kMaxFlushSteps && clock_.AnyTimerActive(); ++i) {
        uint64_t due = 0;
        if (!clock_.NextDue(due)) break;
        clock_.AdvanceTo(due);
    }
}

AnalysisResult AnalysisSession::Result() {
    stats_.UpdateDisplay();
    const TTimingStats::Display& d = stats_.Shown();
    auto entry = [&](TimingKind k) {
        const int i = static_cast<int>(k);
        return TimingEntry{d.last[i], d.average[i], stats_.Values(TTimingStats::kCurrentInput, k).count};
    };
    AnalysisResult r = result_;
    r.dot = entry(TimingKind::Dot);
    r.dash = entry(TimingKind::Dash);
    r.elementSpace = entry(TimingKind::ElementSpace);
    r.charSpace = entry(TimingKind::CharSpace);
    r.wordSpace = entry(TimingKind::WordSpace);
    r.lastDashAvg = d.average[static_cast<int>(TimingKind::LastDash)];
    r.lastDashCount = stats_.Values(TTimingStats::kCurrentInput, TimingKind::LastDash).count;
    r.weight = d.weight;
    return r;
}

AnalysisResult AnalyzeFile(const std::string& path, const AnalysisOptions& opt) {
    ManualClock readerClock;
    TfileIn reader(readerClock);
    reader.SetFilename(path);
    reader.SetTimerInterval(AnalysisSession::kBlock / 8);
    if (!reader.Open()) throw BatchError(reader.LastError());
    if (!reader.ReadHeader()) throw BatchError(reader.LastError());

    auto session = std::make_unique<AnalysisSession>(opt);
    bool eof = false;
    reader.OnEOFReached = [&] { eof = true; };
    reader.OnBufferReady = [&](const int16_t* pb, int) { session->FeedBlock(pb); };
    while (!eof) reader.Tick();
    if (!reader.LastError().empty()) throw BatchError(reader.LastError());
    reader.Close();
    session->FlushSamples();
    return session->Result();
}

AnalysisResult AnalyzeSamples(const std::vector<int16_t>& samples, const AnalysisOptions& opt) {
    auto session = std::make_unique<AnalysisSession>(opt);
    const size_t block = AnalysisSession::kBlock;
    std::vector<int16_t> buf(block);
    for (size_t pos = 0; pos < samples.size(); pos += block) {
        const size_t n = std::min(block, samples.size() - pos);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
        std::fill(buf.begin() + static_cast<std::ptrdiff_t>(n), buf.end(), 0);
        session->FeedBlock(buf.data());
    }
    session->FlushSamples();
    return session->Result();
}

std::vector<KeyEvent> ParseKeyEvents(std::istream& in) {
    std::vector<KeyEvent> events;
    std::string line;
    uint64_t lineNo = 0;
    uint64_t last = 0;
    auto fail = [&](const std::string& why) {
        throw BatchError("line " + std::to_string(lineNo) + ": " + why);
    };
    while (std::getline(in, line)) {
        ++lineNo;
        const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
        size_t b = 0;
        while (b < line.size() && isSpace(line[b])) ++b;
        size_t e = line.size();
        while (e > b && isSpace(line[e - 1])) --e;
        if (b == e || line[b] == '#') continue;

        size_t tEnd = b;
        while (tEnd < e && !isSpace(line[tEnd])) ++tEnd;
        size_t w = tEnd;
        while (w < e && isSpace(line[w])) ++w;
        const std::string_view tText(line.data() + b, tEnd - b);
        const std::string_view word(line.data() + w, e - w);

        KeyEvent ev;
        const bool digits = !tText.empty() && std::all_of(tText.begin(), tText.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || (word != "down" && word != "up"))
            fail("expected \"<t_ms> down\" or \"<t_ms> up\"");
        auto [p, ec] = std::from_chars(tText.data(), tText.data() + tText.size(), ev.t);
        if (ec != std::errc() || p != tText.data() + tText.size() || ev.t > kMaxKeyTime)
            fail("time out of range");
        if (ev.t < last) fail("time goes backwards");
        last = ev.t;
        ev.down = word == "down";
        events.push_back(ev);
    }
    if (in.bad()) throw BatchError("cannot read key input");
    return events;
}

AnalysisResult AnalyzeKeys(const std::vector<KeyEvent>& events, const AnalysisOptions& opt) {
    auto session = std::make_unique<AnalysisSession>(opt);
    for (const KeyEvent& ev : events) session->KeyAt(ev.t, ev.down);
    session->FlushKeys();
    return session->Result();
}

}  // namespace orvo
