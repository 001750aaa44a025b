#pragma once
// The Morse keys on the keyboard: watches key presses and releases in every
// window of the program and hands the configured straight key, or with the
// keyer on the two paddle keys, to key input, each with its event's
// timestamp. Keys are matched by their X key symbol (the names of the
// [Keys] settings); events without one are matched through their Qt key.

#include "session/IambicKeyer.h"
#include "settings/Settings.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QKeyEvent;
class TKeyboardMouseSource;

class TKeyMapping : public QObject {
public:
    // Watches the whole program once installed on the application; keys go
    // to source, paddles through the keyer it owns.
    TKeyMapping(const IClock& clock, ITimerFactory& timers, TKeyboardMouseSource& source,
                QObject* parent = nullptr);

    // The [Keys] settings and the target speed in force; the messages of
    // key names the table does not know.
    void Apply(const TSettings& s, int targetCpm, std::vector<std::string>* messages = nullptr);
    TIambicKeyer& Keyer() { return keyer_; }

    // The keys in force and whether the keyer is on (the paddle keys are
    // then watched instead of the straight key).
    void SetKeys(const TKeyMap& keys, bool keyer);
    const TKeyMap& Keys() const { return keys_; }
    bool KeyerOn() const { return keyerOn_; }

    // The key symbol of a key event (0 when it has none).
    static uint32_t KeySymOf(const QKeyEvent* e);

    std::function<void(bool down, uint64_t timestampMs)> OnStraightKey;
    std::function<void(bool dit, bool down)> OnPaddle;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TIambicKeyer keyer_;
    TKeyboardMouseSource& source_;
    TKeyMap keys_;
    bool keyerOn_ = false;
};
