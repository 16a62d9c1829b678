#include "session/SessionProbe.h"

#include "evdev/KeyboardDevices.h"
#include "wayland/WaylandConnection.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QXmlStreamReader>

#include <X11/Xlib.h>

namespace quillet {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

QStringList interfacesIn(const QString& introspection)
{
    QStringList out;
    QXmlStreamReader xml(introspection);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"interface")
            out << xml.attributes().value(QLatin1String("name")).toString();
    }
    return out;
}

bool xDisplayAnswers(const QString& name)
{
    if (name.isEmpty())
        return false;
    Display* display = XOpenDisplay(name.toLocal8Bit().constData());
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

} // namespace

SessionInfo SessionProbe::local(const QProcessEnvironment& env)
{
    SessionInfo info;
    info.desktops =
        env.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':', Qt::SkipEmptyParts);
    info.user = env.value(QStringLiteral("USER"));
    const QString wayland = env.value(QStringLiteral("WAYLAND_DISPLAY"));
    const QString sessionType = env.value(QStringLiteral("XDG_SESSION_TYPE"));
    if (!wayland.isEmpty()) {
        if (const auto globals = WaylandConnection::globalsOf(wayland.toLocal8Bit())) {
            info.kind = SessionInfo::Kind::wayland;
            for (const auto& g : *globals)
                info.waylandGlobals.insert(QString::fromLatin1(g.interface), g.version);
        }
    }
    const QString display = env.value(QStringLiteral("DISPLAY"));
    // Under Wayland, Xwayland may start only when a client connects: the name is enough.
    info.xDisplay =
        info.kind == SessionInfo::Kind::wayland ? !display.isEmpty() : xDisplayAnswers(display);
    if (info.kind == SessionInfo::Kind::none && info.xDisplay)
        info.kind = SessionInfo::Kind::x11;
    if (info.kind == SessionInfo::Kind::none && sessionType == u"wayland")
        info.kind = SessionInfo::Kind::wayland;

    for (const KeyboardDevices::Device& device : KeyboardDevices::list()) {
        ++info.keyboards;
        if (device.readable)
            ++info.readableKeyboards;
    }
    info.uinputWritable = KeyboardDevices::uinputWritable();
    info.swayIpc = !env.value(QStringLiteral("SWAYSOCK")).isEmpty();
    return info;
}

QCoro::Task<SessionInfo> SessionProbe::withPortals(SessionInfo info, QDBusConnection bus,
                                                   std::chrono::milliseconds timeout)
{
    if (!bus.isConnected())
        co_return info;
    const int ms = static_cast<int>(timeout.count());
    // Asking starts the portal if it is not running yet.
    QDBusPendingCall introspecting = bus.asyncCall(
        QDBusMessage::createMethodCall(portalService, portalPath,
                                       QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                       QStringLiteral("Introspect")),
        ms);
    const QDBusMessage reply = co_await introspecting;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return info;
    for (const QString& interface : interfacesIn(reply.arguments().first().toString())) {
        if (!interface.startsWith(u"org.freedesktop.portal."))
            continue;
        QDBusMessage get = QDBusMessage::createMethodCall(
            portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << interface << QStringLiteral("version");
        QDBusPendingCall asking = bus.asyncCall(get, ms);
        const QDBusMessage version = co_await asking;
        info.portals.insert(
            interface,
            version.type() == QDBusMessage::ReplyMessage && !version.arguments().isEmpty()
                ? version.arguments().first().value<QDBusVariant>().variant().toUInt()
                : 0);
    }
    co_return info;
}

QByteArray SessionProbe::qtPlatform(const SessionInfo& info)
{
    if (info.kind != SessionInfo::Kind::wayland || !info.xDisplay)
        return {};
    const bool nativeWorks =
        info.hasGlobal("zwlr_layer_shell_v1") && (info.hasGlobal("ext_data_control_manager_v1") ||
                                                  info.hasGlobal("zwlr_data_control_manager_v1"));
    return nativeWorks ? QByteArray() : QByteArray("xcb");
}

} // namespace quillet
