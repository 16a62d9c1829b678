#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct xkb_context;
struct xkb_keymap;

namespace quillet {

// A keyboard layout as xkbcommon compiles it: where a symbol sits and which modifier bits mean
// Ctrl and Shift. Shortcuts follow the symbols of the active layout, so the paste chord must be
// typed where the user's layout has V, not where a US layout has it.
class XkbKeymap {
public:
    // A key that yields a symbol: the key's kernel code, the layout (group) it is in and the
    // modifiers its shift level needs.
    struct Key {
        quint32 code = 0;
        quint32 group = 0;
        quint32 modifiers = 0;

        friend bool operator==(const Key&, const Key&) = default;
    };

    // From a keymap in the text format a compositor sends; none when it does not compile.
    static std::optional<XkbKeymap> fromText(const QByteArray& text);
    // From layout names (empty: the XKB_DEFAULT_* environment, then xkbcommon's defaults).
    static std::optional<XkbKeymap> fromNames(const QByteArray& layout = {},
                                              const QByteArray& variant = {});

    // The whole keymap as text, for handing to a compositor.
    QByteArray text() const;
    // The key with `keysym` at the lowest shift level, in the first layout that has it.
    std::optional<Key> find(quint32 keysym) const;
    // The modifier bit called `name` ("Control", "Shift"); 0 when the keymap has none.
    quint32 modifier(const char* name) const;
    // The first layout's name, e.g. "German".
    QString layoutName() const;
    // A layout to type with, not the handful of keys a typing tool makes up for what it types.
    bool isFullLayout() const;

private:
    explicit XkbKeymap(std::shared_ptr<xkb_keymap> keymap);

    std::shared_ptr<xkb_keymap> m_keymap;
};

} // namespace quillet
