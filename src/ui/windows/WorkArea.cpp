#include "windows/WorkArea.h"

#include "settings/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void PlaceOnWorkArea(QWidget* window, int top, int left) {
    int32_t t = top, l = left, h = window->height();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect a = screen->availableGeometry();
        FitToWorkArea(t, l, h, window->width(), a.left(), a.top(), a.right() + 1, a.bottom() + 1);
    }
    if (h != window->height())
        window->resize(window->width(), h);
    window->move(l, t);
}
