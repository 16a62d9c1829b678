#pragma once

#include "platform/KeyEvent.h"

#include <QSet>

#include <bitset>
#include <optional>

namespace quillet {

// Turns raw key presses and releases, which carry no modifier state, into the controller's key
// events. Keys are physical XKB keycodes (the kernel's evdev code + 8, as X11 and xkbcommon number
// them), never keysyms: Right Alt is 108 whether the layout calls it Alt_R or ISO_Level3_Shift.
// Modifier keys yield flag changes only, other keys key-downs only; a press of a key already down
// (auto-repeat) yields nothing.
class KeyTracker {
public:
    static constexpr int escapeKeycode = 9;
    static constexpr int menuKeycode = 135;
    // Keys with no code of their own in the controller's table report this plus their keycode.
    static constexpr int otherKeyBase = 1000;
    // Held by any modifier key outside the named ones.
    static constexpr quint64 otherModifierFlag = 0x1000000;

    // The Menu key (code 63) counts as a modifier only while it is the push-to-talk key.
    void setPushToTalkKey(int keyCode) { m_pushToTalkKey = keyCode; }
    // Further keycodes the keyboard map binds to a modifier (AltGr on a key of its own, say).
    void setExtraModifiers(QSet<int> keycodes) { m_extraModifiers = std::move(keycodes); }
    // The keys held right now, one bit per keycode as XQueryKeymap answers, so that a key held
    // at start-up counts as down. Yields no events.
    void setHeldKeys(const char keymap[32]);
    // One key found held (or no longer held) without a press or release being seen: a keyboard
    // plugged in or read again after events were lost. Yields no event.
    void setHeld(int keycode, bool down);

    std::optional<KeyEvent> press(int keycode, bool repeat);
    std::optional<KeyEvent> release(int keycode);
    // The modifier flags of the keys held now.
    quint64 flags() const;

private:
    struct Modifier {
        int code;
        quint64 flags;
    };
    std::optional<Modifier> modifier(int keycode) const;

    std::bitset<256> m_down;
    int m_pushToTalkKey = 61;
    QSet<int> m_extraModifiers;
};

} // namespace quillet
