#pragma once
// A numeric edit with an up-down beside it, bound to a target value that
// clamps what it is given. The up-down steps the target by 1, with Shift by
// 10 and with Shift+Ctrl by 100; the arrow keys in the edit do the same.
// Enter or leaving the edit commits the typed number; text that is not a
// number shows the target's value again. Esc is swallowed.

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

class TNumEdit : public QWidget {
    Q_OBJECT
public:
    explicit TNumEdit(QWidget* parent = nullptr);

    QLineEdit* Edit() const { return edit_; }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    // The up-down's position, clamped to Min..Max; no handler runs.
    int Position() const { return position_; }
    void SetPosition(int p);

    // The value this edit stands for.
    std::function<int()> Target;
    std::function<void(int)> SetTarget;
    // After every change: the value the target now holds (to store it).
    std::function<void(int)> OnStored;
    // After an up-down click (mouse or arrow key), not after Enter.
    std::function<void()> OnClickDone;
    // After Enter or leaving the edit.
    std::function<void()> OnCommitDone;
    // Enter commits only while the edit is enabled.
    bool EnterNeedsEnabled = false;
    // The up-down sets the target to its position, without the step rule.
    bool PlainClick = false;

    // The up-down was clicked after its position moved one way; the
    // modifiers choose the step.
    void UpDownClick(Qt::KeyboardModifiers mods);
    // Enter: the typed number (or, when it is none, the target's value) to
    // the target, then shown.
    void Commit();
    // Position, text and stored value from the target.
    void ShowTarget();
    // Position and text only, at start.
    void ShowValue(int v);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Step(int direction, Qt::KeyboardModifiers mods);

    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0, max_ = 100, position_ = 0;
};
