#pragma once

#include <QtGlobal>

namespace quillet {

// One keyboard event as the controller handles it. Key codes and flag bits are those of the
// push-to-talk key table: Right Alt 61 (0x40), Right Super 54 (0x10), Right Ctrl 62 (0x2000),
// Right Shift 60 (0x4), the Menu key 63 (0x800000), Left Alt 58 (0x20); either Shift also sets
// 0x20000; Escape goes down as 53.
struct KeyEvent {
    enum class Type {
        keyDown = 10,
        // A modifier key went down or up; `flags` is the state after the change.
        flagsChanged = 12,
    };

    static constexpr int escapeKeyCode = 53;
    static constexpr quint64 shiftFlag = 0x20000;

    // The flag bit a push-to-talk key sets while it is down, for adapters that report the key
    // without seeing it (a desktop shortcut, a command); 0 for any other code.
    static constexpr quint64 pushToTalkFlag(int keyCode)
    {
        switch (keyCode) {
        case 61:
            return 0x40;
        case 54:
            return 0x10;
        case 62:
            return 0x2000;
        case 60:
            return 0x4;
        case 63:
            return 0x800000;
        case 58:
            return 0x20;
        default:
            return 0;
        }
    }

    Type type = Type::keyDown;
    int keyCode = 0;
    // Every modifier held, including the one that changed.
    quint64 flags = 0;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

} // namespace quillet
