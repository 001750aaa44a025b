#include "app/KeyMapping.h"

#include "session/KeyInput.h"
#include "settings/KeyNames.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <algorithm>

TKeyMapping::TKeyMapping(TKeyboardMouseSource& source, const QWidget* mainWindow, QObject* parent)
    : QObject(parent), source_(source), mainWindow_(mainWindow) {
    keys_ = ResolveKeys(TSettings{});
    OnStraightKey = [this](bool down, uint64_t ts) { source_.Key(down, ts); };
    OnPaddle = [this](bool dit, bool down) { source_.Paddle(dit, down); };
}

void TKeyMapping::Apply(const TSettings& s, std::vector<std::string>* messages) {
    SetKeys(ResolveKeys(s, messages), s.Keyer != 0);
}

void TKeyMapping::SetKeys(const TKeyMap& keys, bool keyer) {
    keys_ = keys;
    keyerOn_ = keyer;
    held_.clear();
}

bool TKeyMapping::EditsText(const QObject* watched, const QKeyEvent* k) const {
    switch (k->key()) {
        case Qt::Key_Control:
        case Qt::Key_Shift:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return false;  // a modifier alone edits nothing
        default:
            break;
    }
    const auto* w = static_cast<const QWidget*>(watched);
    if (w->window() == mainWindow_)
        return false;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
        qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(w);
    return combo && combo->isEditable();
}

uint32_t TKeyMapping::KeySymOf(const QKeyEvent* e) {
    // The X key symbol, which tells Left and Right Ctrl apart.
    if (e->nativeVirtualKey() != 0)
        return KeySymFromName(KeySymName(e->nativeVirtualKey())) ? e->nativeVirtualKey() : 0;
    const int key = e->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint32_t('a' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint32_t('0' + (key - Qt::Key_0));
    switch (key) {
        case Qt::Key_Right:
            return KeySymFromName("Right");
        case Qt::Key_Left:
            return KeySymFromName("Left");
        case Qt::Key_Up:
            return KeySymFromName("Up");
        case Qt::Key_Down:
            return KeySymFromName("Down");
        case Qt::Key_Control:
            return KeySymFromName("Control_L");
        case Qt::Key_Shift:
            return KeySymFromName("Shift_L");
        case Qt::Key_Alt:
            return KeySymFromName("Alt_L");
        case Qt::Key_Space:
            return KeySymFromName("space");
        case Qt::Key_Return:
            return KeySymFromName("Return");
        case Qt::Key_Tab:
            return KeySymFromName("Tab");
        case Qt::Key_Insert:
            return KeySymFromName("Insert");
        case Qt::Key_Delete:
            return KeySymFromName("Delete");
        case Qt::Key_Home:
            return KeySymFromName("Home");
        case Qt::Key_End:
            return KeySymFromName("End");
        case Qt::Key_PageUp:
            return KeySymFromName("Prior");
        case Qt::Key_PageDown:
            return KeySymFromName("Next");
        case Qt::Key_Menu:
            return KeySymFromName("Menu");
        default:
            return 0;
    }
}

bool TKeyMapping::eventFilter(QObject* watched, QEvent* e) {
    if ((e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) || !watched->isWidgetType())
        return QObject::eventFilter(watched, e);
    auto* k = static_cast<QKeyEvent*>(e);
    const uint32_t sym = KeySymOf(k);
    if (sym == 0)
        return false;
    const bool down = e->type() == QEvent::KeyPress;
    if (keyerOn_ ? sym != keys_.dit && sym != keys_.dah : sym != keys_.straight)
        return false;
    const auto held = std::find(held_.begin(), held_.end(), sym);
    if (held == held_.end() && EditsText(watched, k))
        return false;
    // A held key repeats as release/press pairs marked auto-repeat.
    if (k->isAutoRepeat())
        return true;
    if (down && held == held_.end())
        held_.push_back(sym);
    else if (!down && held != held_.end())
        held_.erase(held);
    if (keyerOn_) {
        if (OnPaddle)
            OnPaddle(sym == keys_.dit, down);
    } else if (OnStraightKey) {
        OnStraightKey(down, k->timestamp());
    }
    return true;
}
