#include "input/KeyTracker.h"

namespace quillet {

namespace {

// Side-independent bits besides Shift's, as the controller's flags word has them.
constexpr quint64 controlFlag = 0x40000;
constexpr quint64 altFlag = 0x80000;
constexpr quint64 superFlag = 0x100000;
constexpr quint64 capsLockFlag = 0x10000;

} // namespace

void KeyTracker::setHeldKeys(const char keymap[32])
{
    for (int k = 0; k < 256; ++k)
        m_down[k] = (keymap[k / 8] >> (k % 8)) & 1;
}

void KeyTracker::setHeld(int keycode, bool down)
{
    if (keycode >= 0 && keycode < 256)
        m_down[keycode] = down;
}

std::optional<KeyTracker::Modifier> KeyTracker::modifier(int keycode) const
{
    switch (keycode) {
    case 50: // Left Shift
        return Modifier{56, 0x2 | KeyEvent::shiftFlag};
    case 62: // Right Shift
        return Modifier{60, 0x4 | KeyEvent::shiftFlag};
    case 37: // Left Ctrl
        return Modifier{59, 0x1 | controlFlag};
    case 105: // Right Ctrl
        return Modifier{62, 0x2000 | controlFlag};
    case 64: // Left Alt
        return Modifier{58, 0x20 | altFlag};
    case 108: // Right Alt (AltGr on many layouts)
        return Modifier{61, 0x40 | altFlag};
    case 133: // Left Super
        return Modifier{55, 0x8 | superFlag};
    case 134: // Right Super
        return Modifier{54, 0x10 | superFlag};
    case 66: // Caps Lock
        return Modifier{57, capsLockFlag};
    case menuKeycode:
        if (m_pushToTalkKey == 63)
            return Modifier{63, 0x800000};
        return std::nullopt;
    default:
        if (m_extraModifiers.contains(keycode))
            return Modifier{otherKeyBase + keycode, otherModifierFlag};
        return std::nullopt;
    }
}

quint64 KeyTracker::flags() const
{
    quint64 flags = 0;
    for (int k = 0; k < 256; ++k) {
        if (m_down[k]) {
            if (const auto m = modifier(k))
                flags |= m->flags;
        }
    }
    return flags;
}

std::optional<KeyEvent> KeyTracker::press(int keycode, bool repeat)
{
    if (keycode < 0 || keycode > 255)
        return std::nullopt;
    if (repeat || m_down[keycode]) {
        m_down[keycode] = true;
        return std::nullopt;
    }
    m_down[keycode] = true;
    if (const auto m = modifier(keycode))
        return KeyEvent{KeyEvent::Type::flagsChanged, m->code, flags()};
    const int code = keycode == escapeKeycode ? KeyEvent::escapeKeyCode : otherKeyBase + keycode;
    return KeyEvent{KeyEvent::Type::keyDown, code, flags()};
}

std::optional<KeyEvent> KeyTracker::release(int keycode)
{
    if (keycode < 0 || keycode > 255 || !m_down[keycode])
        return std::nullopt;
    m_down[keycode] = false;
    if (const auto m = modifier(keycode))
        return KeyEvent{KeyEvent::Type::flagsChanged, m->code, flags()};
    return std::nullopt;
}

} // namespace quillet
