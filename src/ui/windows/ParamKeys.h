#pragma once
// The parameters window's "Key" group: straight key or the iambic keyer
// (mode A or B), the keyboard keys that key (X key-symbol names) and the
// swapped paddles. Each choice edits the settings in force and hands them
// back to the target at once.

#include <QGroupBox>

class IParamTarget;
class QCheckBox;
class QComboBox;
class TRadioGroup;
struct TSettings;

class TParamKeys : public QGroupBox {
public:
    explicit TParamKeys(IParamTarget& target, QWidget* parent = nullptr);

    // Shows the [Keys] settings (the window's start and a settings file read).
    void ShowSettings(const TSettings& s);

    TRadioGroup* KeyerGroup() const { return keyerGroup_; }
    QComboBox* StraightKeyBox() const { return straight_; }
    QComboBox* DitBox() const { return dit_; }
    QComboBox* DahBox() const { return dah_; }
    QCheckBox* SwapBox() const { return swap_; }

private:
    void Store();
    void EnableKeys();

    IParamTarget& target_;
    TRadioGroup* keyerGroup_;
    QComboBox* straight_;
    QComboBox* dit_;
    QComboBox* dah_;
    QCheckBox* swap_;
    bool showing_ = false;
};
