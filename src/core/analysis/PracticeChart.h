#pragma once
// The practice charts, drawn on any canvas: the histograms of one session's
// element lengths in the operator's dots with the ideal lines at 1, 3 and 7,
// and the score, speed and spread of several sessions against their dates.
// An SVG canvas is here; the desktop program and the command-line tool's
// PNG output paint the same charts through QPainter.

#include "analysis/PracticeStats.h"

#include <cstdint>
#include <string>
#include <vector>

struct ChartColor {
    uint8_t r = 0, g = 0, b = 0;
};

class IChartCanvas {
public:
    enum class Align { Left, Center, Right };
    virtual ~IChartCanvas() = default;
    virtual void Rect(double x, double y, double w, double h, ChartColor fill) = 0;
    virtual void Line(double x1, double y1, double x2, double y2, ChartColor color, double width,
                      bool dashed = false) = 0;
    virtual void Polyline(const std::vector<std::pair<double, double>>& points, ChartColor color,
                          double width) = 0;
    virtual void Dot(double x, double y, double radius, ChartColor color) = 0;
    // y is the text's baseline; text is UTF-8.
    virtual void Text(double x, double y, const std::string& text, double size, ChartColor color,
                      Align align = Align::Left) = 0;
};

// One session on the progress chart.
struct ProgressPoint {
    double day = 0.0;   // days since 1970-01-01 (local), or the index when undated
    std::string label;  // the date as shown under the axis
    double score = 0.0;
    double speed = 0.0;   // CpM
    double spread = 0.0;  // mean cv of the element kinds, %
};

// Histogram bins: 0.1 dot wide from 0 to 10 dots.
constexpr double kHistogramBin = 0.1;
constexpr int kHistogramBins = 100;

void DrawHistograms(IChartCanvas& c, const TPracticeStats& stats, double x, double y, double w, double h);
void DrawProgress(IChartCanvas& c, const std::vector<ProgressPoint>& points, double x, double y, double w,
                  double h);

// The progress point of a session; started is ISO 8601 (or empty: undated,
// placed at index).
ProgressPoint MakeProgressPoint(const PracticeReport& r, const std::string& started, int index);
// Mean cv of the element kinds with at least two values, %.
double MeanSpread(const PracticeReport& r);

// Collects drawing into an SVG document.
class SvgCanvas : public IChartCanvas {
public:
    SvgCanvas(int width, int height);
    void Rect(double x, double y, double w, double h, ChartColor fill) override;
    void Line(double x1, double y1, double x2, double y2, ChartColor color, double width,
              bool dashed) override;
    void Polyline(const std::vector<std::pair<double, double>>& points, ChartColor color,
                  double width) override;
    void Dot(double x, double y, double radius, ChartColor color) override;
    void Text(double x, double y, const std::string& text, double size, ChartColor color,
              Align align) override;
    std::string Document() const;

private:
    int width_, height_;
    std::string body_;
};
