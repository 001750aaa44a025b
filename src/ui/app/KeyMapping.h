#pragma once
// The Morse keys on the keyboard: watches key presses and releases in every
// window of the program and hands the configured straight key, or with the
// keyer on the two paddle keys, to key input, each with its event's
// timestamp. Keys are matched by their X key symbol (the names of the
// [Keys] settings); events without one are matched through their Qt key.
// In the edit fields and spin boxes of the other windows a key that edits
// (the Right arrow, space ...) edits, so those windows stay usable; a key
// pressed elsewhere is still followed to its release.

#include "settings/Settings.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QKeyEvent;
class QWidget;
class TKeyboardMouseSource;

class TKeyMapping : public QObject {
public:
    // Watches the whole program once installed on the application; keys and
    // paddles go to source (which has the session's keyer when it is on).
    // mainWindow: the window that keys from every widget.
    TKeyMapping(TKeyboardMouseSource& source, const QWidget* mainWindow, QObject* parent = nullptr);

    // The [Keys] settings in force; the messages of key names the table
    // does not know.
    void Apply(const TSettings& s, std::vector<std::string>* messages = nullptr);

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
    // A text-editing widget of another window, and a key that edits there.
    bool EditsText(const QObject* watched, const QKeyEvent* k) const;

    TKeyboardMouseSource& source_;
    const QWidget* mainWindow_;
    TKeyMap keys_;
    bool keyerOn_ = false;
    // Keys whose press was taken, so their release is taken wherever it lands.
    std::vector<uint32_t> held_;
};
