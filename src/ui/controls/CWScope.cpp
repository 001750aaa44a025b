#include "controls/CWScope.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

TCWScope::TCWScope(QWidget* parent) : QWidget(parent) {
    for (auto& l : lines_)
        l.assign(static_cast<size_t>(buffersize_), 0);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCWScope::SetBuffersize(int points) {
    points = std::max(points, 1);
    if (points == buffersize_)
        return;
    buffersize_ = points;
    for (auto& l : lines_)
        l.assign(static_cast<size_t>(buffersize_), 0);
    writePos_ = 0;
    update();
}

void TCWScope::SetDisplay(tDisplay d) {
    if (d == display_)
        return;
    display_ = d;
    update();
}

void TCWScope::SetDisplayMode(tDisplayMode m) {
    if (m == displayMode_)
        return;
    displayMode_ = m;
    for (auto& l : lines_)
        std::fill(l.begin(), l.end(), 0);
    update();
}

void TCWScope::AddData(int l, const int32_t* p1, const int32_t* p2, const int32_t* p3) {
    if (frozen_ || l < 1)
        return;
    l = std::min(l, buffersize_);
    lastBlock_ = l;
    const int32_t* src[3] = {p1, p2, p3};
    for (int k = 0; k < 3; ++k) {
        std::vector<int32_t>& buf = lines_[k];
        if (display_ == tDisplay::Linewriter) {
            // Newest point at index 0: older points move up by l.
            std::move_backward(buf.begin(), buf.end() - l, buf.end());
            for (int i = 0; i < l; ++i)
                buf[static_cast<size_t>(i)] = src[k] ? src[k][l - 1 - i] : 0;
        } else {
            for (int i = 0; i < l; ++i)
                buf[static_cast<size_t>((writePos_ + i) % buffersize_)] = src[k] ? src[k][i] : 0;
        }
    }
    if (display_ == tDisplay::Oscilloscope)
        writePos_ = (writePos_ + l) % buffersize_;
    update();
}

int TCWScope::TraceY(int32_t v, int height) {
    const int y0 = height / 2;
    const int64_t c = std::clamp<int32_t>(v, -32767, 32767);
    return y0 - static_cast<int>(c * y0 / 32768);
}

int TCWScope::KeyY(int32_t v, int height) {
    const int y0 = height / 2;
    const int64_t c = std::clamp<int32_t>(v, -32767, 32767);
    return height - static_cast<int>(c * y0 / 32768);
}

void TCWScope::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(backgroundRole()));
    const int h = height();
    const int n = buffersize_;
    const auto polyline = [&](const std::vector<int32_t>& buf, const QColor& c, bool key) {
        QPolygon poly(n);
        for (int i = 0; i < n; ++i) {
            const int32_t v = buf[static_cast<size_t>(i)];
            poly.setPoint(i, X(i), key ? KeyY(v, h) : TraceY(v, h));
        }
        p.setPen(c);
        p.drawPolyline(poly);
    };
    const tDisplayMode m = displayMode_;
    if (m == tDisplayMode::line2 || m == tDisplayMode::both || m == tDisplayMode::three) {
        polyline(lines_[1], line2Color_, false);
    } else if (m == tDisplayMode::minmax) {
        // One stroke per x from line 1's value to line 2's.
        p.setPen(line1Color_);
        const int y0 = h / 2;
        QPoint last(X(0), y0);
        for (int i = 0; i < n; ++i) {
            const QPoint a(X(i), TraceY(lines_[0][static_cast<size_t>(i)], h));
            const QPoint b(X(i), TraceY(lines_[1][static_cast<size_t>(i)], h));
            p.drawLine(last, a);
            p.drawLine(a, b);
            last = b;
        }
    }
    if (m == tDisplayMode::line1 || m == tDisplayMode::both || m == tDisplayMode::three)
        polyline(lines_[0], line1Color_, false);
    if (m == tDisplayMode::three) {
        if (display_ == tDisplay::Oscilloscope) {
            polyline(lines_[2], line3Color_, true);
        } else {
            p.setPen(line3Color_);
            for (int i = 0; i < n; ++i) {
                const int y = KeyY(lines_[2][static_cast<size_t>(i)], h);
                // A zero value draws nothing: no stroke of height 0 at the edge.
                if (y < h)
                    p.drawLine(X(i), h, X(i), y);
            }
        }
    }
    if (OnPaint)
        OnPaint(p);
}
