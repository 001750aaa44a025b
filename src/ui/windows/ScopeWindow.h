#pragma once
// The scope window "Orvo Scope": the signal display above a one-line
// status bar that shows the element timing of the character starting the
// red zone. Keys typed into it go on to the main window, so the Morse key
// and every hot key keep working while it has the focus.

#include "analysis/CharRecord.h"
#include "controls/CWScope.h"

#include <QString>
#include <QWidget>

class QStatusBar;

class TScopeWindow : public QWidget {
    Q_OBJECT
public:
    explicit TScopeWindow(QWidget* parent = nullptr);

    TCWScope* ScopeDisplay() const { return scope_; }
    QStatusBar* ScopeStatusBar() const { return status_; }
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // Where key events go (the main window); null keeps them here.
    void SetKeyTarget(QWidget* target) { keyTarget_ = target; }

    // " / n / d1 / ... / dn" for a character record.
    static QString RecordText(const CharRecord& rec);

    // Shows the window and gives the focus back to the main window, or
    // hides it and empties the status line.
    void ShowScope(bool show);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void Forward(QKeyEvent* e);

    TCWScope* scope_ = nullptr;
    QStatusBar* status_ = nullptr;
    QWidget* keyTarget_ = nullptr;
};
