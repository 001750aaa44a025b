#pragma once
// The bar above the pattern strip: the last decoded character in large
// type, the target speed (an edit with an up-down) and the speed of the
// last character and its moving average, in CpM or WpM. It formats and
// parses speeds; whether and how the target changes is its owner's call.

#include "controls/SpeedUpDown.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class QKeyEvent;
class QLabel;
class QLineEdit;

class TSpeedBar : public QWidget {
public:
    explicit TSpeedBar(QWidget* parent = nullptr);

    QLabel* lastCharLabel_() const { return DecCharLabel_; }
    QLineEdit* TargetEdit() const { return CWSpeed; }
    TSpeedUpDown* UpDown() const { return SpeedUpDown; }

    // CpM or WpM (one decimal, "." as the decimal point) in every field.
    void SetWpM(bool wpm);
    bool WpM() const { return wpm_; }
    QString FormatSpeed(uint32_t cpm) const;
    QString UnitText() const;
    // The target speed as the generator has it.
    void ShowTarget(int cpm);
    // The last character's speed; 0 clears it and the average.
    void ShowActual(uint32_t cpm);
    void ShowAverage(uint32_t cpm);
    QString TargetText() const;
    QString AverageText() const;

    // The up-down (button true) or an arrow key in the edit: a step of the
    // target (+-1, x10 with Shift, x100 with Shift+Ctrl).
    std::function<void(int delta, bool button)> OnStep;
    // A typed target confirmed (Enter, Escape, leaving the edit): the speed
    // in CpM, or the current one when the text is no speed.
    std::function<void(int cpm)> OnEntered;
    // Hot keys typed in the edit that belong to the window.
    std::function<void(QKeyEvent*)> OnForwardKey;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Enter();

    QLabel* DecCharLabel_;
    QLineEdit* CWSpeed;
    TSpeedUpDown* SpeedUpDown;
    QLabel* WpMCpMText;
    QLabel* actualUnitText_;
    QLabel* averageUnitText_;
    QLineEdit* RecSpeed;
    QLineEdit* AvgSpeed;
    bool wpm_ = false;
    int target_ = 60;
};
