#pragma once
// The main window's message boxes behind an interface, so that tests can
// answer them and the program shows real ones.

#include <QString>

class QWidget;

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // A plain message with an OK button.
    virtual void Message(const QString& text) = 0;
    // A warning with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // A question without icon with OK and Cancel; true for OK.
    virtual bool AskOkCancel(const QString& text) = 0;
};

class TQtMessageBoxes : public IMessageBoxes {
public:
    explicit TQtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Message(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    bool AskOkCancel(const QString& text) override;

private:
    QWidget* parent_;
};
