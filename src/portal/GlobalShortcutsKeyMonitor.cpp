#include "portal/GlobalShortcutsKeyMonitor.h"

#include "portal/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QPointer>

namespace quillet {

namespace {

using namespace std::chrono_literals;

// Binding may show the desktop's shortcut dialog.
constexpr auto setUpTimeout = 10s;
constexpr auto bindTimeout = 600s;

// One shortcut as the portal passes it: (sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const Shortcut& s)
{
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Shortcut& s)
{
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

} // namespace

} // namespace quillet

Q_DECLARE_METATYPE(quillet::Shortcut)

namespace quillet {

GlobalShortcutsKeyMonitor::GlobalShortcutsKeyMonitor(QDBusConnection bus, QString portalService,
                                                     QObject* parent)
    : KeyMonitor(parent)
    , m_bus(std::move(bus))
    , m_service(std::move(portalService))
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

bool GlobalShortcutsKeyMonitor::start()
{
    if (m_bound || m_binding)
        return true;
    if (!m_bus.isConnected())
        return false;
    m_binding = true;
    bind();
    return true;
}

void GlobalShortcutsKeyMonitor::setPushToTalkKey(int keyCode)
{
    // A chord held under the old code is let go under it.
    if (m_down)
        press(false);
    m_keyCode = keyCode;
}

QCoro::Task<void> GlobalShortcutsKeyMonitor::bind()
{
    const QPointer<GlobalShortcutsKeyMonitor> self(this);
    const QDBusConnection bus = m_bus;
    const QString service = m_service;

    QCoro::Task<QDBusObjectPath> creating =
        PortalRequest::createSession(bus, service, interface, setUpTimeout);
    const QDBusObjectPath session = co_await creating;
    if (!self)
        co_return;
    if (session.path().isEmpty()) {
        finishBinding({}, {});
        co_return;
    }

    const QList<Shortcut> wanted{
        {shortcutId,
         {{QStringLiteral("description"), QStringLiteral("Push to talk (hold to dictate)")},
          {QStringLiteral("preferred_trigger"), preferredTrigger}}}};
    QCoro::Task<PortalRequest::Answer> binding = PortalRequest::call(
        bus, service, interface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(session), QVariant::fromValue(wanted), QString()}, {}, bindTimeout);
    const PortalRequest::Answer bound = co_await binding;
    if (!self)
        co_return;
    QList<Shortcut> shortcuts;
    const QVariant list = bound.results.value(QStringLiteral("shortcuts"));
    if (list.canConvert<QDBusArgument>())
        list.value<QDBusArgument>() >> shortcuts;
    for (const Shortcut& s : std::as_const(shortcuts)) {
        if (bound.granted() && s.id == shortcutId) {
            finishBinding(session,
                          s.properties.value(QStringLiteral("trigger_description")).toString());
            co_return;
        }
    }
    finishBinding({}, {});
}

void GlobalShortcutsKeyMonitor::finishBinding(const QDBusObjectPath& session,
                                              const QString& trigger)
{
    m_binding = false;
    m_session = session;
    m_trigger = trigger;
    m_bound = !session.path().isEmpty();
    if (m_bound) {
        for (const char* member : {"Activated", "Deactivated"}) {
            const bool activated = QByteArray(member) == "Activated";
            m_bus.connect(
                m_service, PortalRequest::path, interface, QLatin1String(member), this,
                activated ? SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap))
                          : SLOT(onDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        }
        m_bus.connect(m_service, session.path(), QStringLiteral("org.freedesktop.portal.Session"),
                      QStringLiteral("Closed"), this, SLOT(onClosed()));
    }
    emit availableChanged();
}

void GlobalShortcutsKeyMonitor::onActivated(const QDBusObjectPath& session, const QString& id,
                                            qulonglong, const QVariantMap&)
{
    if (session == m_session && id == shortcutId)
        press(true);
}

void GlobalShortcutsKeyMonitor::onDeactivated(const QDBusObjectPath& session, const QString& id,
                                              qulonglong, const QVariantMap&)
{
    if (session == m_session && id == shortcutId)
        press(false);
}

void GlobalShortcutsKeyMonitor::onClosed()
{
    if (m_down)
        press(false);
    m_bound = false;
    m_session = QDBusObjectPath();
    emit availableChanged();
}

void GlobalShortcutsKeyMonitor::press(bool down)
{
    // A desktop that repeats the activation of a held shortcut sends one press here.
    if (m_down == down)
        return;
    m_down = down;
    emit keyEvent(
        {KeyEvent::Type::flagsChanged, m_keyCode, down ? KeyEvent::pushToTalkFlag(m_keyCode) : 0});
}

} // namespace quillet
