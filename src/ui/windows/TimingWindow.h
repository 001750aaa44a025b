#pragma once
// The "Show Timing Values" window: the last and the average length of each
// kind of element in percent of the reference dot, as numbers and gauges,
// plus the dot weight. The numbers come from a TTimingStats; this window
// draws them and holds the controls that choose what is shown.

#include "analysis/TimingStats.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class TBarGauge;
struct TSettings;

class TTimingWindow : public QWidget {
    Q_OBJECT
public:
    explicit TTimingWindow(QWidget* parent = nullptr);

    // The statistics shown; the window takes over stats->OnDisplay.
    void SetStats(TTimingStats* stats);
    TTimingStats* Stats() const { return stats_; }

    // Initial state from the settings: position (kept on the work area),
    // check boxes, seconds, shown set, reference and average length. Both
    // value sets are reset.
    void LoadFromSettings(const TSettings& s);
    // Writes this window's keys back: AutoReset, AutoClose (the stored
    // choices, also while "Last Replay" is shown), AutoResetTime,
    // CurrentLast, DispRefAvg, AvgCountIdx, ShowTop, ShowLeft.
    void SaveToSettings(TSettings& s) const;
    // The options alone (all but the position), and the position alone.
    void SaveOptions(TSettings& s) const;
    void SavePlacement(TSettings& s) const;

    // Recomputes and redraws (speed or unit changed).
    void UpdateDisplay();
    // 0 = Current Input, 1 = Last Replay, 2 = both, 3 = none.
    void ResetValues(int which);

    bool AutoReset() const { return autoReset_; }  // setting, not the box
    bool AutoClose() const { return autoClose_; }
    int AutoResetSeconds() const;
    // Length of the speed average: 10, 20, 50 or 100 characters.
    int AverageLength() const;
    int AvgCountIdx() const;
    int ShownSet() const;

    // Supplied by the main window.
    // Text after "Reference = ": target (false) or average (true) speed and
    // its unit, such as "60 CpM".
    std::function<QString(bool average)> ReferenceText;
    // Auto-Reset was switched off: stop the auto-reset timer.
    std::function<void()> OnAutoResetOff;
    // The average length changed: restart the analyser's speed average.
    std::function<void(int length)> OnAverageLengthChanged;
    // The operator changed an option (not the position): SaveOptions has
    // the new values.
    std::function<void()> OnOptionsChanged;
    // Keys the main window handles also while this window has the focus.
    std::function<void(QKeyEvent*)> OnForwardKeyDown;
    std::function<void(QKeyEvent*)> OnForwardKeyUp;
    std::function<void(QKeyEvent*)> OnForwardKeyPress;

    // Controls, for the owner and for checks.
    TBarGauge* Gauge(const char* name) const;
    QLabel* NumberLabel(int n) const { return labels_[static_cast<size_t>(n - 1)]; }
    QLabel* LTarget() const { return lTarget_; }
    QCheckBox* AutoResetBox() const { return autoResetBox_; }
    QCheckBox* AutoCloseBox() const { return autoCloseBox_; }
    QSpinBox* AutoResetSecondsEdit() const { return autoResetSeconds_; }
    QComboBox* AvgBox() const { return avgBox_; }
    QRadioButton* CurrentButton() const { return current_; }
    QRadioButton* ReplayButton() const { return replay_; }
    QRadioButton* TargetRefButton() const { return refTarget_; }
    QRadioButton* AverageRefButton() const { return refAverage_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowNumbers();
    void ShownSetChanged();
    void CheckBoxChanged();
    void OptionsChanged();

    TTimingStats* stats_ = nullptr;
    TTimingStats ownStats_;  // until the owner supplies the real one
    bool autoReset_ = false;
    bool autoClose_ = false;
    bool loading_ = false;

    std::array<QLabel*, 12> labels_{};
    std::array<TBarGauge*, 12> gauges_{};
    QLabel* lTarget_ = nullptr;
    QRadioButton* refTarget_ = nullptr;
    QRadioButton* refAverage_ = nullptr;
    QComboBox* avgBox_ = nullptr;
    QRadioButton* current_ = nullptr;
    QRadioButton* replay_ = nullptr;
    QCheckBox* autoResetBox_ = nullptr;
    QCheckBox* autoCloseBox_ = nullptr;
    QSpinBox* autoResetSeconds_ = nullptr;
    QLabel* secondsLabel1_ = nullptr;
    QLabel* secondsLabel2_ = nullptr;
};
