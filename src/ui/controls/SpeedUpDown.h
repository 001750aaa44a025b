#pragma once
// Two arrow buttons that step the target speed; the owner applies the step.

#include <QWidget>

#include <functional>

class QToolButton;

class TSpeedUpDown : public QWidget {
public:
    explicit TSpeedUpDown(QWidget* parent = nullptr);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetRange(int min, int max) {
        min_ = min;
        max_ = max;
    }
    void SetPosition(int p) { position_ = p < min_ ? min_ : (p > max_ ? max_ : p); }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
    // +1 for the upper button, -1 for the lower one.
    std::function<void(int direction)> OnClick;

private:
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 20, max_ = 300, position_ = 60;
};
