#pragma once
// A text panel for Morse characters: decoded text with a red zone (what a
// replay plays) or typed text with a green zone (what was sent last). The
// panel wraps in fixed-width cells, keeps a prosign such as "<ar>" together,
// and scrolls so that the newest lines are always visible.
//
// Text is stored as Windows-1252 bytes (the generator's and decoder's
// character set) and converted to Unicode only for drawing.

#include <QColor>
#include <QFont>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class TCWHighlightLabel : public QWidget {
    Q_OBJECT
public:
    // Zone-move deltas that jump to the last / first position.
    static constexpr int32_t ToLast = 0x7FFFFFFF;
    static constexpr int32_t ToFirst = -0x7FFFFFFF;
    static constexpr char wordSeparator = 13;

    explicit TCWHighlightLabel(QWidget* parent = nullptr);

    // Published properties.
    bool ZeroSlash() const { return zeroSlash_; }
    void SetZeroSlash(bool v);
    QColor ColorRxText() const { return colorText_; }
    void SetColorRxText(const QColor& c);
    QColor ColorRxBold() const { return colorBold_; }
    void SetColorRxBold(const QColor& c);
    bool AllCaps() const { return allCaps_; }
    void SetAllCaps(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    QColor Color() const { return color_; }
    void SetColor(const QColor& c);
    // A fixed-pitch font is expected; cells are the width of "A".
    void SetFont(const QFont& f);

    // Operations.
    void Clear();
    // The characters as assistive technology reads them: prosigns as their
    // bracketed text, a word gap as a space.
    QString AccessibleText() const;
    void AddDecodedText(const std::string& s);
    void AddTypedText(const std::string& s);
    void MarkSent(const std::string& s);
    int DeleteLast(int n);
    char LastTypedChar() const;
    std::string GreenText() const;
    int32_t MoveRedStart(int32_t delta);
    int32_t MoveGreenStart(int32_t delta);
    void Repaint();

    // Hidden state (F4): nothing but the background is drawn.
    bool TextHidden() const { return hidden_; }
    void SetTextHidden(bool h);

    // State, for the owner and for checks.
    int Kind() const { return kind_; }
    std::string Text() const { return text_.empty() ? std::string() : text_.substr(1); }
    int32_t Length() const { return length_; }
    int32_t LastIndex() const { return lastIndex_; }
    int32_t RedStart() const { return redStart_; }
    int32_t RedLast() const { return redLast_; }
    int32_t SentEnd() const { return sentEnd_; }
    int32_t GreenStart() const { return greenStart_; }
    int32_t FirstVisible() const;
    int Columns() const;
    int VisibleLines() const;
    // Cell of a position as drawn now: x = column (1-based), y = line
    // (0 = top line); (-1, -1) when the position is not drawn.
    QPoint CellOf(int32_t pos) const;
    // Whether a position is drawn bold in the zone colour.
    bool InZone(int32_t pos) const;

    // Windows-1252 to Unicode for one byte.
    static QChar ToUnicode(unsigned char c);

signals:
    void mouseDown(QMouseEvent* event);
    void mouseUp(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Cell {
        int32_t pos;
        int col;   // 1-based
        int line;  // 0-based from the layout start
    };
    unsigned char At(int32_t pos) const {
        return static_cast<unsigned char>(text_[static_cast<size_t>(pos)]);
    }
    bool IsGap(int32_t pos) const {
        return At(pos) == ' ' || At(pos) == static_cast<unsigned char>(wordSeparator);
    }
    // Position of the ">" closing a "<" at pos within 4 characters, or 0.
    int32_t TagEnd(int32_t pos, int32_t limit) const;
    // Position of the "<" opening a ">" at pos within 4 characters, or 0.
    int32_t TagStart(int32_t pos) const;
    // Cells from position `from` on, with the wrapping rules; lines counts
    // the lines used (a separator or a full row at the end opens a new one).
    // lineStarts receives the first position of each line.
    std::vector<Cell> Layout(int32_t from, int& lines, std::vector<int32_t>* lineStarts = nullptr) const;
    int CellWidth() const;
    int LineHeight() const;

    std::string text_;  // kind marker, then the characters
    int kind_ = 0;
    int32_t length_ = 0;
    int32_t lastIndex_ = 0;
    int32_t redStart_ = 0;
    int32_t redLast_ = 0;
    int32_t sentEnd_ = 0;
    int32_t greenStart_ = 0;
    bool hidden_ = false;

    bool zeroSlash_ = false;
    bool allCaps_ = false;
    bool transparent_ = false;
    QColor colorText_ = Qt::black;
    QColor colorBold_ = Qt::red;
    QColor color_ = Qt::white;
};
