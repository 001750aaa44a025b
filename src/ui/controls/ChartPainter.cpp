#include "controls/ChartPainter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

QColor Q(ChartColor c) { return QColor(c.r, c.g, c.b); }

}  // namespace

void ChartPainter::Rect(double x, double y, double w, double h, ChartColor fill) {
    p_.fillRect(QRectF(x, y, w, h), Q(fill));
}

void ChartPainter::Line(double x1, double y1, double x2, double y2, ChartColor color, double width,
                        bool dashed) {
    QPen pen(Q(color), width);
    if (dashed)
        pen.setStyle(Qt::DashLine);
    p_.setPen(pen);
    p_.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void ChartPainter::Polyline(const std::vector<std::pair<double, double>>& points, ChartColor color,
                            double width) {
    QPolygonF poly;
    for (auto [x, y] : points)
        poly << QPointF(x, y);
    p_.setPen(QPen(Q(color), width));
    p_.drawPolyline(poly);
}

void ChartPainter::Dot(double x, double y, double radius, ChartColor color) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(Q(color));
    p_.drawEllipse(QPointF(x, y), radius, radius);
    p_.setBrush(Qt::NoBrush);
}

void ChartPainter::Text(double x, double y, const std::string& text, double size, ChartColor color,
                        Align align) {
    QFont f = p_.font();
    f.setPixelSize(static_cast<int>(size + 0.5));
    p_.setFont(f);
    p_.setPen(Q(color));
    const QString s = QString::fromStdString(text);
    const double w = QFontMetricsF(f).horizontalAdvance(s);
    const double left = align == Align::Center ? x - w / 2 : align == Align::Right ? x - w : x;
    p_.drawText(QPointF(left, y), s);
}

bool SaveChartPng(const std::string& path, int width, int height,
                  const std::function<void(IChartCanvas&)>& draw, std::string& error) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        ChartPainter canvas(p);
        draw(canvas);
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
