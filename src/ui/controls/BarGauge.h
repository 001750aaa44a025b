#pragma once
// A bar gauge: an integer position between Min and Max shown as a filled bar
// in one colour, a two- or three-colour gradient or a tiled picture, with an
// optional sunken border and centred position text.

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };
enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };

class TBarGauge : public QWidget {
    Q_OBJECT
public:
    explicit TBarGauge(QWidget* parent = nullptr);

    int Position() const { return position_; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    TProgressDirection Direction() const { return direction_; }
    TBarColorStyle BarColorStyle() const { return style_; }
    QColor BarColor1() const { return color1_; }
    QColor BarColor2() const { return color2_; }
    QColor BarColor3() const { return color3_; }
    QColor BackgroundColor() const { return background_; }
    const QPixmap& BarBitmap() const { return bitmap_; }
    bool ShowBorder() const { return showBorder_; }
    QColor BorderColor1() const { return border1_; }
    QColor BorderColor2() const { return border2_; }
    bool ShowPosText() const { return showPosText_; }
    QString PosTextPrefix() const { return prefix_; }
    QString PosTextSuffix() const { return suffix_; }
    bool Percentage() const { return percentage_; }
    bool Decimal() const { return decimal_; }

    // Clamped to Min..Max; an unchanged position does not repaint.
    void SetPosition(int value);
    void SetMin(int value);
    void SetMax(int value);
    void SetDirection(TProgressDirection value);
    void SetBarColorStyle(TBarColorStyle value);
    void SetBarColor1(const QColor& value);
    void SetBarColor2(const QColor& value);
    void SetBarColor3(const QColor& value);
    void SetBackgroundColor(const QColor& value);
    void SetBarBitmap(const QPixmap& value);
    void SetShowBorder(bool value);
    void SetBorderColor1(const QColor& value);
    void SetBorderColor2(const QColor& value);
    void SetShowPosText(bool value);
    void SetPosTextPrefix(const QString& value);
    void SetPosTextSuffix(const QString& value);
    void SetPercentage(bool value);
    void SetDecimal(bool value);

    // Pixels of the bar that the position uncovers.
    int FilledExtent() const;
    // The position text as drawn (without checking ShowPosText).
    QString PosText() const;
    // Colour of line i (1-based) of an n-line ramp from a to b.
    static QColor RampColor(const QColor& a, const QColor& b, int i, int n);

    QSize sizeHint() const override { return {200, 20}; }

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool Horizontal() const { return direction_ == pdLeftToRight || direction_ == pdRightToLeft; }
    void Changed();  // rebuild the bar layer, then repaint
    void BuildBar();

    int position_ = 0;
    int min_ = 0;
    int max_ = 100;
    TProgressDirection direction_ = pdLeftToRight;
    TBarColorStyle style_ = cs3Colors;
    QColor color1_ = Qt::green;
    QColor color2_ = Qt::yellow;
    QColor color3_ = Qt::red;
    QColor background_;
    QPixmap bitmap_;
    bool showBorder_ = true;
    QColor border1_;
    QColor border2_;
    bool showPosText_ = true;
    QString prefix_;
    QString suffix_;
    bool percentage_ = false;
    bool decimal_ = false;

    QImage bar_;  // cached bar layer; a position change reuses it
    bool barValid_ = false;
};
