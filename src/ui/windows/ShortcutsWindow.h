#pragma once
// The list of shortcut keys, read-only text; Esc hides it.

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
struct TSettings;

class TShortcutsWindow : public QWidget {
    Q_OBJECT
public:
    explicit TShortcutsWindow(QWidget* parent = nullptr);

    // The 32 lines shown, each key text, tabs and description.
    static QStringList Lines();
    QPlainTextEdit* ShortcutsText() const { return memo_; }

    // Position from the settings, kept on the work area; and back.
    void LoadFromSettings(const TSettings& s);
    void SaveToSettings(TSettings& s) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* memo_ = nullptr;
};
