#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quillet {

// What the desktop session offers, as found at start-up (SessionProbe): a plain record the
// adapters are chosen from and the settings can show.
struct SessionInfo {
    enum class Kind {
        x11,
        wayland,
        // No display at all (a terminal, a test).
        none,
    };

    Kind kind = Kind::none;
    // XDG_CURRENT_DESKTOP's parts, e.g. {"ubuntu", "GNOME"}, {"KDE"}, {"sway"}.
    QStringList desktops;
    // An X display answers: the session's own, or Xwayland's.
    bool xDisplay = false;
    // The Wayland compositor's globals (interface and version); empty when it did not answer.
    QHash<QString, quint32> waylandGlobals;
    // The desktop portal's interfaces (e.g. "org.freedesktop.portal.RemoteDesktop") and
    // versions; empty when no portal answered.
    QHash<QString, quint32> portals;
    // Keyboard event devices, and how many of them this process may read.
    int keyboards = 0;
    int readableKeyboards = 0;
    bool uinputWritable = false;
    // sway's IPC socket is known.
    bool swayIpc = false;
    // The toolkit's display platform ("xcb", "wayland"); empty before the application exists.
    QString qtPlatform;
    // The login name, for the commands the settings offer to copy.
    QString user;

    bool hasGlobal(const char* interface) const
    {
        return waylandGlobals.contains(QLatin1String(interface));
    }
    bool hasPortal(const char* interface) const
    {
        return portals.contains(QLatin1String(interface));
    }
    bool isDesktop(const char* name) const
    {
        return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
    }

    friend bool operator==(const SessionInfo&, const SessionInfo&) = default;
};

} // namespace quillet
