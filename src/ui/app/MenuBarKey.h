#pragma once
// The menu-bar key of the main window: F10 opens the first menu of the bar,
// as desktop programs do (Qt leaves the key unbound here). Escape in a menu
// closes it and gives the keys back to the window, so that the Right-arrow
// key keys Morse again instead of walking the menu bar.

#include <QObject>

class QMainWindow;

class TMenuBarKey : public QObject {
public:
    // Binds F10 on the window and watches the menus already in its bar.
    explicit TMenuBarKey(QMainWindow* window);

    void OpenFirstMenu();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QMainWindow* window_;
};
