#pragma once

#include <QStringList>

namespace quillet {

// Terminal emulators by the names their windows carry: X11 window classes (either part of
// WM_CLASS) and Wayland application ids. Terminals paste with Ctrl+Shift+V.
class KnownTerminals {
public:
    // One of `names` (compared ignoring case) is a known terminal.
    static bool contains(const QStringList& names);
};

} // namespace quillet
