#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <array>

namespace quillet {

// The push-to-talk key. It is stored (preference "hotkey") as its key code, the code the key
// monitor reports for it; while it is down, its flag bit is set in every modifier event.
class HotKey {
    Q_GADGET
public:
    enum Key {
        rightOption,
        rightCommand,
        rightControl,
        rightShift,
        fn,
        leftOption,
    };
    Q_ENUM(Key)

    static constexpr std::array<Key, 6> all = {rightOption, rightCommand, rightControl,
                                               rightShift,  fn,           leftOption};

    constexpr HotKey(Key key = rightOption)
        : m_key(key)
    {}

    // A code that is none of the six keys' (or no stored value at all) means Right Alt.
    static HotKey fromKeyCode(int code);

    Key key() const { return m_key; }
    int keyCode() const;
    quint64 flagMask() const;
    // What the settings window's key picker and the menu call it, e.g. "Right Alt".
    QString displayName() const;
    // The short form of the HUD's status line, e.g. "Alt".
    QString symbol() const;

    friend constexpr bool operator==(HotKey, HotKey) = default;

private:
    Key m_key;
};

} // namespace quillet

Q_DECLARE_METATYPE(quillet::HotKey)
