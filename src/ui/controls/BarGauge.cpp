#include "controls/BarGauge.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <cmath>

namespace {

// Rounds a/b*c style results to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    if (c == 0)
        return 0;
    const long long p = static_cast<long long>(a) * b;
    const long long q = c;
    long long r = (2 * std::llabs(p) + std::llabs(q)) / (2 * std::llabs(q));
    return static_cast<int>(((p < 0) != (q < 0)) ? -r : r);
}

}  // namespace

TBarGauge::TBarGauge(QWidget* parent) : QWidget(parent) {
    const QPalette pal = palette();
    background_ = pal.color(QPalette::Button);
    border1_ = pal.color(QPalette::Dark);
    border2_ = pal.color(QPalette::Light);
    resize(200, 20);
}

void TBarGauge::SetPosition(int value) {
    if (value < min_)
        value = min_;
    else if (value > max_)
        value = max_;
    if (value == position_)
        return;
    position_ = value;
    update();
}

void TBarGauge::Changed() {
    barValid_ = false;
    update();
}

void TBarGauge::SetMin(int value) {
    min_ = value;
    if (position_ < min_)
        position_ = min_;
    Changed();
}
void TBarGauge::SetMax(int value) {
    max_ = value;
    if (position_ > max_)
        position_ = max_;
    Changed();
}
void TBarGauge::SetDirection(TProgressDirection value) {
    direction_ = value;
    Changed();
}
void TBarGauge::SetBarColorStyle(TBarColorStyle value) {
    style_ = value;
    Changed();
}
void TBarGauge::SetBarColor1(const QColor& value) {
    color1_ = value;
    Changed();
}
void TBarGauge::SetBarColor2(const QColor& value) {
    color2_ = value;
    Changed();
}
void TBarGauge::SetBarColor3(const QColor& value) {
    color3_ = value;
    Changed();
}
void TBarGauge::SetBackgroundColor(const QColor& value) {
    background_ = value;
    Changed();
}
void TBarGauge::SetBarBitmap(const QPixmap& value) {
    bitmap_ = value;
    Changed();
}
void TBarGauge::SetShowBorder(bool value) {
    showBorder_ = value;
    Changed();
}
void TBarGauge::SetBorderColor1(const QColor& value) {
    border1_ = value;
    Changed();
}
void TBarGauge::SetBorderColor2(const QColor& value) {
    border2_ = value;
    Changed();
}
void TBarGauge::SetShowPosText(bool value) {
    showPosText_ = value;
    Changed();
}
void TBarGauge::SetPosTextPrefix(const QString& value) {
    prefix_ = value;
    Changed();
}
void TBarGauge::SetPosTextSuffix(const QString& value) {
    suffix_ = value;
    Changed();
}
void TBarGauge::SetPercentage(bool value) {
    percentage_ = value;
    Changed();
}
void TBarGauge::SetDecimal(bool value) {
    decimal_ = value;
    Changed();
}

int TBarGauge::FilledExtent() const {
    int extent = (Horizontal() ? width() : height()) - (showBorder_ ? 2 : 0);
    if (extent < 0)
        extent = 0;
    if (position_ <= min_ || max_ == min_)
        return 0;
    const double range = std::abs(static_cast<double>(max_) - min_);
    const double f = (static_cast<double>(position_) - min_) / range * extent;
    int filled = static_cast<int>(std::nearbyint(f));  // default rounding mode: ties to even
    return filled > extent ? extent : filled;
}

QString TBarGauge::PosText() const {
    QString number;
    if (percentage_) {
        // A zero maximum has no percentage to speak of.
        const double p = max_ == 0 ? 0.0 : static_cast<double>(position_) / max_ * 100.0;
        number = QString::number(static_cast<long long>(std::nearbyint(p)));
    } else if (decimal_) {
        number = QString::number(position_ / 10.0, 'f', 1);
    } else {
        number = QString::number(position_);
    }
    return prefix_ + number + suffix_;
}

QColor TBarGauge::RampColor(const QColor& a, const QColor& b, int i, int n) {
    if (n <= 1)
        return a;
    auto ch = [&](int x, int y) { return x + MulDiv(i - 1, y - x, n - 1); };
    return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
}

void TBarGauge::BuildBar() {
    const int w = width(), h = height();
    bar_ = QImage(qMax(w, 1), qMax(h, 1), QImage::Format_RGB32);
    barValid_ = true;
    QPainter p(&bar_);
    if (!bitmap_.isNull()) {
        for (int y = 0; y < h; y += bitmap_.height())
            for (int x = 0; x < w; x += bitmap_.width())
                p.drawPixmap(x, y, bitmap_);
        return;
    }
    if (style_ == cs1Color) {
        bar_.fill(color1_);
        return;
    }
    // Lines across the direction of growth, BarColor1 where the bar starts.
    const int size = Horizontal() ? w : h;
    const bool mirrored = direction_ == pdRightToLeft || direction_ == pdBottomToTop;
    auto lineColor = [&](int line) {  // line 0 .. size-1 counted from the start side
        if (style_ == cs2Colors)
            return RampColor(color1_, color2_, line + 1, size);
        const int half = size / 2;
        if (line < half)
            return RampColor(color1_, color2_, line + 1, half);
        return RampColor(color2_, color3_, line - half + 1, size - half);
    };
    for (int line = 0; line < size; ++line) {
        const int at = mirrored ? size - 1 - line : line;
        p.setPen(lineColor(line));
        if (Horizontal())
            p.drawLine(at, 0, at, h - 1);
        else
            p.drawLine(0, at, w - 1, at);
    }
}

void TBarGauge::resizeEvent(QResizeEvent* event) {
    barValid_ = false;
    QWidget::resizeEvent(event);
}

void TBarGauge::paintEvent(QPaintEvent*) {
    if (!barValid_ || bar_.size() != QSize(qMax(width(), 1), qMax(height(), 1)))
        BuildBar();
    QPainter p(this);
    p.drawImage(0, 0, bar_);

    const int b = showBorder_ ? 1 : 0;
    const int w = width(), h = height();
    const int extent = qMax((Horizontal() ? w : h) - 2 * b, 0);
    const int filled = FilledExtent();
    const int rest = extent - filled;
    if (rest > 0) {
        QRect r;
        switch (direction_) {
            case pdLeftToRight:
                r = QRect(b + filled, b, rest, h - 2 * b);
                break;
            case pdRightToLeft:
                r = QRect(b, b, rest, h - 2 * b);
                break;
            case pdBottomToTop:
                r = QRect(b, b, w - 2 * b, rest);
                break;
            case pdTopToBottom:
                r = QRect(b, b + filled, w - 2 * b, rest);
                break;
        }
        p.fillRect(r, background_);
    }
    if (showBorder_) {
        p.setPen(border1_);
        p.drawLine(w - 1, 0, 0, 0);
        p.drawLine(0, 0, 0, h - 1);
        p.setPen(border2_);
        p.drawLine(0, h - 1, w - 1, h - 1);
        p.drawLine(w - 1, h - 1, w - 1, 0);
    }
    if (showPosText_) {
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, PosText());
    }
}

void TBarGauge::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void TBarGauge::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}
