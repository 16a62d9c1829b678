#include "xdg/KnownTerminals.h"

#include <algorithm>

namespace quillet {

namespace {

constexpr const char* knownTerminals[] = {
    "gnome-terminal-server",
    "org.gnome.Terminal",
    "konsole",
    "org.kde.konsole",
    "kitty",
    "Alacritty",
    "org.wezfurlong.wezterm",
    "XTerm",
    "UXTerm",
    "URxvt",
    "Tilix",
    "com.gexperts.Tilix",
    "terminator",
    "xfce4-terminal",
    "mate-terminal",
    "lxterminal",
    "qterminal",
    "foot",
    "footclient",
    "st",
    "st-256color",
    "Ghostty",
    "com.mitchellh.ghostty",
    "kgx",
    "org.gnome.Console",
    "org.gnome.Ptyxis",
    "io.elementary.terminal",
    "Termite",
    "sakura",
    "guake",
    "tilda",
    "Terminology",
    "Eterm",
};

} // namespace

bool KnownTerminals::contains(const QStringList& names)
{
    return std::any_of(std::begin(knownTerminals), std::end(knownTerminals), [&](const char* t) {
        return names.contains(QLatin1String(t), Qt::CaseInsensitive);
    });
}

} // namespace quillet
