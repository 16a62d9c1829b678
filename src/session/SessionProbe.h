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

    // The toolkit platform the program should run on, or empty for the toolkit's own choice. On
    // a Wayland desktop without an overlay layer or a clipboard for clients without focus
    // (GNOME), the X11 platform through Xwayland gives both: an overlay window that takes no
    // input for the pill and a clipboard that works unfocused.
    static QByteArray qtPlatform(const SessionInfo& info);
};

} // namespace quillet
