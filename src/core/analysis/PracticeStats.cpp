#include "analysis/PracticeStats.h"

#include "analysis/CharRecord.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Nominal lengths in dots.
constexpr uint32_t kNominal[kElementKinds] = {1, 3, 1, 3, 7};

template <typename T>
void MeanSd(const std::vector<T>& v, double& mean, double& sd) {
    mean = sd = 0.0;
    if (v.empty())
        return;
    double sum = 0.0;
    for (T x : v)
        sum += static_cast<double>(x);
    mean = sum / static_cast<double>(v.size());
    if (v.size() < 2)
        return;
    double sq = 0.0;
    for (T x : v)
        sq += (static_cast<double>(x) - mean) * (static_cast<double>(x) - mean);
    sd = std::sqrt(sq / static_cast<double>(v.size() - 1));
}

// Points lost per percent of spread, and per unit of log-ratio error.
constexpr double kSpreadPoints = 2.0;
constexpr double kRatioPoints = 50.0;

double Clamp100(double v) { return std::clamp(v, 0.0, 100.0); }

}  // namespace

const char* ElementKindName(ElementKind kind) {
    static const char* const names[kElementKinds] = {"dot", "dash", "element_space", "char_space",
                                                     "word_space"};
    return names[static_cast<int>(kind)];
}

TPracticeStats::TPracticeStats(bool extended) {
    decoder_.SetSpecialChars(extended);
    decoder_.SetAring(true);
    decoder_.SetErrQm(true);
    decoder_.SetDisplay2Prosigns(false);
}

void TPracticeStats::Clear() {
    chars_.clear();
    for (auto& l : lengths_)
        l.clear();
}

void TPracticeStats::Add(uint32_t pattern, const uint32_t* elements, size_t count, bool wordSpace) {
    Keyed k;
    k.text = decoder_.Decode(pattern, false);
    k.known = k.text != "<?>";
    // Marks follow the pattern's bits, first mark most significant.
    int bit = 0;
    for (uint32_t p = pattern; p > 1; p >>= 1)
        ++bit;
    double total = 0.0, units = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = elements[i];
        if (v == 0)
            continue;  // merged into a neighbour by the bounce filter
        ElementKind kind;
        if ((i & 1) == 0) {
            const bool dash = bit > 0 && ((pattern >> (bit - 1)) & 1u);
            if (bit > 0)
                --bit;
            kind = dash ? ElementKind::Dash : ElementKind::Dot;
        } else if (i + 1 < count) {
            kind = ElementKind::ElementSpace;
        } else if (v >= kTimeoutMarker) {
            continue;  // the word timeout cut it short: no length to judge
        } else {
            kind = wordSpace ? ElementKind::WordSpace : ElementKind::CharSpace;
        }
        const uint32_t nominal = kNominal[static_cast<int>(kind)];
        lengths_[static_cast<int>(kind)].push_back(v);
        total += v;
        units += nominal;
        if (kind != ElementKind::CharSpace && kind != ElementKind::WordSpace)
            k.elements.emplace_back(v, nominal);
    }
    k.cpm = total > 0 ? 6000.0 * units / total : 0.0;
    chars_.push_back(std::move(k));
}

double TPracticeStats::UnitMs() const {
    double total = 0.0, units = 0.0;
    for (ElementKind kind : {ElementKind::Dot, ElementKind::Dash, ElementKind::ElementSpace}) {
        for (uint32_t v : Lengths(kind)) {
            total += v;
            units += kNominal[static_cast<int>(kind)];
        }
    }
    return units > 0 ? total / units : 0.0;
}

std::vector<double> TPracticeStats::LengthsInDots(ElementKind kind) const {
    std::vector<double> out;
    const double unit = UnitMs();
    if (unit <= 0)
        return out;
    for (uint32_t v : Lengths(kind))
        out.push_back(v / unit);
    return out;
}

double SessionScore(const std::array<ElementSpread, kElementKinds>& elements,
                    const std::optional<double>& dashDot, const std::optional<double>& charSpaceDot,
                    const std::optional<double>& wordSpaceDot, const std::optional<double>& weightPct) {
    double spread = 0.0;
    int kinds = 0;
    for (const ElementSpread& e : elements) {
        if (e.count < 2)
            continue;
        spread += e.cvPct;
        ++kinds;
    }
    if (kinds > 0)
        spread /= kinds;
    double ratioError = 0.0;
    if (dashDot)
        ratioError += std::fabs(std::log(*dashDot / 3.0));
    if (charSpaceDot)
        ratioError += std::fabs(std::log(*charSpaceDot / 3.0));
    if (wordSpaceDot)
        ratioError += std::fabs(std::log(*wordSpaceDot / 7.0));
    const double weightError = weightPct ? std::fabs(*weightPct - 50.0) : 0.0;
    return Clamp100(100.0 - kSpreadPoints * spread - kRatioPoints * ratioError - weightError);
}

PracticeReport TPracticeStats::Report() const {
    PracticeReport r;
    r.characters = static_cast<int32_t>(chars_.size());
    std::vector<double> speeds;
    for (const Keyed& k : chars_) {
        if (!k.known)
            ++r.unknown;
        if (k.cpm > 0)
            speeds.push_back(k.cpm);
    }
    MeanSd(speeds, r.speedMean, r.speedSd);
    for (int i = 0; i < kElementKinds; ++i) {
        ElementSpread& e = r.elements[i];
        e.count = static_cast<int32_t>(lengths_[i].size());
        MeanSd(lengths_[i], e.meanMs, e.sdMs);
        e.cvPct = e.meanMs > 0 ? 100.0 * e.sdMs / e.meanMs : 0.0;
    }
    r.unitMs = UnitMs();
    const double dot = r.elements[0].meanMs;
    auto ratio = [&](ElementKind kind) -> std::optional<double> {
        const ElementSpread& e = r.elements[static_cast<int>(kind)];
        if (dot <= 0 || e.count == 0)
            return std::nullopt;
        return e.meanMs / dot;
    };
    r.dashDot = ratio(ElementKind::Dash);
    r.charSpaceDot = ratio(ElementKind::CharSpace);
    r.wordSpaceDot = ratio(ElementKind::WordSpace);
    const double space = r.elements[2].meanMs;
    if (dot > 0 && r.elements[2].count > 0)
        r.weightPct = 100.0 * dot / (dot + space);
    r.score = SessionScore(r.elements, r.dashDot, r.charSpaceDot, r.wordSpaceDot, r.weightPct);

    // Each character against the operator's own dot: the relative error of
    // its marks and element spaces, scored like the spread of a session.
    std::map<std::string, std::pair<int32_t, double>> perChar;
    if (r.unitMs > 0) {
        for (const Keyed& k : chars_) {
            if (!k.known || k.elements.empty())
                continue;
            double sq = 0.0;
            for (auto [v, nominal] : k.elements) {
                const double err = v / (nominal * r.unitMs) - 1.0;
                sq += err * err;
            }
            const double rmsPct = 100.0 * std::sqrt(sq / static_cast<double>(k.elements.size()));
            auto& [count, sum] = perChar[k.text];
            ++count;
            sum += Clamp100(100.0 - kSpreadPoints * rmsPct);
        }
    }
    for (const auto& [text, cs] : perChar)
        r.byScore.push_back({text, cs.first, cs.second / cs.first});
    std::stable_sort(r.byScore.begin(), r.byScore.end(),
                     [](const CharacterScore& a, const CharacterScore& b) {
                         if (a.score != b.score)
                             return a.score < b.score;
                         return a.count > b.count;
                     });
    return r;
}

std::vector<int32_t> Histogram(const std::vector<double>& dots, double binDots, int bins) {
    std::vector<int32_t> h(static_cast<size_t>(std::max(bins, 1)), 0);
    for (double d : dots) {
        const double b = std::floor(d / binDots);
        const size_t i = b < 0 ? 0 : std::min(static_cast<size_t>(b), h.size() - 1);
        ++h[i];
    }
    return h;
}
