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

    Type type = Type::keyDown;
    int keyCode = 0;
    // Every modifier held, including the one that changed.
    quint64 flags = 0;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

} // namespace quillet
