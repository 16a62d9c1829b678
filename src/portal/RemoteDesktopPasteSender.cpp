#include "portal/RemoteDesktopPasteSender.h"

#include "portal/PortalRequest.h"

#include <QDBusMessage>
#include <QPointer>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace quillet {

namespace {

using namespace std::chrono_literals;

// Device types of SelectDevices.
constexpr uint keyboardDevice = 1;
// Setting up answers at once; starting waits for the user to decide.
constexpr auto setUpTimeout = 10s;
constexpr auto consentTimeout = 600s;

} // namespace

RemoteDesktopPasteSender::RemoteDesktopPasteSender(QDBusConnection bus, QString portalService,
                                                   QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_service(std::move(portalService))
{}

RemoteDesktopPasteSender::~RemoteDesktopPasteSender()
{
    if (isAvailable())
        m_bus.send(QDBusMessage::createMethodCall(m_service, m_session.path(),
                                                  QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")));
}

void RemoteDesktopPasteSender::start()
{
    if (m_starting || isAvailable() || !m_bus.isConnected())
        return;
    m_starting = true;
    open();
}

QCoro::Task<void> RemoteDesktopPasteSender::open()
{
    const QPointer<RemoteDesktopPasteSender> self(this);
    const QDBusConnection bus = m_bus;
    const QString service = m_service;

    QCoro::Task<QDBusObjectPath> creating =
        PortalRequest::createSession(bus, service, interface, setUpTimeout);
    const QDBusObjectPath session = co_await creating;
    if (!self)
        co_return;
    if (session.path().isEmpty()) {
        m_starting = false;
        co_return;
    }

    QCoro::Task<PortalRequest::Answer> selecting = PortalRequest::call(
        bus, service, interface, QStringLiteral("SelectDevices"), {QVariant::fromValue(session)},
        {{QStringLiteral("types"), keyboardDevice}}, setUpTimeout);
    const PortalRequest::Answer selected = co_await selecting;
    if (!self)
        co_return;
    if (!selected.granted()) {
        m_starting = false;
        co_return;
    }

    // The desktop's dialog: the user allows typing, or not.
    QCoro::Task<PortalRequest::Answer> starting =
        PortalRequest::call(bus, service, interface, QStringLiteral("Start"),
                            {QVariant::fromValue(session), QString()}, {}, consentTimeout);
    const PortalRequest::Answer started = co_await starting;
    if (!self)
        co_return;
    m_starting = false;
    if (!started.granted() ||
        !(started.results.value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
        // Refused: nothing changes but that the question is over.
        emit availableChanged();
        co_return;
    }
    setSession(session);
}

void RemoteDesktopPasteSender::setSession(const QDBusObjectPath& session)
{
    m_session = session;
    m_bus.connect(m_service, session.path(), QStringLiteral("org.freedesktop.portal.Session"),
                  QStringLiteral("Closed"), this, SLOT(onClosed()));
    // A fresh session has been seen to drop its first key: a Ctrl tap, which nothing acts on,
    // takes that place.
    key(XKB_KEY_Control_L, true);
    key(XKB_KEY_Control_L, false);
    emit availableChanged();
}

void RemoteDesktopPasteSender::onClosed()
{
    m_bus.disconnect(m_service, m_session.path(), QStringLiteral("org.freedesktop.portal.Session"),
                     QStringLiteral("Closed"), this, SLOT(onClosed()));
    m_session = QDBusObjectPath();
    emit availableChanged();
}

void RemoteDesktopPasteSender::key(quint32 keysym, bool down)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, PortalRequest::path, interface,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(m_session) << QVariantMap() << static_cast<int>(keysym)
         << static_cast<uint>(down ? 1 : 0);
    // In order on one connection; nothing to wait for.
    m_bus.send(call);
}

bool RemoteDesktopPasteSender::postPaste(bool terminal)
{
    if (!isAvailable())
        return false;
    // The keys the user still holds are the desktop's state, not this session's: the desktop
    // combines them. By paste time the push-to-talk key is up.
    key(XKB_KEY_Control_L, true);
    if (terminal)
        key(XKB_KEY_Shift_L, true);
    key(XKB_KEY_v, true);
    key(XKB_KEY_v, false);
    if (terminal)
        key(XKB_KEY_Shift_L, false);
    key(XKB_KEY_Control_L, false);
    return true;
}

} // namespace quillet
