#include "analysis/PracticeChart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr ChartColor kInk{40, 40, 40};
constexpr ChartColor kGrid{200, 200, 200};
constexpr ChartColor kIdeal{0, 150, 0};
constexpr ChartColor kBack{255, 255, 255};
// One colour per element kind, as ElementKind orders them.
constexpr ChartColor kKindColor[kElementKinds] = {
    {200, 30, 30}, {30, 80, 200}, {230, 140, 0}, {130, 40, 160}, {0, 140, 140}};

std::string Fixed(double v, int decimals) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Days from 1970-01-01 of a civil date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void Panel(IChartCanvas& c, double x, double y, double w, double h) {
    c.Rect(x, y, w, h, kBack);
    c.Line(x, y + h, x + w, y + h, kInk, 1);
    c.Line(x, y, x, y + h, kInk, 1);
}

// A nice step for about `ticks` divisions of `range`.
double Step(double range, int ticks) {
    const double raw = range / std::max(ticks, 1);
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

void HistogramPanel(IChartCanvas& c, const TPracticeStats& stats, const PracticeReport& r,
                    const std::vector<ElementKind>& kinds, const std::vector<int>& ideal,
                    const std::string& title, double x, double y, double w, double h) {
    const double left = x + 44, top = y + 22, pw = w - 56, ph = h - 54;
    std::vector<std::vector<int32_t>> bins;
    int32_t peak = 1;
    for (ElementKind k : kinds) {
        bins.push_back(Histogram(stats.LengthsInDots(k), kHistogramBin, kHistogramBins));
        peak = std::max(peak, *std::max_element(bins.back().begin(), bins.back().end()));
    }
    c.Text(x + 4, y + 15, title, 13, kInk);
    Panel(c, left, top, pw, ph);
    const double maxDots = kHistogramBin * kHistogramBins;
    auto X = [&](double dots) { return left + pw * dots / maxDots; };
    for (int d = 0; d <= static_cast<int>(maxDots); ++d) {
        c.Line(X(d), top + ph, X(d), top + ph + 4, kInk, 1);
        c.Text(X(d), top + ph + 16, std::to_string(d), 10, kInk, IChartCanvas::Align::Center);
    }
    c.Text(left + pw, top + ph + 28, "length in dots", 10, kInk, IChartCanvas::Align::Right);
    const double yStep = Step(peak, 4);
    for (double v = yStep; v <= peak; v += yStep) {
        const double yy = top + ph - ph * v / peak;
        c.Line(left, yy, left + pw, yy, kGrid, 1);
        c.Text(left - 4, yy + 4, Fixed(v, 0), 10, kInk, IChartCanvas::Align::Right);
    }
    for (int d : ideal)
        c.Line(X(d), top, X(d), top + ph, kIdeal, 1.5, true);
    const double barW = pw / kHistogramBins;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const ChartColor col = kKindColor[static_cast<int>(kinds[i])];
        for (int b = 0; b < kHistogramBins; ++b) {
            if (bins[i][b] == 0)
                continue;
            const double bh = ph * bins[i][b] / peak;
            c.Rect(left + b * barW, top + ph - bh, std::max(barW - 0.5, 0.5), bh, col);
        }
        // Legend: the kind, its count and spread.
        const ElementSpread& e = r.elements[static_cast<int>(kinds[i])];
        const double ly = top + 14 + 15 * static_cast<double>(i);
        c.Rect(left + pw - 190, ly - 9, 10, 10, col);
        std::string name = ElementKindName(kinds[i]);
        std::replace(name.begin(), name.end(), '_', ' ');
        c.Text(left + pw - 175, ly,
               name + "  n " + std::to_string(e.count) + "  cv " + Fixed(e.cvPct, 1) + " %", 11, kInk);
    }
}

void SeriesPanel(IChartCanvas& c, const std::vector<ProgressPoint>& pts,
                 double (*value)(const ProgressPoint&), const std::string& title, bool fixed100,
                 ChartColor col, double x0, double x1, bool labels, double x, double y, double w, double h) {
    const double left = x + 44, top = y + 20, pw = w - 56, ph = h - (labels ? 44 : 28);
    double lo = 0, hi = 100;
    if (!fixed100) {
        hi = 0;
        for (const ProgressPoint& p : pts)
            hi = std::max(hi, value(p));
        hi = hi <= 0 ? 1 : hi * 1.15;
    }
    c.Text(x + 4, y + 14, title, 12, kInk);
    Panel(c, left, top, pw, ph);
    const double step = Step(hi - lo, 4);
    for (double v = lo; v <= hi + 1e-9; v += step) {
        const double yy = top + ph - ph * (v - lo) / (hi - lo);
        if (v > lo)
            c.Line(left, yy, left + pw, yy, kGrid, 1);
        c.Text(left - 4, yy + 4, Fixed(v, 0), 10, kInk, IChartCanvas::Align::Right);
    }
    auto X = [&](double d) { return left + pw * (x1 > x0 ? (d - x0) / (x1 - x0) : 0.5); };
    std::vector<std::pair<double, double>> line;
    for (const ProgressPoint& p : pts)
        line.emplace_back(X(p.day), top + ph - ph * (value(p) - lo) / (hi - lo));
    if (line.size() > 1)
        c.Polyline(line, col, 1.5);
    for (auto [px, py] : line)
        c.Dot(px, py, 3, col);
    if (!labels)
        return;
    // Date labels, thinned so that they do not overlap.
    double lastX = -1e9;
    for (const ProgressPoint& p : pts) {
        const double px = X(p.day);
        if (px - lastX < 70)
            continue;
        // A label at the right end ends there instead of running off the chart.
        const bool atEnd = px + 36 > x + w;
        c.Text(px, top + ph + 15, p.label, 10, kInk,
               atEnd ? IChartCanvas::Align::Right : IChartCanvas::Align::Center);
        lastX = px;
    }
}

}  // namespace

double MeanSpread(const PracticeReport& r) {
    double sum = 0;
    int n = 0;
    for (const ElementSpread& e : r.elements) {
        if (e.count < 2)
            continue;
        sum += e.cvPct;
        ++n;
    }
    return n ? sum / n : 0.0;
}

ProgressPoint MakeProgressPoint(const PracticeReport& r, const std::string& started, int index) {
    ProgressPoint p;
    p.score = r.score;
    p.speed = r.speedMean;
    p.spread = MeanSpread(r);
    int y = 0, mo = 0, d = 0, hh = 0, mi = 0, ss = 0;
    if (std::sscanf(started.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &hh, &mi, &ss) == 6 && mo >= 1 &&
        mo <= 12 && d >= 1 && d <= 31) {
        p.day = static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) +
                (hh * 3600 + mi * 60 + ss) / 86400.0;
        p.label = started.substr(0, 10);
    } else {
        p.day = index;
        p.label = std::to_string(index + 1);
        p.label.insert(p.label.begin(), '#');
    }
    return p;
}

void DrawHistograms(IChartCanvas& c, const TPracticeStats& stats, double x, double y, double w, double h) {
    const PracticeReport r = stats.Report();
    c.Rect(x, y, w, h, kBack);
    std::string head = "Score " + Fixed(r.score, 0) + "   " + std::to_string(r.characters) +
                       " characters   " + Fixed(r.speedMean, 0) + " CpM";
    if (r.dashDot)
        head += "   dash:dot " + Fixed(*r.dashDot, 2);
    if (r.weightPct)
        head += "   weight " + Fixed(*r.weightPct, 0) + " %";
    c.Text(x + 8, y + 18, head, 14, kInk);
    const double half = (h - 28) / 2;
    HistogramPanel(c, stats, r, {ElementKind::Dot, ElementKind::Dash}, {1, 3}, "Marks", x, y + 28, w, half);
    HistogramPanel(c, stats, r, {ElementKind::ElementSpace, ElementKind::CharSpace, ElementKind::WordSpace},
                   {1, 3, 7}, "Spaces", x, y + 28 + half, w, half);
}

void DrawProgress(IChartCanvas& c, const std::vector<ProgressPoint>& pts, double x, double y, double w,
                  double h) {
    c.Rect(x, y, w, h, kBack);
    if (pts.empty()) {
        c.Text(x + w / 2, y + h / 2, "No sessions", 14, kInk, IChartCanvas::Align::Center);
        return;
    }
    double x0 = pts.front().day, x1 = x0;
    for (const ProgressPoint& p : pts) {
        x0 = std::min(x0, p.day);
        x1 = std::max(x1, p.day);
    }
    const double third = h / 3;
    SeriesPanel(
        c, pts, [](const ProgressPoint& p) { return p.score; }, "Score", true, kKindColor[0], x0, x1, false,
        x, y, w, third - 8);
    SeriesPanel(
        c, pts, [](const ProgressPoint& p) { return p.speed; }, "Speed, CpM", false, kKindColor[1], x0, x1,
        false, x, y + third - 8, w, third - 8);
    SeriesPanel(
        c, pts, [](const ProgressPoint& p) { return p.spread; }, "Spread (mean cv), %", false, kKindColor[3],
        x0, x1, true, x, y + 2 * third - 16, w, third + 16);
}

// ---------------------------------------------------------------------------

namespace {

std::string Rgb(ChartColor c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

std::string N(double v) { return Fixed(v, 1); }

std::string Escape(const std::string& s) {
    std::string o;
    for (char ch : s) {
        if (ch == '<')
            o += "&lt;";
        else if (ch == '>')
            o += "&gt;";
        else if (ch == '&')
            o += "&amp;";
        else if (ch == '"')
            o += "&quot;";
        else
            o += ch;
    }
    return o;
}

}  // namespace

SvgCanvas::SvgCanvas(int width, int height) : width_(width), height_(height) {}

void SvgCanvas::Rect(double x, double y, double w, double h, ChartColor fill) {
    body_ += "<rect x=\"" + N(x) + "\" y=\"" + N(y) + "\" width=\"" + N(w) + "\" height=\"" + N(h) +
             "\" fill=\"" + Rgb(fill) + "\"/>\n";
}

void SvgCanvas::Line(double x1, double y1, double x2, double y2, ChartColor color, double width,
                     bool dashed) {
    body_ += "<line x1=\"" + N(x1) + "\" y1=\"" + N(y1) + "\" x2=\"" + N(x2) + "\" y2=\"" + N(y2) +
             "\" stroke=\"" + Rgb(color) + "\" stroke-width=\"" + N(width) + "\"" +
             (dashed ? " stroke-dasharray=\"5,3\"" : "") + "/>\n";
}

void SvgCanvas::Polyline(const std::vector<std::pair<double, double>>& points, ChartColor color,
                         double width) {
    body_ +=
        "<polyline fill=\"none\" stroke=\"" + Rgb(color) + "\" stroke-width=\"" + N(width) + "\" points=\"";
    for (auto [x, y] : points)
        body_ += N(x) + "," + N(y) + " ";
    body_ += "\"/>\n";
}

void SvgCanvas::Dot(double x, double y, double radius, ChartColor color) {
    body_ += "<circle cx=\"" + N(x) + "\" cy=\"" + N(y) + "\" r=\"" + N(radius) + "\" fill=\"" + Rgb(color) +
             "\"/>\n";
}

void SvgCanvas::Text(double x, double y, const std::string& text, double size, ChartColor color,
                     Align align) {
    const char* anchor = align == Align::Center ? "middle" : align == Align::Right ? "end" : "start";
    body_ += "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\" font-size=\"" + N(size) + "\" fill=\"" +
             Rgb(color) + "\" text-anchor=\"" + anchor + "\" xml:space=\"preserve\">" + Escape(text) +
             "</text>\n";
}

std::string SvgCanvas::Document() const {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           std::to_string(width_) + "\" height=\"" + std::to_string(height_) + "\" viewBox=\"0 0 " +
           std::to_string(width_) + " " + std::to_string(height_) + "\" font-family=\"sans-serif\">\n" +
           body_ + "</svg>\n";
}
