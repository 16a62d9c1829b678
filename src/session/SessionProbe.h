#pragma once

#include "session/SessionInfo.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QProcessEnvironment>

#include <chrono>

namespace quillet {

// Finds out what the session offers, without holding up the event loop for long: one round trip
// to the compositor on a connection of its own, a look at the keyboard devices, and a question to
// the desktop portal with a short time-out.
class SessionProbe {
public:
    static constexpr std::chrono::milliseconds portalTimeout{1500};

    // Everything but the portal; needs no application object, so it can decide the toolkit's
    // platform before one is made.
    static SessionInfo
    local(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    // Adds the portal's interfaces and versions.
    static QCoro::Task<SessionInfo> withPortals(SessionInfo info,
                                                QDBusConnection bus = QDBusConnection::sessionBus(),
                                                std::chrono::milliseconds timeout = portalTimeout);

    // The toolkit platform the program should run on, or empty for the toolkit's own choice. A
    // Wayland desktop with a layer shell and a clipboard manager protocol (KDE, sway) gets the
    // toolkit's Wayland platform: the pill goes on a layer surface and the clipboard through
    // data-control, on connections of their own. One without them that runs Xwayland (GNOME)
    // gets the X11 platform, whose overlay window stays above every window, takes no input and
    // is placed where the program says, and whose clipboard works without focus there. Keys and
    // paste go through the Wayland adapters either way.
    static QByteArray qtPlatform(const SessionInfo& info);
};

} // namespace quillet
