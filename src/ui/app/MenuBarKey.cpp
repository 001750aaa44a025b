#include "app/MenuBarKey.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

TMenuBarKey::TMenuBarKey(QMainWindow* window) : QObject(window), window_(window) {
    auto* key = new QAction(window);
    key->setObjectName(QStringLiteral("MenuBarKey"));
    key->setShortcut(QKeySequence(Qt::Key_F10));
    key->setShortcutContext(Qt::WindowShortcut);
    window->addAction(key);
    connect(key, &QAction::triggered, this, [this] { OpenFirstMenu(); });
    for (QAction* a : window->menuBar()->actions())
        if (QMenu* m = a->menu())
            m->installEventFilter(this);
}

void TMenuBarKey::OpenFirstMenu() {
    QMenuBar* bar = window_->menuBar();
    const QList<QAction*> menus = bar->actions();
    if (!menus.isEmpty())
        bar->setActiveAction(menus.first());
}

bool TMenuBarKey::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Escape)
        return false;
    // The menu closes as usual and leaves its title highlighted with the
    // focus on the bar; a second Escape there hands the focus back to the
    // widget that had it before.
    watched->event(e);
    QMenuBar* bar = window_->menuBar();
    if (bar->hasFocus()) {
        QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &again);
    }
    return true;
}
