#include "app/KeyMapping.h"

#include "session/KeyInput.h"
#include "settings/KeyNames.h"

#include <QKeyEvent>

TKeyMapping::TKeyMapping(const IClock& clock, ITimerFactory& timers, TKeyboardMouseSource& source,
                         QObject* parent)
    : QObject(parent), keyer_(clock, timers), source_(source)
{
    keys_ = ResolveKeys(TSettings{});
    OnStraightKey = [this](bool down, uint64_t ts) { source_.Key(down, ts); };
    OnPaddle = [this](bool dit, bool down) { source_.Paddle(dit, down); };
}

void TKeyMapping::Apply(const TSettings& s, int targetCpm, std::vector<std::string>* messages)
{
    keyer_.SetMode(s.Keyer);
    keyer_.SetSwap(s.PaddleSwap);
    keyer_.SetSpeed(targetCpm);
    SetKeys(ResolveKeys(s, messages), s.Keyer != TIambicKeyer::Straight);
    source_.SetKeyer(s.Keyer != TIambicKeyer::Straight ? &keyer_ : nullptr);
}

void TKeyMapping::SetKeys(const TKeyMap& keys, bool keyer)
{
    keys_ = keys;
    keyerOn_ = keyer;
}

uint32_t TKeyMapping::KeySymOf(const QKeyEvent* e)
{
    // The X key symbol, which tells Left and Right Ctrl apart.
    if (e->nativeVirtualKey() != 0)
        return KeySymFromName(KeySymName(e->nativeVirtualKey())) ? e->nativeVirtualKey() : 0;
    const int key = e->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint32_t('a' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return uint32_t('0' + (key - Qt::Key_0));
    switch (key) {
    case Qt::Key_Right: return KeySymFromName("Right");
    case Qt::Key_Left: return KeySymFromName("Left");
    case Qt::Key_Up: return KeySymFromName("Up");
    case Qt::Key_Down: return KeySymFromName("Down");
    case Qt::Key_Control: return KeySymFromName("Control_L");
    case Qt::Key_Shift: return KeySymFromName("Shift_L");
    case Qt::Key_Alt: return KeySymFromName("Alt_L");
    case Qt::Key_Space: return KeySymFromName("space");
    case Qt::Key_Return: return KeySymFromName("Return");
    case Qt::Key_Tab: return KeySymFromName("Tab");
    case Qt::Key_Insert: return KeySymFromName("Insert");
    case Qt::Key_Delete: return KeySymFromName("Delete");
    case Qt::Key_Home: return KeySymFromName("Home");
    case Qt::Key_End: return KeySymFromName("End");
    case Qt::Key_PageUp: return KeySymFromName("Prior");
    case Qt::Key_PageDown: return KeySymFromName("Next");
    case Qt::Key_Menu: return KeySymFromName("Menu");
    default: return 0;
    }
}

bool TKeyMapping::eventFilter(QObject* watched, QEvent* e)
{
    if ((e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) || !watched->isWidgetType())
        return QObject::eventFilter(watched, e);
    auto* k = static_cast<QKeyEvent*>(e);
    const uint32_t sym = KeySymOf(k);
    if (sym == 0)
        return false;
    const bool down = e->type() == QEvent::KeyPress;
    if (keyerOn_) {
        if (sym != keys_.dit && sym != keys_.dah)
            return false;
        // A held key repeats as release/press pairs marked auto-repeat.
        if (!k->isAutoRepeat() && OnPaddle)
            OnPaddle(sym == keys_.dit, down);
        return true;
    }
    if (sym != keys_.straight)
        return false;
    if (!k->isAutoRepeat() && OnStraightKey)
        OnStraightKey(down, k->timestamp());
    return true;
}
