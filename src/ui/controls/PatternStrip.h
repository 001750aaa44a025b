#pragma once
// The pattern strip above the panels: the operator's keying of the red zone
// drawn to scale (red bars, timeout marks, the word-space flash) over the
// ideal patterns of the green zone's typed text (green bars), on a grid of
// one dot per 30 pixels. It lays out and draws; what it draws comes from
// its owner, and its geometry is readable for tests.

#include "analysis/CharRecord.h"
#include "devices/Timer.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TPatternStrip : public QWidget {
public:
    static constexpr int kPixelsPerDot = 30;
    using Bars = std::vector<std::pair<int, int>>;

    explicit TPatternStrip(QWidget* parent = nullptr);

    // The red strip from the operator's character records, oldest first:
    // record(i, rec) fills the i-th of count records. Marks and spaces are
    // drawn at kPixelsPerDot per dotMs; a timeout space is drawn as a word
    // space with a mark pair in its middle. Returns the number of records
    // that reached the strip.
    int LayoutRed(int count, const std::function<void(int, CharRecord&)>& record, double dotMs,
                  int32_t wordSpace);
    void ClearRed();

    // The green strip: the pattern codes of the green zone's characters in
    // sending order (1 = word space, 0 ends the strip). Drawn only while
    // switched on ("Show Morse Pattern"); off, its band stays white.
    std::function<std::vector<uint16_t>()> GreenPatterns;
    void SetShowGreen(bool on) {
        showGreen_ = on;
        update();
    }
    bool ShowGreen() const { return showGreen_; }

    // Paints the red band black for 50 ms (the flash timer's interval).
    void SetFlashTimer(std::unique_ptr<ITimer> timer);
    void Flash();

    // Geometry as last laid out: one entry per mark, [x0, x1).
    const Bars& RedBars() const { return redBars_; }
    // x of each timeout mark pair's centre.
    const std::vector<int>& TimeoutMarks() const { return timeoutMarks_; }
    Bars GreenBars() const;
    bool Flashing() const { return flashing_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void DrawGrid(QPainter& p, int w, int h);
    void DrawRedStrip(QPainter& p, int w, int h);
    void DrawGreenStrip(QPainter& p, int w, int h);

    Bars redBars_;
    std::vector<int> timeoutMarks_;
    bool showGreen_ = false;  // as the option's box starts
    bool flashing_ = false;
    std::unique_ptr<ITimer> flashTimer_;
};
