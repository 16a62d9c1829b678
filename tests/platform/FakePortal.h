#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QStringList>

// One shortcut as the portal passes it: (sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)

inline QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s)
{
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

inline const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s)
{
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

// A desktop portal on a bus connection of its own, with the RemoteDesktop and GlobalShortcuts
// interfaces as xdg-desktop-portal 1.16 has them: requests answered through Request objects,
// sessions that the "desktop" can close. What the user would answer is set beforehand; what was
// typed and bound is kept for inspection.
class FakePortal final : public QDBusVirtualObject {
    Q_OBJECT
public:
    static inline const QString service = QStringLiteral("com.fernwick.quillet.TestPortal");
    static inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");

    // The user's answers: 0 allow, 1 cancel.
    uint startResponse = 0;
    uint bindResponse = 0;
    // What the user lets the remote-desktop session use (1 keyboard, 2 pointer).
    uint devicesGranted = 1;
    QString trigger = QStringLiteral("Ctrl+Alt+Space");

    // Keys typed through sessions, "Control_L+" for a press and "v-" for a release.
    QStringList keys;
    // The shortcuts asked for: id and preferred trigger.
    QStringList wantedShortcuts;
    QList<QDBusObjectPath> sessions;

    FakePortal()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("fake-portal")))
    {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        m_bus.registerVirtualObject(path, this, QDBusConnection::SubPath);
        m_bus.registerService(service);
    }
    ~FakePortal() override
    {
        m_bus.unregisterService(service);
        m_bus.unregisterObject(path, QDBusConnection::UnregisterTree);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }

    // The desktop reports the shortcut pressed or released.
    void press(bool down, const QString& id = QStringLiteral("push-to-talk"))
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
            down ? QStringLiteral("Activated") : QStringLiteral("Deactivated"));
        signal << QVariant::fromValue(sessions.value(0)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(signal);
    }
    // The desktop ends every session (the user revoked it, the portal restarted).
    void closeSessions()
    {
        for (const QDBusObjectPath& s : std::as_const(sessions))
            m_bus.send(QDBusMessage::createSignal(s.path(),
                                                  QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Closed")));
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        const QString member = message.member();
        const QVariantList args = message.arguments();
        if (member == u"NotifyKeyboardKeysym") {
            keys << keysymName(args.value(2).toInt()) + (args.value(3).toUInt() ? u'+' : u'-');
            m_bus.send(message.createReply());
            return true;
        }
        if (member == u"Close" || args.isEmpty()) {
            m_bus.send(message.createReply());
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString token = options.value(QStringLiteral("handle_token")).toString();
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QString request =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));

        uint response = 0;
        QVariantMap results;
        if (member == u"CreateSession") {
            const QDBusObjectPath session(
                QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                    .arg(sender, options.value(QStringLiteral("session_handle_token")).toString()));
            sessions << session;
            results.insert(QStringLiteral("session_handle"), session.path());
        } else if (member == u"Start") {
            response = startResponse;
            results.insert(QStringLiteral("devices"), devicesGranted);
        } else if (member == u"BindShortcuts") {
            response = bindResponse;
            for (const PortalShortcut& s : qdbus_cast<QList<PortalShortcut>>(args.value(1)))
                wantedShortcuts
                    << s.id + u' ' +
                           s.properties.value(QStringLiteral("preferred_trigger")).toString();
            QList<PortalShortcut> bound;
            if (bindResponse == 0)
                bound << PortalShortcut{QStringLiteral("push-to-talk"),
                                        {{QStringLiteral("trigger_description"), trigger}}};
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
        }
        QDBusMessage answer = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        answer << response << results;
        m_bus.send(answer);
        return true;
    }

private:
    static QString keysymName(int keysym)
    {
        switch (keysym) {
        case 0xffe3:
            return QStringLiteral("Control_L");
        case 0xffe1:
            return QStringLiteral("Shift_L");
        case 0x76:
            return QStringLiteral("v");
        default:
            return QString::number(keysym, 16);
        }
    }

    QDBusConnection m_bus;
};
