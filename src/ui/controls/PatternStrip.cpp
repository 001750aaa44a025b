#include "controls/PatternStrip.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
const QColor kDarkGreen(0, 128, 0);
}

TPatternStrip::TPatternStrip(QWidget* parent) : QWidget(parent) {}

int TPatternStrip::LayoutRed(int count, const std::function<void(int, CharRecord&)>& record, double dotMs,
                             int32_t wordSpace) {
    redBars_.clear();
    timeoutMarks_.clear();
    const int w = width();
    dotMs = std::max(dotMs, 1.0 / 8.0);
    double total = 0;
    int x = kPixelsPerDot;
    auto advance = [&](double ms) {
        total += ms;
        x = std::max(x + 1, kPixelsPerDot + int(std::lround(total * kPixelsPerDot / dotMs)));
    };
    int used = 0;
    CharRecord rec{};
    for (int i = 0; i < count && x < w; ++i, ++used) {
        record(i, rec);
        const uint32_t n = std::min<uint32_t>(rec[1], kMaxRecordElements);
        for (uint32_t k = 1; k <= n && x < w; ++k) {
            const uint32_t v = rec[1 + k];
            if (k & 1) {
                const int x0 = x;
                advance(v);
                redBars_.emplace_back(x0, std::min(x, w));
            } else if (v >= kTimeoutMarker) {
                advance(wordSpace / 2);
                timeoutMarks_.push_back(x);
                advance(wordSpace - wordSpace / 2);
            } else {
                advance(v);
            }
        }
    }
    update();
    return used;
}

void TPatternStrip::ClearRed() {
    redBars_.clear();
    timeoutMarks_.clear();
    update();
}

void TPatternStrip::SetFlashTimer(std::unique_ptr<ITimer> timer) {
    flashTimer_ = std::move(timer);
    flashTimer_->SetInterval(50);
    flashTimer_->OnTimer = [this] {
        flashTimer_->Stop();
        flashing_ = false;
        update();
    };
}

void TPatternStrip::Flash() {
    flashing_ = true;
    repaint();
    if (flashTimer_)
        flashTimer_->Start();
}

void TPatternStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(0, 0, w, h, Qt::white);
    DrawGrid(p, w, h);
    DrawGreenStrip(p, w, h);
    DrawRedStrip(p, w, h);
}

void TPatternStrip::DrawGrid(QPainter& p, int w, int h) {
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(kPixelsPerDot, h - 1, w, h - 1);
    p.drawLine(0, h / 2, w, h / 2);
    for (int x = kPixelsPerDot; x < w; x += kPixelsPerDot)
        p.drawLine(x, h * 9 / 10, x, h);
}

void TPatternStrip::DrawRedStrip(QPainter& p, int w, int h) {
    const int top = h / 2 - 3 * h / 10;
    const int bottom = h / 2 + 3 * h / 10;
    if (flashing_) {
        p.fillRect(0, top, w, bottom - top + 1, Qt::black);
        return;
    }
    p.fillRect(0, top, w, bottom - top + 1, Qt::white);
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(0, h / 2, w, h / 2);
    for (const auto& [x0, x1] : redBars_)
        p.fillRect(x0, top, x1 - x0, bottom - top + 1, Qt::red);
    for (int x : timeoutMarks_) {
        p.drawLine(x - 2, h / 2 - 7, x - 2, h / 2 + 7);
        p.drawLine(x + 2, h / 2 - 7, x + 2, h / 2 + 7);
    }
}

TPatternStrip::Bars TPatternStrip::GreenBars() const {
    Bars bars;
    if (!showGreen_ || !GreenPatterns)
        return bars;
    const int w = width();
    int x = kPixelsPerDot;
    for (const uint16_t code : GreenPatterns()) {
        if (x >= w || code == 0)
            break;  // nothing the generator could send: the strip ends here
        if (code == 1) {
            x += 4 * kPixelsPerDot;
            continue;
        }
        int top = 15;
        while (top > 0 && !(code & (1u << top)))
            --top;
        for (int b = top - 1; b >= 0 && x < w; --b) {
            const int len = (code & (1u << b)) ? 3 * kPixelsPerDot : kPixelsPerDot;
            bars.emplace_back(x, std::min(x + len, w));
            x += len + kPixelsPerDot;
        }
        x += 2 * kPixelsPerDot;
    }
    return bars;
}

void TPatternStrip::DrawGreenStrip(QPainter& p, int w, int h) {
    if (!showGreen_)
        return;
    const int top = 2;
    const int bottom = h * 2 / 10 - 1;
    p.fillRect(0, top, w, bottom - top + 1, Qt::white);
    for (const auto& [x0, x1] : GreenBars())
        p.fillRect(x0, top, x1 - x0, bottom - top + 1, kDarkGreen);
}
