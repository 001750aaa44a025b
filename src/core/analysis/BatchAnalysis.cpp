#include "analysis/BatchAnalysis.h"

#include "analysis/TonePitch.h"
#include "morse/BatchError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
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
// The opening of a recording that the tone pitch and the first speed are
// taken from.
constexpr size_t kOpeningSamples = 20 * 8000;
// Elements (marks and spaces) the first speed is judged from. From a
// recording through the standard detector more: it keys noise before the
// first tone, which the robust detector's squelch and a key list do not
// have, so that the keying proper is the greater part of what is judged.
constexpr size_t kOpeningElements = 40;
constexpr size_t kOpeningElementsStandard = 120;

}  // namespace

double RobustHalfBand(const AnalysisOptions& opt) {
    return TRobustDetector::HalfBand(opt.mode == tProcessMode::broad, opt.bandwidth);
}

AnalysisSession::AnalysisSession(const AnalysisOptions& opt) : session_(clock_, clock_, nullptr) {
    // The options as settings of a fresh installation; the generator's
    // speed bounds apply, and the analyser takes the speed the generator holds.
    TSettings s = session_.Settings();
    s.TargetSpeed = opt.speed;
    s.RxFrequency = std::max(opt.center, 0);
    s.Mode = opt.mode == tProcessMode::broad ? 0 : 1;
    s.InputLevel = opt.gain;
    s.Bounce = opt.bounce;
    s.RxExtended = opt.extended;
    s.Aring = true;
    s.ErrQM = true;
    s.ErrErase = false;
    s.DisplayPros = false;
    session_.Apply(s);
    // The band-pass width is not among the stored settings.
    Calc().SetBandwidthIndex(static_cast<uint32_t>(std::clamp(opt.bandwidth, 0, 3)));

    TTimingStats& stats = session_.Stats();
    follow_ = opt.autoSpeed;
    result_.autoSpeed = opt.autoSpeed;
    // Percentages are of the dot in force: the target's, or the one followed.
    stats.DotSamples = [this] {
        return follow_ ? follower_.Dot() * 8.0 : static_cast<double>(session_.CWout().DotSamples());
    };
    stats.SetReference(TTimingStats::Reference::TargetSpeed);
    stats.ResetValues(2);

    session_.KeyInput().SetSource(WavFile, &source_);
    session_.AddListener(&collector_);
    center_ = static_cast<int32_t>(Calc().CenterFreq());
    halfBand_ = RobustHalfBand(opt);
    if (opt.robust)
        UseRobustDetector(Calc().DotMs());
}

AnalysisSession::~AnalysisSession() {
    session_.RemoveListener(&collector_);
    session_.KeyInput().CloseSource();
    session_.KeyInput().SetSource(WavFile, nullptr);
}

void AnalysisSession::Begin(uint64_t at) {
    if (begun_)
        return;
    begun_ = true;
    clock_.AdvanceTo(at);
    session_.SetInputMode(WavFile);
}

void AnalysisSession::Collector::CharacterEnded(uint32_t pattern, bool wordSpace, bool timeout) {
    CharacterEntry e;
    e.pattern = pattern;
    e.text = session.session_.Decoder().Decode(pattern, false);
    e.wordSpace = wordSpace;
    e.timeout = timeout;

    TAnalyser& calc = session.Calc();
    CharRecord rec{};
    calc.GetCharRecord(0, rec);
    const uint32_t n = std::min(rec[1], kMaxRecordElements);
    e.elements.assign(rec.begin() + 2, rec.begin() + 2 + n);
    session.result_.characters.push_back(std::move(e));

    // The next character is judged against the speed this one shows.
    if (session.follow_ && session.follower_.Update(rec)) {
        calc.FollowDot(static_cast<int32_t>(std::lround(session.follower_.Dot())));
        if (session.robust_)
            session.robust_->SetDot(session.follower_.Dot());
    }
}

void AnalysisSession::Collector::CharacterDecoded(const std::string& text, bool timeout) {
    session.result_.text += text;
    if (timeout)
        session.result_.text += '\r';
}

void AnalysisSession::Collector::ActualSpeed(uint32_t cpm) {
    if (!session.result_.characters.empty())
        session.result_.characters.back().cpm = cpm;
}

void AnalysisSession::Collector::AverageSpeed(uint32_t cpm) {
    if (!session.result_.characters.empty())
        session.result_.characters.back().avgCpm = cpm;
}

void AnalysisSession::UseRobustDetector(double dotMs) {
    robust_ = std::make_unique<TRobustDetector>(center_, halfBand_, dotMs);
    robust_->SetSink(&keyPath_);
}

void AnalysisSession::KeyPath::KeyEdge(double ms, bool down) {
    session.KeyAt(static_cast<uint64_t>(std::llround(ms)), down);
}

void AnalysisSession::KeyPath::KeyTime(double ms) {
    if (ms > 0)
        session.clock_.AdvanceTo(static_cast<uint64_t>(ms));
}

void AnalysisSession::StartSpeed(double dotMs) {
    follow_ = true;
    result_.autoSpeed = true;
    follower_.Start(dotMs > 0 ? dotMs : static_cast<double>(Calc().DotMs()));
    Calc().FollowDot(static_cast<int32_t>(std::lround(follower_.Dot())));
    if (robust_)
        UseRobustDetector(follower_.Dot());
    result_.speedStart = follower_.Cpm();
}

void AnalysisSession::FeedBlock(const int16_t* samples) {
    Begin(0);
    if (robust_) {
        robust_->Process(samples, kBlock);
        return;
    }
    source_.Samples(samples);
}

void AnalysisSession::FlushSamples() {
    if (robust_) {
        robust_->Finish();
        FlushKeys();
        return;
    }
    static const int16_t kSilence[kBlock] = {};
    for (int i = 0; i < kMaxFlushBlocks && Calc().PendingCount() > 0; ++i)
        FeedBlock(kSilence);
}

void AnalysisSession::KeyAt(uint64_t t, bool down) {
    // Timing starts where the first transition measures its longest
    // duration from, so that far-off times need no clock that reaches them.
    Begin(t > kMaxKeyDuration ? t - kMaxKeyDuration : 0);
    clock_.AdvanceTo(t);
    source_.Key(down, t);
}

void AnalysisSession::FlushKeys() {
    for (int i = 0; i < kMaxFlushSteps && clock_.AnyTimerActive(); ++i) {
        uint64_t due = 0;
        if (!clock_.NextDue(due))
            break;
        clock_.AdvanceTo(due);
    }
}

AnalysisResult AnalysisSession::Result() {
    TTimingStats& stats = session_.Stats();
    stats.UpdateDisplay();
    const TTimingStats::Display& d = stats.Shown();
    auto entry = [&](TimingKind k) {
        const int i = static_cast<int>(k);
        return TimingEntry{d.last[i], d.average[i], stats.Values(TTimingStats::kCurrentInput, k).count};
    };
    AnalysisResult r = result_;
    r.dot = entry(TimingKind::Dot);
    r.dash = entry(TimingKind::Dash);
    r.elementSpace = entry(TimingKind::ElementSpace);
    r.charSpace = entry(TimingKind::CharSpace);
    r.wordSpace = entry(TimingKind::WordSpace);
    r.lastDashAvg = d.average[static_cast<int>(TimingKind::LastDash)];
    r.lastDashCount = stats.Values(TTimingStats::kCurrentInput, TimingKind::LastDash).count;
    r.weight = d.weight;
    if (follow_)
        r.speedEnd = follower_.Cpm();
    return r;
}

namespace {

// Reads the recording in the analyser's blocks: the last one padded with
// silence (an empty one when the data fills the blocks exactly).
class BlockReader {
public:
    explicit BlockReader(const std::string& path) {
        if (!reader_.Open(path))
            throw BatchError(reader_.LastError());
    }
    // False once the last block has been handed out.
    bool Next(int16_t* block) {
        if (done_)
            return false;
        const size_t n = AnalysisSession::kBlock;
        const size_t got = reader_.Read(block, n);
        std::fill(block + got, block + n, int16_t{0});
        if (got < n || reader_.Ended()) {
            done_ = true;
            if (!reader_.LastError().empty())
                throw BatchError(reader_.LastError());
        }
        return true;
    }
    const TAudioFileReader& Reader() const { return reader_; }

private:
    TAudioFileReader reader_;
    bool done_ = false;
};

}  // namespace

double OpeningDot(const std::vector<int16_t>& samples, const AnalysisOptions& opt) {
    AnalysisOptions fixed = opt;
    fixed.autoSpeed = false;
    fixed.autoCenter = false;
    // Glitch merging at the target speed could swallow the dots of a much
    // faster operator; the robust detector listens for the fastest keying.
    fixed.bounce = false;
    if (fixed.robust)
        fixed.speed = 300;
    AnalysisResult r = AnalyzeSamples(samples, fixed);
    // The opening's end may cut its last mark short: that character is
    // left out unless it is the only one.
    if (r.characters.size() > 1)
        r.characters.pop_back();
    std::vector<uint32_t> elements;
    for (const CharacterEntry& c : r.characters) {
        for (uint32_t e : c.elements) {
            if (elements.size() >= (opt.robust ? kOpeningElements : kOpeningElementsStandard))
                break;
            elements.push_back(e);
        }
    }
    return TSpeedFollower::InitialDot(elements);
}

namespace {

// Analyses blocks from `next` (false when there are no more), measuring the
// opening first when the speed or the pitch is to be found.
AnalysisResult AnalyzeBlocks(const std::function<bool(int16_t*)>& next, const AnalysisOptions& opt) {
    const size_t block = AnalysisSession::kBlock;
    std::vector<int16_t> opening;
    bool more = true;
    if (opt.autoSpeed || opt.autoCenter) {
        // The opening is read ahead, measured, and then analysed like the rest.
        while (opening.size() < kOpeningSamples) {
            opening.resize(opening.size() + block);
            if (!next(opening.data() + opening.size() - block)) {
                opening.resize(opening.size() - block);
                more = false;
                break;
            }
        }
    }
    AnalysisOptions o = opt;
    if (opt.autoCenter) {
        const double pitch = FindTonePitch(opening.data(), opening.size());
        if (pitch > 0)
            o.center = static_cast<int32_t>(std::lround(pitch));
    }
    auto session = std::make_unique<AnalysisSession>(o);
    if (opt.autoSpeed)
        session->StartSpeed(OpeningDot(opening, o));
    for (size_t pos = 0; pos < opening.size(); pos += block)
        session->FeedBlock(opening.data() + pos);
    std::vector<int16_t> buf(block);
    while (more && next(buf.data()))
        session->FeedBlock(buf.data());
    session->FlushSamples();
    AnalysisResult r = session->Result();
    r.autoCenter = opt.autoCenter;
    r.centerHz = static_cast<int32_t>(session->Calc().CenterFreq());
    return r;
}

}  // namespace

AnalysisResult AnalyzeFile(const std::string& path, const AnalysisOptions& opt) {
    BlockReader blocks(path);
    AnalysisResult r = AnalyzeBlocks([&](int16_t* b) { return blocks.Next(b); }, opt);
    r.hasInput = true;
    r.input = blocks.Reader().Info();
    r.truncated = blocks.Reader().Truncated();
    return r;
}

AnalysisResult AnalyzeSamples(const std::vector<int16_t>& samples, const AnalysisOptions& opt) {
    const size_t block = AnalysisSession::kBlock;
    size_t pos = 0;
    return AnalyzeBlocks(
        [&](int16_t* b) {
            if (pos >= samples.size())
                return false;
            const size_t n = std::min(block, samples.size() - pos);
            std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(pos), n, b);
            std::fill(b + n, b + block, int16_t{0});
            pos += n;
            return true;
        },
        opt);
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
        const auto isSpace = [](char c) {
            return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
        };
        size_t b = 0;
        while (b < line.size() && isSpace(line[b]))
            ++b;
        size_t e = line.size();
        while (e > b && isSpace(line[e - 1]))
            --e;
        if (b == e || line[b] == '#')
            continue;

        size_t tEnd = b;
        while (tEnd < e && !isSpace(line[tEnd]))
            ++tEnd;
        size_t w = tEnd;
        while (w < e && isSpace(line[w]))
            ++w;
        const std::string_view tText(line.data() + b, tEnd - b);
        const std::string_view word(line.data() + w, e - w);

        KeyEvent ev;
        const bool digits = !tText.empty() && std::all_of(tText.begin(), tText.end(),
                                                          [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || (word != "down" && word != "up"))
            fail("expected \"<t_ms> down\" or \"<t_ms> up\"");
        auto [p, ec] = std::from_chars(tText.data(), tText.data() + tText.size(), ev.t);
        if (ec != std::errc() || p != tText.data() + tText.size() || ev.t > kMaxKeyTime)
            fail("time out of range");
        if (ev.t < last)
            fail("time goes backwards");
        last = ev.t;
        ev.down = word == "down";
        events.push_back(ev);
    }
    if (in.bad())
        throw BatchError("cannot read key input");
    return events;
}

AnalysisResult AnalyzeKeys(const std::vector<KeyEvent>& events, const AnalysisOptions& opt) {
    auto session = std::make_unique<AnalysisSession>(opt);
    if (opt.autoSpeed) {
        // The opening marks and spaces as the key gives them.
        std::vector<uint32_t> elements;
        bool down = false, started = false;
        uint64_t last = 0;
        for (const KeyEvent& ev : events) {
            if (ev.down == down)
                continue;
            if (started)
                elements.push_back(static_cast<uint32_t>(std::min<uint64_t>(ev.t - last, kMaxKeyDuration)));
            started = true;
            down = ev.down;
            last = ev.t;
            if (elements.size() >= kOpeningElements)
                break;
        }
        session->StartSpeed(TSpeedFollower::InitialDot(elements));
    }
    for (const KeyEvent& ev : events)
        session->KeyAt(ev.t, ev.down);
    session->FlushKeys();
    return session->Result();
}

}  // namespace orvo
