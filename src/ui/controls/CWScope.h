#pragma once
// The scope display: plots the sound detector's three traces (envelope,
// threshold, key state) of the last blocks so the operator can watch the
// received tone and set level, filter and centre frequency by eye. Keeps
// its own trace buffers; draws them as a line writer (newest at the right
// edge) or as an oscilloscope sweep.

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

enum class tDisplay { Linewriter, Oscilloscope };
enum class tDisplayMode { none, line1, line2, both, three, minmax };

class TCWScope : public QWidget {
    Q_OBJECT
public:
    explicit TCWScope(QWidget* parent = nullptr);

    int Buffersize() const { return buffersize_; }
    // Replaces the buffers by zeroed ones and restarts the sweep (when it changes).
    void SetBuffersize(int points);
    tDisplay Display() const { return display_; }
    void SetDisplay(tDisplay d);
    tDisplayMode DisplayMode() const { return displayMode_; }
    // A new mode blanks the picture until new data arrive.
    void SetDisplayMode(tDisplayMode m);
    QColor Line1Color() const { return line1Color_; }
    void SetLine1Color(const QColor& c) {
        line1Color_ = c;
        update();
    }
    QColor Line2Color() const { return line2Color_; }
    void SetLine2Color(const QColor& c) {
        line2Color_ = c;
        update();
    }
    QColor Line3Color() const { return line3Color_; }
    void SetLine3Color(const QColor& c) {
        line3Color_ = c;
        update();
    }

    // One block of l points per trace (envelope, threshold, key); a null
    // trace zeroes its first l points. Ignored while frozen; l is limited
    // to 1..Buffersize.
    void AddData(int l, const int32_t* p1, const int32_t* p2, const int32_t* p3);
    bool Frozen() const { return frozen_; }
    void SetFrozen(bool frozen) { frozen_ = frozen; }

    // Trace k (1..3) as stored; write position of the sweep; last block length.
    const std::vector<int32_t>& Line(int k) const { return lines_[k - 1]; }
    int WritePos() const { return writePos_; }
    int LastBlock() const { return lastBlock_; }
    // y of a value for this height: the traces' zero line in the middle, or
    // measured from the bottom edge for the key trace.
    static int TraceY(int32_t v, int height);
    static int KeyY(int32_t v, int height);

    // Fired after the traces are drawn, for drawing on top.
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int X(int i) const { return display_ == tDisplay::Oscilloscope ? i : width() - i; }

    int buffersize_ = 1000;
    tDisplay display_ = tDisplay::Linewriter;
    tDisplayMode displayMode_ = tDisplayMode::none;
    QColor line1Color_ = Qt::red;
    QColor line2Color_ = Qt::green;
    QColor line3Color_ = Qt::black;
    std::vector<int32_t> lines_[3];
    int writePos_ = 0;
    int lastBlock_ = 0;
    bool frozen_ = false;
};
