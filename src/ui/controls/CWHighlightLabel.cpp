#include "controls/CWHighlightLabel.h"

#include "controls/PanelAccessible.h"
#include "morse/Cp1252.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr char kTypedMarker = 3;
constexpr char kDecodedMarker = 4;

// Characters 0..5 are markers and control codes: never drawn, no cell.
bool Invisible(unsigned char c) { return c <= 5; }

}  // namespace

TCWHighlightLabel::TCWHighlightLabel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    QWidget::setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TPanelAccessible::Install();
}

QString TCWHighlightLabel::AccessibleText() const {
    QString out;
    for (size_t i = 1; i < text_.size() && i <= static_cast<size_t>(length_); ++i) {
        const unsigned char c = static_cast<unsigned char>(text_[i]);
        if (c == static_cast<unsigned char>(wordSeparator))
            out += QLatin1Char(' ');
        else if (!Invisible(c))
            out += ToUnicode(c);
    }
    return out;
}

namespace {

QString Readable(const std::string& s) {
    QString out;
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == static_cast<unsigned char>(TCWHighlightLabel::wordSeparator))
            out += QLatin1Char(' ');
        else if (!Invisible(c))
            out += TCWHighlightLabel::ToUnicode(c);
    }
    return out;
}

}  // namespace

QChar TCWHighlightLabel::ToUnicode(unsigned char c) { return QChar(cp1252::ToUnicode(c)); }

void TCWHighlightLabel::SetZeroSlash(bool v) {
    zeroSlash_ = v;
    update();
}
void TCWHighlightLabel::SetColorRxText(const QColor& c) {
    colorText_ = c;
    update();
}
void TCWHighlightLabel::SetColorRxBold(const QColor& c) {
    colorBold_ = c;
    update();
}
void TCWHighlightLabel::SetAllCaps(bool v) {
    allCaps_ = v;
    update();
}
void TCWHighlightLabel::SetTransparent(bool v) {
    transparent_ = v;
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    update();
}
void TCWHighlightLabel::SetColor(const QColor& c) {
    color_ = c;
    update();
}
void TCWHighlightLabel::SetFont(const QFont& f) {
    QWidget::setFont(f);
    update();
}
void TCWHighlightLabel::SetTextHidden(bool h) {
    hidden_ = h;
    update();
}

void TCWHighlightLabel::Clear() {
    text_.clear();
    kind_ = 0;
    length_ = lastIndex_ = redStart_ = redLast_ = sentEnd_ = greenStart_ = 0;
    update();
}

void TCWHighlightLabel::AddDecodedText(const std::string& s) {
    if (s.empty())
        return;  // no character, no new zone start
    if (kind_ == 0) {
        kind_ = 2;
        text_.assign(1, kDecodedMarker);
    }
    redStart_ = redLast_ = length_ + 1;
    const int at = static_cast<int>(AccessibleText().size());
    length_ += static_cast<int32_t>(s.size());
    text_ += s;
    update();
    TPanelAccessible::TextAdded(this, at, Readable(s));
}

void TCWHighlightLabel::AddTypedText(const std::string& s) {
    if (s.empty())
        return;
    if (kind_ == 0) {
        kind_ = 1;
        text_.assign(1, kTypedMarker);
    }
    const int at = static_cast<int>(AccessibleText().size());
    length_ += static_cast<int32_t>(s.size());
    lastIndex_ = length_;
    text_ += s;
    update();
    TPanelAccessible::TextAdded(this, at, Readable(s));
}

void TCWHighlightLabel::MarkSent(const std::string& s) {
    if (s.empty() || kind_ != 1)
        return;
    // A word gap is sent too, but the green zone stays on the last character.
    if (s[0] != wordSeparator && s[0] != ' ')
        greenStart_ = sentEnd_ + 1;
    sentEnd_ += static_cast<int32_t>(s.size());
    if (sentEnd_ > length_)
        sentEnd_ = length_;
    if (greenStart_ > sentEnd_)
        greenStart_ = sentEnd_;
    update();
}

int TCWHighlightLabel::DeleteLast(int n) {
    if (kind_ != 1 || n <= 0)
        return 0;
    const int32_t unsent = length_ - sentEnd_;
    const int removed = n < unsent ? n : unsent;
    if (removed <= 0)
        return 0;
    length_ -= removed;
    text_.resize(static_cast<size_t>(length_) + 1);
    lastIndex_ = length_;
    update();
    return removed;
}

char TCWHighlightLabel::LastTypedChar() const {
    if (lastIndex_ < 1 || lastIndex_ > length_)
        return 0;
    return text_[static_cast<size_t>(lastIndex_)];
}

std::string TCWHighlightLabel::GreenText() const {
    if (kind_ != 1 || greenStart_ < 1 || greenStart_ > sentEnd_)
        return {};
    return text_.substr(static_cast<size_t>(greenStart_), static_cast<size_t>(sentEnd_ - greenStart_ + 1));
}

int32_t TCWHighlightLabel::TagEnd(int32_t pos, int32_t limit) const {
    if (pos < 1 || pos > length_ || At(pos) != '<')
        return 0;
    for (int32_t q = pos + 1; q <= pos + 4 && q <= limit; ++q)
        if (At(q) == '>')
            return q;
    return 0;
}

int32_t TCWHighlightLabel::TagStart(int32_t pos) const {
    if (pos < 1 || pos > length_ || At(pos) != '>')
        return 0;
    for (int32_t q = pos - 1; q >= pos - 4 && q >= 1; --q)
        if (At(q) == '<')
            return q;
    return 0;
}

int32_t TCWHighlightLabel::MoveRedStart(int32_t delta) {
    if (kind_ != 2 || length_ == 0 || redLast_ < 1)
        return redStart_;
    if (delta == ToFirst) {
        redStart_ = 1;
    } else if (delta == ToLast) {
        redStart_ = redLast_;
    } else {
        int32_t p = redStart_ < 1 ? 1 : redStart_;
        int64_t steps = delta < 0 ? -static_cast<int64_t>(delta) : delta;
        while (steps > 0) {
            if (delta < 0) {
                if (p <= 1)
                    break;
                --p;
                if (int32_t s = TagStart(p))
                    p = s;
            } else {
                if (p >= redLast_)
                    break;
                if (int32_t e = TagEnd(p, redLast_))
                    p = e;
                ++p;
                if (p > redLast_)
                    p = redLast_;
            }
            if (!IsGap(p))
                --steps;
        }
        redStart_ = p;
    }
    update();
    return redStart_;
}

int32_t TCWHighlightLabel::MoveGreenStart(int32_t delta) {
    if (kind_ != 1 || sentEnd_ < 1 || delta == 0)
        return greenStart_;
    const int32_t old = greenStart_;
    if (delta == ToFirst) {
        int32_t p = 1;
        while (IsGap(p) && p < sentEnd_ && (old < 1 || p < old))
            ++p;
        greenStart_ = p;
    } else if (delta == ToLast) {
        int32_t p = sentEnd_;
        while (IsGap(p) && p > 1 && p > old)
            --p;
        if (int32_t s = TagStart(p))
            p = s;
        greenStart_ = p;
    } else {
        int32_t p = old < 1 ? sentEnd_ : old;
        int64_t steps = delta < 0 ? -static_cast<int64_t>(delta) : delta;
        bool ok = true;
        for (; steps > 0 && ok; --steps) {
            if (delta < 0) {
                int32_t q = p - 1;
                while (q >= 1 && IsGap(q))
                    --q;
                if (q < 1) {
                    ok = false;
                    break;
                }
                if (int32_t s = TagStart(q))
                    q = s;
                p = q;
            } else {
                int32_t q = p;
                if (int32_t e = TagEnd(q, sentEnd_))
                    q = e;
                ++q;
                while (q <= sentEnd_ && IsGap(q))
                    ++q;
                if (q > sentEnd_) {
                    ok = false;
                    break;
                }
                p = q;
            }
        }
        greenStart_ = ok ? p : old;
    }
    update();
    return greenStart_;
}

void TCWHighlightLabel::Repaint() { repaint(); }

int TCWHighlightLabel::CellWidth() const {
    const int w = QFontMetrics(font()).horizontalAdvance(QLatin1Char('A'));
    return w > 0 ? w : 1;
}

int TCWHighlightLabel::LineHeight() const {
    const int h = QFontMetrics(font()).height();
    return h > 0 ? h : 1;
}

int TCWHighlightLabel::Columns() const {
    const int c = width() / CellWidth();
    return c < 1 ? 1 : c;
}

int TCWHighlightLabel::VisibleLines() const {
    const int l = height() / LineHeight();
    return l < 1 ? 1 : l;
}

std::vector<TCWHighlightLabel::Cell> TCWHighlightLabel::Layout(int32_t from, int& lines,
                                                               std::vector<int32_t>* lineStarts) const {
    std::vector<Cell> cells;
    const int columns = Columns();
    int col = 1, line = 0;
    if (from < 1)
        from = 1;
    if (lineStarts)
        lineStarts->assign(1, from);
    auto newLine = [&](int32_t startPos) {
        col = 1;
        ++line;
        if (lineStarts)
            lineStarts->push_back(startPos);
    };
    for (int32_t pos = from; pos <= length_; ++pos) {
        const unsigned char c = At(pos);
        if (Invisible(c))
            continue;
        if (c == static_cast<unsigned char>(wordSeparator)) {
            newLine(pos + 1);
            continue;
        }
        if (c == '<' && col > 1) {
            // Keep a prosign in one piece on one line.
            if (int32_t e = TagEnd(pos, length_); e && columns - (e - pos) < col)
                newLine(pos);
        }
        cells.push_back({pos, col, line});
        if (++col > columns)
            newLine(pos + 1);
    }
    lines = line + 1;
    return cells;
}

int32_t TCWHighlightLabel::FirstVisible() const {
    if (length_ == 0)
        return 0;
    int lines = 0;
    std::vector<int32_t> starts;
    Layout(1, lines, &starts);
    const int drop = lines - VisibleLines();
    int32_t first = drop > 0 ? starts[static_cast<size_t>(drop)] : 1;
    // Keep the whole line holding the zone start in view.
    const int32_t zone = kind_ == 2 ? redStart_ : (kind_ == 1 ? greenStart_ : 0);
    if (zone > 0 && first > zone) {
        int32_t p = zone - 1;
        while (p >= 1 && At(p) != static_cast<unsigned char>(wordSeparator))
            --p;
        first = p + 1;
    }
    return first;
}

bool TCWHighlightLabel::InZone(int32_t pos) const {
    if (kind_ == 2)
        return redStart_ > 0 && pos >= redStart_;
    if (kind_ == 1)
        return greenStart_ > 0 && pos >= greenStart_ && pos <= sentEnd_;
    return false;
}

QPoint TCWHighlightLabel::CellOf(int32_t pos) const {
    if (hidden_ || length_ == 0)
        return {-1, -1};
    int lines = 0;
    for (const Cell& c : Layout(FirstVisible(), lines))
        if (c.pos == pos)
            return {c.col, c.line};
    return {-1, -1};
}

void TCWHighlightLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!transparent_)
        p.fillRect(rect(), color_);
    if (length_ == 0 || hidden_)
        return;

    QFont normal = font();
    normal.setBold(false);
    QFont bold = normal;
    bold.setBold(true);
    const int cw = CellWidth();
    const int lh = LineHeight();
    const int ascent = QFontMetrics(normal).ascent();
    const int maxLine = VisibleLines();
    int lines = 0;
    bool inBold = false;
    p.setFont(normal);
    p.setPen(colorText_);
    for (const Cell& c : Layout(FirstVisible(), lines)) {
        if (c.line > maxLine)
            break;  // below the panel (a partial line is still drawn)
        const bool zone = InZone(c.pos);
        if (zone != inBold) {
            inBold = zone;
            p.setFont(zone ? bold : normal);
            p.setPen(zone ? colorBold_ : colorText_);
        }
        QChar ch = ToUnicode(At(c.pos));
        if (allCaps_)
            ch = ch.toUpper();
        if (zeroSlash_ && ch == QLatin1Char('0'))
            ch = QChar(static_cast<char16_t>(216));
        p.drawText(1 + (c.col - 1) * cw, 1 + c.line * lh + ascent, QString(ch));
    }
}

void TCWHighlightLabel::mousePressEvent(QMouseEvent* event) {
    emit mouseDown(event);
    QWidget::mousePressEvent(event);
}

void TCWHighlightLabel::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseUp(event);
    QWidget::mouseReleaseEvent(event);
}
