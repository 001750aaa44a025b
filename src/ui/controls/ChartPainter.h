#pragma once
// The practice charts' canvas on a QPainter: the practice window draws on
// its widgets with it, the command-line tool into a PNG image.

#include "analysis/PracticeChart.h"

#include <functional>
#include <string>

class QPainter;

class ChartPainter : public IChartCanvas {
public:
    explicit ChartPainter(QPainter& p) : p_(p) {}
    void Rect(double x, double y, double w, double h, ChartColor fill) override;
    void Line(double x1, double y1, double x2, double y2, ChartColor color, double width,
              bool dashed) override;
    void Polyline(const std::vector<std::pair<double, double>>& points, ChartColor color,
                  double width) override;
    void Dot(double x, double y, double radius, ChartColor color) override;
    void Text(double x, double y, const std::string& text, double size, ChartColor color,
              Align align) override;

private:
    QPainter& p_;
};

// Draws into a width x height image and saves it as PNG; false with a
// message when it cannot be written. Needs a QGuiApplication.
bool SaveChartPng(const std::string& path, int width, int height,
                  const std::function<void(IChartCanvas&)>& draw, std::string& error);
