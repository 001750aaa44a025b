// The main window's keyboard: the characters
// typed for sending and the hot keys, each routed to the unit that
// handles it. The Morse keys are TKeyMapping's; the menu's own shortcuts
// are not here either.

#include "app/MainWindow.h"

#include "app/WindowCommands.h"
#include "windows/TimingWindow.h"

#include <QKeyEvent>

namespace {

Qt::KeyboardModifiers Mods(const QKeyEvent* e) {
    return e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

}  // namespace

void TMainWindow::keyPressEvent(QKeyEvent* e) {
    FormKeyDown(e);
    // Then the character the key types, as the window system delivers it.
    switch (e->key()) {
        case Qt::Key_Escape:
            FormKeyPress(27);
            return;
        case Qt::Key_Backspace:
            FormKeyPress(8);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            FormKeyPress(13);
            return;
        case Qt::Key_Delete:
        case Qt::Key_Tab:
            return;
        default:
            break;
    }
    // Alt combinations are menu accelerators, not text.
    if (Mods(e) & Qt::AltModifier && !(Mods(e) & Qt::ControlModifier))
        return;
    const QString text = e->text();
    if (text.size() != 1)
        return;
    const char16_t u = text.at(0).unicode();
    // The generator's character set is Windows-1252; Latin-1 covers every
    // character it can send.
    if (u == 0 || u > 0xFF || u == 0x7F)
        return;
    FormKeyPress(static_cast<unsigned char>(u));
}

void TMainWindow::keyReleaseEvent(QKeyEvent* e) {
    // The Morse keys never get here: TKeyMapping takes them in every window.
    QMainWindow::keyReleaseEvent(e);
}

void TMainWindow::FormKeyDown(QKeyEvent* e) {
    const int key = e->key();
    const Qt::KeyboardModifiers mods = Mods(e);
    const bool none = mods == Qt::NoModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool shiftCtrl = mods == (Qt::ShiftModifier | Qt::ControlModifier);

    if (Sending().Busy())
        return;

    switch (key) {
        case Qt::Key_F3:
            if (none)
                ShowTiming();
            break;
        case Qt::Key_F4:
            ShowHideDecodedChars();
            break;
        case Qt::Key_F5:
            if (none && showForm_->isVisible())
                showForm_->ResetValues(showForm_->ShownSet());
            break;
        case Qt::Key_F6:
            if (none)
                ShowPracticeClick();
            break;
        case Qt::Key_F7:
        case Qt::Key_Pause:
            KeyInput().TogglePause();
            break;
        case Qt::Key_F12:
            if (mods == (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier))
                commands_->ToggleScope();
            break;
        case Qt::Key_F8:
            if (none)
                ShowTyped(!Settings().ShTyped);
            break;
        case Qt::Key_Delete:
            if (none)
                ClearDecoded();
            else if (ctrl) {
                DropTypeAhead();
                ClearTyped();
            }
            break;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            int step = 0;
            if (none || ctrl)
                step = 1;
            else if (shift)
                step = 10;
            else if (shiftCtrl)
                step = 100;
            if (step)
                ChangeTargetSpeed(key == Qt::Key_Up ? step : -step);
            ClearFocus();
            e->accept();
            break;
        }
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            const int32_t d = key == Qt::Key_PageUp ? -1 : 1;
            if (none)
                ZoneMove(1, d);
            else if (ctrl)
                ZoneMove(2, d);
            else if (shift)
                ZoneMove(3, d);
            break;
        }
        case Qt::Key_Home:
        case Qt::Key_End: {
            const int32_t d = key == Qt::Key_Home ? TAnalyser::kToOldest : TAnalyser::kToNewest;
            if (none)
                ZoneMove(1, d);
            else if (ctrl)
                ZoneMove(2, d);
            break;
        }
        case Qt::Key_F9:
            if (none || shift)
                ReplayRed(shift);
            else if (ctrl || shiftCtrl)
                ReplayGreen(shiftCtrl);
            break;
        default:
            QMainWindow::keyPressEvent(e);
            break;
    }
}

void TMainWindow::ClearFocus() {
    if (QWidget* f = focusWidget())
        f->clearFocus();
    setFocus(Qt::OtherFocusReason);
}
